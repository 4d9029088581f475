// The main window from start to end: start-up failures, the settings read
// and written back, edit access, the two views, navigation and layout.

#include "WindowFixture.h"

#include "catalogue/Backup.h"
#include "main_window/DataGrid.h"
#include "main_window/NavigationBar.h"
#include "main_window/OrderCombo.h"
#include "settings/Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using TestSupport::Row;

namespace {

void replaceText(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    typeText(box, text);
}

QString caption(const WindowFixture &f)
{
    return f.child<NavigationBar>(QStringLiteral("Data1"))->caption();
}

void clickBar(const WindowFixture &f, const char *button)
{
    QTest::mouseClick(f.child<QToolButton>(QString::fromLatin1(button)), Qt::LeftButton);
}

} // namespace

class tst_frmFerulan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startFailure_data();
    void startFailure();
    void startWithOnlyDatabase();
    void editAccess_data();
    void editAccess();
    void storedView_data();
    void storedView();
    void storedOrderAndSelectorText();
    void navigationCaptionAndGrid();
    void gridRowMovesDataControl();
    void emptySetShowsRecordZero();
    void texts_data();
    void texts();
    void gridFillsWindowAboveToolStrip();
    void finClosesAndWritesSettings();
    void refusedEditAtClosingKeepsWindowOpen();
};

void tst_frmFerulan::startFailure_data()
{
    QTest::addColumn<bool>("writeSettings");
    QTest::addColumn<QList<QByteArray>>("general");
    QTest::addColumn<QString>("detailHolds");

    QTest::newRow("no settings file") << false << QList<QByteArray>{} << "Database";
    QTest::newRow("empty Database") << true << QList<QByteArray>{"Database=", "EditFunction=" + WindowFixture::AccessCode}
                                    << "Database";
    QTest::newRow("missing database file") << true << QList<QByteArray>{"Database=absent.db"} << "absent.db";
    QTest::newRow("stored order names an unknown field")
        << true << QList<QByteArray>{"Database=biblio.db", "DataOrderString=ORDER BY COTE"} << "COTE";
    QTest::newRow("file is no catalogue") << true << QList<QByteArray>{"Database=notes.txt"} << "";
    QTest::newRow("Access file: how to convert it")
        << true << QList<QByteArray>{"Database=old.mdb"} << "ferulan-catalogue import old.mdb";
}

void tst_frmFerulan::startFailure()
{
    QFETCH(bool, writeSettings);
    QFETCH(QList<QByteArray>, general);
    QFETCH(QString, detailHolds);

    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QVERIFY(TestSupport::writeFile(f.path(QStringLiteral("notes.txt")), "not a catalogue at all\n"));
    QVERIFY(QFile::copy(QStringLiteral(FERULAN_FIXTURES "/access/DateTestDatabase.mdb"), f.path(QStringLiteral("old.mdb"))));
    if (writeSettings)
        QVERIFY(f.writeGeneral(general));
    const QByteArray settingsBefore = f.settingsBytes();
    const QList<Row> rowsBefore = f.rows();

    QVERIFY(!f.start());

    QCOMPARE(f.messenger.messages.size(), 1);
    const RecordingMessenger::Message &message = f.messenger.messages.first();
    QCOMPARE(message.text, QStringLiteral("ERROR"));
    QCOMPARE(message.style, Messenger::OkOnly);
    QCOMPARE(message.caption, QString());
    QVERIFY2(!message.details.isEmpty(), "the cause goes with the message");
    QVERIFY2(message.details.contains(detailHolds), qPrintable(message.details));
    QCOMPARE(f.messenger.endCount, 1);
    QVERIFY(!f.window->isVisible());

    // Nothing written: the settings as they were, the catalogue untouched.
    QCOMPARE(f.settingsExist(), writeSettings);
    QCOMPARE(f.settingsBytes(), settingsBefore);
    f.window.reset();
    QCOMPARE(f.rows(), rowsBefore);
}

