// Editing in the main window: add, update and delete in both views, the
// NUMERO check in the form and in the grid, the busy pointer, errors while
// storing, and the code selectors in step with the record.

#include "WindowFixture.h"

#include <QLocale>
#include <QPlainTextEdit>
#include <QtTest>

using TestSupport::Row;

namespace {

const Row EmptyRow(8);

QStringList authors(const QList<Row> &rows)
{
    QStringList names;
    for (const Row &row : rows)
        names << row.at(4).toString();
    return names;
}

} // namespace

class tst_frmFerulanEditing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void add_data();
    void add();
    void emptySet();
    void deleteRecord_data();
    void deleteRecord();
    void updateInGrid();
    void numero_data();
    void numero();
    void hourglassBetweenValidateAndReposition();
    void refusedStoreKeepsEditAndWindow();
    void selectorsFollowRecord_data();
    void selectorsFollowRecord();
    void optionClickStoresLetter_data();
    void optionClickStoresLetter();
};

void tst_frmFerulanEditing::add_data()
{
    QTest::addColumn<bool>("list");
    QTest::newRow("form view, Ctrl+A") << false;
    QTest::newRow("list view, click") << true;
}

void tst_frmFerulanEditing::add()
{
    QFETCH(bool, list);
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, list));
    Row lastRow = EmptyRow;

    // The pending edit is stored before the record is added.
    if (list) {
        f.clickCell(1, 6);
        f.typeInCell("Oxford UP");
        f.click("cmdAdd");
        QCOMPARE(f.stored(1, 5), "Oxford UP");
        QCOMPARE(f.grid()->currentIndex(), f.grid()->model()->index(4, 1));
        QVERIFY(f.grid()->hasFocus());
    } else {
        f.retype(f.box(5), "Vollhardt et Schore");
        // Ctrl+A rather than a click, which would take the focus.
        f.box(6)->setFocus();
        QTest::keyClick(f.box(6), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(f.stored(0, 4), "Vollhardt et Schore");
        for (int index : {4, 5, 6, 8})
            QCOMPARE(f.box(index)->text(), QString());
        QCOMPARE(f.child<QPlainTextEdit>("txtFields_7")->toPlainText(), QString());
        QVERIFY(f.box(6)->hasFocus());
    }
    QCOMPARE(f.rows().size(), 5);
    QCOMPARE(f.rows().last(), EmptyRow);
    QCOMPARE(f.grid()->model()->rowCount(), 5);
    QCOMPARE(f.caption(), "Record: 5");
    QVERIFY(f.messenger.messages.isEmpty());

    if (!list) {
        // The new record keeps the option shown, yet a click on it still
        // gives the record its letter.
        QCOMPARE(f.child<QLineEdit>("txtPrefixe")->text(), QString());
        QVERIFY(f.option("opPrefixe_1")->isChecked());
        clickOption(f.option("opPrefixe_1"));
        QCOMPARE(f.child<QLineEdit>("txtPrefixe")->text(), "B");
        lastRow[0] = "B";
    }
    // Closing stores what is shown; an untouched new record stays empty.
    f.window->close();
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.rows().size(), 5);
    QCOMPARE(f.rows().last(), lastRow);
}

void tst_frmFerulanEditing::emptySet()
{
    WindowFixture f;
    QVERIFY(f.startWith({}, true, true));
    QCOMPARE(f.caption(), "Record: 0");
    for (const char *button : {"moveFirst", "movePrevious", "moveNext", "moveLast"})
        f.click(button);
    f.press(Qt::Key_S, Qt::ControlModifier);
    f.click("cmdDelete");
    QCOMPARE(f.caption(), "Record: 0");
    QVERIFY(f.rows().isEmpty());
    QVERIFY2(f.messenger.messages.isEmpty(), qPrintable(f.lastMessage()));

    f.click("cmdAdd");
    QCOMPARE(f.rows(), QList<Row>{EmptyRow});
    QCOMPARE(f.caption(), "Record: 1");
    QCOMPARE(f.grid()->model()->rowCount(), 1);
    QVERIFY(f.messenger.messages.isEmpty());
}

