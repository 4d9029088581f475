// Editing in the main window: add, update and delete in both views, the
// NUMERO check in the form and in the grid, the busy pointer, errors while
// storing, and the code selectors in step with the record.

#include "WindowFixture.h"

#include "catalogue/CatalogueRecord.h"

#include <QLocale>
#include <QtTest>

using TestSupport::Row;

namespace {

const Row EmptyRow(8);

} // namespace

class tst_frmFerulanEditing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void add_data();
    void add();
    void deleteRecord_data();
    void deleteRecord();
    void updateInGrid();
    void numero_data();
    void numero();
    void isbnCheckDigit();
    void refusedStoreKeepsEditAndWindow();
    void selectorsFollowRecord();
    void optionChoiceStoresLetter_data();
    void optionChoiceStoresLetter();
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
    // The pointer is an hourglass from each validate to the reposition.
    QList<int> shapes;
    connect(&f.window->Data1, &DataControl::validating, this, [&shapes] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        shapes << (cursor ? int(cursor->shape()) : -1);
    });

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
        for (int index = 4; index <= 8; ++index)
            QCOMPARE(f.window->fieldText(index), QString());
        QVERIFY(f.box(6)->hasFocus());
    }
    QCOMPARE(f.rows().mid(4), QList<Row>{EmptyRow});
    QCOMPARE(f.grid()->model()->rowCount(), 5);
    QCOMPARE(f.caption(), "Record: 5");
    QVERIFY(f.messenger.messages.isEmpty());
    QVERIFY(!shapes.isEmpty());
    QCOMPARE(shapes, QList<int>(shapes.size(), Qt::WaitCursor));
    QVERIFY(!QGuiApplication::overrideCursor());
    // A validate that never arrives anywhere leaves no hourglass behind.
    Q_EMIT f.window->Data1.validating(DataControl::MoveNextAction, false);
    QVERIFY(QGuiApplication::overrideCursor());
    QTRY_VERIFY(!QGuiApplication::overrideCursor());

    if (!list) {
        // The new record keeps the option shown, yet a click on it still
        // gives the record its letter.
        QVERIFY(f.option("opPrefixe_1")->isChecked());
        clickOption(f.option("opPrefixe_1"));
        lastRow[0] = "B";
    }
    // Closing stores what is shown; an untouched new record stays empty.
    f.window->close();
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.rows().mid(4), QList<Row>{lastRow});
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
    QStringList authors;
    for (const Row &row : f.rows())
        authors << row.at(4).toString();
    QCOMPARE(authors, left);
    QCOMPARE(f.grid()->model()->rowCount(), 3);
    QCOMPARE(f.grid()->model()->index(0, 5).data().toString(), left.first());
    // No question asked; the next record is shown, or none past the end.
    QVERIFY(f.messenger.messages.isEmpty());
    QCOMPARE(f.caption(), last ? "Record: 0" : "Record: 1");
    QCOMPARE(f.box(5)->text(), last ? "" : "Atkins");
    // With nothing current, what is typed or chosen would have nowhere to
    // go: the form takes no input, visibly, and delete does nothing at all.
    QCOMPARE(f.box(5)->isEnabled() && f.option("opLangue_3")->isEnabled(), !last);
    if (last) {
        typeText(f.box(5), "Perdu");
        QCOMPARE(f.box(5)->text(), "");
        f.click("cmdDelete");
        QCOMPARE(f.rows().size(), 3);
        QVERIFY(f.messenger.messages.isEmpty());
        // Add gives the form a record again.
        f.click("cmdAdd");
        QVERIFY(f.box(5)->isEnabled() && f.option("opLangue_3")->isEnabled());
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
    // minus alone would be refused as the first keystroke. A refused text is
    // cleared and typing goes on from the empty box or cell.
    QTest::newRow("form 12") << false << 3 << "12" << 0 << "12";
    QTest::newRow("form -5") << false << 3 << "-5" << 0 << "-5";
    QTest::newRow("form 2.5 rounds to even") << false << 3 << "2" + QLocale::system().decimalPoint() + "5" << 0 << "2";
    QTest::newRow("form 12a") << false << 3 << "12a" << 1 << "NULL";
    QTest::newRow("form abc, each letter") << false << 3 << "abc" << 3 << "NULL";
    QTest::newRow("form -32769: the minus, then the number") << false << 3 << "-32769" << 2 << "NULL";
    QTest::newRow("grid x, the key that opens the editor") << true << 3 << "x" << 1 << "NULL";
    QTest::newRow("grid 7x in the open editor, then 9") << true << 3 << "7x9" << 1 << "9";
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
    QVERIFY(f.startActive(catalogueRows(), true, list));
    if (list) {
        // Another edit of the record is pending when NUMERO is refused.
        f.clickCell(0, Catalogue::EDITEUR);
        f.typeInCell("Dupont");
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
    // Each in a real modal box that took the focus.
    QCOMPARE(f.messages(), QStringList(refusals, refusal));
    QCOMPARE(f.messenger.boxesAnsweredWithFocus, refusals);
    // The cleared value is what the record keeps, with the other edit.
    const QString shown = list ? f.grid()->cellText() : f.box(4)->text();
    QCOMPARE(shown, stored == "NULL" ? QString() : refusals ? stored : text);
    f.window->close();
    QCOMPARE(f.stored(0, field), stored);
    QCOMPARE(f.stored(0, 5), list ? "Dupont" : "De Boeck");
}

void tst_frmFerulanEditing::isbnCheckDigit()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, false));
    QLineEdit *box = f.box(8);
    const auto marked = [](QWidget *widget) { return widget->palette().color(QPalette::Base) == QColor(0xff, 0xd6, 0xd6); };
    // The first record is shown with its wrong digit marked; a right one
    // takes the mark away, a wrong one typed brings it back, and the box's
    // own tooltip returns with a right one.
    QVERIFY(marked(box));
    QCOMPARE(box->toolTip(), "Chiffre de contrôle attendu : 9");
    f.retype(box, "2-7000-0107-9");
    QVERIFY(!marked(box));
    QCOMPARE(box->toolTip(), QString());
    box->setToolTip("Numéro du livre");
    f.retype(box, "978-2-07-036024-5");
    QVERIFY(marked(box));
    QCOMPARE(box->toolTip(), "Chiffre de contrôle attendu : 6");
    f.retype(box, "0317-8471");
    QCOMPARE(box->toolTip(), "Numéro du livre");
    QVERIFY(!marked(box));
    f.retype(box, "978-2-07-036024-5");
    QVERIFY(f.messenger.messages.isEmpty());

    // The grid marks the cell through the model and its editor as it is typed.
    f.click("cmdList_1");
    f.clickCell(1, Catalogue::ISBN);
    const QModelIndex cell = f.grid()->model()->index(0, Catalogue::ISBN);
    QCOMPARE(cell.data(Qt::ToolTipRole).toString(), "Chiffre de contrôle attendu : 6");
    QCOMPARE(cell.data(Qt::BackgroundRole).value<QBrush>().color(), QColor(0xff, 0xd6, 0xd6));
    f.typeInCell("0-8044-2957-3");
    QVERIFY(marked(f.grid()->cellEditor()));
    QTest::keyClick(f.grid()->cellEditor(), Qt::Key_Backspace);
    typeText(f.grid()->cellEditor(), "X");
    QVERIFY(!marked(f.grid()->cellEditor()));
    f.window->close();
    QCOMPARE(f.stored(0, 7), "978-2-07-036024-5");
    QCOMPARE(f.stored(1, 7), "0-8044-2957-X");
    QVERIFY(!f.grid()->model()->index(1, Catalogue::ISBN).data(Qt::ToolTipRole).isValid());
}

