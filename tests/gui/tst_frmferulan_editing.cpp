// Editing in the main window: add, update and delete in both views, the
// NUMERO check in the form and in the grid, the busy pointer, and the code
// selectors in step with the record.

#include "WindowFixture.h"

#include "main_window/DataGrid.h"
#include "main_window/NavigationBar.h"

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

using TestSupport::Row;

namespace {

const QVariant Null;

const Row EmptyRow(8);

QString decimalSeparator()
{
    return QLocale::system().decimalPoint();
}

class EditingTest {
public:
    explicit EditingTest(bool editing = true, bool list = false, const QList<Row> &rows = catalogueRows())
    {
        ok = f.startWith(rows, editing, list);
    }

    QLineEdit *box(int index) const { return f.child<QLineEdit>(QStringLiteral("txtFields_%1").arg(index)); }
    QString caption() const { return f.child<NavigationBar>(QStringLiteral("Data1"))->caption(); }
    void click(const QString &name) const { QTest::mouseClick(f.child<QAbstractButton>(name), Qt::LeftButton); }
    void bar(const char *move) const { click(QString::fromLatin1(move)); }
    DataGrid *grid() const { return f.window->DBGrid1; }
    QRadioButton *option(const QString &name) const { return f.child<QRadioButton>(name); }

    void clickCell(int row, int column) const
    {
        const QRect cell = grid()->visualRect(grid()->model()->index(row, column));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // Typing into the current cell opens its editor; the keys go there.
    void typeInCell(const QString &text) const
    {
        QTest::keyClick(grid(), text.at(0).toLatin1());
        QVERIFY(grid()->cellEditor());
        typeText(grid()->cellEditor(), text.mid(1));
    }
    QWidget *keyTarget() const { return grid()->cellEditor() ? grid()->cellEditor() : static_cast<QWidget *>(grid()); }

    WindowFixture f;
    bool ok = false;
};

} // namespace

class tst_frmFerulanEditing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addInListView();
    void addInFormView();
    void addStoresPendingEditsFirst();
    void addOnEmptySet();
    void deleteRecord_data();
    void deleteRecord();
    void deleteLastRecordAndEmptySet();
    void updateInGrid();
    void gridReadOnly();
    void numeroFormAdmitted_data();
    void numeroFormAdmitted();
    void numeroFormRefused_data();
    void numeroFormRefused();
    void numeroGrid_data();
    void numeroGrid();
    void storedBadNumeroIsShownEmptyButKept();
    void hourglassBetweenValidateAndReposition();
    void refusedGridEditReportsDataError();
    void failingHandlerShowsErrorAndGoesOn();

    void selectorsFollowRecord();
    void unknownLetterKeepsSelection_data();
    void unknownLetterKeepsSelection();
    void optionClickStoresLetter_data();
    void optionClickStoresLetter();
    void optionClickReadOnlyNeverStored();
    void newRecordKeepsSelectionUntilClicked();
    void gridEditMovesSelector();
};

void tst_frmFerulanEditing::addInListView()
{
    EditingTest t(true, true);
    QVERIFY(t.ok);
    t.clickCell(1, 6);
    t.click(QStringLiteral("cmdAdd"));

    QCOMPARE(t.f.rows().size(), 5);
    QCOMPARE(t.f.rows().last(), EmptyRow);
    QCOMPARE(t.grid()->model()->rowCount(), 5);
    QCOMPARE(t.grid()->currentIndex().row(), 4);
    QCOMPARE(t.grid()->currentIndex().column(), 1);
    QVERIFY(t.grid()->hasFocus());
    QCOMPARE(t.caption(), QStringLiteral("Record: 5"));
    QVERIFY(t.f.messenger.messages.isEmpty());
}

