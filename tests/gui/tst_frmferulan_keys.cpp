// The sort selector and the main window's keys: Ctrl+A, Ctrl+S, the access
// keys of the buttons and Enter through the grid's columns.

#include "WindowFixture.h"

#include "main_window/OrderCombo.h"
#include "settings/Twips.h"

#include <QAbstractItemView>
#include <QtTest>

namespace {

// catalogueRows(), the window active as a person would find it.
bool startActive(WindowFixture &f, bool editing, bool list)
{
    if (!f.startWith(catalogueRows(), editing, list))
        return false;
    f.window->activateWindow();
    return QTest::qWaitForWindowActive(f.window.get());
}

// A choice from the selector's open list, with the mouse.
void chooseFromList(const WindowFixture &f, const QString &entry)
{
    OrderCombo *combo = f.window->cmbOrder;
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY(list->isVisible());
    const QModelIndex item = list->model()->index(combo->findText(entry), 0);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
    QTRY_VERIFY(!list->isVisible());
}

} // namespace

class tst_frmFerulanKeys : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sortChosenFromList();
    void onlyAChoiceFromTheListSorts_data();
    void onlyAChoiceFromTheListSorts();
    void keys_data();
    void keys();
    void enterThroughColumns();
};

void tst_frmFerulanKeys::sortChosenFromList()
{
    WindowFixture f;
    QVERIFY(startActive(f, false, true));
    QCOMPARE(f.box(5)->text(), "Vollhardt");
    // A filter and a search in force stay in force.
    Module1 &state = f.window->module();
    state.FilterClause = "WHERE (LANGUE = 'F' OR LANGUE = 'E')";
    state.SearchClause = "TITRE LIKE '*i*'";
    QVERIFY(state.ComposeQuery());
    // Widths the user changed are put back by the new query.
    f.grid()->setColumnWidth(5, 33);
    f.grid()->setColumnHidden(0, false);
    f.grid()->setColumnWidth(0, 40);

    chooseFromList(f, "AUTEUR");
    QCOMPARE(f.window->Data1.RecordSource(),
             "SELECT * FROM Biblio WHERE (LANGUE = 'F' OR LANGUE = 'E') AND TITRE LIKE '*i*' ORDER BY AUTEUR");
    QCOMPARE(f.box(5)->text(), "Atkins");
    QCOMPARE(f.caption(), "Record: 1");
    QCOMPARE(f.grid()->model()->rowCount(), 3);
    QCOMPARE(f.grid()->model()->index(2, 5).data().toString(), "Vollhardt");
    QCOMPARE(f.grid()->columnWidth(0), 0);
    QCOMPARE(f.grid()->columnWidth(5), Twips::toPixels(2000));
    QCOMPARE(f.grid()->columnWidth(7), Twips::toPixels(6000));

    // A query the engine rejects is shown; the old result stays, and the
    // window still works.
    state.SearchClause = "AUTEUR LIKE 'x";
    chooseFromList(f, "ISBN");
    QCOMPARE(f.messenger.messages.size(), 1);
    QVERIFY(!f.lastMessage().isEmpty());
    QCOMPARE(f.messenger.endCount, 0);
    QCOMPARE(f.box(5)->text(), "Atkins");
    state.SearchClause = "TITRE LIKE '*i*'";
    chooseFromList(f, "TITRE");
    QCOMPARE(f.box(5)->text(), "Müller");
    QCOMPARE(f.messenger.messages.size(), 1);
    f.window->close();
    QCOMPARE(f.general("DataOrderString"), "ORDER BY TITRE");
    QCOMPARE(f.general("ComboOrder"), "TITRE");
}

void tst_frmFerulanKeys::onlyAChoiceFromTheListSorts_data()
{
    QTest::addColumn<int>("leaveBy");
    QTest::newRow("Tab") << int(Qt::Key_Tab);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void tst_frmFerulanKeys::onlyAChoiceFromTheListSorts()
{
    QFETCH(int, leaveBy);
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, false, {"DataOrderString=ORDER BY TITRE", "ComboOrder=AUTEUR"}));
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    OrderCombo *combo = f.window->cmbOrder;
    QAbstractItemView *list = combo->view();
    const auto order = [&f] { return f.window->module().OrderClause + ", " + f.caption(); };

    // The stored text, which the field matches to an entry when it is left
    // or its list opened, is no choice: neither the order nor the record moves.
    f.click("moveNext");
    QTest::mouseClick(combo->lineEdit(), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), combo);
    QTest::mouseClick(f.box(5), Qt::LeftButton);
    QCOMPARE(order(), "ORDER BY TITRE, Record: 2");
    combo->setFocus(Qt::TabFocusReason);
    f.press(Qt::Key_F4);
    QTRY_VERIFY(list->isVisible());
    QTest::keyClick(list, Qt::Key_Escape);
    QTRY_VERIFY(!list->isVisible());
    f.press(Qt::Key(leaveBy));
    QCOMPARE(order(), "ORDER BY TITRE, Record: 2");
    QCOMPARE(f.box(5)->text(), "Atkins");

    // Enter on an entry of the open list, an arrow on the closed one: choices.
    combo->setFocus(Qt::TabFocusReason);
    f.press(Qt::Key_F4);
    QTRY_VERIFY(list->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(order(), "ORDER BY EDITEUR, Record: 1");
    f.press(Qt::Key_Up);
    QCOMPARE(order(), "ORDER BY AUTEUR, Record: 1");
    QCOMPARE(f.box(5)->text(), "Atkins");

    // Typed text, even a field's name, does not sort.
    combo->lineEdit()->selectAll();
    typeText(combo->lineEdit(), "TITRE");
    f.press(Qt::Key(leaveBy));
    QCOMPARE(order(), "ORDER BY AUTEUR, Record: 1");
    QCOMPARE(combo->currentText(), "TITRE");
    // Stored as shown, while the order stays the last one chosen.
    f.window->close();
    QCOMPARE(f.general("ComboOrder"), "TITRE");
    QCOMPARE(f.general("DataOrderString"), "ORDER BY AUTEUR");
}

