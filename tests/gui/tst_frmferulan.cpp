// The main window from start to end: start-up failures, the settings read
// and written back, edit access, the two views, navigation and layout, the
// dialogs and the about box it opens, and the export on "Fin".

#include "WindowFixture.h"

#include "dialogs/frmArtInf.h"
#include "dialogs/frmFilter.h"
#include "dialogs/frmSearch.h"
#include "main_window/OrderCombo.h"
#include "main_window/WorkProgress.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::Row;

namespace {

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

// What the action writes to the standard error output.
QByteArray standardError(const std::function<void()> &action)
{
    QTemporaryFile file;
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    if (!file.open() || ::dup2(file.handle(), STDERR_FILENO) < 0)
        return "standard error output not captured";
    action();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    return TestSupport::readFile(file.fileName());
}

} // namespace

class tst_frmFerulan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void startFailure_data();
    void startFailure();
    void startWithOnlyDatabase();
    void accessAndView_data();
    void accessAndView();
    void storedOrderAndNavigation();
    void cancelledAndFailedExport();
    void dialogsAboutBoxAndExport();
    void countLine_data();
    void countLine();
    void destroyedWindowLeavesNothingReadingData1();
};

// The dialogs and the about box have no owner: they outlive the window.
void tst_frmFerulan::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmArtInf *>(widget) || qobject_cast<frmSearch *>(widget) || qobject_cast<frmFilter *>(widget))
            delete widget;
    }
}

void tst_frmFerulan::startFailure_data()
{
    QTest::addColumn<QString>("settings"); // "file" with these lines, "none", "folder" or "pipe"
    QTest::addColumn<QList<QByteArray>>("general");
    QTest::addColumn<QString>("detailHolds");

    // Looked for beside the program, then in the user's folder: both named.
    QTest::newRow("no settings file anywhere")
        << "none" << QList<QByteArray>{} << "ferulan\\.ini\\n.*/user/config/ferulan/ferulan\\.ini\\n.*init --edit";
    QTest::newRow("settings file is a folder") << "folder" << QList<QByteArray>{} << "est un dossier";
    QTest::newRow("settings file is a named pipe") << "pipe" << QList<QByteArray>{} << "pas un fichier ordinaire";
    QTest::newRow("empty Database")
        << "file" << QList<QByteArray>{"Database=", "EditFunction=" + WindowFixture::AccessCode} << "Database";
    QTest::newRow("missing database file") << "file" << QList<QByteArray>{"Database=absent.db"} << "absent.db";
    QTest::newRow("stored order names an unknown field")
        << "file" << QList<QByteArray>{"Database=biblio.db", "DataOrderString=ORDER BY COTE"} << "COTE";
    QTest::newRow("file is no catalogue") << "file" << QList<QByteArray>{"Database=notes.txt"} << "notes.txt";
    QTest::newRow("out of the program folder")
        << "file" << QList<QByteArray>{"Database=../biblio.db"} << "sort du dossier du programme";
    QTest::newRow("Access file: how to convert it")
        << "file" << QList<QByteArray>{"Database=old.mdb"} << "ferulan-catalogue import old.mdb";
}