void tst_frmFerulanEditing::deleteRecord_data()
{
    QTest::addColumn<bool>("list");
    QTest::addColumn<bool>("last");
    QTest::newRow("form view, first record") << false << false;
    QTest::newRow("list view, first record") << true << false;
    QTest::newRow("form view, last record") << false << true;
    QTest::newRow("list view, last record") << true << true;
}

void tst_frmFerulanEditing::deleteRecord()
{
    QFETCH(bool, list);
    QFETCH(bool, last);
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, list));
    auto *remove = f.child<QWidget>("cmdDelete");
    QVERIFY(!remove->isVisible());
    f.press(Qt::Key_S, Qt::ControlModifier);
    QVERIFY(remove->isVisible());
    if (last)
        list ? f.clickCell(3, 5) : f.click("moveLast");

    f.click("cmdDelete");
    const QStringList left = last ? QStringList{"Vollhardt", "Atkins", "Müller"}
                                  : QStringList{"Atkins", "Müller", "Bernard"};
    QCOMPARE(authors(f.rows()), left);
    QCOMPARE(f.grid()->model()->rowCount(), 3);
    QCOMPARE(f.grid()->model()->index(0, 5).data().toString(), left.first());
    // No question asked; the next record is shown, or none past the end.
    QVERIFY(f.messenger.messages.isEmpty());
    QCOMPARE(f.caption(), last ? "Record: 0" : "Record: 1");
    QCOMPARE(f.box(5)->text(), last ? "" : "Atkins");
    if (last) {
        // With nothing current, delete does nothing at all.
        f.click("cmdDelete");
        QCOMPARE(f.rows().size(), 3);
        QVERIFY(f.messenger.messages.isEmpty());
    }
}

void tst_frmFerulanEditing::updateInGrid()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, true));
    f.clickCell(1, 5);
    f.typeInCell("Atkins & Paula");
    f.enterInGrid();
    QCOMPARE(f.grid()->currentIndex().column(), 6);
    // The covered form shows the edit at once; the file gets it when the record is left.
    QCOMPARE(f.box(5)->text(), "Atkins & Paula");
    QCOMPARE(f.stored(1, 4), "Atkins");
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QCOMPARE(f.caption(), "Record: 3");
    QCOMPARE(f.stored(1, 4), "Atkins & Paula");

    // A code typed in the grid moves its option; a letter of no code leaves it.
    f.clickCell(0, 1);
    f.typeInCell("T");
    f.enterInGrid();
    QVERIFY(f.option("opPrefixe_5")->isChecked());
    f.typeInCell("q");
    f.enterInGrid();
    QCOMPARE(f.child<QLineEdit>("txtLangue")->text(), "q");
    QVERIFY(f.option("opLangue_2")->isChecked());

    // An edit still open in a cell is stored at closing.
    f.clickCell(2, 6);
    f.typeInCell("Springer");
    f.window->close();
    QCOMPARE(f.rows().first().mid(0, 2), (Row{"T", "q"}));
    QCOMPARE(f.stored(2, 5), "Springer");
}

void tst_frmFerulanEditing::numero_data()
{
    QTest::addColumn<bool>("list");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("refusals");
    QTest::addColumn<QString>("stored");

    // The rule itself is the core's; here, where the window applies it: at
    // each keystroke, with the system's separator, and in the grid only in
    // NUMERO. Admitted texts go into the form pasted whole, since a leading
    // minus alone would be refused as the first keystroke.
    QTest::newRow("form 12") << false << 3 << "12" << 0 << "12";
    QTest::newRow("form -5") << false << 3 << "-5" << 0 << "-5";
    QTest::newRow("form 2.5 rounds to even") << false << 3 << "2" + QLocale::system().decimalPoint() + "5" << 0 << "2";
    QTest::newRow("form 12a") << false << 3 << "12a" << 1 << "NULL";
    QTest::newRow("form abc, each letter") << false << 3 << "abc" << 3 << "NULL";
    QTest::newRow("form -32769: the minus, then the number") << false << 3 << "-32769" << 2 << "NULL";
    QTest::newRow("grid 12a") << true << 3 << "12a" << 1 << "NULL";
    QTest::newRow("grid 40000") << true << 3 << "40000" << 1 << "NULL";
    QTest::newRow("grid 321") << true << 3 << "321" << 0 << "321";
    QTest::newRow("grid, other column") << true << 4 << "12a" << 0 << "12a";
}