void tst_frmFerulanEditing::refusedStoreKeepsEditAndWindow()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, false));
    QCOMPARE(f.refuseAuthor("REFUSE"), QString());
    const QByteArray settingsBefore = f.settingsBytes();

    // At closing the engine's text and a question, whose default keeps the
    // window and the edit; nothing written.
    f.retype(f.box(5), "REFUSE");
    QVERIFY(!f.window->close());
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.messenger.endCount, 0);
    QCOMPARE(f.settingsBytes(), settingsBefore);
    // Adding: the handler stops at the refused update, no record added.
    QTest::keyClick(f.box(5), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.rows().size(), 4);
    QCOMPARE(f.messages().size(), 2);
    QVERIFY2(f.messages().at(0).startsWith("Ferulan|32|") && f.messages().at(0).contains("auteur refusé"),
             qPrintable(f.messages().at(0)));
    QCOMPARE(f.messages().at(1), "|0|auteur refusé");
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
    // Ctrl+A from an open cell editor: the message comes while the key is
    // still on its way to the editor.
    const int boxes = f.messenger.boxesAnsweredWithFocus;
    f.clickCell(0, 6);
    f.typeInCell("Wiley");
    QTest::keyClick(f.grid()->cellEditor(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.messages().last(), "|0|auteur refusé");
    QCOMPARE(f.messenger.boxesAnsweredWithFocus, boxes + 1);
    QCOMPARE(f.rows().size(), 5);


    // Closing with the edits still refused: the user drops them. The record
    // stays as stored, the settings are written, and what was typed is noted
    // beside the program.
    f.messenger.nextAnswer = 1;
    QVERIFY(f.window->close());
    QCOMPARE(f.messenger.messages.last().answers, (QStringList{"Continuer la saisie", "Abandonner et quitter"}));
    QCOMPARE(f.messenger.boxesAnsweredWithFocus, boxes + 2);
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.rows().first().mid(4, 2), (Row{"REFUSED", "De Boeck"}));
    QCOMPARE(f.general("Database"), "biblio.db");
    const QString noted = QString::fromUtf8(TestSupport::readFile(f.path("ferulan-recuperation.txt")));
    for (const char *line : {"auteur refusé", "AUTEUR: REFUSE\n", "EDITEUR: Wiley\n", "ISBN: 2-8041-1234-5\n"})
        QVERIFY2(noted.contains(QString::fromUtf8(line)), qPrintable(noted));
}