void tst_frmFerulan::startFailure()
{
    QFETCH(QString, settings);
    QFETCH(QList<QByteArray>, general);
    QFETCH(QString, detailHolds);

    WindowFixture f;
    QVERIFY(TestSupport::makeCatalogue(f.path("biblio.db"), catalogueRows()).isEmpty());
    QVERIFY(TestSupport::writeFile(f.path("notes.txt"), "not a catalogue at all\n"));
    // The first page of an Access file, which is all the start-up looks at.
    QVERIFY(TestSupport::writeFile(f.path("old.mdb"), QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20)
                                                          + QByteArray(2028, '\0')));
    if (settings == "file")
        QVERIFY(f.writeGeneral(general));
    else if (settings == "folder")
        QVERIFY(QDir(f.dir.path()).mkdir("ferulan.ini"));
    else if (settings == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(f.path("ferulan.ini")).constData(), 0600), 0);
    const QByteArray settingsBefore = settings == "file" ? f.settingsBytes() : QByteArray();
    const QList<Row> rowsBefore = f.rows();

    // The cause goes with the message, so the user can mend the settings,
    // and to the standard error output, where scripts and logs see it.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(f.path("user/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(f.path("user/data")));
    const QByteArray errorOutput = standardError([&f] {
        f.window = std::make_unique<frmFerulan>(SettingsLocation::find(f.dir.path(), "ferulan"), f.messenger);
        QVERIFY(!f.window->start());
    });
    QCOMPARE(f.messages(), QStringList("|0|ERROR"));
    const QString details = f.messenger.messages.first().details;
    QVERIFY2(details.contains(QRegularExpression(detailHolds, QRegularExpression::DotMatchesEverythingOption)),
             qPrintable(details));
    QVERIFY(!QFileInfo::exists(f.path("user")));
    QCOMPARE(QString::fromLocal8Bit(errorOutput), "ERROR: " + details + "\n");
    QCOMPARE(f.messenger.endCount, 1);
    QVERIFY(!f.window->isVisible());

    // Nothing written: the settings as they were, the catalogue untouched.
    QCOMPARE(QFileInfo(f.path("ferulan.ini")).isFile(), settings == "file");
    QCOMPARE(QFileInfo::exists(f.path("ferulan.ini")), settings != "none");
    if (settings == "file")
        QCOMPARE(f.settingsBytes(), settingsBefore);
    f.window.reset();
    QCOMPARE(f.rows(), rowsBefore);
}

void tst_frmFerulan::startWithOnlyDatabase()
{
    WindowFixture f;
    QVERIFY(TestSupport::writeFile(f.path("biblio.BAK"), "an old backup"));
    QVERIFY(TestSupport::writeFile(f.path("biblio.txt"), "an older export\r\n"));
    QVERIFY(f.startWith(catalogueRows(), false, false));

    // Form view, read-only, natural order, empty selector.
    QVERIFY(f.grid()->isHidden());
    QVERIFY(!f.child<QWidget>("cmdAdd")->isVisible());
    QVERIFY(f.window->Data1.ReadOnly());
    QCOMPARE(f.caption(), "Record: 1");
    QCOMPARE(f.box(5)->text(), "Vollhardt");
    QCOMPARE(f.window->cmbOrder->currentText(), QString());
    QVERIFY(f.messenger.messages.isEmpty());
    // The backup was replaced by a copy of the catalogue as it was at start.
    QCOMPARE(f.rows("biblio.BAK"), catalogueRows());

    // objectName, parent, caption, tooltip.
    const char *const controls[][4] = {
        {"cmdAdd", "Picture1", "&Ajoute", "Ajouter un enregistrement    <Ctrl> + A"},
        {"cmdDelete", "Picture1", "&Efface", ""}, {"cmdUpdate", "frmFerulan", "&Actualiser", ""},
        {"cmdFilter", "Picture1", "Filtre", "Appliquer un filtre"},
        {"cmdClose", "Picture1", "Fin", "Quitter le programme"},
        {"cmdList_1", "Picture1", "", "Base de données par liste"}, {"Label2_0", "Picture1", "Tri par ...", ""},
        {"cmbOrder", "Picture1", "", "Trier la banque de données"}, {"lblLabels_4", "frmFerulan", "NUMERO:", ""},
        {"frame1", "frmFerulan", "préfixe", ""}, {"opPrefixe_4", "frame1", "périodique ou journal", ""},
        {"Frame2", "frmFerulan", "langue", ""}, {"opDomaine_7", "Frame3", "Pédagogie", ""},
    };
    QCOMPARE(f.window->windowTitle(), "Ferulan 5.0");
    for (const auto &control : controls) {
        QWidget *widget = f.child<QWidget>(control[0]);
        QVERIFY2(widget, control[0]);
        const QString shown = widget->property(qobject_cast<QGroupBox *>(widget) ? "title" : "text").toString();
        QCOMPARE(QStringList({control[0], widget->parentWidget()->objectName(), shown, widget->toolTip()}),
                 QStringList({control[0], control[1], control[2], control[3]}));
    }

    // The grid fills the window above the tool strip, also while hidden;
    // the form keeps its place.
    QWidget *strip = f.child<QWidget>("Picture1");
    const QRect formPlace = f.box(5)->geometry();
    f.window->resize(1000, 640);
    QCOMPARE(strip->geometry(), QRect(0, 640 - strip->height(), 1000, strip->height()));
    QCOMPARE(f.grid()->geometry(), QRect(0, 0, 1000, 640 - strip->height()));
    QCOMPARE(f.box(5)->geometry(), formPlace);

    // The about box opens by itself at the first painting, and only then.
    QTRY_COMPARE(shown<frmArtInf>().size(), 1);
    shown<frmArtInf>().first()->close();
    f.window->hide();
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.window->repaint();
    QTest::qWait(50);
    QCOMPARE(shown<frmArtInf>().size(), 0);

    // "Fin" closes without exporting and writes the settings back.
    f.click("cmdClose");
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(TestSupport::readFile(f.path("biblio.txt")), QByteArray("an older export\r\n"));
    const QByteArray settings = f.settingsBytes();
    for (const char *line : {"Database=biblio.db", "DataOrderString=", "ComboOrder=", "LastViewType=Form"})
        QVERIFY2(settings.contains(line), line);
    QVERIFY2(!settings.contains("EditFunction"), "the access code is never written");
    QVERIFY(f.setting("frmFerulan Size", "Width").toInt() > 0);
}

