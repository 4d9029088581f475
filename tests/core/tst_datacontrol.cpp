#include "TestSupport.h"

#include "catalogue/Backup.h"
#include "catalogue/DataControl.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "catalogue/Module1.h"

#include <QtTest>

using TestSupport::Row;

// Fails the test with the engine's text when a data-control call fails.
#define VERIFY_DATA(call, control)                                                                        \
    QVERIFY2((call), qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(#call), (control).lastError().text)))

class TestDataControl : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
    QTemporaryDir &dir() { return *m_folder; }

    // A fresh catalogue for each test, opened by a data control on "query".
    void openOn(DataControl &data, const QList<Row> &rows, const QString &query);
    QStringList column(DataControl &data, int field);

private Q_SLOTS:
    void init();
    void composeQuery_data();
    void composeQuery();
    void queries_data();
    void queries();
    void addNewStaysLastUntilNextQuery();
    void deleteRemovesFromFileAndSet();
    void moveNextPastEndLeavesNoCurrentRecord();
    void editsAreStoredWhenTheRecordIsLeft();
    void numeroTextIsStoredAsNumber();
    void refusedEditIsReportedAndKept();
    void validateComesBeforeReposition();
    void rejectedQueryKeepsPreviousResult();
    void readOnlyRefusesEveryWrite();
    void readOnlyConnectionRefusesSql();
    void emptySetHasNoCurrentRecord();
    void forwardRecordsetStreamsInOrder();
    void backupPath_data();
    void backupPath();
    void backupReplacesOldCopy();
    void failedBackupKeepsPreviousCopy();
};

void TestDataControl::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_path = m_folder->filePath(QStringLiteral("biblio.db"));
}

void TestDataControl::openOn(DataControl &data, const QList<Row> &rows, const QString &query)
{
    const QString error = TestSupport::makeCatalogue(m_path, rows);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    data.setDatabaseName(m_path);
    data.setRecordSource(query);
    VERIFY_DATA(data.Refresh(), data);
}

QStringList TestDataControl::column(DataControl &data, int field)
{
    QStringList values;
    const RecordSet &rs = data.Recordset();
    for (int i = 0; i < rs.recordCount(); ++i) {
        const QVariant v = rs.valueAt(i, field);
        values << (v.isNull() ? QStringLiteral("<null>") : v.toString());
    }
    return values;
}

void TestDataControl::composeQuery_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("query");

    QTest::newRow("order only") << "" << "" << "ORDER BY NUMERO" << "SELECT * FROM Biblio  ORDER BY NUMERO";
    QTest::newRow("nothing") << "" << "" << "" << "SELECT * FROM Biblio  ";
    QTest::newRow("search") << "" << "TITRE LIKE '*a*'" << "ORDER BY TITRE"
                            << "SELECT * FROM Biblio WHERE TITRE LIKE '*a*' ORDER BY TITRE";
    QTest::newRow("filter") << "WHERE (LANGUE = 'D')" << "" << ""
                            << "SELECT * FROM Biblio WHERE (LANGUE = 'D') ";
    QTest::newRow("both") << "WHERE (LANGUE = 'D')" << "TITRE LIKE '*a*'" << "ORDER BY ISBN"
                          << "SELECT * FROM Biblio WHERE (LANGUE = 'D') AND TITRE LIKE '*a*' ORDER BY ISBN";
    QTest::newRow("blank search counts") << "" << " " << "ORDER BY TITRE"
                                         << "SELECT * FROM Biblio WHERE   ORDER BY TITRE";
}

void TestDataControl::composeQuery()
{
    QFETCH(QString, filter);
    QFETCH(QString, search);
    QFETCH(QString, order);
    QFETCH(QString, query);

    DataControl data;
    Module1 module(data);
    module.TableName = QStringLiteral("Biblio");
    module.FilterClause = filter;
    module.SearchClause = search;
    module.OrderClause = order;
    QCOMPARE(module.queryText(), query);

    // The data control receives the text exactly, and runs it when it is valid.
    QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    data.setDatabaseName(m_path);
    QSignalSpy columns(&module, &Module1::columnsReset);
    const bool ran = module.ComposeQuery();
    QCOMPARE(data.RecordSource(), query);
    QCOMPARE(ran, search != QLatin1String(" "));
    QCOMPARE(columns.count(), ran ? 1 : 0);
    if (!ran)
        QVERIFY(!module.lastError().isEmpty());
}

