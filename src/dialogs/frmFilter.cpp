#include "frmFilter.h"

#include "DialogLook.h"
#include "ScreenReader.h"

#include "catalogue/CodeTables.h"
#include "catalogue/Module1.h"
#include "main_window/Messenger.h"
#include "settings/FormGeometry.h"
#include "util/Library.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QShortcut>

using DialogLook::twipsRect;

namespace {

QGroupBox *makeFrame(QWidget *parent, const char *name, const QString &caption, QRect place)
{
    auto *frame = new QGroupBox(caption, parent);
    frame->setObjectName(QLatin1String(name));
    frame->setGeometry(place);
    return frame;
}

} // namespace

frmFilter::frmFilter(Module1 &module, IniWizard &ini, Messenger &messenger, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
    , m_module(module)
    , m_ini(ini)
    , m_messenger(messenger)
{
    setObjectName(QStringLiteral("frmFilter"));
    setWindowTitle(QStringLiteral("Filtre"));
    setAttribute(Qt::WA_DeleteOnClose);
    DialogLook::loadPictures();
    setFont(DialogLook::classicFont(7.8, false));
    resize(DialogLook::twipsSize(3300, 4776));

    cmdFilter_0 = new QPushButton(QStringLiteral("Filtre"), this);
    cmdFilter_0->setObjectName(QStringLiteral("cmdFilter_0"));
    cmdFilter_0->setGeometry(twipsRect(1800, 120, 1332, 372));

    cmdCancel = new QPushButton(QStringLiteral("Annuler"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(twipsRect(1800, 600, 1332, 372));

    // No default button: Enter does not apply the filter, unless it is
    // pressed on the button itself.
    cmdFilter_0->setAutoDefault(true);
    cmdCancel->setAutoDefault(true);

    Frame1 = makeFrame(this, "Frame1", QStringLiteral("type"), twipsRect(0, 1080, 3132, 1572));
    Frame2 = makeFrame(this, "Frame2", QStringLiteral("langue"), twipsRect(0, 0, 1572, 1092));
    Frame3 = makeFrame(this, "Frame3", QStringLiteral("domaine"), twipsRect(0, 2640, 3132, 2052));

    // One check box per code letter, captioned as the main window's option
    // buttons and placed by its position in the table.
    const auto makeBoxes = [](QGroupBox *frame, const CodeTable &table, const char *prefix,
                              int width, const QMap<int, int> &rowOf) {
        QMap<int, QCheckBox *> boxes;
        for (const CodeEntry &entry : table.entries()) {
            auto *box = new QCheckBox(entry.caption, frame);
            box->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(prefix)).arg(entry.position));
            const int row = rowOf.value(entry.position, entry.position);
            box->setGeometry(twipsRect(120, 240 * row, width, 252));
            boxes.insert(entry.position, box);
        }
        return boxes;
    };
    chkPrefixe = makeBoxes(Frame1, CodeTables::prefixe(), "chkPrefixe", 2000, {});
    chkLangue = makeBoxes(Frame2, CodeTables::langue(), "chkLangue", 972, {});
    // "Pédagogie" stands above "Divers".
    chkDomaine = makeBoxes(Frame3, CodeTables::domaine(), "chkDomaine", 3000, {{6, 7}, {7, 6}});

    // Tab order as the window was designed: domains (2 to 7, then 1),
    // languages and types from the last box up, then the two buttons.
    QList<QWidget *> order;
    for (int i : {2, 3, 4, 5, 6, 7, 1})
        order << chkDomaine.value(i);
    for (int i : {3, 2, 1})
        order << chkLangue.value(i);
    for (int i : {5, 4, 3, 2, 1})
        order << chkPrefixe.value(i);
    order << cmdCancel << cmdFilter_0;
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));

    // The boxes and frames are read by their captions.
    ScreenReader::describe(this, {
        {"cmdFilter_0", "Filtre", "Afficher les enregistrements des cases cochées"},
        {"cmdCancel", "Annuler", "Enlever le filtre et fermer"},
    });

    connect(cmdFilter_0, &QPushButton::clicked, this, [this] { cmdFilter_Click(0); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmFilter::cmdCancel_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, cmdCancel, &QPushButton::click);

    Form_Load();
}

void frmFilter::Form_Load()
{
    INILoadFormSize(m_ini, this);
}

void frmFilter::Form_Unload()
{
    INISaveFormSize(m_ini, this);
}

// The ticked boxes' terms in index order, joined by "OR". Only the first
// language term is written without its "OR "; a leading "OR" left by an
// unticked first box is dropped, keeping the blank after it.
QString frmFilter::groupText(const CodeTable &table, const QMap<int, QCheckBox *> &boxes) const
{
    const bool firstIsBare = &table == &CodeTables::langue();
    QString group;
    for (auto it = boxes.cbegin(); it != boxes.cend(); ++it) {
        if (!it.value()->isChecked())
            continue;
        const CodeEntry *entry = table.entryAt(it.key());
        const QString term = table.fieldName() + QStringLiteral(" = '") + entry->letter + QStringLiteral("' ");
        group += (firstIsBare && it.key() == 1) ? term : QStringLiteral("OR ") + term;
    }
    if (group.startsWith(QLatin1String("OR")))
        group = group.mid(2);
    return group;
}

void frmFilter::cmdFilter_Click(int index)
{
    Q_UNUSED(index);
    m_module.FilterClause.clear();
    m_condition.clear();

    const QString langue = groupText(CodeTables::langue(), chkLangue);
    const QString prefixe = groupText(CodeTables::prefixe(), chkPrefixe);
    const QString domaine = groupText(CodeTables::domaine(), chkDomaine);

    // Groups always in this order, joined by AND.
    if (!langue.isEmpty())
        m_condition = QLatin1Char('(') + langue + QStringLiteral(") AND ");
    if (!prefixe.isEmpty())
        m_condition += QLatin1Char('(') + prefixe + QStringLiteral(") AND ");
    if (!domaine.isEmpty())
        m_condition += QLatin1Char('(') + domaine + QLatin1Char(')');
    if (m_condition.endsWith(QLatin1String("AND ")))
        m_condition = Library::StrDropRight(m_condition, 5);

    if (!m_condition.isEmpty())
        m_module.FilterClause = QStringLiteral("WHERE ") + m_condition;

    if (!m_module.ComposeQuery()) {
        m_messenger.MsgBox(m_module.lastError());
        return;
    }
    Q_EMIT filterApplied();
}

void frmFilter::cmdCancel_Click()
{
    m_module.FilterClause.clear();
    if (!m_module.ComposeQuery()) {
        m_messenger.MsgBox(m_module.lastError());
        return;
    }
    hide();
}

void frmFilter::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Opened to be used at once: the window takes the focus, on the first
    // box as the window reads.
    activateWindow();
    chkLangue.value(1)->setFocus(Qt::OtherFocusReason);
}

void frmFilter::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}
