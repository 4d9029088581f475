// The sort selector and the main window's keys: Ctrl+A, Ctrl+S, the access
// keys of the buttons and Enter through the grid's columns.

#include "WindowFixture.h"

#include "main_window/DataGrid.h"
#include "main_window/NavigationBar.h"
#include "main_window/OrderCombo.h"
#include "settings/Twips.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using TestSupport::Row;

namespace {

class KeysTest {
public:
    explicit KeysTest(bool editing = true, bool list = false)
    {
        // catalogueRows(): Vollhardt, Atkins, Müller, Bernard in natural order.
        ok = f.startWith(catalogueRows(), editing, list);
        if (ok) {
            f.window->activateWindow();
            ok = QTest::qWaitForWindowActive(f.window.get());
        }
    }

    OrderCombo *combo() const { return f.window->cmbOrder; }
    DataGrid *grid() const { return f.window->DBGrid1; }
    QString author() const { return f.child<QLineEdit>(QStringLiteral("txtFields_5"))->text(); }
    QString caption() const { return f.child<NavigationBar>(QStringLiteral("Data1"))->caption(); }
    QPushButton *button(const char *name) const { return f.child<QPushButton>(QString::fromLatin1(name)); }

    // A choice from the open list, with the mouse.
    void chooseFromList(const QString &entry) const
    {
        combo()->showPopup();
        QAbstractItemView *list = combo()->view();
        QTRY_VERIFY(list->isVisible());
        const QModelIndex item = list->model()->index(combo()->findText(entry), 0);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
        QTRY_VERIFY(!list->isVisible());
    }

    WindowFixture f;
    bool ok = false;
};

} // namespace

class tst_frmFerulanKeys : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sortChosenFromList();
    void sortByKeyboardStepsThroughList();
    void sortKeepsFilterAndSearch();
    void typedTextDoesNotSort_data();
    void typedTextDoesNotSort();
    void failingSortIsShownAndProgramGoesOn();
    void keys_data();
    void keys();
    void ctrlSTwiceHidesAgain();
    void accessKeys_data();
    void accessKeys();
    void enterThroughColumns();
};

void tst_frmFerulanKeys::sortChosenFromList()
{
    KeysTest t(false, true);
    QVERIFY(t.ok);
    QCOMPARE(t.author(), QStringLiteral("Vollhardt"));
    // Widths the user changed are put back by the new query.
    t.grid()->setColumnWidth(5, 33);
    t.grid()->setColumnHidden(0, false);
    t.grid()->setColumnWidth(0, 40);

    t.chooseFromList(QStringLiteral("AUTEUR"));
    QCOMPARE(t.f.window->module().OrderClause, QStringLiteral("ORDER BY AUTEUR"));
    QCOMPARE(t.author(), QStringLiteral("Atkins"));
    QCOMPARE(t.caption(), QStringLiteral("Record: 1"));
    QCOMPARE(t.grid()->model()->index(3, 5).data().toString(), QStringLiteral("Vollhardt"));
    QCOMPARE(t.grid()->columnWidth(0), 0);
    QCOMPARE(t.grid()->columnWidth(5), Twips::toPixels(2000));
    QCOMPARE(t.grid()->columnWidth(7), Twips::toPixels(6000));

    t.chooseFromList(QStringLiteral("TITRE"));
    QCOMPARE(t.author(), QStringLiteral("Müller"));
    t.f.window->close();
    QCOMPARE(t.f.general(QStringLiteral("DataOrderString")), QStringLiteral("ORDER BY TITRE"));
    QCOMPARE(t.f.general(QStringLiteral("ComboOrder")), QStringLiteral("TITRE"));
}

