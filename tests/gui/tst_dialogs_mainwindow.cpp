// The dialogs, the about box and the export as the main window uses them:
// opened by its buttons, unloaded at its closing, "Fin" in both modes.

#include "WindowFixture.h"

#include "dialogs/frmArtInf.h"
#include "dialogs/frmFilter.h"
#include "dialogs/frmSearch.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using TestSupport::Row;

namespace {

const QByteArray Header = "PREFIXE;;LANGUE;;DOMAINE;;NUMERO;;AUTEUR;;EDITEUR;;TITRE;;ISBN\r\n";

// Three rows in natural order: Vollhardt, Atkins, Müller. Atkins's title
// holds a semicolon, which the export turns into a colon.
QList<Row> exportRows()
{
    return {
        {QStringLiteral("B"), QStringLiteral("F"), QStringLiteral("C"), 12, QStringLiteral("Vollhardt"),
         QStringLiteral("De Boeck"), QStringLiteral("Traité de chimie organique"), QStringLiteral("2-8041-1234-5")},
        {QStringLiteral("Z"), QStringLiteral("F"), QStringLiteral("G"), 3, QStringLiteral("Atkins"),
         QStringLiteral("Oxford"), QStringLiteral("L'eau; la vie"), QVariant()},
        {QStringLiteral("L"), QStringLiteral("E"), QStringLiteral("A"), 40, QStringLiteral("Müller"),
         QStringLiteral("Klett"), QStringLiteral("Chimie générale"), QString()},
    };
}

// Visible top-level windows of one kind.
template <typename T>
QList<T *> shown()
{
    QList<T *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            windows << window;
    }
    return windows;
}

} // namespace

class tst_DialogsMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void readOnlyFinLeavesExportAlone();
    void finExportsWholeCatalogue();
    void failedExportKeepsWindowOpen();
    void aboutBoxOnceInReadOnlyMode();
    void aboutBoxOnlyByLogoInEditingMode();
    void dialogsOpenOnceAndUnloadAtClosing();
};

void tst_DialogsMainWindow::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmArtInf *>(widget) || qobject_cast<frmSearch *>(widget) || qobject_cast<frmFilter *>(widget))
            delete widget;
    }
}

void tst_DialogsMainWindow::readOnlyFinLeavesExportAlone()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(exportRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db"}));
    QVERIFY(TestSupport::writeFile(f.path(QStringLiteral("biblio.txt")), "an older export\r\n"));
    QVERIFY(f.start());
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(TestSupport::readFile(f.path(QStringLiteral("biblio.txt"))), QByteArray("an older export\r\n"));
}

void tst_DialogsMainWindow::finExportsWholeCatalogue()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(exportRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "DataOrderString=ORDER BY NUMERO", "EditFunction=" + WindowFixture::AccessCode}));
    QVERIFY(f.start());

    // A search in force narrows the window, not the export.
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdSearch")), Qt::LeftButton);
    QTRY_COMPARE(shown<frmSearch>().size(), 1);
    frmSearch *search = shown<frmSearch>().first();
    typeText(search->findChild<QLineEdit *>(QStringLiteral("txtSearch")), QStringLiteral("chimie"));
    QTest::mouseClick(search->findChild<QPushButton *>(QStringLiteral("cmd_1")), Qt::LeftButton);
    QVERIFY(f.messenger.messages.isEmpty());

    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QVERIFY2(f.messenger.messages.isEmpty(), qPrintable(f.messenger.lastText()));
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(TestSupport::readFile(f.path(QStringLiteral("biblio.txt"))),
             Header
                 + "Logiciel;;anglaise;;Chimie g\xe9n\xe9rale et chimie-physique;;40;;M\xfcller;;Klett;;"
                   "Chimie g\xe9n\xe9rale;;\r\n"
                   "Livre;;fran\xe7" "aise;;Chimie organique;;12;;Vollhardt;;De Boeck;;"
                   "Trait\xe9 de chimie organique;;2-8041-1234-5\r\n"
                   "P\xe9riodique ou journal;;fran\xe7" "aise;;P\xe9" "dagogie;;3;;Atkins;;Oxford;;"
                   "L'eau: la vie;;\r\n");
}

