// Undo and redo of records deleted, added and edited; refused undos; read-only mode.

#include "WindowFixture.h"

#include "main_window/OrderCombo.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

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
    // After the undo: the author and caption shown. A deleted record is back in its place, or last after a query.
    QTest::addColumn<QString>("shown");
    QTest::newRow("delete") << "delete" << false << "" << "Vollhardt|Record: 1";
    QTest::newRow("delete, then sort") << "delete" << false << "TITRE" << "Vollhardt|Record: 4";
    QTest::newRow("add") << "add" << false << "" << "Bernard|Record: 4";
    QTest::newRow("add, list view, then sort") << "add" << true << "AUTEUR" << "Atkins|Record: 1";
    QTest::newRow("edit") << "edit" << false << "" << "Vollhardt|Record: 1";
    QTest::newRow("edit, then sort") << "edit" << false << "TITRE" << "Vollhardt|Record: 3";
}

void tst_undo::undoRedo()
{
    QFETCH(QString, change);
    QFETCH(bool, list);
    QFETCH(QString, sort);
    QFETCH(QString, shown);
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, list));
    QAction *undo = f.window->actUndo, *redo = f.window->actRedo;
    QCOMPARE(f.child<QMenu>("contextMenu")->actions().mid(0, 2), (QList<QAction *>{undo, redo}));
    const auto original = f.rows();
    if (change == "delete") {
        f.press(Qt::Key_S, Qt::ControlModifier);
        f.click("cmdDelete");
    } else if (change == "add") {
        f.press(Qt::Key_A, Qt::ControlModifier);
    } else {
        f.retype(f.box(5), "Schore");
        f.press(Qt::Key_PageDown);
    }
    const auto changed = f.rows();
    QCOMPARE(changed.size() - original.size(), change == "add" ? 1 : change == "delete" ? -1 : 0);
    f.window->cmbOrder->setCurrentText(sort);
    if (!sort.isEmpty())
        Q_EMIT f.window->cmbOrder->chosen(f.window->cmbOrder->findText(sort));
    QVERIFY(undo->isEnabled() && undo->text().startsWith("Annuler l"));
    // Ordered by key, the rows are the original ones: a record is back under its own key.
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.rows(), original);
    QCOMPARE(f.window->fieldText(5) + "|" + f.caption(), shown);
    QVERIFY(!undo->isEnabled() && redo->isEnabled());
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
    const auto original = f.rows();
    f.press(Qt::Key_S, Qt::ControlModifier);
    f.click("cmdDelete");
    // The box takes its typing back first; the deleted record stays deleted.
    f.retype(f.box(5), "Atkinson");
    for (int i = 0; i < 5 && f.box(5)->isUndoAvailable(); ++i)
        QTest::keyClick(f.box(5), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.box(5)->text(), "Atkins");
    QCOMPARE(f.rows(), original.mid(1));
    // Typing not yet stored, the focus elsewhere: stored, taken back, redone.
    f.retype(f.box(6), "Dunod");
    f.window->txtFields[7]->setFocus();
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(f.box(6)->text() == "Oxford" && f.rows() == original.mid(1));
    f.press(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(f.stored(0, 5), "Dunod");
    f.press(Qt::Key_Z, Qt::ControlModifier);
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.rows(), original);
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
    QTest::newRow("write refused") << "CREATE TRIGGER refuse BEFORE UPDATE ON Biblio WHEN NEW.AUTEUR = 'Vollhardt' "
                                      "BEGIN SELECT RAISE(ABORT, 'auteur refusé'); END"
                                   << "DROP TRIGGER refuse" << "le catalogue a refusé la modification (auteur refusé).";
    QTest::newRow("locked") << "BEGIN EXCLUSIVE" << "ROLLBACK" << "le catalogue n'a pas pu être lu (database is locked).";
}

void tst_undo::refusedUndoChangesNothing()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, mend);
    QFETCH(QString, reason);
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, false));
    const auto original = f.rows();
    f.retype(f.box(5), "Schore");
    f.press(Qt::Key_PageDown);
    const auto edited = f.rows();
    Database other;
    QVERIFY(other.open(f.path("biblio.db")) && other.exec(obstacle));
    const auto obstructed = mend.isEmpty() ? f.rows() : edited;
    const QString undoText = f.window->actUndo->text();
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.lastMessage(), "Impossible d'annuler la modification de la fiche « Traité de chimie organique » : " + reason);
    QCOMPARE(f.caption(), "Record: 2");
    QVERIFY(f.window->actUndo->isEnabled() && f.window->actUndo->text() == undoText);
    QVERIFY(mend.isEmpty() || other.exec(mend));
    QCOMPARE(f.rows(), obstructed);
    // Once the obstacle is gone, the same change is taken back.
    f.press(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.rows() == original, !mend.isEmpty());
}

void tst_undo::readOnlyHasNothingToUndo()
{
    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), false, false));
    // The box's own typing undo still works; there is nothing else to undo.
    f.retype(f.box(5), "Schore");
    QTest::keyClick(f.box(5), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(f.box(5)->text() != "Schore");
    f.retype(f.box(5), "Schore");
    f.press(Qt::Key_PageDown);
    QVERIFY(!f.window->actUndo->isEnabled());
    QCOMPARE(f.rows(), catalogueRows());
}

QTEST_MAIN(tst_undo)
#include "tst_undo.moc"
