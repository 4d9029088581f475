#include "frmSearch.h"

#include "DialogLook.h"
#include "ScreenReader.h"

#include "catalogue/JetSql.h"
#include "catalogue/Module1.h"
#include "main_window/Messenger.h"
#include "settings/FormGeometry.h"
#include "settings/IniWizard.h"
#include "util/Library.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QWindow>

using DialogLook::twipsRect;

frmSearch::frmSearch(Module1 &module, IniWizard &ini, Messenger &messenger, const QStringList &fields,
                     QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint)
    , m_module(module)
    , m_ini(ini)
    , m_messenger(messenger)
    , m_fields(fields)
{
    setObjectName(QStringLiteral("frmSearch"));
    setWindowTitle(QStringLiteral("Cherche"));
    setAttribute(Qt::WA_DeleteOnClose);
    DialogLook::loadPictures();
    setWindowIcon(QIcon(QStringLiteral(":/images/search.png")));
    DialogLook::paintLightGrey(this);
    setFont(DialogLook::classicFont(7.8, true));
    // The accent option takes a row of its own below the text box, so that
    // every other control keeps its place.
    setFixedSize(DialogLook::twipsSize(3144, 1560));

    // Made in design order; read top to bottom the window is one sentence.
    cmdCancel = new QPushButton(QStringLiteral("Annuler"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(twipsRect(2040, 480, 972, 300));

    cmd_1 = new QPushButton(QStringLiteral("Cherche"), this);
    cmd_1->setObjectName(QStringLiteral("cmd_1"));
    cmd_1->setGeometry(twipsRect(2040, 120, 972, 300));

    // Only the listed fields can be chosen: no typed name reaches the query.
    Combo1 = new QComboBox(this);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);
    Combo1->setGeometry(twipsRect(120, 120, 1812, 288));

    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setGeometry(twipsRect(120, 840, 2892, 288));

    Label2 = new QLabel(QStringLiteral("contient"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(360, 480, 972, 252));

    chkAccents = new QCheckBox(QStringLiteral("Ignorer les accents"), this);
    chkAccents->setObjectName(QStringLiteral("chkAccents"));
    chkAccents->setGeometry(twipsRect(120, 1200, 2892, 252));

    // No default button: Enter in the text box does not search; Enter on a
    // button that has the focus presses it.
    cmdCancel->setAutoDefault(true);
    cmd_1->setAutoDefault(true);

    ScreenReader::describe(this, {
        {"Combo1", "Champ", "Le champ où chercher"},
        {"txtSearch", "Texte cherché", "Le texte que le champ contient"},
        {"cmd_1", "Cherche", "Afficher les enregistrements dont le champ contient le texte"},
        {"cmdCancel", "Annuler", "Enlever la recherche et fermer"},
        {"chkAccents", "Ignorer les accents",
         "Trouver aussi le texte écrit avec d'autres accents, majuscules ou ligatures (« ecole » trouve « École »)"},
    });
    Combo1->view()->setAccessibleName(QStringLiteral("Champs où chercher"));
    Label2->setBuddy(txtSearch);

    QWidget::setTabOrder(txtSearch, Combo1);
    QWidget::setTabOrder(Combo1, cmd_1);
    QWidget::setTabOrder(cmd_1, cmdCancel);
    QWidget::setTabOrder(cmdCancel, chkAccents);

    connect(cmd_1, &QPushButton::clicked, this, [this] { cmd_Click(1); });
    connect(chkAccents, &QCheckBox::toggled, this, &frmSearch::chkAccents_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSearch::cmdCancel_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, cmdCancel, &QPushButton::click);

    Form_Load();
}

QString frmSearch::quotedPatternText(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return quoted;
}

QString frmSearch::searchCondition(const QString &field, const QString &text, bool ignoreAccents)
{
    const QString pattern = QStringLiteral("'*") + quotedPatternText(text) + QStringLiteral("*'");
    if (ignoreAccents)
        return QLatin1String(JetSql::LikeFoldedFunction) + QLatin1Char('(') + pattern + QStringLiteral(", ")
            + field + QLatin1Char(')');
    return field + QStringLiteral(" LIKE ") + pattern;
}

void frmSearch::Form_Load()
{
    INILoadFormSize(m_ini, this);
    const QString section = m_ini.INIGetSection();
    m_ini.INISetSection(QStringLiteral("General"));
    const bool ignoreAccents = m_ini.INIGetValue(QLatin1String(IgnoreAccentsKey)).trimmed() == QLatin1String("1");
    m_ini.INISetSection(section);
    const QSignalBlocker quiet(chkAccents);
    chkAccents->setChecked(ignoreAccents);
    Combo1->clear();
    Combo1->addItems(m_fields);
    // A new search looks in the title unless the user picks another field.
    Combo1->setCurrentIndex(m_fields.size() > 3 ? 3 : m_fields.size() - 1);
}

void frmSearch::Form_Paint()
{
    txtSearch->setFocus(Qt::OtherFocusReason);
}

void frmSearch::Form_Unload()
{
    INISaveFormSize(m_ini, this);
}

void frmSearch::cmd_Click(int index)
{
    Q_UNUSED(index);
    // Only blanks are trimmed: tabs belong to what the user looks for.
    const QString text = Library::TrimBlanks(txtSearch->text());
    if (text.isEmpty())
        return;
    // Combo1 offers only the listed fields; with an empty list there is
    // nothing to search in.
    if (Combo1->currentIndex() < 0)
        return;

    m_condition = searchCondition(Combo1->currentText(), text, chkAccents->isChecked());

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    m_module.SearchClause = m_condition;
    const bool ok = m_module.ComposeQuery();
    // The data control has repositioned (or refused the query) by now.
    if (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    if (!ok) {
        m_messenger.MsgBox(m_module.lastError());
        return;
    }
    Q_EMIT searchApplied();
}

void frmSearch::chkAccents_Click(bool checked)
{
    // Stored at once: the choice holds for the next searches, in this
    // session and the next.
    const QString section = m_ini.INIGetSection();
    m_ini.INISetSection(QStringLiteral("General"));
    m_ini.INISetValue(QLatin1String(IgnoreAccentsKey), checked ? 1 : 0);
    m_ini.INISetSection(section);
}

void frmSearch::cmdCancel_Click()
{
    m_module.SearchClause.clear();
    if (!m_module.ComposeQuery()) {
        m_messenger.MsgBox(m_module.lastError());
        return;
    }
    hide();
}

void frmSearch::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The window system's requests to redraw the window (first showing,
    // uncovering) bring the focus back to the text box.
    if (!m_watchingExposure && windowHandle()) {
        windowHandle()->installEventFilter(this);
        m_watchingExposure = true;
    }
    // Opened to be typed into at once: the window takes the focus, which
    // goes to the text box.
    activateWindow();
    Form_Paint();
}

bool frmSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed())
        Form_Paint();
    return QWidget::eventFilter(watched, event);
}

void frmSearch::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}