void tst_frmFerulanEditing::numero()
{
    QFETCH(bool, list);
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(int, refusals);
    QFETCH(QString, stored);

    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, list));
    if (list) {
        f.clickCell(0, field + 1);
        f.typeInCell(text);
    } else if (refusals == 0) {
        f.box(4)->setFocus();
        f.box(4)->selectAll();
        f.box(4)->insert(text);
    } else {
        f.retype(f.box(4), text);
    }
    const QString refusal = list ? "|0|Le numéro doit être un nombre !"
                                 : "Ferulan|64|Entrée non valable ! \rLe numéro doit être un nombre !";
    QCOMPARE(f.messages(), QStringList(refusals, refusal));
    // A refused text is cleared, and the cleared value is what the record keeps.
    QCOMPARE(list ? f.grid()->cellText() : f.box(4)->text(), refusals ? QString() : text);
    if (list)
        f.enterInGrid();
    f.window->close();
    QCOMPARE(f.stored(0, field), stored);
}

void tst_frmFerulanEditing::hourglassBetweenValidateAndReposition()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, false));
    QList<int> shapes;
    connect(&f.window->Data1, &DataControl::validating, this, [&shapes] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        shapes << (cursor ? int(cursor->shape()) : -1);
    });
    f.click("moveNext");
    f.click("cmdAdd");
    QCOMPARE(shapes, QList<int>(shapes.size(), Qt::WaitCursor));
    QVERIFY(shapes.size() >= 2);
    QVERIFY(!QGuiApplication::overrideCursor());

    // A validate that never arrives anywhere leaves no hourglass behind.
    Q_EMIT f.window->Data1.validating(DataControl::MoveNextAction, false);
    QVERIFY(QGuiApplication::overrideCursor());
    QTRY_VERIFY(!QGuiApplication::overrideCursor());
}

void tst_frmFerulanEditing::refusedStoreKeepsEditAndWindow()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, false));
    QCOMPARE(f.refuseAuthor("REFUSE"), QString());
    const QByteArray settingsBefore = f.settingsBytes();

    // At closing: the engine's text, the window and the edit stay, nothing written.
    f.retype(f.box(5), "REFUSE");
    QVERIFY(!f.window->close());
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.messenger.endCount, 0);
    QCOMPARE(f.settingsBytes(), settingsBefore);
    // Adding: the handler stops at the refused update, no record added.
    QTest::keyClick(f.box(5), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.rows().size(), 4);
    QCOMPARE(f.messages().size(), 2);
    for (const QString &message : f.messages())
        QVERIFY2(message.startsWith("|0|") && message.contains("auteur refusé"), qPrintable(message));
    // Mended, the edit is stored and the record added.
    QCOMPARE(f.box(5)->text(), "REFUSE");
    QTest::keyClick(f.box(5), Qt::Key_End);
    typeText(f.box(5), "D");
    f.click("cmdAdd");
    QCOMPARE(f.rows().size(), 5);
    QCOMPARE(f.stored(0, 4), "REFUSED");

    // In the grid, the data control reports it, and the grid stays on the record.
    f.messenger.clear();
    f.click("cmdList_1");
    f.clickCell(0, 5);
    f.typeInCell("REFUSE");
    f.enterInGrid();
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QCOMPARE(f.messages(), QStringList("|0|Data error event hit err:auteur refusé"));
    QCOMPARE(f.caption(), "Record: 1");
    QCOMPARE(f.grid()->currentIndex().row(), 0);

    f.clickCell(0, 5);
    f.typeInCell("Accepté");
    QVERIFY(f.window->close());
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.stored(0, 4), "Accepté");
    QCOMPARE(f.general("Database"), "biblio.db");
}

