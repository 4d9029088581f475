#pragma once

#include "RecordingMessenger.h"
#include "TestSupport.h"

#include "catalogue/Database.h"
#include "main_window/DataGrid.h"
#include "main_window/NavigationBar.h"
#include "main_window/frmFerulan.h"
#include "settings/IniWizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Types text as a person would, key by key; letters beyond ASCII, which
// QTest::keyClicks cannot send, go as key events carrying their text.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(widget, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
    }
}

// A click on an option button's circle, where a person clicks.
inline void clickOption(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// The four rows most window tests start from. Natural order: Vollhardt,
// Atkins, Müller, Bernard. By title: Chimie générale (Müller), Physical
// chemistry (Atkins), Traité (Vollhardt), Zinc (Bernard).
inline QList<TestSupport::Row> catalogueRows()
{
    return {
        {"B", "F", "C", 12, "Vollhardt", "De Boeck", "Traité de chimie organique", "2-8041-1234-5"},
        {"Z", "F", "G", 3, "Atkins", "Oxford", "Physical chemistry", QVariant()},
        {"L", "E", "A", 40, "Müller", "Klett", "Chimie générale", ""},
        {"V", "D", "E", 7, "Bernard", "Nathan", "Zinc et cuivre", ""},
    };
}

// A program folder of its own for one window test: a catalogue, a settings
// file written by the test, the main window with a messenger that records
// each message and shows it in a real modal box, and the few gestures the
// tests repeat.
class WindowFixture {
public:
    static inline const QByteArray AccessCode = "QUARZ Fendel Mosker";

    WindowFixture() { messenger.modal = true; }

    QString path(const QString &name) const { return dir.filePath(name); }

    // The settings file with a [General] section holding these lines.
    bool writeGeneral(const QList<QByteArray> &lines)
    {
        QByteArray text = "[General]\r\n";
        for (const QByteArray &line : lines)
            text += line + "\r\n";
        return TestSupport::writeFile(path("ferulan.ini"), text);
    }
    QByteArray settingsBytes() const { return TestSupport::readFile(path("ferulan.ini")); }

    // A key as the program will read it at its next start.
    QString setting(const QString &section, const QString &key) const
    {
        IniWizard ini(dir.path(), "ferulan");
        ini.INISetSection(section);
        return ini.INIGetValue(key);
    }
    QString general(const QString &key) const { return setting("General", key); }

    // Creates and starts the window; shows it when start-up succeeded.
    bool start()
    {
        window = std::make_unique<frmFerulan>(dir.path(), messenger);
        if (!window->start())
            return false;
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // The usual start: a catalogue with these rows, settings naming it (with
    // the access code when editing, the list view when list, then the extra
    // lines), then start().
    bool startWith(const QList<TestSupport::Row> &rows, bool editing, bool list, const QList<QByteArray> &extra = {})
    {
        QList<QByteArray> lines{"Database=biblio.db"};
        if (editing)
            lines << "EditFunction=" + AccessCode;
        if (list)
            lines << "LastViewType=List";
        return TestSupport::makeCatalogue(path("biblio.db"), rows).isEmpty() && writeGeneral(lines + extra) && start();
    }
    // startWith(), then the window active as a person would find it.
    bool startActive(const QList<TestSupport::Row> &rows, bool editing, bool list, const QList<QByteArray> &extra = {})
    {
        if (!startWith(rows, editing, list, extra))
            return false;
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    template <typename T>
    T *child(const QString &name) const { return window->findChild<T *>(name); }
    QLineEdit *box(int index) const { return child<QLineEdit>(QString("txtFields_%1").arg(index)); }
    QRadioButton *option(const QString &name) const { return child<QRadioButton>(name); }
    DataGrid *grid() const { return window->DBGrid1; }
    QString caption() const { return child<NavigationBar>("Data1")->caption(); }
    QString lastMessage() const { return messenger.lastText(); }
    // The messages shown so far as "caption|style|text" (style 0 is a plain
    // box, 64 the information icon).
    QStringList messages() const
    {
        QStringList shown;
        for (const RecordingMessenger::Message &m : messenger.messages)
            shown << m.caption + '|' + QString::number(m.style) + '|' + m.text;
        return shown;
    }

    // A mouse click on a button of the window, the navigation bar's included.
    void click(const QString &name) const { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    // A key pressed as a person would: it goes to the control that has the
    // focus, or to the window when none has.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const
    {
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus && window->isAncestorOf(focus) ? focus : window.get(), key, modifiers);
    }

    // A text box's whole text replaced by typing.
    void retype(QLineEdit *box, const QString &text) const
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        typeText(box, text);
    }

    void clickCell(int row, int column) const
    {
        const QRect cell = grid()->visualRect(grid()->model()->index(row, column));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // Typing into the current cell opens its editor; the keys go there.
    void typeInCell(const QString &text) const
    {
        QTest::keyClick(grid(), text.at(0).toLatin1());
        if (QLineEdit *editor = grid()->cellEditor())
            typeText(editor, text.mid(1));
    }
    // Enter where the grid has it: in the open editor, else in the grid.
    void enterInGrid() const
    {
        QTest::keyClick(grid()->cellEditor() ? grid()->cellEditor() : static_cast<QWidget *>(grid()), Qt::Key_Return);
    }

    // The catalogue's rows (or its backup's) as a second connection sees them, in table order.
    QList<TestSupport::Row> rows(const QString &file = "biblio.db") const
    {
        QList<TestSupport::Row> result;
        Database db;
        if (!db.open(path(file), Database::Mode::ReadOnly))
            return result;
        auto select = db.prepare("SELECT PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN "
                                 "FROM Biblio ORDER BY rowid");
        while (select && select->step() == Statement::Step::Row) {
            TestSupport::Row row;
            for (int i = 0; i < 8; ++i)
                row << select->value(i);
            result << row;
        }
        return result;
    }
    // One field of one stored row as text: "NULL" for NULL, "-" for no such row.
    QString stored(int row, int field) const
    {
        const QList<TestSupport::Row> all = rows();
        if (row >= all.size())
            return "-";
        const QVariant value = all.at(row).at(field);
        return value.isNull() ? QString("NULL") : value.toString();
    }

    // The engine refuses to store this author from now on; empty text once set.
    QString refuseAuthor(const QString &author) const
    {
        Database db;
        if (db.open(path("biblio.db")) && db.exec("CREATE TRIGGER refuse BEFORE UPDATE ON Biblio WHEN NEW.AUTEUR = '"
                                                  + author + "' BEGIN SELECT RAISE(ABORT, 'auteur refusé'); END"))
            return {};
        return "trigger not made: " + db.lastError().text;
    }

    // In this order, so that the window and its connection go first.
    QTemporaryDir dir;
    RecordingMessenger messenger;
    std::unique_ptr<frmFerulan> window;
};