void tst_frmFerulan::startWithOnlyDatabase()
{
    WindowFixture f;
    QVERIFY(TestSupport::writeFile(f.path(QStringLiteral("biblio.BAK")), "an old backup"));
    QVERIFY(f.startWith(catalogueRows(), false, false));

    // Form view, read-only, natural order, empty selector.
    QVERIFY(f.window->DBGrid1->isHidden());
    QVERIFY(f.child<QPushButton>(QStringLiteral("cmdList_1"))->isVisible());
    QVERIFY(!f.child<QPushButton>(QStringLiteral("cmdAdd"))->isVisible());
    QVERIFY(f.window->Data1.ReadOnly());
    QCOMPARE(caption(f), QStringLiteral("Record: 1"));
    QCOMPARE(f.child<QLineEdit>(QStringLiteral("txtFields_5"))->text(), QStringLiteral("Vollhardt"));
    QCOMPARE(f.child<OrderCombo>(QStringLiteral("cmbOrder"))->currentText(), QString());
    QVERIFY(f.messenger.messages.isEmpty());

    // The backup was replaced by a copy of the catalogue as it was at start.
    QCOMPARE(TestSupport::readFile(f.path(QStringLiteral("biblio.BAK"))),
             TestSupport::readFile(f.path(QStringLiteral("biblio.db"))));

    f.window->close();
    QCOMPARE(f.messenger.endCount, 1);
    const QByteArray settings = f.settingsBytes();
    for (const char *line : {"Database=biblio.db", "DataOrderString=", "ComboOrder=", "LastViewType=Form"})
        QVERIFY2(settings.contains(line), line);
    QVERIFY2(!settings.contains("EditFunction"), "the access code is never written");
    for (const char *key : {"Left", "Top", "Width", "Height"}) {
        bool number = false;
        const int value = f.setting(QStringLiteral("frmFerulan Size"), QString::fromLatin1(key)).toInt(&number);
        QVERIFY2(number, key);
        if (QByteArray(key) == "Width" || QByteArray(key) == "Height")
            QVERIFY(value > 0);
    }
}

void tst_frmFerulan::editAccess_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("editing");

    QTest::newRow("exact code") << WindowFixture::AccessCode << true;
    QTest::newRow("trailing blank") << WindowFixture::AccessCode + " " << false;
    QTest::newRow("other case") << QByteArray("quarz fendel mosker") << false;
    QTest::newRow("leading blank, quoted") << QByteArray("\" QUARZ Fendel Mosker\"") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_frmFerulan::editAccess()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, editing);

    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "EditFunction=" + value}));
    const QString codeRead = f.general(QStringLiteral("EditFunction"));
    QVERIFY(f.start());

    QCOMPARE(f.child<QPushButton>(QStringLiteral("cmdAdd"))->isVisible(), editing);
    QCOMPARE(f.window->Data1.ReadOnly(), !editing);

    // A typed change reaches the file only with edit access.
    replaceText(f.child<QLineEdit>(QStringLiteral("txtFields_5")), QStringLiteral("Vollhardt et Schore"));
    clickBar(f, "moveNext");
    QCOMPARE(caption(f), QStringLiteral("Record: 2"));
    f.window->close();
    QCOMPARE(f.rows().at(0).at(4).toString(),
             editing ? QStringLiteral("Vollhardt et Schore") : QStringLiteral("Vollhardt"));
    // The program never writes the code.
    QCOMPARE(f.general(QStringLiteral("EditFunction")), codeRead);
}

void tst_frmFerulan::storedView_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("list");

    QTest::newRow("List") << QByteArray("List") << true;
    QTest::newRow("list, lower case") << QByteArray("list") << false;
    QTest::newRow("Form") << QByteArray("Form") << false;
    QTest::newRow("missing") << QByteArray() << false;
}

void tst_frmFerulan::storedView()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, list);

    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QList<QByteArray> general{"Database=biblio.db"};
    if (!stored.isEmpty())
        general << "LastViewType=" + stored;
    QVERIFY(f.writeGeneral(general));
    QVERIFY(f.start());

    auto *toList = f.child<QPushButton>(QStringLiteral("cmdList_1"));
    auto *toForm = f.child<QPushButton>(QStringLiteral("cmdList_2"));
    QCOMPARE(f.window->DBGrid1->isVisible(), list);
    QCOMPARE(toForm->isVisible(), list);
    QCOMPARE(toList->isVisible(), !list);

    // The button in front switches to the other view.
    QTest::mouseClick(list ? toForm : toList, Qt::LeftButton);
    QCOMPARE(f.window->DBGrid1->isVisible(), !list);
    QCOMPARE(toForm->isVisible(), !list);
    QCOMPARE(toList->isVisible(), list);
    QCOMPARE(caption(f), QStringLiteral("Record: 1"));

    f.window->close();
    QCOMPARE(f.general(QStringLiteral("LastViewType")), list ? QStringLiteral("Form") : QStringLiteral("List"));

    // The next start shows the view stored.
    WindowFixture next;
    QVERIFY(next.makeCatalogue(catalogueRows()).isEmpty());
    QVERIFY(TestSupport::writeFile(next.path(QStringLiteral("ferulan.ini")), f.settingsBytes()));
    QVERIFY(next.start());
    QCOMPARE(next.window->DBGrid1->isVisible(), !list);
}