void tst_frmFerulanEditing::addInFormView()
{
    EditingTest t;
    QVERIFY(t.ok);
    QLineEdit *publisher = t.box(6);
    publisher->setFocus();
    // Ctrl+A rather than a click, which would take the focus.
    QTest::keyClick(publisher, Qt::Key_A, Qt::ControlModifier);

    QCOMPARE(t.f.rows().size(), 5);
    QCOMPARE(t.f.rows().last(), EmptyRow);
    QCOMPARE(t.caption(), QStringLiteral("Record: 5"));
    for (int index : {4, 5, 6, 8})
        QCOMPARE(t.box(index)->text(), QString());
    QCOMPARE(t.f.child<QPlainTextEdit>(QStringLiteral("txtFields_7"))->toPlainText(), QString());
    QVERIFY(t.grid()->isHidden());
    QVERIFY(publisher->hasFocus());
}

void tst_frmFerulanEditing::addStoresPendingEditsFirst()
{
    EditingTest t;
    QVERIFY(t.ok);
    t.box(5)->setFocus();
    t.box(5)->selectAll();
    typeText(t.box(5), QStringLiteral("Vollhardt et Schore"));
    t.click(QStringLiteral("cmdAdd"));
    QCOMPARE(t.f.rows().first().at(4).toString(), QStringLiteral("Vollhardt et Schore"));

    // Closing without typing leaves the empty record in the table.
    t.f.window->close();
    QCOMPARE(t.f.messenger.endCount, 1);
    QCOMPARE(t.f.rows().size(), 5);
    QCOMPARE(t.f.rows().last(), EmptyRow);
}

void tst_frmFerulanEditing::addOnEmptySet()
{
    EditingTest t(true, true, {});
    QVERIFY(t.ok);
    QCOMPARE(t.caption(), QStringLiteral("Record: 0"));
    t.click(QStringLiteral("cmdAdd"));
    QCOMPARE(t.f.rows(), QList<Row>{EmptyRow});
    QCOMPARE(t.caption(), QStringLiteral("Record: 1"));
    QCOMPARE(t.grid()->model()->rowCount(), 1);
    QVERIFY(t.f.messenger.messages.isEmpty());
}

void tst_frmFerulanEditing::deleteRecord_data()
{
    QTest::addColumn<bool>("list");
    QTest::newRow("form view") << false;
    QTest::newRow("list view") << true;
}

void tst_frmFerulanEditing::deleteRecord()
{
    QFETCH(bool, list);
    EditingTest t(true, list);
    QVERIFY(t.ok);
    auto *remove = t.f.child<QPushButton>(QStringLiteral("cmdDelete"));
    QVERIFY(!remove->isVisible());
    pressKey(t.f.window.get(), Qt::Key_S, Qt::ControlModifier);
    QVERIFY(remove->isVisible());

    t.click(QStringLiteral("cmdDelete"));
    QCOMPARE(t.f.rows().size(), 3);
    QCOMPARE(t.f.rows().first().at(4).toString(), QStringLiteral("Atkins"));
    // No question asked; the next record is shown.
    QVERIFY(t.f.messenger.messages.isEmpty());
    QCOMPARE(t.caption(), QStringLiteral("Record: 1"));
    QCOMPARE(t.box(5)->text(), QStringLiteral("Atkins"));
    QCOMPARE(t.grid()->model()->rowCount(), 3);
    QCOMPARE(t.grid()->model()->index(0, 5).data().toString(), QStringLiteral("Atkins"));
}

void tst_frmFerulanEditing::deleteLastRecordAndEmptySet()
{
    EditingTest t(true, false, {catalogueRows().at(0), catalogueRows().at(1)});
    QVERIFY(t.ok);
    pressKey(t.f.window.get(), Qt::Key_S, Qt::ControlModifier);
    t.bar("moveLast");
    t.click(QStringLiteral("cmdDelete"));
    QCOMPARE(t.f.rows().size(), 1);
    // Past the end: no current record.
    QCOMPARE(t.caption(), QStringLiteral("Record: 0"));
    QCOMPARE(t.box(5)->text(), QString());

    // Nothing current, then an empty set: delete does nothing at all.
    t.click(QStringLiteral("cmdDelete"));
    QCOMPARE(t.f.rows().size(), 1);
    t.bar("moveFirst");
    t.click(QStringLiteral("cmdDelete"));
    QCOMPARE(t.f.rows().size(), 0);
    t.click(QStringLiteral("cmdDelete"));
    QCOMPARE(t.caption(), QStringLiteral("Record: 0"));
    QVERIFY2(t.f.messenger.messages.isEmpty(), qPrintable(t.f.messenger.lastText()));

    // Update through add, on the empty set.
    t.click(QStringLiteral("cmdAdd"));
    QCOMPARE(t.f.rows(), QList<Row>{EmptyRow});
}

