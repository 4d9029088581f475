// Undo and redo of the changes stored in a session: records deleted, added
// and edited, found again by key after a sort; typing taken back before
// records; refused undos; read-only mode.

#include "WindowFixture.h"

#include "main_window/OrderCombo.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using TestSupport::Row;

namespace {

void sortBy(const WindowFixture &f, const QString &field)
{
    f.window->cmbOrder->setCurrentIndex(f.window->cmbOrder->findText(field));
    Q_EMIT f.window->cmbOrder->chosen(f.window->cmbOrder->currentIndex());
}

} // namespace

class tst_undo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void undoRedo_data();
    void undoRedo();
    void typingIsTakenBackFirst();
    void refusedUndoChangesNothing_data();
    void refusedUndoChangesNothing();
    void readOnlyHasNothingToUndo();
};

void tst_undo::undoRedo_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("list");
    QTest::addColumn<QString>("sort");
    // What the window shows after the undo: the author, the caption.
    QTest::addColumn<QString>("author");
    QTest::addColumn<QString>("caption");
    // A deleted record comes back in its place, or last after a new query.
    QTest::newRow("delete") << "delete" << false << "" << "Vollhardt" << "Record: 1";
    QTest::newRow("delete, list view") << "delete" << true << "" << "Vollhardt" << "Record: 1";
    QTest::newRow("delete, then sort") << "delete" << false << "TITRE" << "Vollhardt" << "Record: 4";
    QTest::newRow("add") << "add" << false << "" << "Bernard" << "Record: 4";
    QTest::newRow("add, then sort") << "add" << true << "AUTEUR" << "Atkins" << "Record: 1";
    QTest::newRow("edit") << "edit" << false << "" << "Vollhardt" << "Record: 1";
    QTest::newRow("edit, then sort") << "edit" << false << "TITRE" << "Vollhardt" << "Record: 3";
}

void tst_undo::undoRedo()
{
    QFETCH(QString, change);
    QFETCH(bool, list);
    QFETCH(QString, sort);
    QFETCH(QString, author);
    QFETCH(QString, caption);
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, list));
    QAction *undo = f.window->findChild<QAction *>("actUndo");
    QAction *redo = f.window->findChild<QAction *>("actRedo");
    QCOMPARE(f.child<QMenu>("contextMenu")->actions(), (QList<QAction *>{undo, redo}));
    QCOMPARE(undo->shortcut(), QKeySequence("Ctrl+Z"));
    QVERIFY(!undo->isEnabled());
    const QList<Row> original = f.rows();

    if (change == "delete") {
        f.press(Qt::Key_S, Qt::ControlModifier);
        f.click("cmdDelete");
    } else if (change == "add") {
        f.press(Qt::Key_A, Qt::ControlModifier);
    } else {
        f.retype(f.box(5), "Schore");
        f.press(Qt::Key_PageDown);
    }
    const QList<Row> changed = f.rows();
    QVERIFY(changed != original);
    if (!sort.isEmpty())
        sortBy(f, sort);
    QVERIFY(undo->isEnabled());
    QVERIFY(undo->text().startsWith("Annuler l"));

    // Ordered by key, the rows are the original ones: a record comes back
    // under its own key.
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.rows(), original);
    QCOMPARE(f.window->fieldText(5), author);
    QCOMPARE(f.caption(), caption);
    QVERIFY(!undo->isEnabled());
    QVERIFY(redo->isEnabled());

    f.press(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(f.rows(), changed);
    undo->trigger();
    QCOMPARE(f.rows(), original);
    f.press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f.rows(), changed);
    QCOMPARE(f.messages(), QStringList());
}