void tst_frmFerulanEditing::selectorsFollowRecord_data()
{
    // The second record's PREFIXE and the type option it shows; a letter of
    // no type leaves the previous record's option in place. Its NUMERO is out
    // of range, which the form refuses to show.
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Z") << QVariant("Z") << "opPrefixe_4";
    QTest::newRow("empty") << QVariant("") << "opPrefixe_1";
    QTest::newRow("null") << QVariant() << "opPrefixe_1";
    QTest::newRow("lower case") << QVariant("z") << "opPrefixe_1";
    QTest::newRow("no such code") << QVariant("X") << "opPrefixe_1";
    QTest::newRow("two letters") << QVariant("ZB") << "opPrefixe_1";
}

void tst_frmFerulanEditing::selectorsFollowRecord()
{
    QFETCH(QVariant, value);
    QFETCH(QString, shown);
    QList<Row> rows = catalogueRows();
    rows[1][0] = value;
    rows[1][3] = 40000;
    WindowFixture f;
    QVERIFY(f.startWith(rows, true, false));
    auto unchecked = [&f](const QStringList &names) {
        QStringList off;
        for (const QString &name : names) {
            if (!f.option(name)->isChecked())
                off << name;
        }
        return off;
    };
    QCOMPARE(unchecked({"opPrefixe_1", "opLangue_2", "opDomaine_3"}), QStringList());
    f.click("moveNext");
    QCOMPARE(unchecked({"opLangue_2", "opDomaine_7", shown}), QStringList());
    QCOMPARE(f.child<QLineEdit>("txtPrefixe")->text(), value.toString());
    // A stored NUMERO out of range is refused as shown, not changed.
    QCOMPARE(f.messenger.messages.size(), 1);
    QCOMPARE(f.box(4)->text(), QString());
    // B means "livre" as a type but "Chimie minérale" as a domain.
    f.click("moveLast");
    QCOMPARE(unchecked({"opPrefixe_3", "opLangue_1", "opDomaine_5"}), QStringList());
    // Looking at a record does not change it.
    f.window->close();
    QCOMPARE(f.rows().at(1).at(0), value);
    QCOMPARE(f.stored(1, 3), "40000");
}

void tst_frmFerulanEditing::optionClickStoresLetter_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("stored");

    QTest::newRow("Pédagogie is G") << true << "opDomaine_7" << 2 << "G";
    QTest::newRow("Divers is F") << true << "opDomaine_6" << 2 << "F";
    QTest::newRow("logiciel is L") << true << "opPrefixe_2" << 0 << "L";
    QTest::newRow("english is E") << true << "opLangue_3" << 1 << "E";
    QTest::newRow("read-only: T shown, B kept") << false << "opPrefixe_5" << 0 << "B";
}

void tst_frmFerulanEditing::optionClickStoresLetter()
{
    QFETCH(bool, editing);
    QFETCH(QString, option);
    QFETCH(int, field);
    QFETCH(QString, stored);

    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), editing, false));
    clickOption(f.option(option));
    QVERIFY(f.option(option)->isChecked());
    // opDomaine_7 shows its letter in txtDomaine.
    QCOMPARE(f.child<QLineEdit>("txt" + option.section('_', 0, 0).mid(2))->text(), editing ? stored : "T");
    f.click("moveNext");
    f.window->close();
    QCOMPARE(f.stored(0, field), stored);
}

QTEST_MAIN(tst_frmFerulanEditing)
#include "tst_frmferulan_editing.moc"