void tst_frmFerulanEditing::updateInGrid()
{
    EditingTest t(true, true);
    QVERIFY(t.ok);
    t.clickCell(1, 5);
    t.typeInCell(QStringLiteral("Atkins & Paula"));
    QTest::keyClick(t.keyTarget(), Qt::Key_Return);
    QCOMPARE(t.grid()->currentIndex().column(), 6);
    // The covered form shows the edit at once; the file gets it when the record is left.
    QCOMPARE(t.box(5)->text(), QStringLiteral("Atkins & Paula"));
    QCOMPARE(t.f.rows().at(1).at(4).toString(), QStringLiteral("Atkins"));
    QTest::keyClick(t.grid(), Qt::Key_Down);
    QCOMPARE(t.caption(), QStringLiteral("Record: 3"));
    QCOMPARE(t.f.rows().at(1).at(4).toString(), QStringLiteral("Atkins & Paula"));

    // An edit still open in a cell is stored at closing.
    t.typeInCell(QStringLiteral("Springer"));
    t.f.window->close();
    QCOMPARE(t.f.rows().at(2).at(5).toString(), QStringLiteral("Springer"));
}

void tst_frmFerulanEditing::gridReadOnly()
{
    EditingTest t(false, true);
    QVERIFY(t.ok);
    t.clickCell(0, 5);
    QTest::keyClick(t.grid(), 'x');
    QVERIFY(!t.grid()->cellEditor());
    QVERIFY(!(t.grid()->model()->flags(t.grid()->model()->index(0, 5)) & Qt::ItemIsEditable));
    // Enter is the grid's own in read-only mode: no column step.
    QTest::keyClick(t.grid(), Qt::Key_Return);
    QCOMPARE(t.grid()->currentIndex().column(), 5);
}

void tst_frmFerulanEditing::numeroFormAdmitted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("12") << "12" << QVariant(12);
    QTest::newRow("blanks around") << " 12 " << QVariant(12);
    QTest::newRow("-5") << "-5" << QVariant(-5);
    QTest::newRow("2.5 rounds to even") << "2" + decimalSeparator() + "5" << QVariant(2);
    QTest::newRow("3.5 rounds to even") << "3" + decimalSeparator() + "5" << QVariant(4);
    QTest::newRow("-32768") << "-32768" << QVariant(-32768);
    QTest::newRow("empty") << "" << Null;
}

void tst_frmFerulanEditing::numeroFormAdmitted()
{
    QFETCH(QString, text);
    QFETCH(QVariant, stored);

    EditingTest t;
    QVERIFY(t.ok);
    // Pasted whole: a blank alone would be refused as the first keystroke.
    t.box(4)->setFocus();
    t.box(4)->selectAll();
    t.box(4)->insert(text);
    QVERIFY2(t.f.messenger.messages.isEmpty(), qPrintable(t.f.messenger.lastText()));
    QCOMPARE(t.box(4)->text(), text);
    t.f.window->close();
    const QVariant numero = t.f.rows().first().at(3);
    QCOMPARE(numero.isNull(), stored.isNull());
    if (!stored.isNull())
        QCOMPARE(numero.toInt(), stored.toInt());
}

void tst_frmFerulanEditing::numeroFormRefused_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("refusals");

    QTest::newRow("12a") << "12a" << 1;
    QTest::newRow("abc, each letter") << "abc" << 3;
    QTest::newRow("40000") << "40000" << 1;
    QTest::newRow("-32769: the minus, then the number") << "-32769" << 2;
    QTest::newRow("lone minus") << "-" << 1;
}