void tst_undo::typingIsTakenBackFirst()
{
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, false));
    const QList<Row> original = f.rows();
    f.press(Qt::Key_S, Qt::ControlModifier);
    f.click("cmdDelete");
    f.retype(f.box(5), "Atkinson");
    // The box takes its typing back first, then the record comes back.
    for (int i = 0; i < 5 && f.box(5)->isUndoAvailable(); ++i)
        QTest::keyClick(f.box(5), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.box(5)->text(), "Atkins");
    QCOMPARE(f.rows().size(), 3);

    // Typing not yet stored, the focus elsewhere: stored, then taken back,
    // and Ctrl+Y brings it again. Undo goes on to the older changes.
    f.retype(f.box(6), "Dunod");
    f.window->txtFields[7]->setFocus();
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.box(6)->text(), "Oxford");
    QCOMPARE(f.rows(), original.mid(1));
    f.press(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(f.stored(0, 5), "Dunod");
    f.press(Qt::Key_Z, Qt::ControlModifier);
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.rows(), original);
    QCOMPARE(f.messages(), QStringList());
}

void tst_undo::refusedUndoChangesNothing_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("mend");
    QTest::addColumn<QString>("reason");
    QTest::newRow("changed meanwhile") << "UPDATE Biblio SET EDITEUR = 'Dunod' WHERE ID = 1"
                                       << "UPDATE Biblio SET EDITEUR = 'De Boeck' WHERE ID = 1"
                                       << "la fiche (clé 1) a été modifiée entre-temps par un autre programme.";
    QTest::newRow("gone") << "DELETE FROM Biblio WHERE ID = 1" << ""
                          << "la fiche (clé 1) n'est plus dans le catalogue : un autre programme l'a supprimée.";
    QTest::newRow("write refused")
        << "CREATE TRIGGER refuse BEFORE UPDATE ON Biblio WHEN NEW.AUTEUR = 'Vollhardt' "
           "BEGIN SELECT RAISE(ABORT, 'auteur refusé'); END"
        << "DROP TRIGGER refuse" << "le catalogue a refusé la modification (auteur refusé).";
    QTest::newRow("locked") << "BEGIN EXCLUSIVE" << "ROLLBACK"
                            << "le catalogue n'a pas pu être lu (database is locked).";
}

void tst_undo::refusedUndoChangesNothing()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, mend);
    QFETCH(QString, reason);
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, false));
    const QList<Row> original = f.rows();
    f.retype(f.box(5), "Schore");
    f.press(Qt::Key_PageDown);
    const QList<Row> edited = f.rows();
    Database other;
    QVERIFY(other.open(f.path("biblio.db")));
    QVERIFY2(other.exec(obstacle), qPrintable(other.lastError().text));
    // A locked file cannot be read meanwhile; its rows are the edited ones.
    const QList<Row> obstructed = obstacle.startsWith("BEGIN") ? edited : f.rows();

    QAction *undo = f.window->findChild<QAction *>("actUndo");
    const QString undoText = undo->text();
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.lastMessage(),
             "Impossible d'annuler la modification de la fiche « Traité de chimie organique » : " + reason);
    QCOMPARE(f.caption(), "Record: 2");
    QCOMPARE(undo->text(), undoText);
    QVERIFY(undo->isEnabled());
    if (mend.isEmpty()) {
        QCOMPARE(f.rows(), obstructed);
        return;
    }
    // Once the obstacle is gone, the same change is taken back.
    QVERIFY2(other.exec(mend), qPrintable(other.lastError().text));
    QCOMPARE(f.rows(), edited);
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.rows(), original);
}

void tst_undo::readOnlyHasNothingToUndo()
{
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), false, false));
    QAction *undo = f.window->findChild<QAction *>("actUndo");
    f.retype(f.box(5), "Schore");
    f.press(Qt::Key_PageDown);
    f.press(Qt::Key_PageUp);
    QVERIFY(!undo->isEnabled());
    QVERIFY(!f.window->findChild<QAction *>("actRedo")->isEnabled());
    // The box's own typing undo still works.
    f.retype(f.box(5), "Schore");
    QTest::keyClick(f.box(5), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(f.box(5)->text() != "Schore");
    QCOMPARE(f.rows(), catalogueRows());
    QCOMPARE(f.messages(), QStringList());
}

QTEST_MAIN(tst_undo)
#include "tst_undo.moc"
