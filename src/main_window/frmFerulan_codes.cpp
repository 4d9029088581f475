// The three code selectors: option groups kept in step with the hidden
// one-letter boxes bound to PREFIXE, LANGUE and DOMAINE.

#include "frmFerulan.h"

#include "TwipsLayout.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/CodeTables.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>

namespace {

enum Table { PrefixeTable, LangueTable, DomaineTable };

const CodeTable &codeTable(int table)
{
    switch (table) {
    case LangueTable:
        return CodeTables::langue();
    case DomaineTable:
        return CodeTables::domaine();
    default:
        return CodeTables::prefixe();
    }
}

// The options of a group in the order they stand on screen.
QList<QRadioButton *> onScreenOrder(const std::map<int, QRadioButton *> &group)
{
    QList<QRadioButton *> buttons;
    for (const auto &[index, button] : group)
        buttons << button;
    std::sort(buttons.begin(), buttons.end(),
              [](const QRadioButton *a, const QRadioButton *b) { return a->y() < b->y(); });
    return buttons;
}

} // namespace

void frmFerulan::buildCodeSelectors()
{
    struct Group {
        QGroupBox *&frame;
        const char *frameName;
        QRect frameRect;
        std::map<int, QRadioButton *> &buttons;
        const char *buttonName;
        int table;
        int left;
        int width;
    };
    Group groups[] = {
        {frame1, "frame1", twipsRect(120, 0, 2652, 1692), opPrefixe, "opPrefixe", PrefixeTable, 120, 2412},
        {Frame2, "Frame2", twipsRect(120, 1680, 2652, 1092), opLangue, "opLangue", LangueTable, 240, 972},
        {Frame3, "Frame3", twipsRect(3120, 0, 4212, 2772), opDomaine, "opDomaine", DomaineTable, 120, 3100},
    };
    for (Group &group : groups) {
        const CodeTable &table = codeTable(group.table);
        group.frame = new QGroupBox(table.frameCaption(), this);
        group.frame->setObjectName(QString::fromLatin1(group.frameName));
        group.frame->setGeometry(group.frameRect);
        // The caption sits on the frame's top line, clear of the first option.
        group.frame->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
        // A style sheet stops the window's font from reaching the frame.
        group.frame->setFont(font());
        // Each option array is one group of its own.
        auto *exclusive = new QButtonGroup(group.frame);
        connect(exclusive, &QButtonGroup::idToggled, this, [this] { setOptionTabStops(); });
        for (const CodeEntry &entry : table.entries()) {
            const int index = entry.position;
            int top = 240 + 240 * (index - 1);
            // "Pédagogie" (7) stands above "Divers" (6).
            if (group.table == DomaineTable)
                top = index == 6 ? 1800 : index == 7 ? 1560 : 360 + 240 * (index - 1);
            auto *button = new QRadioButton(entry.caption, group.frame);
            button->setObjectName(QStringLiteral("%1_%2").arg(QString::fromLatin1(group.buttonName)).arg(index));
            button->setGeometry(twipsRect(group.left, top, group.width, 252));
            button->setFont(font());
            exclusive->addButton(button, index);
            group.buttons[index] = button;
            const int table = group.table;
            connect(button, &QRadioButton::clicked, this, [this, table, index] {
                runHandler([this, table, index] {
                    if (table == PrefixeTable)
                        opPrefixe_Click(index);
                    else if (table == LangueTable)
                        opLangue_Click(index);
                    else
                        opDomaine_Click(index);
                });
            });
        }
    }

    setOptionTabStops();

    // The hidden boxes the data control fills and stores.
    struct Box {
        QLineEdit *&box;
        const char *name;
        int left;
        int top;
        int field;
    };
    Box boxes[] = {
        {txtPrefixe, "txtPrefixe", 480, 240, Catalogue::PREFIXE},
        {txtLangue, "txtLangue", 480, 600, Catalogue::LANGUE},
        {txtDomaine, "txtDomaine", 480, 960, Catalogue::DOMAINE},
    };
    for (Box &entry : boxes) {
        // No length limit on the box itself: a stored text of two letters
        // must not be cut into a letter it does not hold.
        entry.box = new QLineEdit(this);
        entry.box->setObjectName(QString::fromLatin1(entry.name));
        entry.box->setGeometry(twipsRect(entry.left, entry.top, 492, 285));
        entry.box->hide();
        const int field = entry.field;
        QLineEdit *box = entry.box;
        connect(box, &QLineEdit::textChanged, this, [this, field, box] {
            runHandler([this, field] {
                if (field == Catalogue::PREFIXE)
                    txtPrefixe_Change();
                else if (field == Catalogue::LANGUE)
                    txtLangue_Change();
                else
                    txtDomaine_Change();
            });
            storeBoundField(field, box->text());
        });
    }
}