void tst_frmFerulanKeys::sortByKeyboardStepsThroughList()
{
    KeysTest t;
    QVERIFY(t.ok);
    t.combo()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(t.f.window->module().OrderClause, QStringLiteral("ORDER BY NUMERO"));
    QCOMPARE(t.author(), QStringLiteral("Atkins"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(t.f.window->module().OrderClause, QStringLiteral("ORDER BY AUTEUR"));
    QCOMPARE(t.combo()->currentText(), QStringLiteral("AUTEUR"));
}

void tst_frmFerulanKeys::sortKeepsFilterAndSearch()
{
    KeysTest t(false, true);
    QVERIFY(t.ok);
    Module1 &state = t.f.window->module();
    state.FilterClause = QStringLiteral("WHERE (LANGUE = 'F' OR LANGUE = 'E')");
    state.SearchClause = QStringLiteral("TITRE LIKE '*i*'");
    QVERIFY(state.ComposeQuery());
    t.chooseFromList(QStringLiteral("AUTEUR"));
    QCOMPARE(t.f.window->Data1.RecordSource(),
             QStringLiteral("SELECT * FROM Biblio WHERE (LANGUE = 'F' OR LANGUE = 'E') AND TITRE LIKE '*i*' ORDER BY AUTEUR"));
    QCOMPARE(t.grid()->model()->rowCount(), 3);
    QCOMPARE(t.author(), QStringLiteral("Atkins"));
}

void tst_frmFerulanKeys::typedTextDoesNotSort_data()
{
    QTest::addColumn<int>("leaveBy");
    QTest::newRow("Tab") << int(Qt::Key_Tab);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void tst_frmFerulanKeys::typedTextDoesNotSort()
{
    QFETCH(int, leaveBy);
    KeysTest t;
    QVERIFY(t.ok);
    t.combo()->setFocus();
    QLineEdit *field = t.combo()->lineEdit();
    typeText(field, QStringLiteral("TITRE"));
    QTest::keyClick(field, Qt::Key(leaveBy));
    QCOMPARE(t.f.window->module().OrderClause, QString());
    QCOMPARE(t.author(), QStringLiteral("Vollhardt"));
    QCOMPARE(t.combo()->currentText(), QStringLiteral("TITRE"));
    // Stored as shown, while the order stays the last one chosen.
    t.f.window->close();
    QCOMPARE(t.f.general(QStringLiteral("ComboOrder")), QStringLiteral("TITRE"));
    QCOMPARE(t.f.general(QStringLiteral("DataOrderString")), QString());
}

void tst_frmFerulanKeys::failingSortIsShownAndProgramGoesOn()
{
    KeysTest t;
    QVERIFY(t.ok);
    // A search clause the engine rejects, still in force.
    t.f.window->module().SearchClause = QStringLiteral("AUTEUR LIKE 'x");
    t.chooseFromList(QStringLiteral("ISBN"));
    QCOMPARE(t.f.messenger.messages.size(), 1);
    QVERIFY(!t.f.messenger.lastText().isEmpty());
    QCOMPARE(t.f.messenger.messages.first().style, Messenger::OkOnly);
    QCOMPARE(t.f.messenger.endCount, 0);
    // The old result is still there and the window still works.
    QCOMPARE(t.author(), QStringLiteral("Vollhardt"));
    t.f.window->module().SearchClause.clear();
    t.chooseFromList(QStringLiteral("AUTEUR"));
    QCOMPARE(t.author(), QStringLiteral("Atkins"));
    QCOMPARE(t.f.messenger.messages.size(), 1);
}

void tst_frmFerulanKeys::keys_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("inGrid");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("added");
    QTest::addColumn<bool>("deleteShown");

    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("Ctrl+A in the form") << true << false << int(Qt::Key_A) << ctrl << 1 << false;
    QTest::newRow("Ctrl+A in the grid") << true << true << int(Qt::Key_A) << ctrl << 1 << false;
    QTest::newRow("Ctrl+S") << true << false << int(Qt::Key_S) << ctrl << 0 << true;
    QTest::newRow("Ctrl+S in the grid") << true << true << int(Qt::Key_S) << ctrl << 0 << true;
    QTest::newRow("Ctrl+Shift+A") << true << false << int(Qt::Key_A) << int(Qt::ControlModifier | Qt::ShiftModifier) << 0
                                  << false;
    QTest::newRow("Ctrl+Alt+S") << true << false << int(Qt::Key_S) << int(Qt::ControlModifier | Qt::AltModifier) << 0
                                << false;
    QTest::newRow("read-only Ctrl+A") << false << false << int(Qt::Key_A) << ctrl << 0 << false;
    QTest::newRow("read-only Ctrl+A in the grid") << false << true << int(Qt::Key_A) << ctrl << 0 << false;
    QTest::newRow("read-only Ctrl+S") << false << false << int(Qt::Key_S) << ctrl << 0 << false;
}

void tst_frmFerulanKeys::keys()
{
    QFETCH(bool, editing);
    QFETCH(bool, inGrid);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, added);
    QFETCH(bool, deleteShown);

    KeysTest t(editing, inGrid);
    QVERIFY(t.ok);
    if (inGrid)
        t.grid()->setFocus();
    else
        t.f.child<QLineEdit>(QStringLiteral("txtFields_6"))->setFocus();
    pressKey(t.f.window.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(t.f.rows().size(), 4 + added);
    QCOMPARE(t.caption(), added ? QStringLiteral("Record: 5") : QStringLiteral("Record: 1"));
    QCOMPARE(t.button("cmdDelete")->isVisible(), deleteShown);
    QVERIFY(t.f.messenger.messages.isEmpty());
}

void tst_frmFerulanKeys::ctrlSTwiceHidesAgain()
{
    KeysTest t;
    QVERIFY(t.ok);
    t.f.child<QLineEdit>(QStringLiteral("txtFields_5"))->setFocus();
    pressKey(t.f.window.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(t.button("cmdDelete")->isVisible());
    pressKey(t.f.window.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!t.button("cmdDelete")->isVisible());
}

void tst_frmFerulanKeys::accessKeys_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<int>("rowsAfterAltA");
    QTest::newRow("editing") << true << 5;
    QTest::newRow("read-only: the hidden button takes no key") << false << 4;
}

void tst_frmFerulanKeys::accessKeys()
{
    QFETCH(bool, editing);
    QFETCH(int, rowsAfterAltA);

    KeysTest t(editing);
    QVERIFY(t.ok);
    t.f.child<QLineEdit>(QStringLiteral("txtFields_6"))->setFocus();
    pressKey(t.f.window.get(), Qt::Key_A, Qt::AltModifier);
    // An access key presses the button as a click would, a moment later.
    QTest::qWait(QApplication::doubleClickInterval() / 2 + 200);
    QCOMPARE(t.f.rows().size(), rowsAfterAltA);
    if (!editing)
        return;
    // Alt+E presses "&Efface" only while it is shown.
    t.f.child<QLineEdit>(QStringLiteral("txtFields_6"))->setFocus();
    pressKey(t.f.window.get(), Qt::Key_E, Qt::AltModifier);
    QTest::qWait(QApplication::doubleClickInterval() / 2 + 200);
    QCOMPARE(t.f.rows().size(), 5);
    pressKey(t.f.window.get(), Qt::Key_S, Qt::ControlModifier);
    t.f.child<QLineEdit>(QStringLiteral("txtFields_6"))->setFocus();
    pressKey(t.f.window.get(), Qt::Key_E, Qt::AltModifier);
    QTRY_COMPARE(t.f.rows().size(), 4);
}

void tst_frmFerulanKeys::enterThroughColumns()
{
    KeysTest t(true, true);
    QVERIFY(t.ok);
    t.grid()->setFocus();
    QCOMPARE(t.grid()->currentIndex(), t.grid()->model()->index(0, 1));
    for (int column = 2; column <= 8; ++column) {
        pressKey(t.f.window.get(), Qt::Key_Return);
        QCOMPARE(t.grid()->currentIndex().column(), column);
        QCOMPARE(t.grid()->currentIndex().row(), 0);
    }
    QCOMPARE(t.f.rows().size(), 4);

    // Enter on ISBN adds a record and goes to its first column.
    pressKey(t.f.window.get(), Qt::Key_Enter);
    QCOMPARE(t.f.rows().size(), 5);
    QCOMPARE(t.grid()->currentIndex(), t.grid()->model()->index(4, 1));
    QCOMPARE(t.caption(), QStringLiteral("Record: 5"));

    // Enter while a cell is being edited stores the text and moves on.
    QTest::keyClick(t.grid(), 'V');
    QVERIFY(t.grid()->cellEditor());
    pressKey(t.f.window.get(), Qt::Key_Return);
    QVERIFY(!t.grid()->cellEditor());
    QCOMPARE(t.grid()->currentIndex(), t.grid()->model()->index(4, 2));
    QCOMPARE(t.grid()->model()->index(4, 1).data().toString(), QStringLiteral("V"));
    // Tab leaves the grid for the next control.
    pressKey(t.f.window.get(), Qt::Key_Tab);
    QVERIFY(!t.grid()->hasFocus());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(t.button("cmdList_2")));
    t.f.window->close();
    QCOMPARE(t.f.rows().last().at(0).toString(), QStringLiteral("V"));
}

QTEST_MAIN(tst_frmFerulanKeys)
#include "tst_frmferulan_keys.moc"