void tst_frmFerulanEditing::numeroFormRefused()
{
    QFETCH(QString, typed);
    QFETCH(int, refusals);

    EditingTest t;
    QVERIFY(t.ok);
    t.box(4)->setFocus();
    t.box(4)->selectAll();
    QTest::keyClick(t.box(4), Qt::Key_Delete);
    typeText(t.box(4), typed);

    QCOMPARE(t.f.messenger.messages.size(), refusals);
    for (const RecordingMessenger::Message &message : t.f.messenger.messages) {
        QCOMPARE(message.text, QStringLiteral("Entrée non valable ! \rLe numéro doit être un nombre !"));
        QCOMPARE(message.style, Messenger::Information);
        QCOMPARE(message.caption, QStringLiteral("Ferulan"));
    }
    QCOMPARE(t.box(4)->text(), QString());
    // The cleared value is what the record keeps.
    t.f.window->close();
    QVERIFY(t.f.rows().first().at(3).isNull());
}

void tst_frmFerulanEditing::numeroGrid_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("refusals");
    QTest::addColumn<QString>("stored");

    QTest::newRow("12a") << 4 << "12a" << 1 << "";
    QTest::newRow("40000") << 4 << "40000" << 1 << "";
    QTest::newRow("lone minus") << 4 << "-" << 1 << "";
    QTest::newRow("admitted") << 4 << "321" << 0 << "321";
    QTest::newRow("other column") << 5 << "12a" << 0 << "12a";
}

void tst_frmFerulanEditing::numeroGrid()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(int, refusals);
    QFETCH(QString, stored);

    EditingTest t(true, true);
    QVERIFY(t.ok);
    t.clickCell(0, column);
    t.typeInCell(typed);
    QCOMPARE(t.f.messenger.messages.size(), refusals);
    for (const RecordingMessenger::Message &message : t.f.messenger.messages) {
        QCOMPARE(message.text, QStringLiteral("Le numéro doit être un nombre !"));
        QCOMPARE(message.style, Messenger::OkOnly);
        QCOMPARE(message.caption, QString());
    }
    QCOMPARE(t.grid()->cellText(), refusals ? QString() : typed);
    QTest::keyClick(t.keyTarget(), Qt::Key_Return);
    t.f.window->close();
    const QVariant value = t.f.rows().first().at(column - 1);
    QCOMPARE(value.isNull() ? QString() : value.toString(), stored);
}

void tst_frmFerulanEditing::storedBadNumeroIsShownEmptyButKept()
{
    QList<Row> rows = catalogueRows();
    rows[1][3] = 40000;
    EditingTest t(true, false, rows);
    QVERIFY(t.ok);
    t.bar("moveNext");
    QCOMPARE(t.f.messenger.messages.size(), 1);
    QCOMPARE(t.f.messenger.messages.first().caption, QStringLiteral("Ferulan"));
    QCOMPARE(t.box(4)->text(), QString());
    QCOMPARE(t.box(5)->text(), QStringLiteral("Atkins"));
    // Looking at a record does not change it.
    t.bar("moveNext");
    t.f.window->close();
    QCOMPARE(t.f.rows().at(1).at(3).toInt(), 40000);
}

void tst_frmFerulanEditing::hourglassBetweenValidateAndReposition()
{
    EditingTest t;
    QVERIFY(t.ok);
    QList<int> shapes;
    connect(&t.f.window->Data1, &DataControl::validating, this, [&shapes] {
        const QCursor *cursor = QGuiApplication::overrideCursor();
        shapes << (cursor ? int(cursor->shape()) : -1);
    });
    t.bar("moveNext");
    t.click(QStringLiteral("cmdAdd"));
    QVERIFY(shapes.size() >= 2);
    for (int shape : shapes)
        QCOMPARE(shape, int(Qt::WaitCursor));
    QVERIFY(!QGuiApplication::overrideCursor());

    // A validate that never arrives anywhere leaves no hourglass behind.
    Q_EMIT t.f.window->Data1.validating(DataControl::MoveNextAction, false);
    QVERIFY(QGuiApplication::overrideCursor());
    QTRY_VERIFY(!QGuiApplication::overrideCursor());
}