void tst_frmFerulan::accessAndView_data()
{
    QTest::addColumn<QList<QByteArray>>("general");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<bool>("list");

    const QByteArray code = "EditFunction=" + WindowFixture::AccessCode;
    QTest::newRow("exact code, List") << QList<QByteArray>{code, "LastViewType=List"} << true << true;
    QTest::newRow("trailing blank, Form") << QList<QByteArray>{code + " ", "LastViewType=Form"} << false << false;
    QTest::newRow("other case, list in lower case")
        << QList<QByteArray>{"EditFunction=quarz fendel mosker", "LastViewType=list"} << false << false;
    QTest::newRow("leading blank, quoted; no view")
        << QList<QByteArray>{"EditFunction=\" QUARZ Fendel Mosker\""} << false << false;
}

void tst_frmFerulan::accessAndView()
{
    QFETCH(QList<QByteArray>, general);
    QFETCH(bool, editing);
    QFETCH(bool, list);

    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), false, false, general));
    const QString codeRead = f.general("EditFunction");
    QCOMPARE(f.child<QWidget>("cmdAdd")->isVisible(), editing);
    QCOMPARE(f.window->Data1.ReadOnly(), !editing);
    // The grid and the button to the form, or the button to the list; the
    // one in front switches to the other view, on the same record.
    auto shown = [&f] {
        return QList<bool>{f.grid()->isVisible(), f.child<QWidget>("cmdList_2")->isVisible(),
                           f.child<QWidget>("cmdList_1")->isVisible()};
    };
    QCOMPARE(shown(), QList<bool>({list, list, !list}));
    const auto toggle = [&] {
        const QString caption = f.caption();
        const bool wasList = f.grid()->isVisible();
        f.click(wasList ? "cmdList_2" : "cmdList_1");
        QCOMPARE(shown(), QList<bool>({!wasList, !wasList, wasList}));
        QCOMPARE(f.caption(), caption);
    };
    if (list)
        toggle();

    // A typed change reaches the file only with edit access.
    f.retype(f.box(5), "Vollhardt et Schore");
    f.click("moveNext");
    QCOMPARE(f.caption(), "Record: 2");
    if (!list)
        toggle();
    f.window->close();
    QCOMPARE(f.stored(0, 4), editing ? "Vollhardt et Schore" : "Vollhardt");
    // Writing the settings back keeps the code the program never writes.
    QCOMPARE(f.general("EditFunction"), codeRead);
    QCOMPARE(f.general("LastViewType"), list ? "Form" : "List");
}

