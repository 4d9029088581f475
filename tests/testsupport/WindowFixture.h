#pragma once

#include "RecordingMessenger.h"
#include "TestSupport.h"

#include "catalogue/Database.h"
#include "main_window/frmFerulan.h"
#include "settings/IniWizard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
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

// A key pressed as a person would: it goes to the control that has the
// focus, or to the window when none has.
inline void pressKey(QWidget *window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *focus = QApplication::focusWidget();
    QTest::keyClick(focus && window->isAncestorOf(focus) ? focus : window, key, modifiers);
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
        {QStringLiteral("B"), QStringLiteral("F"), QStringLiteral("C"), 12, QStringLiteral("Vollhardt"),
         QStringLiteral("De Boeck"), QStringLiteral("Traité de chimie organique"), QStringLiteral("2-8041-1234-5")},
        {QStringLiteral("Z"), QStringLiteral("F"), QStringLiteral("G"), 3, QStringLiteral("Atkins"),
         QStringLiteral("Oxford"), QStringLiteral("Physical chemistry"), QVariant()},
        {QStringLiteral("L"), QStringLiteral("E"), QStringLiteral("A"), 40, QStringLiteral("Müller"),
         QStringLiteral("Klett"), QStringLiteral("Chimie générale"), QString()},
        {QStringLiteral("V"), QStringLiteral("D"), QStringLiteral("E"), 7, QStringLiteral("Bernard"),
         QStringLiteral("Nathan"), QStringLiteral("Zinc et cuivre"), QString()},
    };
}

// A program folder of its own for one window test: a catalogue, a settings
// file written by the test, the main window with a recording messenger.
class WindowFixture {
public:
    static inline const QByteArray AccessCode = "QUARZ Fendel Mosker";

    WindowFixture() = default;
    ~WindowFixture()
    {
        // The window's connection must be gone before the folder is.
        window.reset();
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    // The catalogue "biblio.db" with these rows; empty text on success.
    QString makeCatalogue(const QList<TestSupport::Row> &rows)
    {
        return TestSupport::makeCatalogue(path(QStringLiteral("biblio.db")), rows);
    }

    // The settings file with a [General] section holding these lines.
    bool writeGeneral(const QList<QByteArray> &lines)
    {
        QByteArray text = "[General]\r\n";
        for (const QByteArray &line : lines)
            text += line + "\r\n";
        return TestSupport::writeFile(path(QStringLiteral("ferulan.ini")), text);
    }

    QByteArray settingsBytes() const { return TestSupport::readFile(path(QStringLiteral("ferulan.ini"))); }
    bool settingsExist() const { return QFile::exists(path(QStringLiteral("ferulan.ini"))); }

    // A key as the program will read it at its next start.
    QString setting(const QString &section, const QString &key) const
    {
        IniWizard ini(dir.path(), QStringLiteral("ferulan"));
        ini.INISetSection(section);
        return ini.INIGetValue(key);
    }
    QString general(const QString &key) const { return setting(QStringLiteral("General"), key); }

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
    // the access code when editing, the list view when list), then start().
    bool startWith(const QList<TestSupport::Row> &rows, bool editing, bool list)
    {
        const QString error = makeCatalogue(rows);
        if (!error.isEmpty()) {
            qWarning("catalogue not made: %s", qPrintable(error));
            return false;
        }
        QList<QByteArray> lines{"Database=biblio.db"};
        if (editing)
            lines << "EditFunction=" + AccessCode;
        if (list)
            lines << "LastViewType=List";
        return writeGeneral(lines) && start();
    }

    template <typename T>
    T *child(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

    // The catalogue's rows as a second connection sees them, in table order.
    QList<TestSupport::Row> rows() const
    {
        QList<TestSupport::Row> result;
        Database db;
        if (!db.open(path(QStringLiteral("biblio.db")), Database::Mode::ReadOnly))
            return result;
        auto select = db.prepare(QStringLiteral(
            "SELECT PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN FROM Biblio ORDER BY rowid"));
        while (select && select->step() == Statement::Step::Row) {
            TestSupport::Row row;
            for (int i = 0; i < 8; ++i)
                row << select->value(i);
            result << row;
        }
        return result;
    }

    // Runs engine SQL on the catalogue through a connection of the test's own.
    QString exec(const QString &sql) const
    {
        Database db;
        if (!db.open(path(QStringLiteral("biblio.db"))) || !db.exec(sql))
            return db.lastError().text.isEmpty() ? QStringLiteral("failed") : db.lastError().text;
        return {};
    }

    QTemporaryDir dir;
    RecordingMessenger messenger;
    std::unique_ptr<frmFerulan> window;
};