void tst_frmFerulanEditing::refusedGridEditReportsDataError()
{
    EditingTest t(true, true);
    QVERIFY(t.ok);
    QCOMPARE(t.f.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Biblio WHEN NEW.AUTEUR = 'REFUSE' "
                                     "BEGIN SELECT RAISE(ABORT, 'auteur refusé'); END")),
             QString());
    t.clickCell(0, 5);
    t.typeInCell(QStringLiteral("REFUSE"));
    QTest::keyClick(t.keyTarget(), Qt::Key_Return);
    QTest::keyClick(t.grid(), Qt::Key_Down);

    QCOMPARE(t.f.messenger.messages.size(), 1);
    QCOMPARE(t.f.messenger.lastText(), QStringLiteral("Data error event hit err:auteur refusé"));
    // The grid stays on the record that could not be stored.
    QCOMPARE(t.caption(), QStringLiteral("Record: 1"));
    QCOMPARE(t.grid()->currentIndex().row(), 0);
}

void tst_frmFerulanEditing::failingHandlerShowsErrorAndGoesOn()
{
    EditingTest t;
    QVERIFY(t.ok);
    QCOMPARE(t.f.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Biblio WHEN NEW.AUTEUR = 'REFUSE' "
                                     "BEGIN SELECT RAISE(ABORT, 'auteur refusé'); END")),
             QString());
    t.box(5)->setFocus();
    t.box(5)->selectAll();
    typeText(t.box(5), QStringLiteral("REFUSE"));
    QTest::keyClick(t.box(5), Qt::Key_A, Qt::ControlModifier);

    // The handler stops at the refused update: no record added, the text shown.
    QCOMPARE(t.f.messenger.messages.size(), 1);
    QVERIFY(t.f.messenger.lastText().contains(QStringLiteral("auteur refusé")));
    QCOMPARE(t.f.messenger.messages.first().style, Messenger::OkOnly);
    QCOMPARE(t.f.rows().size(), 4);
    QVERIFY(t.f.window->isVisible());

    // Ctrl+A also selected the box's text, as it does in any text box.
    QCOMPARE(t.box(5)->selectedText(), QStringLiteral("REFUSE"));
    QTest::keyClick(t.box(5), Qt::Key_End);
    typeText(t.box(5), QStringLiteral("D"));
    t.click(QStringLiteral("cmdAdd"));
    QCOMPARE(t.f.rows().size(), 5);
    QCOMPARE(t.f.rows().first().at(4).toString(), QStringLiteral("REFUSED"));
}

void tst_frmFerulanEditing::selectorsFollowRecord()
{
    EditingTest t(false);
    QVERIFY(t.ok);
    for (const char *name : {"opPrefixe_1", "opLangue_2", "opDomaine_3"})
        QVERIFY2(t.option(QString::fromLatin1(name))->isChecked(), name);
    t.bar("moveNext");
    for (const char *name : {"opPrefixe_4", "opLangue_2", "opDomaine_7"})
        QVERIFY2(t.option(QString::fromLatin1(name))->isChecked(), name);
    QVERIFY(!t.option(QStringLiteral("opPrefixe_1"))->isChecked());
    // B means "livre" as a type but "Chimie minérale" as a domain.
    t.bar("moveLast");
    QVERIFY(t.option(QStringLiteral("opPrefixe_3"))->isChecked());
    QVERIFY(t.option(QStringLiteral("opLangue_1"))->isChecked());
    QVERIFY(t.option(QStringLiteral("opDomaine_5"))->isChecked());
}

void tst_frmFerulanEditing::unknownLetterKeepsSelection_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("empty") << QVariant(QString());
    QTest::newRow("null") << Null;
    QTest::newRow("lower case") << QVariant(QStringLiteral("z"));
    QTest::newRow("no such code") << QVariant(QStringLiteral("X"));
    QTest::newRow("two letters") << QVariant(QStringLiteral("ZB"));
}