void TestDataControl::queries_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("numeros"); // NUMERO of the rows, in the order shown

    // French order: case and accents do not separate words, empty and
    // missing values first, equal keys in the order of the rows.
    QTest::newRow("text order") << "SELECT * FROM Biblio  ORDER BY AUTEUR"
                                << QStringList{"5", "6", "7", "2", "4", "3", "1"};
    QTest::newRow("number order") << "SELECT * FROM Biblio  ORDER BY NUMERO"
                                  << QStringList{"1", "2", "3", "4", "5", "6", "7"};
    QTest::newRow("two terms, one descending") << "SELECT * FROM Biblio ORDER BY DOMAINE, AUTEUR DESC"
                                               << QStringList{"6", "1", "7", "5", "3", "2", "4"};
    // A rank names the result's column (4: DOMAINE); descending puts missing
    // values last, equal keys still in row order.
    QTest::newRow("rank, descending") << "SELECT * FROM Biblio ORDER BY 4 DESC"
                                      << QStringList{"4", "2", "3", "1", "5", "7", "6"};
    QTest::newRow("code letters compare exactly") << "SELECT * FROM Biblio WHERE (DOMAINE = 'B') "
                                                  << QStringList{"2"};
    // "É" matches "é" but not "E": case is ignored, accents are not.
    QTest::newRow("LIKE ignores the case of accented letters")
        << "SELECT * FROM Biblio WHERE AUTEUR LIKE '*ÉCOLE*' ORDER BY NUMERO" << QStringList{"2"};
    QTest::newRow("LIKE with a doubled apostrophe") << "SELECT * FROM Biblio WHERE TITRE LIKE '*l''eau*' "
                                                    << QStringList{"3"};
    QTest::newRow("numbers match as their text") << "SELECT * FROM Biblio WHERE NUMERO LIKE '#' AND NUMERO > 5 "
                                                 << QStringList{"6", "7"};
}

void TestDataControl::queries()
{
    QFETCH(QString, query);
    QFETCH(QStringList, numeros);
    const QString f = QStringLiteral("F");
    const QList<Row> rows = {
        {QStringLiteral("B"), f, QStringLiteral("A"), 1, QStringLiteral("Zola")},
        {QStringLiteral("B"), f, QStringLiteral("B"), 2, QStringLiteral("école")},
        {QStringLiteral("B"), f, QStringLiteral("b"), 3, QStringLiteral("Edison"), {}, QStringLiteral("L'eau")},
        {QStringLiteral("B"), f, QStringLiteral("C"), 4, QStringLiteral("Ecole")},
        {QStringLiteral("B"), f, QStringLiteral("A"), 5, QString()},
        {QStringLiteral("B"), f, QVariant(), 6, QVariant()},
        {QStringLiteral("B"), f, QStringLiteral("a"), 7, QStringLiteral("àbc")},
    };
    DataControl data;
    openOn(data, rows, query);
    QCOMPARE(column(data, 4), numeros);
}

void TestDataControl::addNewStaysLastUntilNextQuery()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  ORDER BY AUTEUR"));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.MoveNext());
    const auto before = rs.bookmark();

    VERIFY_DATA(rs.AddNew(), rs);
    VERIFY_DATA(rs.Update(), rs);
    QCOMPARE(rs.recordCount(), 6);
    // The current record is still the one before the add.
    QCOMPARE(rs.bookmark(), before);
    QVERIFY(rs.LastModified());

    VERIFY_DATA(rs.MoveLast(), rs);
    QCOMPARE(rs.AbsolutePosition(), 5);
    QCOMPARE(rs.bookmark(), rs.LastModified());
    for (int field = 1; field < 9; ++field)
        QVERIFY2(rs.value(field).isNull(), qPrintable(QString::number(field)));

    // Bookmarks survive moves.
    VERIFY_DATA(rs.MoveFirst(), rs);
    VERIFY_DATA(rs.setBookmark(*rs.LastModified()), rs);
    QCOMPARE(rs.AbsolutePosition(), 5);

    // A new query sorts it in: empty authors come first.
    VERIFY_DATA(data.Refresh(), data);
    QVERIFY(rs.value(5).isNull());
    QCOMPARE(rs.recordCount(), 6);
}