void tst_frmFerulan::storedOrderAndNavigation()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), false, false, {"DataOrderString=ORDER BY TITRE", "ComboOrder=AUTEUR"}));

    // Ordered by title while the selector shows AUTEUR.
    QCOMPARE(f.child<QPlainTextEdit>("txtFields_7")->toPlainText(), "Chimie générale");
    QCOMPARE(f.window->cmbOrder->currentText(), "AUTEUR");
    f.click("moveNext");
    QCOMPARE(f.caption(), "Record: 2");
    QCOMPARE(f.box(5)->text(), "Atkins");
    QCOMPARE(f.grid()->currentIndex().row(), 1);
    f.click("moveLast");
    QCOMPARE(f.box(5)->text(), "Bernard");
    // The bar stops at the ends.
    f.click("moveNext");
    QCOMPARE(f.caption(), "Record: 4");
    f.click("moveFirst");
    f.click("movePrevious");
    QCOMPARE(f.caption(), "Record: 1");
    QCOMPARE(f.box(5)->text(), "Müller");

    // In the grid, a click or an arrow moves the record; the covered form follows.
    f.click("cmdList_1");
    QCOMPARE(f.grid()->model()->rowCount(), 4);
    // Narrow columns show the start of their name, and all of it as a tooltip.
    QCOMPARE(f.grid()->model()->headerData(7, Qt::Horizontal).toString(), "TITRE");
    QCOMPARE(f.grid()->model()->headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(), "PREFIXE");
    QCOMPARE(f.grid()->model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & 0xf, int(Qt::AlignLeft));
    QCOMPARE(f.grid()->horizontalHeader()->textElideMode(), Qt::ElideNone);
    f.clickCell(2, 5);
    QCOMPARE(f.caption(), "Record: 3");
    QCOMPARE(f.box(5)->text(), "Vollhardt");
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QCOMPARE(f.caption(), "Record: 4");
    QCOMPARE(f.grid()->currentIndex().column(), 5);
    // Read-only: typing opens no editor, and Enter is the grid's own.
    QTest::keyClick(f.grid(), 'x');
    QVERIFY(!f.grid()->cellEditor());
    QVERIFY(!(f.grid()->model()->flags(f.grid()->currentIndex()) & Qt::ItemIsEditable));
    QTest::keyClick(f.grid(), Qt::Key_Return);
    QCOMPARE(f.grid()->currentIndex().column(), 5);
    QVERIFY(f.messenger.messages.isEmpty());
    // Lower than the tool strip, the grid keeps no negative height.
    f.window->resize(500, f.child<QWidget>("Picture1")->height() / 2);
    QCOMPARE(f.grid()->height(), 0);

    f.click("cmdClose");
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.general("DataOrderString"), "ORDER BY TITRE");
    QCOMPARE(f.general("ComboOrder"), "AUTEUR");
    QCOMPARE(f.general("LastViewType"), "List");
}

void tst_frmFerulan::cancelledAndFailedExport()
{
    WindowFixture f;
    QVERIFY(f.startWith(TestSupport::manyRows(6000), true, false));
    QVERIFY(TestSupport::writeFile(f.path("biblio.txt"), "an older export\r\n"));
    const QStringList files = QDir(f.dir.path()).entryList(QDir::Files);
    const QByteArray settings = f.settingsBytes();
    WorkProgress::setShowAfterMs(0);
    // What the dialog shows, seen from inside the work; the export's is
    // cancelled from its button, as a person would.
    QStringList seen;
    const auto watch = [&seen] {
        QTimer::singleShot(0, [&seen] {
            auto *dialog = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            QPushButton *button = dialog ? dialog->findChild<QPushButton *>() : nullptr;
            seen << (dialog ? dialog->labelText() : "none") + (button ? " " + button->text() : "")
                    + (QGuiApplication::overrideCursor() ? " wait" : "");
            if (button)
                QTest::mouseClick(button, Qt::LeftButton);
        });
    };
    watch();
    f.click("cmdClose");
    watch();
    f.window->module().OrderClause = QStringLiteral("ORDER BY TITRE");
    QVERIFY(f.window->module().ComposeQuery());
    WorkProgress::setShowAfterMs(1000);

    QCOMPARE(seen, QStringList({"Exportation du catalogue vers biblio.txt… Annuler wait", "Lecture du catalogue… wait"}));
    // Cancelled: no message, the window open, the old file whole and alone.
    QVERIFY2(f.messenger.messages.isEmpty(), qPrintable(f.lastMessage()));
    QVERIFY(f.messenger.endCount == 0 && f.window->isVisible());
    QCOMPARE(TestSupport::readFile(f.path("biblio.txt")), QByteArray("an older export\r\n"));
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), files);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // A folder where the export goes cannot be replaced: the message names
    // it, and the window stays open with the settings unwritten.
    QVERIFY(QFile::remove(f.path("biblio.txt")) && QDir(f.dir.path()).mkdir("biblio.txt"));
    f.click("cmdClose");
    QCOMPARE(f.messenger.messages.size(), 1);
    QVERIFY(f.lastMessage().contains("biblio.txt"));
    QVERIFY(f.messenger.endCount == 0 && f.window->isVisible());
    QCOMPARE(f.settingsBytes(), settings);
}