void tst_frmFerulan::storedOrderAndSelectorText()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "DataOrderString=ORDER BY TITRE", "ComboOrder=AUTEUR"}));
    QVERIFY(f.start());

    // Ordered by title while the selector shows AUTEUR.
    QCOMPARE(f.child<QPlainTextEdit>(QStringLiteral("txtFields_7"))->toPlainText(), QStringLiteral("Chimie générale"));
    QCOMPARE(f.child<OrderCombo>(QStringLiteral("cmbOrder"))->currentText(), QStringLiteral("AUTEUR"));
    clickBar(f, "moveNext");
    QCOMPARE(f.child<QLineEdit>(QStringLiteral("txtFields_5"))->text(), QStringLiteral("Atkins"));

    f.window->close();
    QCOMPARE(f.general(QStringLiteral("DataOrderString")), QStringLiteral("ORDER BY TITRE"));
    QCOMPARE(f.general(QStringLiteral("ComboOrder")), QStringLiteral("AUTEUR"));
}

void tst_frmFerulan::navigationCaptionAndGrid()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "DataOrderString=ORDER BY AUTEUR"}));
    QVERIFY(f.start());
    auto *author = f.child<QLineEdit>(QStringLiteral("txtFields_5"));

    QCOMPARE(author->text(), QStringLiteral("Atkins"));
    clickBar(f, "moveNext");
    clickBar(f, "moveNext");
    QCOMPARE(caption(f), QStringLiteral("Record: 3"));
    QCOMPARE(author->text(), QStringLiteral("Müller"));
    QCOMPARE(f.window->DBGrid1->currentIndex().row(), 2);

    clickBar(f, "moveLast");
    QCOMPARE(caption(f), QStringLiteral("Record: 4"));
    QCOMPARE(author->text(), QStringLiteral("Vollhardt"));
    // The bar stops at the ends.
    clickBar(f, "moveNext");
    QCOMPARE(caption(f), QStringLiteral("Record: 4"));
    clickBar(f, "moveFirst");
    clickBar(f, "movePrevious");
    QCOMPARE(caption(f), QStringLiteral("Record: 1"));
    QCOMPARE(author->text(), QStringLiteral("Atkins"));
    QVERIFY(f.messenger.messages.isEmpty());
}

void tst_frmFerulan::gridRowMovesDataControl()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), false, true));
    DataGrid *grid = f.window->DBGrid1;
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->model()->headerData(7, Qt::Horizontal).toString(), QStringLiteral("TITRE"));

    const QRect cell = grid->visualRect(grid->model()->index(2, 5));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(caption(f), QStringLiteral("Record: 3"));
    // The covered form follows the current record.
    QCOMPARE(f.child<QLineEdit>(QStringLiteral("txtFields_5"))->text(), QStringLiteral("Müller"));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(caption(f), QStringLiteral("Record: 4"));
    QCOMPARE(grid->currentIndex().column(), 5);
}

void tst_frmFerulan::emptySetShowsRecordZero()
{
    WindowFixture f;
    QVERIFY(f.startWith({}, true, false));
    QCOMPARE(caption(f), QStringLiteral("Record: 0"));
    for (const char *button : {"moveFirst", "movePrevious", "moveNext", "moveLast"})
        clickBar(f, button);
    QCOMPARE(caption(f), QStringLiteral("Record: 0"));
    QVERIFY(f.messenger.messages.isEmpty());
}

void tst_frmFerulan::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("cmdAdd") << "cmdAdd" << "Picture1" << "&Ajoute" << "Ajouter un enregistrement    <Ctrl> + A";
    QTest::newRow("cmdDelete") << "cmdDelete" << "Picture1" << "&Efface" << "";
    QTest::newRow("cmdUpdate") << "cmdUpdate" << "frmFerulan" << "&Actualiser" << "";
    QTest::newRow("cmdFilter") << "cmdFilter" << "Picture1" << "Filtre" << "Appliquer un filtre";
    QTest::newRow("cmdSearch") << "cmdSearch" << "Picture1" << "Cherche" << "Faire une recherche";
    QTest::newRow("cmdClose") << "cmdClose" << "Picture1" << "Fin" << "Quitter le programme";
    QTest::newRow("cmdList_1") << "cmdList_1" << "Picture1" << "" << "Base de données par liste";
    QTest::newRow("cmdList_2") << "cmdList_2" << "Picture1" << "" << "Base de données par formulaire";
    QTest::newRow("cmbOrder") << "cmbOrder" << "Picture1" << "" << "Trier la banque de données";
    QTest::newRow("Label2_0") << "Label2_0" << "Picture1" << "Tri par ..." << "";
    QTest::newRow("lblLabels_4") << "lblLabels_4" << "frmFerulan" << "NUMERO:" << "";
    QTest::newRow("lblLabels_8") << "lblLabels_8" << "frmFerulan" << "ISBN:" << "";
    QTest::newRow("frame1") << "frame1" << "frmFerulan" << "préfixe" << "";
    QTest::newRow("Frame2") << "Frame2" << "frmFerulan" << "langue" << "";
    QTest::newRow("Frame3") << "Frame3" << "frmFerulan" << "domaine" << "";
    QTest::newRow("opPrefixe_4") << "opPrefixe_4" << "frame1" << "périodique ou journal" << "";
    QTest::newRow("opLangue_2") << "opLangue_2" << "Frame2" << "français" << "";
    QTest::newRow("opDomaine_4") << "opDomaine_4" << "Frame3" << "Exercices de chimie" << "";
    QTest::newRow("opDomaine_7") << "opDomaine_7" << "Frame3" << "Pédagogie" << "";
}