void TestDataControl::deleteRemovesFromFileAndSet()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  ORDER BY NUMERO"));
    RecordSet &rs = data.Recordset();
    // NUMERO order: null, 3, 7, 12, 40; delete the record numbered 7.
    VERIFY_DATA(rs.Move(2), rs);
    QCOMPARE(rs.value(4).toInt(), 7);
    QSignalSpy removed(&data, &DataControl::recordRemoved);
    VERIFY_DATA(rs.Delete(), rs);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(rs.AbsolutePosition(), -1);
    QCOMPARE(rs.recordCount(), 4);
    VERIFY_DATA(rs.MoveNext(), rs);
    QCOMPARE(rs.value(4).toInt(), 12);

    // Gone from the file too.
    {
        Database db;
        QVERIFY(db.open(m_path, Database::Mode::ReadOnly));
        auto count = db.prepare(QStringLiteral("SELECT count(*) FROM Biblio WHERE NUMERO = 7"));
        QVERIFY(count && count->step() == Statement::Step::Row);
        QCOMPARE(count->int64(0), 0);
    }

    // Deleting the last record leaves nothing current; MoveNext reaches the end.
    VERIFY_DATA(rs.MoveLast(), rs);
    VERIFY_DATA(rs.Delete(), rs);
    VERIFY_DATA(rs.MoveNext(), rs);
    QVERIFY(rs.isEOF());
    QCOMPARE(rs.AbsolutePosition(), -1);
    // Nothing to delete now: refused, the set untouched.
    QVERIFY(!rs.Delete());
    QCOMPARE(rs.lastError().number, DataErrors::NoCurrentRecord);
    QCOMPARE(rs.recordCount(), 3);
}

void TestDataControl::moveNextPastEndLeavesNoCurrentRecord()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    VERIFY_DATA(rs.MoveLast(), rs);
    QCOMPARE(rs.AbsolutePosition(), 4);
    VERIFY_DATA(rs.MoveNext(), rs);
    QVERIFY(rs.isEOF());
    QCOMPARE(rs.AbsolutePosition(), -1);
    QVERIFY(!rs.MoveNext());
    // An add past the end does not make the new record current.
    VERIFY_DATA(rs.AddNew(), rs);
    VERIFY_DATA(rs.Update(), rs);
    QCOMPARE(rs.AbsolutePosition(), -1);
    // The navigation bar does not run off either end.
    data.moveLast();
    data.moveNext();
    QCOMPARE(rs.AbsolutePosition(), 5);
    data.moveFirst();
    data.movePrevious();
    QCOMPARE(rs.AbsolutePosition(), 0);
}

void TestDataControl::editsAreStoredWhenTheRecordIsLeft()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.setValue(5, QStringLiteral("Durand")));
    QCOMPARE(rs.valueAt(0, 5).toString(), QStringLiteral("Durand"));
    QSignalSpy stored(&data, &DataControl::recordStored);
    data.moveNext();
    QCOMPARE(stored.count(), 1);
    QCOMPARE(rs.valueAt(0, 5).toString(), QStringLiteral("Durand"));

    // And by UpdateRecord; LastModified names the stored record.
    QVERIFY(rs.setValue(7, QStringLiteral("Nouveau titre")));
    VERIFY_DATA(data.UpdateRecord(), data);
    QCOMPARE(rs.LastModified(), rs.bookmark());

    // A fresh connection sees both edits, and emptied text as missing.
    QVERIFY(rs.setValue(6, QString()));
    VERIFY_DATA(data.close(), data);
    DataControl again;
    again.setDatabaseName(m_path);
    again.setRecordSource(QStringLiteral("SELECT * FROM Biblio  "));
    VERIFY_DATA(again.Refresh(), again);
    QCOMPARE(again.Recordset().valueAt(0, 5).toString(), QStringLiteral("Durand"));
    QCOMPARE(again.Recordset().valueAt(1, 7).toString(), QStringLiteral("Nouveau titre"));
    QVERIFY(again.Recordset().valueAt(1, 6).isNull());
}

void TestDataControl::numeroTextIsStoredAsNumber()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    const QString half = QStringLiteral(" 2%15 ").arg(QLocale::system().decimalPoint());
    QVERIFY(rs.setValue(4, half));
    VERIFY_DATA(data.UpdateRecord(), data);
    QCOMPARE(rs.value(4).typeId(), QMetaType::LongLong);
    QCOMPARE(rs.value(4).toInt(), 2); // a half rounds to the even neighbour
    QVERIFY(rs.setValue(4, QString()));
    VERIFY_DATA(data.UpdateRecord(), data);
    QVERIFY(rs.value(4).isNull());
}