void tst_frmFerulanEditing::selectorsFollowRecord()
{
    // Each record's PREFIXE and the type option it shows; a letter of no
    // type leaves the previous record's option in place. LANGUE and DOMAINE
    // come from catalogueRows() in turn.
    const QList<std::pair<QVariant, QString>> prefixes{
        {"B", "opPrefixe_1"}, {"", "opPrefixe_1"},  {"Z", "opPrefixe_4"}, {QVariant(), "opPrefixe_4"},
        {"L", "opPrefixe_2"}, {"z", "opPrefixe_2"}, {"T", "opPrefixe_5"}, {"X", "opPrefixe_5"},
        {"V", "opPrefixe_3"}, {"ZB", "opPrefixe_3"}};
    const QStringList languages{"opLangue_2", "opLangue_2", "opLangue_3", "opLangue_1"};
    const QStringList domains{"opDomaine_3", "opDomaine_7", "opDomaine_1", "opDomaine_5"};
    QList<Row> rows;
    for (const auto &[prefix, option] : prefixes) {
        rows << catalogueRows().at(rows.size() % 4);
        rows.last()[0] = prefix;
    }
    // A stored NUMERO out of range is refused as shown, not changed.
    rows[1][3] = 40000;
    WindowFixture f;
    QVERIFY(f.startWith(rows, true, false));
    for (int i = 0; i < rows.size(); ++i, f.click("moveNext")) {
        for (const QString &name : {prefixes.at(i).second, languages.at(i % 4), domains.at(i % 4)})
            QVERIFY2(f.option(name)->isChecked(), qPrintable(QString("%1 at record %2").arg(name).arg(i + 1)));
        QCOMPARE(f.child<QLineEdit>("txtPrefixe")->text(), rows.at(i).at(0).toString());
        QCOMPARE(f.messenger.messages.size(), i > 0 ? 1 : 0);
        if (i == 1)
            QCOMPARE(f.box(4)->text(), QString());
    }
    // Looking at a record does not change it.
    f.window->close();
    QCOMPARE(f.rows(), rows);
}

void tst_frmFerulanEditing::optionChoiceStoresLetter_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<int>("tabs"); // from livre, selected; -1: a click on the option
    QTest::addColumn<QString>("option"); // the option clicked, or where Tab lands
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("stored");

    QTest::newRow("Pédagogie is G") << true << -1 << "opDomaine_7" << 0 << 0 << 2 << "G";
    QTest::newRow("Divers is F") << true << -1 << "opDomaine_6" << 0 << 0 << 2 << "F";
    QTest::newRow("logiciel is L") << true << -1 << "opPrefixe_2" << 0 << 0 << 0 << "L";
    QTest::newRow("read-only: T shown, B kept") << false << -1 << "opPrefixe_5" << 0 << 0 << 0 << "B";
    // The first record shows livre, française and Chimie organique (3):
    // Tab goes from group to group, landing on the selected option; the
    // arrows select.
    QTest::newRow("Tab to française, Down: anglaise") << true << 1 << "opLangue_2" << int(Qt::Key_Down) << 1 << 1 << "E";
    QTest::newRow("Tab to domaine, Up: B") << true << 2 << "opDomaine_3" << int(Qt::Key_Up) << 1 << 2 << "B";
    QTest::newRow("Right three times: Pédagogie before Divers")
        << true << 2 << "opDomaine_3" << int(Qt::Key_Right) << 3 << 2 << "G";
    QTest::newRow("Left from livre wraps round to T") << true << 0 << "opPrefixe_1" << int(Qt::Key_Left) << 1 << 0 << "T";
}

void tst_frmFerulanEditing::optionChoiceStoresLetter()
{
    QFETCH(bool, editing);
    QFETCH(int, tabs);
    QFETCH(QString, option);
    QFETCH(int, key);
    QFETCH(int, presses);
    QFETCH(int, field);
    QFETCH(QString, stored);

    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), editing, false));
    if (tabs < 0) {
        clickOption(f.option(option));
        QVERIFY(f.option(option)->isChecked());
    } else {
        f.option("opPrefixe_1")->setFocus();
        for (int i = 0; i < tabs; ++i)
            f.press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.option(option));
        for (int i = 0; i < presses; ++i)
            f.press(Qt::Key(key));
        QVERIFY(static_cast<QRadioButton *>(QApplication::focusWidget())->isChecked());
    }
    f.click("moveNext");
    f.window->close();
    QCOMPARE(f.stored(0, field), stored);
}

QTEST_MAIN(tst_frmFerulanEditing)
#include "tst_frmferulan_editing.moc"