void tst_frmFerulanEditing::unknownLetterKeepsSelection()
{
    QFETCH(QVariant, value);
    QList<Row> rows = catalogueRows();
    rows[1][0] = value;
    EditingTest t(true, false, rows);
    QVERIFY(t.ok);
    QVERIFY(t.option(QStringLiteral("opPrefixe_1"))->isChecked());
    t.bar("moveNext");
    QVERIFY(t.option(QStringLiteral("opPrefixe_1"))->isChecked());
    QCOMPARE(t.f.child<QLineEdit>(QStringLiteral("txtPrefixe"))->text(), value.toString());
    // The other groups still follow.
    QVERIFY(t.option(QStringLiteral("opDomaine_7"))->isChecked());
    t.bar("moveNext");
    t.f.window->close();
    QCOMPARE(t.f.rows().at(1).at(0), value);
}

void tst_frmFerulanEditing::optionClickStoresLetter_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("letter");

    QTest::newRow("Pédagogie is G") << "opDomaine_7" << "txtDomaine" << 2 << "G";
    QTest::newRow("Divers is F") << "opDomaine_6" << "txtDomaine" << 2 << "F";
    QTest::newRow("logiciel is L") << "opPrefixe_2" << "txtPrefixe" << 0 << "L";
    QTest::newRow("english is E") << "opLangue_3" << "txtLangue" << 1 << "E";
}

void tst_frmFerulanEditing::optionClickStoresLetter()
{
    QFETCH(QString, option);
    QFETCH(QString, box);
    QFETCH(int, field);
    QFETCH(QString, letter);

    EditingTest t;
    QVERIFY(t.ok);
    clickOption(t.option(option));
    QVERIFY(t.option(option)->isChecked());
    QCOMPARE(t.f.child<QLineEdit>(box)->text(), letter);
    t.bar("moveNext");
    QCOMPARE(t.f.rows().first().at(field).toString(), letter);
}

void tst_frmFerulanEditing::optionClickReadOnlyNeverStored()
{
    EditingTest t(false);
    QVERIFY(t.ok);
    clickOption(t.option(QStringLiteral("opPrefixe_5")));
    QCOMPARE(t.f.child<QLineEdit>(QStringLiteral("txtPrefixe"))->text(), QStringLiteral("T"));
    t.bar("moveNext");
    t.f.window->close();
    QCOMPARE(t.f.rows().first().at(0).toString(), QStringLiteral("B"));
}

void tst_frmFerulanEditing::newRecordKeepsSelectionUntilClicked()
{
    EditingTest t;
    QVERIFY(t.ok);
    t.click(QStringLiteral("cmdAdd"));
    QCOMPARE(t.f.child<QLineEdit>(QStringLiteral("txtPrefixe"))->text(), QString());
    QVERIFY(t.option(QStringLiteral("opPrefixe_1"))->isChecked());
    // A click on the option already shown still gives the record its letter.
    clickOption(t.option(QStringLiteral("opPrefixe_1")));
    QCOMPARE(t.f.child<QLineEdit>(QStringLiteral("txtPrefixe"))->text(), QStringLiteral("B"));
    t.f.window->close();
    QCOMPARE(t.f.rows().last().at(0).toString(), QStringLiteral("B"));
}

void tst_frmFerulanEditing::gridEditMovesSelector()
{
    EditingTest t(true, true);
    QVERIFY(t.ok);
    t.clickCell(0, 1);
    t.typeInCell(QStringLiteral("T"));
    QTest::keyClick(t.keyTarget(), Qt::Key_Return);
    QVERIFY(t.option(QStringLiteral("opPrefixe_5"))->isChecked());
    // Anything goes in the grid; the form then keeps its selection.
    t.clickCell(0, 2);
    t.typeInCell(QStringLiteral("q"));
    QTest::keyClick(t.keyTarget(), Qt::Key_Return);
    QCOMPARE(t.f.child<QLineEdit>(QStringLiteral("txtLangue"))->text(), QStringLiteral("q"));
    QVERIFY(t.option(QStringLiteral("opLangue_2"))->isChecked());
    t.f.window->close();
    QCOMPARE(t.f.rows().first().mid(0, 2), (Row{QStringLiteral("T"), QStringLiteral("q")}));
}

QTEST_MAIN(tst_frmFerulanEditing)
#include "tst_frmferulan_editing.moc"