void TestDataControl::refusedEditIsReportedAndKept()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.setValue(4, QStringLiteral("douze")));
    QSignalSpy errors(&data, &DataControl::errorOccurred);
    data.moveNext();
    QCOMPARE(errors.count(), 1);
    QVERIFY(!errors.first().at(1).toString().isEmpty());
    // Not moved, and the typed text is still there to be mended.
    QCOMPARE(rs.AbsolutePosition(), 0);
    QCOMPARE(rs.value(4).toString(), QStringLiteral("douze"));
    QVERIFY(!data.UpdateRecord());
    QVERIFY(!data.close());
}

void TestDataControl::validateComesBeforeReposition()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    QStringList events;
    connect(&data, &DataControl::validating, this, [&](int action, bool changed) {
        events << QStringLiteral("validate %1 %2").arg(action).arg(changed);
    });
    connect(&data, &DataControl::repositioned, this, [&] { events << QStringLiteral("reposition"); });
    QVERIFY(data.Recordset().setValue(5, QStringLiteral("x")));
    data.moveNext();
    data.moveLast();
    QCOMPARE(events, (QStringList{QStringLiteral("validate 3 1"), QStringLiteral("reposition"),
                                  QStringLiteral("validate 4 0"), QStringLiteral("reposition")}));
}

void TestDataControl::rejectedQueryKeepsPreviousResult()
{
    DataControl data;
    Module1 module(data);
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    module.TableName = QStringLiteral("Biblio");
    module.OrderClause = QStringLiteral("ORDER BY COTE");
    QVERIFY(!module.ComposeQuery());
    QVERIFY2(module.lastError().contains(QLatin1String("COTE")), qPrintable(module.lastError()));
    QCOMPARE(data.RecordSource(), QStringLiteral("SELECT * FROM Biblio  ORDER BY COTE"));
    QCOMPARE(data.Recordset().recordCount(), 5);
    // Until the clause is replaced, every query fails the same way.
    module.SearchClause = QStringLiteral("TITRE LIKE '*a*'");
    QVERIFY(!module.ComposeQuery());
    module.OrderClause = QStringLiteral("ORDER BY TITRE");
    QVERIFY(module.ComposeQuery());
}

void TestDataControl::readOnlyRefusesEveryWrite()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    VERIFY_DATA(data.setReadOnly(true), data);
    const QByteArray before = TestSupport::readFile(m_path);
    RecordSet &rs = data.Recordset();

    QVERIFY(!rs.setValue(5, QStringLiteral("x")));
    QVERIFY(!rs.AddNew());
    QVERIFY(!rs.Delete());
    QCOMPARE(rs.lastError().number, DataErrors::ReadOnly);
    VERIFY_DATA(data.UpdateRecord(), data); // nothing to store, nothing refused
    data.moveLast();
    QCOMPARE(rs.AbsolutePosition(), 4);
    VERIFY_DATA(data.close(), data);
    QCOMPARE(TestSupport::readFile(m_path), before);
}

void TestDataControl::readOnlyConnectionRefusesSql()
{
    QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    Database db;
    QVERIFY(db.open(m_path, Database::Mode::ReadOnly));
    QVERIFY(!db.exec(QStringLiteral("DELETE FROM Biblio")));
    QVERIFY(!db.exec(QStringLiteral("PRAGMA query_only = 0; DELETE FROM Biblio")));
    db.close();
    QVERIFY(db.open(m_path));
    auto count = db.prepare(QStringLiteral("SELECT count(*) FROM Biblio"));
    QVERIFY(count && count->step() == Statement::Step::Row);
    QCOMPARE(count->int64(0), 5);

    // Opening never creates a file.
    QVERIFY(!db.open(dir().filePath(QStringLiteral("absent.db"))));
    QVERIFY(!QFile::exists(dir().filePath(QStringLiteral("absent.db"))));
    // Nor takes a file that is not a database.
    const QString text = dir().filePath(QStringLiteral("notes.txt"));
    QVERIFY(TestSupport::writeFile(text, "just some notes, not a catalogue\n"));
    QVERIFY(!db.open(text));
    QVERIFY(!db.lastError().text.isEmpty());
}