void tst_frmFerulan::dialogsAboutBoxAndExport()
{
    // Vollhardt, Atkins, Müller; the export turns the semicolon into a colon.
    QList<Row> rows = catalogueRows().mid(0, 3);
    rows[1][6] = "L'eau; la vie";
    WindowFixture f;
    QVERIFY(f.startWith(rows, true, false, {"DataOrderString=ORDER BY NUMERO"}));
    f.window->repaint();
    QTest::qWait(50);
    QCOMPARE(shown<frmArtInf>().size(), 0);

    // Each opens once however often its button is clicked, without an owner.
    for (const char *button : {"Command1", "Command1", "cmdFilter", "cmdFilter", "cmdSearch"})
        f.click(button);
    QCOMPARE(shown<frmArtInf>().size(), 1);
    QCOMPARE(shown<frmFilter>().size(), 1);
    QCOMPARE(shown<frmSearch>().size(), 1);
    QVERIFY(!shown<frmArtInf>().first()->parentWidget());
    frmFilter *filter = shown<frmFilter>().first();
    QVERIFY(!filter->parentWidget());

    // Filtre brings the main window forward; the dialog stays.
    filter->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(filter));
    clickOption(filter->findChild<QCheckBox *>("chkLangue_2"));
    QTest::mouseClick(filter->findChild<QPushButton *>("cmdFilter_0"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    QVERIFY(filter->isVisible());

    // Annuler hides the filter dialog; reopened, its boxes are as they were.
    QTest::mouseClick(filter->findChild<QPushButton *>("cmdCancel"), Qt::LeftButton);
    QCOMPARE(shown<frmFilter>().size(), 0);
    f.click("cmdFilter");
    QCOMPARE(shown<frmFilter>().first(), filter);
    QVERIFY(filter->findChild<QCheckBox *>("chkLangue_2")->isChecked());
    QTest::mouseClick(filter->findChild<QPushButton *>("cmdCancel"), Qt::LeftButton);
    // A search in force narrows the window, not the export.
    frmSearch *search = shown<frmSearch>().first();
    typeText(search->findChild<QLineEdit *>("txtSearch"), "chimie");
    QTest::mouseClick(search->findChild<QPushButton *>("cmd_1"), Qt::LeftButton);

    // "Fin" exports the whole catalogue in the stored order. Both dialogs
    // unload, the hidden one too, and store their places; the end of the
    // program does not unload the about box.
    f.click("cmdClose");
    QVERIFY2(f.messenger.messages.isEmpty(), qPrintable(f.lastMessage()));
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(TestSupport::readFile(f.path("biblio.txt")),
             "PREFIXE;;LANGUE;;DOMAINE;;NUMERO;;AUTEUR;;EDITEUR;;TITRE;;ISBN\r\n"
             "Logiciel;;anglaise;;Chimie g\xe9n\xe9rale et chimie-physique;;40;;M\xfcller;;Klett;;"
             "Chimie g\xe9n\xe9rale;;\r\n"
             "Livre;;fran\xe7" "aise;;Chimie organique;;12;;Vollhardt;;De Boeck;;"
             "Trait\xe9 de chimie organique;;2-8041-1234-5\r\n"
             "P\xe9riodique ou journal;;fran\xe7" "aise;;P\xe9" "dagogie;;3;;Atkins;;Oxford;;L'eau: la vie;;\r\n");
    QVERIFY(!f.setting("frmSearch Size", "Width").isEmpty());
    QVERIFY(!f.setting("frmFilter Size", "Width").isEmpty());
    QVERIFY(f.setting("frmArtInf Size", "Left").isEmpty());
}

void tst_frmFerulan::countLine_data()
{
    QTest::addColumn<QString>("search");    // in TITRE, or none
    QTest::addColumn<QStringList>("boxes"); // ticked in the filter
    QTest::addColumn<QString>("change");    // "add" or "delete" after the query, or none
    QTest::addColumn<QString>("says");

    QTest::newRow("whole catalogue") << "" << QStringList() << "" << "4 fiches";
    QTest::newRow("search") << "chimie" << QStringList() << "" << "2 fiches — recherche TITRE « chimie »";
    QTest::newRow("filter, one record") << "" << QStringList{"chkLangue_1"} << "" << "1 fiche — filtre : deutsch";
    QTest::newRow("search and filter, nothing found")
        << "chimie" << QStringList{"chkLangue_1"} << ""
        << "Aucune fiche — recherche TITRE « chimie », filtre : deutsch";
    QTest::newRow("apostrophe, then an add") << "l'eau" << QStringList() << "add" << "1 fiche — recherche TITRE « l'eau »";
    QTest::newRow("delete of the last one")
        << "" << QStringList{"chkLangue_2", "chkPrefixe_1"} << "delete" << "Aucune fiche — filtre : français, livre";
}

// The line right of "Fin" follows every query, add and delete, and covers
// no control of the strip.
void tst_frmFerulan::countLine()
{
    QFETCH(QString, search);
    QFETCH(QStringList, boxes);
    QFETCH(QString, change);
    QFETCH(QString, says);

    WindowFixture f;
    QVERIFY(f.startActive(catalogueRows(), true, false));
    f.window->resize(1400, f.window->height());
    if (!search.isEmpty()) {
        f.click("cmdSearch");
        frmSearch *dialog = shown<frmSearch>().first();
        typeText(dialog->findChild<QLineEdit *>("txtSearch"), search);
        QTest::mouseClick(dialog->findChild<QPushButton *>("cmd_1"), Qt::LeftButton);
    }
    if (!boxes.isEmpty()) {
        f.click("cmdFilter");
        frmFilter *dialog = shown<frmFilter>().first();
        for (const QString &box : boxes)
            clickOption(dialog->findChild<QCheckBox *>(box));
        QTest::mouseClick(dialog->findChild<QPushButton *>("cmdFilter_0"), Qt::LeftButton);
    }
    f.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    if (change == "add") {
        f.press(Qt::Key_A, Qt::ControlModifier);
    } else if (change == "delete") {
        f.press(Qt::Key_S, Qt::ControlModifier);
        f.click("cmdDelete");
    }
    QVERIFY2(f.messenger.messages.isEmpty(), qPrintable(f.lastMessage()));

    auto *line = f.child<QLabel>("lblCount");
    QVERIFY(line);
    QCOMPARE(line->accessibleName(), says);
    const QStringList parts = says.split(" — ");
    QCOMPARE(line->text(), parts.first() + '\n' + parts.value(1, "tout le catalogue"));
    for (QWidget *other : line->parentWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        QVERIFY2(other == line || !other->geometry().intersects(line->geometry()), qPrintable(other->objectName()));
}

void tst_frmFerulan::destroyedWindowLeavesNothingReadingData1()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), true, true));
    // The controls that read the data control are gone before it is; a
    // child of the data control tells when that is.
    const QList<QPointer<QObject>> readers{f.grid(), f.grid()->model(), f.child<NavigationBar>("Data1")};
    int alive = -1;
    connect(new QObject(&f.window->Data1), &QObject::destroyed, this,
            [&] { alive = int(std::count_if(readers.begin(), readers.end(), [](auto &r) { return !r.isNull(); })); });
    f.window.reset();
    QCOMPARE(alive, 0);
}

QTEST_MAIN(tst_frmFerulan)
#include "tst_frmferulan.moc"
