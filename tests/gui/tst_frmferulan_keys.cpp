// The sort selector and the main window's keys: Ctrl+A, Ctrl+S, the access
// keys of the buttons, Enter through the grid's columns, the record moves of
// the form view, F1, Ctrl+F and the Tab order.

#include "WindowFixture.h"

#include "main_window/OrderCombo.h"
#include "settings/Twips.h"

#include <QAbstractItemView>
#include <QtTest>

namespace {

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
    void tabOrder_data();
    void tabOrder();
    void enterThroughColumns();
};

void tst_frmFerulanKeys::sortChosenFromList()
{
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), false, true));
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
    QVERIFY(f.startActive(catalogueRows(), true, false, {"DataOrderString=ORDER BY TITRE", "ComboOrder=AUTEUR"}));
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
    QTest::addColumn<QString>("focus"); // when not the grid; AUTEUR's box unless named
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("deleteShown");
    QTest::addColumn<QString>("opens"); // a window the keys open
    const auto row = [](const char *name, bool editing, bool inGrid, const char *focus, const char *keys, int rows,
                        int record, bool deleteShown = false, const char *opens = "") {
        QTest::newRow(name) << editing << inGrid << QString(focus) << QKeySequence(keys) << rows
                            << QString("Record: %1").arg(record) << deleteShown << QString(opens);
    };

    // Ctrl+A and Ctrl+S in the form also drive the add and delete tests.
    row("Ctrl+A in the grid", true, true, "", "Ctrl+A", 5, 5);
    row("Ctrl+S in the grid", true, true, "", "Ctrl+S", 4, 1, true);
    row("Ctrl+S twice hides again", true, false, "", "Ctrl+S, Ctrl+S", 4, 1);
    row("Ctrl+Shift+A, Ctrl+Alt+S", true, false, "", "Ctrl+Shift+A, Ctrl+Alt+S", 4, 1);
    row("read-only Ctrl+A, Ctrl+S", false, false, "", "Ctrl+A, Ctrl+S", 4, 1);
    row("read-only Ctrl+A in the grid", false, true, "", "Ctrl+A", 4, 1);
    row("Alt+A presses Ajoute", true, false, "", "Alt+A", 5, 5);
    row("read-only Alt+A: the hidden button takes none", false, false, "", "Alt+A", 4, 1);
    row("Alt+E while Efface is hidden", true, false, "", "Alt+E", 4, 1);
    row("Alt+E once Efface is shown", true, false, "", "Ctrl+S, Alt+E", 3, 1, true);
    // The record moves of the form view, in any of its controls but the
    // sort selector, whose list they step through.
    row("PgDn, PgDn, PgUp", false, false, "", "PgDown, PgDown, PgUp", 4, 2);
    row("Ctrl+End in TITRE", true, false, "txtFields_7", "Ctrl+End", 4, 4);
    row("Ctrl+End, Ctrl+Home, PgDn on an arrow", false, false, "moveNext", "Ctrl+End, Ctrl+Home, PgDown", 4, 2);
    row("PgDn on an option", true, false, "opPrefixe_1", "PgDown", 4, 2);
    row("PgDn in the sort selector sorts", true, false, "cmbOrder", "PgDown", 4, 1);
    row("list view: PgDn on a button", true, true, "cmdFilter", "PgDown", 4, 1);
    row("F1 in the grid", false, true, "", "F1", 4, 1, false, "KeyHelpWindow");
    row("Ctrl+F: the search", false, false, "", "Ctrl+F", 4, 1, false, "frmSearch");
}

void tst_frmFerulanKeys::keys()
{
    QFETCH(bool, editing);
    QFETCH(bool, inGrid);
    QFETCH(QString, focus);
    QFETCH(QKeySequence, keys);
    QFETCH(int, rows);
    QFETCH(QString, caption);
    QFETCH(bool, deleteShown);
    QFETCH(QString, opens);

    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), editing, inGrid));
    QWidget *target = !focus.isEmpty() ? f.child<QWidget>(focus) : inGrid ? static_cast<QWidget *>(f.grid()) : f.box(6);
    for (int i = 0; i < keys.count(); ++i) {
        target->setFocus();
        f.press(keys[i].key(), keys[i].keyboardModifiers());
        // An access key presses its button as a click would, a moment later.
        if (keys[i].keyboardModifiers() == Qt::AltModifier)
            QTest::qWait(QApplication::doubleClickInterval() / 2 + 200);
    }
    QCOMPARE(f.rows().size(), rows);
    QCOMPARE(f.caption(), caption);
    QCOMPARE(f.child<QWidget>("cmdDelete")->isVisible(), deleteShown);
    QCOMPARE(f.window->module().OrderClause.isEmpty(), focus != "cmbOrder");
    QVERIFY(f.messenger.messages.isEmpty());
    // The list of keys is a window of its own too; the about box greets a
    // read-only start by itself.
    QStringList opened;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != f.window.get() && window->isVisible() && window->objectName() != "frmArtInf")
            opened << window->objectName();
    }
    QCOMPARE(opened.join(','), opens);
}

void tst_frmFerulanKeys::tabOrder_data()
{
    QTest::addColumn<bool>("list");
    // From the first control round to it again; Shift+Tab walks back.
    QTest::addColumn<QStringList>("stops");

    QTest::newRow("form view") << false
        << QStringList{"txtFields_4", "txtFields_5", "txtFields_6", "txtFields_7", "txtFields_8", "opPrefixe_1",
                       "opLangue_2", "opDomaine_3", "moveFirst", "movePrevious", "moveNext", "moveLast", "cmdAdd",
                       "cmdFilter", "cmdSearch", "cmdClose", "cmbOrder", "cmdList_1", "Command1", "txtFields_4"};
    QTest::newRow("list view") << true
        << QStringList{"DBGrid1", "cmdList_2", "cmdAdd", "cmdFilter", "cmdSearch", "cmdClose", "cmbOrder", "DBGrid1"};
}

void tst_frmFerulanKeys::tabOrder()
{
    QFETCH(bool, list);
    QFETCH(QStringList, stops);

    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, list));
    // The control that has the focus, or whose part has it.
    const auto focused = [] {
        QWidget *focus = QApplication::focusWidget();
        while (focus && focus->objectName().isEmpty())
            focus = focus->parentWidget();
        return focus ? focus->objectName() : QString();
    };
    f.child<QWidget>(stops.first())->setFocus();
    QStringList walked{focused()};
    for (int i = 1; i < stops.size(); ++i) {
        f.press(Qt::Key_Tab);
        walked << focused();
    }
    QCOMPARE(walked, stops);
    for (int i = stops.size() - 2; i >= 0; --i) {
        f.press(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focused(), stops.at(i));
    }
}

void tst_frmFerulanKeys::enterThroughColumns()
{
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, true));
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