void tst_DialogsMainWindow::failedExportKeepsWindowOpen()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(exportRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "EditFunction=" + WindowFixture::AccessCode}));
    // A folder where the export file should be: it cannot be replaced.
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("biblio.txt")));
    const QByteArray settings = f.settingsBytes();
    QVERIFY(f.start());

    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QCOMPARE(f.messenger.messages.size(), 1);
    QVERIFY(f.messenger.lastText().contains(QStringLiteral("biblio.txt")));
    QCOMPARE(f.messenger.endCount, 0);
    QVERIFY(f.window->isVisible());
    QCOMPARE(f.settingsBytes(), settings);
}

void tst_DialogsMainWindow::aboutBoxOnceInReadOnlyMode()
{
    WindowFixture f;
    QVERIFY(f.startWith(exportRows(), false, false));
    QTRY_COMPARE(shown<frmArtInf>().size(), 1);

    // Closed, it does not come back when the window is painted again.
    shown<frmArtInf>().first()->close();
    f.window->hide();
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.window->repaint();
    QTest::qWait(50);
    QCOMPARE(shown<frmArtInf>().size(), 0);
}

void tst_DialogsMainWindow::aboutBoxOnlyByLogoInEditingMode()
{
    WindowFixture f;
    QVERIFY(f.startWith(exportRows(), true, false));
    f.window->repaint();
    QTest::qWait(50);
    QCOMPARE(shown<frmArtInf>().size(), 0);

    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("Command1")), Qt::LeftButton);
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("Command1")), Qt::LeftButton);
    QCOMPARE(shown<frmArtInf>().size(), 1);
    QVERIFY(!shown<frmArtInf>().first()->parentWidget());

    // The end of the program does not unload it: no place is stored.
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QCOMPARE(f.messenger.endCount, 1);
    QVERIFY(f.setting(QStringLiteral("frmArtInf Size"), QStringLiteral("Left")).isEmpty());
}

void tst_DialogsMainWindow::dialogsOpenOnceAndUnloadAtClosing()
{
    WindowFixture f;
    QVERIFY(f.startWith(exportRows(), true, false));

    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdFilter")), Qt::LeftButton);
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdFilter")), Qt::LeftButton);
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdSearch")), Qt::LeftButton);
    QCOMPARE(shown<frmFilter>().size(), 1);
    QCOMPARE(shown<frmSearch>().size(), 1);
    frmFilter *filter = shown<frmFilter>().first();
    QVERIFY(!filter->parentWidget());

    // Filtre brings the main window forward; the dialog stays.
    filter->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(filter));
    clickOption(filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_2")));
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdFilter_0")), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QVERIFY(filter->isVisible());

    // Annuler hides the filter dialog; reopened, its boxes are as they were.
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QCOMPARE(shown<frmFilter>().size(), 0);
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdFilter")), Qt::LeftButton);
    QCOMPARE(shown<frmFilter>().first(), filter);
    QVERIFY(filter->findChild<QCheckBox *>(QStringLiteral("chkLangue_2"))->isChecked());
    QTest::mouseClick(filter->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);

    // At closing both unload, the hidden one too, and store their places.
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QCOMPARE(f.messenger.endCount, 1);
    QVERIFY(!f.setting(QStringLiteral("frmSearch Size"), QStringLiteral("Width")).isEmpty());
    QVERIFY(!f.setting(QStringLiteral("frmFilter Size"), QStringLiteral("Width")).isEmpty());
}

QTEST_MAIN(tst_DialogsMainWindow)
#include "tst_dialogs_mainwindow.moc"