void frmFerulan::writeLetter(QLineEdit *box, int table, int index)
{
    // An index outside the table changes nothing.
    if (const CodeEntry *entry = codeTable(table).entryAt(index))
        box->setText(QString(entry->letter));
}

void frmFerulan::setOptionTabStops()
{
    // Tab lands on the selected option (the first on screen while none is)
    // and leaves the group at the next Tab; a click still focuses any option.
    // In the list view the grid covers the groups: no stop at all.
    const bool reachable = !listViewShown();
    for (auto *group : {&opPrefixe, &opLangue, &opDomaine}) {
        const QList<QRadioButton *> buttons = onScreenOrder(*group);
        QRadioButton *stop = buttons.first();
        for (QRadioButton *button : buttons) {
            if (button->isChecked())
                stop = button;
        }
        for (QRadioButton *button : buttons)
            button->setFocusPolicy(!reachable ? Qt::NoFocus : button == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

bool frmFerulan::optionArrowKey(QObject *watched, QKeyEvent *event)
{
    auto *button = qobject_cast<QRadioButton *>(watched);
    if (!button || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
        return false;
    int step = 0;
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Left)
        step = -1;
    else if (event->key() == Qt::Key_Down || event->key() == Qt::Key_Right)
        step = 1;
    else
        return false;
    for (auto *group : {&opPrefixe, &opLangue, &opDomaine}) {
        const QList<QRadioButton *> buttons = onScreenOrder(*group);
        const int at = int(buttons.indexOf(button));
        if (at < 0)
            continue;
        // As on the desktop: the arrows select, wrapping round the group, and
        // the selection writes its letter as a click does.
        QRadioButton *next = buttons.at((at + step + buttons.size()) % buttons.size());
        next->setFocus(Qt::OtherFocusReason);
        next->click();
        return true;
    }
    return false;
}

void frmFerulan::setSelectorFromText(std::map<int, QRadioButton *> &group, const QString &letter, int table)
{
    // Empty text, a letter of no row, a lower-case letter: the group keeps
    // the selection it showed.
    const CodeEntry *entry = codeTable(table).entryForText(letter);
    if (!entry)
        return;
    const auto button = group.find(entry->position);
    if (button != group.end() && !button->second->isChecked())
        button->second->setChecked(true);
}

void frmFerulan::opPrefixe_Click(int index)
{
    writeLetter(txtPrefixe, PrefixeTable, index);
}

void frmFerulan::opLangue_Click(int index)
{
    writeLetter(txtLangue, LangueTable, index);
}

void frmFerulan::opDomaine_Click(int index)
{
    writeLetter(txtDomaine, DomaineTable, index);
}

void frmFerulan::txtPrefixe_Change()
{
    setSelectorFromText(opPrefixe, txtPrefixe->text(), PrefixeTable);
}

void frmFerulan::txtLangue_Change()
{
    setSelectorFromText(opLangue, txtLangue->text(), LangueTable);
}

void frmFerulan::txtDomaine_Change()
{
    setSelectorFromText(opDomaine, txtDomaine->text(), DomaineTable);
}