void tst_frmFerulan::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);

    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), false, false));
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Ferulan 5.0"));

    QWidget *widget = f.child<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->toolTip(), toolTip);
    QString shown;
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(widget))
        shown = frame->title();
    if (!text.isEmpty() || qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(shown, text);
}

void tst_frmFerulan::gridFillsWindowAboveToolStrip()
{
    WindowFixture f;
    QVERIFY(f.startWith(catalogueRows(), false, false));
    QWidget *strip = f.child<QWidget>(QStringLiteral("Picture1"));
    QWidget *textBox = f.child<QWidget>(QStringLiteral("txtFields_5"));
    const QRect formPlace = textBox->geometry();

    // Also while the grid is hidden.
    f.window->resize(1000, 640);
    QCOMPARE(strip->geometry(), QRect(0, 640 - strip->height(), 1000, strip->height()));
    QCOMPARE(f.window->DBGrid1->geometry(), QRect(0, 0, 1000, 640 - strip->height()));
    QCOMPARE(textBox->geometry(), formPlace);

    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdList_1")), Qt::LeftButton);
    f.window->resize(500, 300);
    QCOMPARE(f.window->DBGrid1->geometry(), QRect(0, 0, 500, 300 - strip->height()));

    // Lower than the strip: the grid keeps no negative height.
    f.window->resize(500, strip->height() / 2);
    QCOMPARE(f.window->DBGrid1->height(), 0);
}

void tst_frmFerulan::finClosesAndWritesSettings()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "DataOrderString=ORDER BY NUMERO", "ComboOrder=NUMERO"}));
    QVERIFY(f.start());
    QTest::mouseClick(f.child<QPushButton>(QStringLiteral("cmdClose")), Qt::LeftButton);
    QVERIFY(!f.window->isVisible());
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.general(QStringLiteral("DataOrderString")), QStringLiteral("ORDER BY NUMERO"));
    QCOMPARE(f.general(QStringLiteral("LastViewType")), QStringLiteral("Form"));
}

void tst_frmFerulan::refusedEditAtClosingKeepsWindowOpen()
{
    WindowFixture f;
    QVERIFY(f.makeCatalogue(catalogueRows()).isEmpty());
    QCOMPARE(f.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON Biblio WHEN NEW.AUTEUR = 'REFUSE' "
                                   "BEGIN SELECT RAISE(ABORT, 'auteur refusé'); END")),
             QString());
    QVERIFY(f.writeGeneral({"Database=biblio.db", "EditFunction=" + WindowFixture::AccessCode}));
    const QByteArray settingsBefore = f.settingsBytes();
    QVERIFY(f.start());

    auto *author = f.child<QLineEdit>(QStringLiteral("txtFields_5"));
    replaceText(author, QStringLiteral("REFUSE"));
    QVERIFY(!f.window->close());

    // The engine's text is shown, the window and the edit stay, nothing written.
    QCOMPARE(f.messenger.messages.size(), 1);
    QVERIFY2(f.messenger.lastText().contains(QStringLiteral("auteur refusé")), qPrintable(f.messenger.lastText()));
    QVERIFY(f.window->isVisible());
    QCOMPARE(author->text(), QStringLiteral("REFUSE"));
    QCOMPARE(f.messenger.endCount, 0);
    QCOMPARE(f.settingsBytes(), settingsBefore);

    replaceText(author, QStringLiteral("Accepté"));
    QVERIFY(f.window->close());
    QCOMPARE(f.messenger.endCount, 1);
    QCOMPARE(f.rows().at(0).at(4).toString(), QStringLiteral("Accepté"));
    QCOMPARE(f.general(QStringLiteral("Database")), QStringLiteral("biblio.db"));
}

QTEST_MAIN(tst_frmFerulan)
#include "tst_frmferulan.moc"