void tst_frmFerulanKeys::keys_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("inGrid");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("deleteShown");

    // Ctrl+A and Ctrl+S in the form also drive the add and delete tests.
    QTest::newRow("Ctrl+A in the grid") << true << true << QKeySequence("Ctrl+A") << 5 << false;
    QTest::newRow("Ctrl+S in the grid") << true << true << QKeySequence("Ctrl+S") << 4 << true;
    QTest::newRow("Ctrl+S twice hides again") << true << false << QKeySequence("Ctrl+S, Ctrl+S") << 4 << false;
    QTest::newRow("Ctrl+Shift+A") << true << false << QKeySequence("Ctrl+Shift+A") << 4 << false;
    QTest::newRow("Ctrl+Alt+S") << true << false << QKeySequence("Ctrl+Alt+S") << 4 << false;
    QTest::newRow("read-only Ctrl+A") << false << false << QKeySequence("Ctrl+A") << 4 << false;
    QTest::newRow("read-only Ctrl+A in the grid") << false << true << QKeySequence("Ctrl+A") << 4 << false;
    QTest::newRow("read-only Ctrl+S") << false << false << QKeySequence("Ctrl+S") << 4 << false;
    QTest::newRow("Alt+A presses Ajoute") << true << false << QKeySequence("Alt+A") << 5 << false;
    QTest::newRow("read-only Alt+A: the hidden button takes none") << false << false << QKeySequence("Alt+A") << 4 << false;
    QTest::newRow("Alt+E while Efface is hidden") << true << false << QKeySequence("Alt+E") << 4 << false;
    QTest::newRow("Alt+E once Efface is shown") << true << false << QKeySequence("Ctrl+S, Alt+E") << 3 << true;
}

void tst_frmFerulanKeys::keys()
{
    QFETCH(bool, editing);
    QFETCH(bool, inGrid);
    QFETCH(QKeySequence, keys);
    QFETCH(int, rows);
    QFETCH(bool, deleteShown);

    WindowFixture f;
    QVERIFY(startActive(f, editing, inGrid));
    for (int i = 0; i < keys.count(); ++i) {
        inGrid ? f.grid()->setFocus() : f.box(6)->setFocus();
        f.press(keys[i].key(), keys[i].keyboardModifiers());
        // An access key presses its button as a click would, a moment later.
        if (keys[i].keyboardModifiers() == Qt::AltModifier)
            QTest::qWait(QApplication::doubleClickInterval() / 2 + 200);
    }
    QCOMPARE(f.rows().size(), rows);
    QCOMPARE(f.caption(), rows == 5 ? "Record: 5" : "Record: 1");
    QCOMPARE(f.child<QWidget>("cmdDelete")->isVisible(), deleteShown);
    QVERIFY(f.messenger.messages.isEmpty());
}

void tst_frmFerulanKeys::enterThroughColumns()
{
    WindowFixture f;
    QVERIFY(startActive(f, true, true));
    f.grid()->setFocus();
    QCOMPARE(f.grid()->currentIndex(), f.grid()->model()->index(0, 1));
    for (int column = 2; column <= 8; ++column) {
        f.press(Qt::Key_Return);
        QCOMPARE(f.grid()->currentIndex(), f.grid()->model()->index(0, column));
    }
    QCOMPARE(f.rows().size(), 4);

    // Enter on ISBN adds a record and goes to its first column.
    f.press(Qt::Key_Enter);
    QCOMPARE(f.rows().size(), 5);
    QCOMPARE(f.grid()->currentIndex(), f.grid()->model()->index(4, 1));
    QCOMPARE(f.caption(), "Record: 5");

    // Enter while a cell is being edited stores the text and moves on.
    QTest::keyClick(f.grid(), 'V');
    QVERIFY(f.grid()->cellEditor());
    f.press(Qt::Key_Return);
    QVERIFY(!f.grid()->cellEditor());
    QCOMPARE(f.grid()->currentIndex(), f.grid()->model()->index(4, 2));
    QCOMPARE(f.grid()->model()->index(4, 1).data().toString(), "V");
    // Tab leaves the grid for the next control.
    f.press(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.child<QWidget>("cmdList_2"));
    f.window->close();
    QCOMPARE(f.stored(4, 0), "V");
}

QTEST_MAIN(tst_frmFerulanKeys)
#include "tst_frmferulan_keys.moc"