void TestDataControl::emptySetHasNoCurrentRecord()
{
    DataControl data;
    openOn(data, {}, QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.isEOF());
    QVERIFY(rs.isBOF());
    QCOMPARE(rs.AbsolutePosition(), -1);
    QVERIFY(!rs.Delete());
    VERIFY_DATA(data.UpdateRecord(), data);
    data.moveFirst();
    data.moveNext();
    // An empty catalogue takes its first record.
    VERIFY_DATA(rs.AddNew(), rs);
    VERIFY_DATA(rs.Update(), rs);
    VERIFY_DATA(rs.MoveLast(), rs);
    QCOMPARE(rs.AbsolutePosition(), 0);
}

void TestDataControl::forwardRecordsetStreamsInOrder()
{
    QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    Database db;
    QVERIFY(db.open(m_path));
    ForwardRecordset rs;
    QVERIFY(rs.open(db, QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE")));
    QCOMPARE(rs.fieldCount(), 9);
    QStringList domains;
    while (!rs.isEOF()) {
        domains << rs.field(3).toString();
        QVERIFY(rs.MoveNext());
    }
    QCOMPARE(domains, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                                   QStringLiteral("E"), QStringLiteral("G")}));
    QVERIFY(!rs.open(db, QStringLiteral("SELECT * FROM Livres ORDER BY DOMAINE")));
    QVERIFY(rs.lastError().text.contains(QLatin1String("Livres")));
}

void TestDataControl::backupPath_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("backup");
    QTest::newRow("extension replaced") << "/srv/biblio/biblio.db" << "/srv/biblio/biblio.BAK";
    QTest::newRow("cut at the first dot") << "/srv/biblio/bib.2001.db" << "/srv/biblio/bib.BAK";
    QTest::newRow("no dot") << "/srv/biblio/biblio" << "/srv/biblio/biblio.BAK";
    QTest::newRow("sub-folder") << "/srv/biblio/data/biblio.db" << "/srv/biblio/data/biblio.BAK";
    QTest::newRow("dot in a folder") << "/srv/prog.x/biblio/biblio.db" << "/srv/prog.x/biblio/biblio.db.BAK";
}

void TestDataControl::backupPath()
{
    QFETCH(QString, database);
    QFETCH(QString, backup);
    QCOMPARE(Backup::backupPath(database), backup);
}

void TestDataControl::backupReplacesOldCopy()
{
    QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    const QString backup = Backup::backupPath(m_path);
    QVERIFY(TestSupport::writeFile(backup, "an old backup"));
    QString error;
    QVERIFY2(Backup::BackUpMDB_file(m_path, &error), qPrintable(error));
    QCOMPARE(TestSupport::readFile(backup), TestSupport::readFile(m_path));
    QCOMPARE(QDir(dir().path()).entryList(QDir::Files).size(), 2); // no temporary left behind
}

void TestDataControl::failedBackupKeepsPreviousCopy()
{
    // The source is missing: nothing is copied and the old backup stays.
    const QString backup = Backup::backupPath(m_path);
    QVERIFY(TestSupport::writeFile(backup, "an old backup"));
    QString error;
    QVERIFY(!Backup::BackUpMDB_file(m_path, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(TestSupport::readFile(backup), QByteArray("an old backup"));

    // The backup cannot be replaced (a folder stands in its place): reported,
    // and no partial copy is left beside it.
    QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    QVERIFY(QFile::remove(backup));
    QVERIFY(QDir(dir().path()).mkdir(QFileInfo(backup).fileName()));
    QVERIFY(TestSupport::writeFile(backup + QStringLiteral("/keep"), "kept"));
    QVERIFY(!Backup::BackUpMDB_file(m_path, &error));
    QCOMPARE(TestSupport::readFile(backup + QStringLiteral("/keep")), QByteArray("kept"));
    QCOMPARE(QDir(dir().path()).entryList(QDir::Files), QStringList{QFileInfo(m_path).fileName()});

    // A database path that is the program folder itself (no Database key) fails.
    QVERIFY(!Backup::BackUpMDB_file(dir().path() + QLatin1Char('/'), &error));
}

QTEST_GUILESS_MAIN(TestDataControl)
#include "tst_datacontrol.moc"
