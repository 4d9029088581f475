#include "TestSupport.h"

#include "catalogue/Backup.h"
#include "catalogue/DataControl.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "catalogue/Module1.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

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

private Q_SLOTS:
    void init();
    void composeQuery_data();
    void composeQuery();
    void addNewStaysLastUntilNextQuery();
    void deleteRemovesFromFileAndSet();
    void endsOfTheSet();
    void editsAreStoredWhenTheRecordIsLeft();
    void refusedEditIsReportedAndKept();
    void rejectedQueryKeepsPreviousResult();
    void readOnlyRefusesEveryWrite();
    void backupPath_data();
    void backupPath();
    void backupIsConsistentCopy_data();
    void backupIsConsistentCopy();
    void backupSkippedOnlyWhenAlreadyMade_data();
    void backupSkippedOnlyWhenAlreadyMade();
    void backupRecordedStateNeverHidesAChange();
    void backupRefuses_data();
    void backupRefuses();
    void rowKeyCannotBeShadowed_data();
    void rowKeyCannotBeShadowed();
    void queriesReportProgress_data();
    void queriesReportProgress();
    void largeSortMatchesTheEngine_data();
    void largeSortMatchesTheEngine();
    void conditionInTheSameOrderFollowsChanges_data();
    void conditionInTheSameOrderFollowsChanges();
    void largeOrderShowsItsEndsFirst_data();
    void largeOrderShowsItsEndsFirst();
};

using TestSupport::column;

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

// AUTEUR and how many records carry it, then the engine's verdict on the file.
static QString contentOf(const QString &path)
{
    Database db;
    QStringList parts{db.open(path, Database::Mode::ReadOnly) ? QString() : db.lastError().text};
    for (const char *sql : {"SELECT AUTEUR || count(*) FROM Biblio GROUP BY AUTEUR", "PRAGMA integrity_check"}) {
        for (auto query = db.prepare(QLatin1String(sql)); query && query->step() == Statement::Step::Row;)
            parts << query->value(0).toString();
    }
    return parts.join(QLatin1Char(' '));
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

void TestDataControl::addNewStaysLastUntilNextQuery()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  ORDER BY AUTEUR"));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.MoveNext());
    const auto before = rs.bookmark();
    QVERIFY(rs.AddNew() && rs.Update());
    // The current record is still the one before the add; the new one is last, empty.
    QCOMPARE(rs.bookmark(), before);
    QVERIFY(rs.MoveLast() && rs.AbsolutePosition() == 5 && rs.bookmark() == rs.LastModified());
    for (int field = 1; field < 9; ++field)
        QVERIFY2(rs.value(field).isNull(), qPrintable(QString::number(field)));
    QVERIFY(rs.MoveFirst() && rs.setBookmark(*rs.LastModified()) && rs.AbsolutePosition() == 5);
    // A new query sorts it in: empty authors come first.
    VERIFY_DATA(data.Refresh(), data);
    QVERIFY(rs.value(5).isNull());
}

void TestDataControl::deleteRemovesFromFileAndSet()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  ORDER BY NUMERO"));
    RecordSet &rs = data.Recordset();
    // NUMERO order: null, 3, 7, 12, 40; delete the record numbered 7.
    QSignalSpy removed(&data, &DataControl::recordRemoved);
    QVERIFY(rs.Move(2) && rs.Delete());
    QVERIFY(removed.count() == 1 && rs.AbsolutePosition() == -1 && rs.recordCount() == 4);
    VERIFY_DATA(rs.MoveNext(), rs);
    QCOMPARE(rs.value(4).toInt(), 12);
    QVERIFY(!contentOf(m_path).contains(QLatin1String("Ecole normale"))); // gone from the file too
    // After the last record is deleted, the next move reaches the end.
    QVERIFY(rs.MoveLast() && rs.Delete() && rs.MoveNext() && rs.isEOF());
}

void TestDataControl::endsOfTheSet()
{
    DataControl data;
    openOn(data, {}, QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.isEOF() && rs.isBOF() && rs.AbsolutePosition() == -1 && !rs.Delete());
    VERIFY_DATA(data.UpdateRecord(), data);
    data.moveFirst();
    // Past the end, an add does not make the new record current.
    for (int i = 0; i < 2; ++i) {
        VERIFY_DATA(rs.AddNew(), rs);
        VERIFY_DATA(rs.Update(), rs);
    }
    QCOMPARE(rs.AbsolutePosition(), -1);
    VERIFY_DATA(rs.MoveLast(), rs);
    VERIFY_DATA(rs.MoveNext(), rs);
    QVERIFY(rs.isEOF() && rs.AbsolutePosition() == -1 && !rs.MoveNext());
    // The navigation bar does not run off either end.
    data.moveLast();
    data.moveNext();
    QCOMPARE(rs.AbsolutePosition(), 1);
    data.moveFirst();
    data.movePrevious();
    QCOMPARE(rs.AbsolutePosition(), 0);
}

void TestDataControl::editsAreStoredWhenTheRecordIsLeft()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    // Each move validates the record it leaves before repositioning.
    QStringList events;
    connect(&data, &DataControl::validating, this, [&](int action, bool changed) {
        events << QStringLiteral("validate %1 %2").arg(action).arg(changed);
    });
    connect(&data, &DataControl::repositioned, this, [&] { events << QStringLiteral("reposition"); });
    QSignalSpy stored(&data, &DataControl::recordStored);
    QVERIFY(rs.setValue(5, QStringLiteral("Durand")));
    QCOMPARE(rs.valueAt(0, 5).toString(), QStringLiteral("Durand"));
    data.moveNext();
    data.moveLast();
    QCOMPARE(stored.count(), 1);
    QCOMPARE(events, (QStringList{QStringLiteral("validate 3 1"), QStringLiteral("reposition"),
                                  QStringLiteral("validate 4 0"), QStringLiteral("reposition")}));
    QCOMPARE(rs.valueAt(0, 5).toString(), QStringLiteral("Durand"));

    // And by UpdateRecord; LastModified names the stored record. NUMERO's
    // text is stored as a number, a half rounded to the even neighbour.
    const QString half = QStringLiteral(" 2%15 ").arg(QLocale::system().decimalPoint());
    QVERIFY(rs.setValue(7, QStringLiteral("Nouveau titre")) && rs.setValue(4, half));
    VERIFY_DATA(data.UpdateRecord(), data);
    QCOMPARE(rs.LastModified(), rs.bookmark());
    QCOMPARE(rs.value(4).typeId(), QMetaType::LongLong);
    QCOMPARE(rs.value(4).toInt(), 2);

    // Emptied text and number are missing, here and for a fresh connection.
    QVERIFY(rs.setValue(6, QString()) && rs.setValue(4, QString()));
    VERIFY_DATA(data.UpdateRecord(), data);
    QVERIFY(rs.value(4).isNull() && rs.value(6).isNull());
    VERIFY_DATA(data.close(), data);
    DataControl again;
    again.setDatabaseName(m_path);
    again.setRecordSource(QStringLiteral("SELECT * FROM Biblio  "));
    VERIFY_DATA(again.Refresh(), again);
    QCOMPARE(again.Recordset().valueAt(0, 5).toString(), QStringLiteral("Durand"));
    QCOMPARE(again.Recordset().valueAt(4, 7).toString(), QStringLiteral("Nouveau titre"));
    QVERIFY(again.Recordset().valueAt(4, 6).isNull() && again.Recordset().valueAt(4, 4).isNull());
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
    // Text after a ";" is neither run nor dropped.
    data.setRecordSource(QStringLiteral("SELECT * FROM Biblio WHERE NUMERO = 3; DELETE FROM Biblio"));
    QVERIFY(!data.Refresh());
    QVERIFY2(data.lastError().text.contains(QLatin1String("DELETE FROM Biblio")), qPrintable(data.lastError().text));
    Database db;
    QVERIFY(db.open(m_path));
    QVERIFY(!db.prepare(QStringLiteral("SELECT 1; DELETE FROM Biblio")));
    // The export's forward-only reading names the missing table too.
    ForwardRecordset forward;
    QVERIFY(!forward.open(db, QStringLiteral("SELECT * FROM Livres ORDER BY DOMAINE")));
    QVERIFY(forward.lastError().text.contains(QLatin1String("Livres")));
    QCOMPARE(data.Recordset().recordCount(), 5);
    // A query that would run for ever is stopped, the previous result kept too.
    const int limit = Database::timeLimitMs();
    Database::setTimeLimitMs(300);
    data.setRecordSource(QStringLiteral("SELECT * FROM Biblio ORDER BY (WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL "
                                        "SELECT n + 1 FROM r) SELECT count(*) FROM r)"));
    const bool ran = data.Refresh();
    Database::setTimeLimitMs(limit);
    QVERIFY(!ran);
    QCOMPARE(data.lastError().number, DataErrors::TimeLimit);
    QCOMPARE(data.Recordset().recordCount(), 5);
    // Until the clause is replaced, every query fails the same way; then it runs.
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
    QVERIFY(!rs.setValue(5, QStringLiteral("x")) && !rs.AddNew() && !rs.Delete());
    QCOMPARE(rs.lastError().number, DataErrors::ReadOnly);
    VERIFY_DATA(data.UpdateRecord(), data); // nothing to store, nothing refused
    data.moveLast();
    QCOMPARE(rs.AbsolutePosition(), 4);
    // Nor does SQL get through, even one that lifts the guard first.
    Database db;
    QVERIFY(db.open(m_path, Database::Mode::ReadOnly));
    QVERIFY(!db.exec(QStringLiteral("PRAGMA query_only = 0; DELETE FROM Biblio")));
    VERIFY_DATA(data.close(), data);
    QCOMPARE(TestSupport::readFile(m_path), before);

    // Opening never creates a file, nor takes one that is not a database.
    QVERIFY(!db.open(dir().filePath(QStringLiteral("absent.db"))));
    QVERIFY(!QFile::exists(dir().filePath(QStringLiteral("absent.db"))));
    QVERIFY(TestSupport::writeFile(dir().filePath(QStringLiteral("notes.txt")), "just some notes\n"));
    QVERIFY(!db.open(dir().filePath(QStringLiteral("notes.txt"))));
}

void TestDataControl::backupPath_data()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("backup");
    QTest::newRow("cut at the first dot") << "/srv/biblio/bib.2001.db" << "/srv/biblio/bib.BAK";
    QTest::newRow("no dot") << "/srv/biblio/biblio" << "/srv/biblio/biblio.BAK";
    QTest::newRow("dot in a folder") << "/srv/prog.x/biblio/biblio.db" << "/srv/prog.x/biblio/biblio.db.BAK";
}

void TestDataControl::backupPath()
{
    QFETCH(QString, database);
    QFETCH(QString, backup);
    QCOMPARE(Backup::backupPath(database), backup);
}

void TestDataControl::backupIsConsistentCopy_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("content");
    const QString sample = QStringLiteral(" Ecole normale1 Vollhardt1 Zola1 atkins1 Écoles réunies1 ok");
    QTest::newRow("old backup replaced") << "plain" << sample;
    QTest::newRow("unfinished change undone") << "half-written" << " Auteur400 ok";
    QTest::newRow("committed change still in the log") << "log" << " Dans le journal1" + sample;
}

void TestDataControl::backupIsConsistentCopy()
{
    QFETCH(QString, state);
    QFETCH(QString, content);
    Database writer;
    if (state == QLatin1String("half-written"))
        QCOMPARE(TestSupport::makeHalfWrittenCatalogue(m_path), QString());
    else
        QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    // Another program keeps the file open, its last change not yet in the file itself.
    if (state == QLatin1String("log"))
        QVERIFY(writer.open(m_path) && writer.exec(QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA "
                                                                  "wal_autocheckpoint = 0; INSERT INTO Biblio "
                                                                  "(AUTEUR) VALUES ('Dans le journal')")));
    const QString backup = Backup::backupPath(m_path);
    QVERIFY(TestSupport::writeFile(backup, "an old backup"));
    // What a start killed while copying left: named after a process that is gone.
    const QString left = QFileInfo(backup).absoluteDir().filePath(".biblio.BAK.2147483646.part");
    QVERIFY(TestSupport::writeFile(left, "half a copy") && TestSupport::writeFile(left + "-journal", "x"));
    QString error;
    // A full path is the user's own choice and may lie anywhere.
    QVERIFY2(Backup::BackUpMDB_file(QStringLiteral("/nowhere"), m_path, &error), qPrintable(error));
    writer.close();
    QCOMPARE(contentOf(backup), content);
    QCOMPARE(contentOf(m_path), content);
    // No temporary copy left, no journal waiting.
    QCOMPARE(QDir(dir().path()).entryList({"*.part*", "*-journal"}, QDir::Files | QDir::Hidden), QStringList());
}

void TestDataControl::backupSkippedOnlyWhenAlreadyMade_data()
{
    QTest::addColumn<QString>("change"); // engine SQL run between two starts, or none
    QTest::addColumn<bool>("copied");
    QTest::newRow("unchanged: the backup is left as it is") << "" << false;
    QTest::newRow("a record changed, same size") << "UPDATE Biblio SET AUTEUR = 'Zolb' WHERE AUTEUR = 'Zola'" << true;
    // The file itself is as it was: the change lies in the log beside it.
    QTest::newRow("a change still in the log")
        << "PRAGMA journal_mode = WAL; PRAGMA wal_autocheckpoint = 0; UPDATE Biblio SET AUTEUR = 'Zolb' "
           "WHERE AUTEUR = 'Zola'" << true;
}

void TestDataControl::backupSkippedOnlyWhenAlreadyMade()
{
    QFETCH(QString, change);
    QFETCH(bool, copied);
    QVERIFY(TestSupport::makeCatalogue(m_path, TestSupport::sampleRows()).isEmpty());
    QString error;
    QVERIFY2(Backup::BackUpMDB_file(m_path, &error), qPrintable(error));
    const QString backup = Backup::backupPath(m_path);
    // A copy is renamed into place: a new file.
    const auto inode = [&] {
        struct stat info {};
        return ::stat(QFile::encodeName(backup).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    const auto first = inode();
    Database writer;
    if (!change.isEmpty())
        QVERIFY(writer.open(m_path) && writer.exec(change));
    QVERIFY2(Backup::BackUpMDB_file(m_path, &error), qPrintable(error));
    QCOMPARE(inode() != first, copied);
    QCOMPARE(contentOf(backup), contentOf(m_path));
    QCOMPARE(contentOf(backup).contains("Zolb"), copied);
}

// Changes made after the backup has recorded what it holds: each must bring
// a new copy. One wait lets every catalogue's last change settle first.
void TestDataControl::backupRecordedStateNeverHidesAChange()
{
    enum Change { None, ThroughEngine, BytesWithTimesPutBack, BackupChanged };
    const QList<Change> changes{None, ThroughEngine, BytesWithTimesPutBack, BackupChanged};
    const auto inode = [](const QString &path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    // "Zola" becomes "Zolb" in the file's bytes, as a program beside the engine would write it.
    const auto editBytes = [](const QString &path, bool keepTimes) {
        struct stat before {};
        QFile file(path);
        if (::stat(QFile::encodeName(path).constData(), &before) != 0 || !file.open(QIODevice::ReadWrite))
            return false;
        const qint64 at = file.readAll().indexOf("Zola");
        if (at < 0 || !file.seek(at + 3) || file.write("b", 1) != 1)
            return false;
        file.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        return !keepTimes || ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
    };
    QStringList paths;
    for (Change change : changes) {
        paths << dir().filePath(QStringLiteral("c%1/biblio.db").arg(change));
        QVERIFY(QDir().mkpath(QFileInfo(paths.last()).path()));
        QVERIFY(TestSupport::makeCatalogue(paths.last(), TestSupport::sampleRows()).isEmpty());
    }
    QTest::qSleep(2100);
    QString error;
    for (const QString &path : paths)
        QVERIFY2(Backup::BackUpMDB_file(path, &error) && Backup::BackUpMDB_file(path, &error), qPrintable(error));
    for (Change change : changes) {
        const QString path = paths[change];
        const QString backup = Backup::backupPath(path);
        const auto first = inode(backup);
        Database writer;
        if (change == ThroughEngine)
            QVERIFY(writer.open(path) && writer.exec("UPDATE Biblio SET AUTEUR = 'Zolb' WHERE AUTEUR = 'Zola'"));
        writer.close();
        if (change == BytesWithTimesPutBack)
            QVERIFY(editBytes(path, true));
        if (change == BackupChanged)
            QVERIFY(editBytes(backup, false));
        QVERIFY2(Backup::BackUpMDB_file(path, &error), qPrintable(error));
        QCOMPARE(inode(backup) != first, change != None);
        QCOMPARE(contentOf(backup), contentOf(path));
    }
}

void TestDataControl::backupRefuses_data()
{
    QTest::addColumn<QString>("database"); // the setting, relative to prog/
    QTest::addColumn<QString>("says");
    QTest::newRow("missing file") << "absent.db" << "absent.db";
    QTest::newRow("no Database key: the folder itself") << "" << "sort du dossier";
    QTest::newRow("text file") << "notes.txt" << "n'est pas un catalogue";
    QTest::newRow("engine file without Biblio") << "other.db" << "n'est pas un catalogue";
    QTest::newRow("out of the program folder") << "../biblio.db" << "sort du dossier";
    QTest::newRow("in and out again") << "sub/../../biblio.db" << "sort du dossier";
    QTest::newRow("a folder in the backup's place") << "blocked.db" << "blocked.BAK";
    QTest::newRow("full disk") << "biblio.db" << "prog/biblio.BAK";
}

void TestDataControl::backupRefuses()
{
    QFETCH(QString, database);
    QFETCH(QString, says);
    const QDir root(dir().path());
    const QString prog = root.filePath(QStringLiteral("prog/"));
    QVERIFY(root.mkpath(QStringLiteral("prog/sub")) && root.mkpath(QStringLiteral("prog/blocked.BAK")));
    for (const QString &name : {dir().filePath(QStringLiteral("biblio.db")), prog + "blocked.db", prog + "biblio.db"})
        QVERIFY(TestSupport::makeCatalogue(name, TestSupport::sampleRows()).isEmpty());
    QVERIFY(TestSupport::writeFile(prog + "biblio.BAK", "an old backup"));
    QVERIFY(TestSupport::writeFile(prog + "notes.txt", "just some notes\n"));
    Database other;
    QVERIFY(other.create(prog + "other.db") && other.exec(QStringLiteral("CREATE TABLE Livres (x)")));
    other.close();

    QString error;
    bool made = true;
    // A sample catalogue is two pages; the first one fills the disk.
    QVERIFY(TestSupport::withFileSizeLimit(database == QLatin1String("biblio.db") ? 4096 : 1 << 30,
                                           [&] { made = Backup::BackUpMDB_file(prog, database, &error); }));
    QVERIFY(!made);
    QVERIFY2(error.contains(says), qPrintable(error));
    if (database == QLatin1String("biblio.db")) // the system's reason, not "Unknown error"
        QVERIFY2(error.contains(QString::fromLocal8Bit(strerror(EFBIG))), qPrintable(error));
    // Nothing written: no new backup anywhere, the old one whole.
    QCOMPARE(QDir(prog).entryList(QDir::Files), (QStringList{"biblio.BAK", "biblio.db", "blocked.db", "notes.txt",
                                                              "other.db"}));
    QCOMPARE(root.entryList(QDir::Files), QStringList{"biblio.db"});
    QCOMPARE(TestSupport::readFile(prog + "biblio.BAK"), QByteArray("an old backup"));
}

void TestDataControl::rowKeyCannotBeShadowed_data()
{
    QTest::addColumn<QString>("first"); // the columns before PREFIXE
    QTest::addColumn<QString>("last");  // and after ISBN
    QTest::newRow("a column named rowid") << "rowid INTEGER" << "";
    QTest::newRow("an integer key and a rowid column") << "ID INTEGER PRIMARY KEY" << ", ROWID INTEGER";
    QTest::newRow("every name of the row key taken") << "rowid INTEGER" << ", _rowid_ INTEGER, OID INTEGER";
}

void TestDataControl::rowKeyCannotBeShadowed()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    Database db;
    QVERIFY(db.create(m_path));
    QVERIFY(db.exec(QStringLiteral("CREATE TABLE Biblio (%1, PREFIXE TEXT, LANGUE TEXT, DOMAINE TEXT, NUMERO INTEGER, "
                                   "AUTEUR TEXT, EDITEUR TEXT, TITRE TEXT, ISBN TEXT%2); INSERT INTO Biblio (rowid, "
                                   "NUMERO, AUTEUR) VALUES (7, 1, 'Un'), (7, 2, 'Deux'), (7, 3, 'Trois')")
                        .arg(first, last)));
    db.close();
    DataControl data;
    data.setDatabaseName(m_path);
    data.setRecordSource(QStringLiteral("SELECT * FROM Biblio ORDER BY NUMERO"));
    // No way to tell the rows apart: refused, rather than one edit changing three.
    if (last.contains(QLatin1String("OID"))) {
        QVERIFY(!data.Refresh());
        QCOMPARE(data.lastError().number, DataErrors::NoRowKey);
        return;
    }
    VERIFY_DATA(data.Refresh(), data);
    QCOMPARE(column(data, 5), (QStringList{"Un", "Deux", "Trois"}));
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.Move(1) && rs.setValue(5, QStringLiteral("Deux bis")) && rs.MoveFirst() && rs.Delete());
    VERIFY_DATA(data.Refresh(), data);
    QCOMPARE(column(data, 5), (QStringList{"Deux bis", "Trois"}));
}

void TestDataControl::refusedEditIsReportedAndKept()
{
    DataControl data;
    openOn(data, TestSupport::sampleRows(), QStringLiteral("SELECT * FROM Biblio  "));
    RecordSet &rs = data.Recordset();
    // Text in a number column: the bar reports it and stays, the text kept to be mended.
    QSignalSpy errors(&data, &DataControl::errorOccurred);
    QVERIFY(rs.setValue(4, QStringLiteral("douze")));
    data.moveNext();
    QVERIFY(errors.count() == 1 && rs.AbsolutePosition() == 0 && rs.value(4) == QStringLiteral("douze"));
    QVERIFY(!data.close());

    // A record another program deleted meanwhile: told in French, the typed text kept.
    QVERIFY(rs.setValue(4, 12) && rs.setValue(5, QStringLiteral("Saisi")));
    Database other;
    QVERIFY(other.open(m_path) && other.exec(QStringLiteral("DELETE FROM Biblio WHERE ID IN (1, 2)")));
    QVERIFY(!data.UpdateRecord());
    QCOMPARE(data.lastError().number, DataErrors::RecordGone);
    QVERIFY2(data.lastError().text.contains(QStringLiteral("supprimée")), qPrintable(data.lastError().text));
    QCOMPARE(rs.value(5).toString(), QStringLiteral("Saisi"));
    rs.CancelUpdate();
    QVERIFY(rs.Move(1) && !rs.Delete());
    QCOMPARE(rs.lastError().number, DataErrors::RecordGone);
}

void TestDataControl::queriesReportProgress_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("firstTitle");
    QTest::newRow("sort") << "SELECT * FROM Biblio  ORDER BY TITRE" << 6000 << "Titre 1";
    // Few rows match: the engine reads most of the table within a step.
    QTest::newRow("search") << "SELECT * FROM Biblio WHERE TITRE LIKE '*tre 1*' " << 1111 << "Titre 1999";
    QTest::newRow("natural order") << "SELECT * FROM Biblio  " << 6000 << "Titre 6000";
}

void TestDataControl::queriesReportProgress()
{
    QFETCH(QString, query);
    QFETCH(int, count);
    QFETCH(QString, firstTitle);
    DataControl data;
    openOn(data, TestSupport::manyRows(6000), QStringLiteral("SELECT * FROM Biblio  "));
    // The window repaints the previous result while the query reports; the
    // engine forbids using the connection from inside its own report.
    TestSupport::RecordingProgress progress;
    bool refused = false;
    progress.onReport = [&] { refused = refused || data.Recordset().valueAt(4321, 7).isNull(); };
    data.setProgressObserver(&progress);
    data.setRecordSource(query);
    VERIFY_DATA(data.Refresh(), data);
    QCOMPARE(data.Recordset().recordCount(), count);
    QCOMPARE(data.Recordset().valueAt(0, 7).toString(), firstTitle);
    QVERIFY(progress.total >= 6000 && progress.finishes == 1 && refused);
    QVERIFY(!progress.reports.isEmpty() && progress.monotonic() && progress.reports.last() <= progress.total);
}

void TestDataControl::largeSortMatchesTheEngine_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("setUp"); // run once the rows are written
    QTest::addColumn<QString>("order");
    QTest::addColumn<int>("repeatsFrom"); // the row from which titles repeat
    QTest::addColumn<bool>("twoConnections");
    const QString twoTerms = QStringLiteral("TITRE, AUTEUR DESC");
    // Enough rows to be sorted in two halves on two cores, then merged.
    QTest::newRow("two cores") << 60000 << "" << twoTerms << 0 << false;
    QTest::newRow("one core") << 3000 << "" << twoTerms << 0 << false;
    // Keys that do not fit in 32 bits, from the first row on or part-way.
    QTest::newRow("negative keys") << 60000 << "UPDATE Biblio SET rowid = rowid - 100000" << twoTerms << 0 << false;
    QTest::newRow("keys past 32 bits") << 60000 << "UPDATE Biblio SET rowid = rowid * 100000" << twoTerms << 0 << false;
    // A single text: equal titles share their sort strings, in one set of
    // entries or in two read apart, and are looked up only while they
    // come back often enough; an index may give the rows in another order
    // than their keys'.
    QTest::newRow("one text, descending") << 60000 << "" << "TITRE DESC" << 0 << false;
    QTest::newRow("one text, two connections, keys past 32 bits")
        << 60000 << "UPDATE Biblio SET rowid = rowid * 100000" << "TITRE" << 0 << true;
    QTest::newRow("one text, repeats late") << 60000 << "" << "TITRE" << 30000 << false;
    QTest::newRow("one text, by an index") << 60000 << "CREATE INDEX ByTitle ON Biblio (TITRE)" << "TITRE" << 0 << false;
}

void TestDataControl::largeSortMatchesTheEngine()
{
    QFETCH(int, count);
    QFETCH(QString, setUp);
    QFETCH(QString, order);
    QFETCH(int, repeatsFrom);
    QFETCH(bool, twoConnections);
    QList<Row> rows = TestSupport::manyRows(count);
    // Many ties, broken by the second term, then the key; long titles, alike
    // for their first few hundred letters.
    const QString longTitle = QString(300, QLatin1Char('e'));
    for (int i = repeatsFrom; i < rows.size(); ++i) {
        if (i % 3 == 0)
            rows[i][6] = QStringLiteral("Titre");
        else if (i % 5 == 1)
            rows[i][6] = longTitle + (i % 4 ? QStringLiteral("é") : QStringLiteral("e"));
        else if (i % 7 == 2)
            rows[i][6] = QString(20 + i % 13, QLatin1Char('e'));
        else if (i % 11 == 3) // missing or empty, or the same word with its accent apart or not
            rows[i][6] = i % 4 == 0 ? QVariant() : i % 4 == 1 ? QStringLiteral("") : i % 4 == 2 ? u"Été"_qs : u"E\u0301te\u0301"_qs;
    }
    // The first rows of each half of the keys: long titles that differ
    // only at their end, kept at the same place in each half's bytes.
    rows[0][6] = longTitle + QLatin1Char('b');
    rows[count / 2 - 1][6] = longTitle + QLatin1Char('a');
    QCOMPARE(TestSupport::makeCatalogue(m_path, rows), QString());
    Database db;
    QVERIFY(db.open(m_path) && (setUp.isEmpty() || db.exec(setUp)));
    DataControl data;
    data.setDatabaseName(m_path);
    data.setRecordSource(QStringLiteral("SELECT * FROM Biblio ORDER BY ") + order);
    {
        const auto previous = RecordSet::setOrderInBackground(twoConnections ? RecordSet::BackgroundOrder{0, {1, 2, 0}}
                                                                             : RecordSet::BackgroundOrder{});
        const auto restore = qScopeGuard([previous] { RecordSet::setOrderInBackground(previous); });
        VERIFY_DATA(data.Refresh(), data);
        data.Recordset().completeOrder();
    }
    ForwardRecordset engine;
    QVERIFY(engine.open(db, QStringLiteral("SELECT * FROM Biblio ORDER BY ") + order));
    const RecordSet &rs = data.Recordset();
    QCOMPARE(rs.recordCount(), count);
    for (int i = 0; i < rs.recordCount(); ++i, engine.MoveNext()) {
        if (rs.valueAt(i, 0) != engine.field(0))
            QFAIL(qPrintable(QStringLiteral("rows differ at %1").arg(i)));
    }
    QVERIFY(engine.isEOF());
}

void TestDataControl::conditionInTheSameOrderFollowsChanges_data()
{
    QTest::addColumn<QString>("change"); // made after the first query, before the search
    QTest::newRow("none") << "";
    QTest::newRow("another program moves records") << "other";
    QTest::newRow("an author edited here") << "edit";
    QTest::newRow("a record added here") << "add";
    QTest::newRow("a record deleted here") << "delete";
    QTest::newRow("an edit taken back here") << "undo";
}

void TestDataControl::conditionInTheSameOrderFollowsChanges()
{
    // A search in the current order filters the order already known; it
    // must give what the query itself gives, whatever changed between.
    QFETCH(QString, change);
    const QString order = QStringLiteral(" ORDER BY AUTEUR DESC, NUMERO");
    const QString searched = QStringLiteral("SELECT * FROM Biblio WHERE TITRE LIKE '*1*'") + order;
    DataControl data;
    openOn(data, TestSupport::manyRows(300), QStringLiteral("SELECT * FROM Biblio") + order);
    RecordSet &rs = data.Recordset();
    int matching = 0;
    while (!rs.valueAt(matching, 7).toString().contains('1'))
        ++matching;
    Database other;
    if (change == "other")
        QVERIFY(other.open(m_path) && other.exec("UPDATE Biblio SET AUTEUR = 'zz' || AUTEUR WHERE NUMERO % 3 = 0"));
    if (change == "edit")
        QVERIFY(rs.Move(matching) && rs.setValue(5, "zzzz") && rs.Update());
    if (change == "add")
        QVERIFY(rs.AddNew() && rs.setValue(5, "zzzz") && rs.setValue(7, "1") && rs.Update());
    if (change == "delete")
        QVERIFY(rs.Move(matching) && rs.Delete());
    if (change == "undo") {
        std::optional<RecordChange> stored;
        QObject::connect(&data, &DataControl::changeStored, [&stored](const RecordChange &c) { stored = c; });
        QVERIFY(rs.Move(matching) && rs.setValue(5, "zzzz") && rs.Update() && stored);
        VERIFY_DATA(data.Refresh(), data); // the order known now holds the edit
        QVERIFY(rs.applyChange(*stored, true));
    }

    for (const QString &query : {searched, QStringLiteral("SELECT * FROM Biblio") + order}) {
        data.setRecordSource(query);
        VERIFY_DATA(data.Refresh(), data);
        DataControl fresh;
        fresh.setDatabaseName(m_path);
        fresh.setRecordSource(query);
        VERIFY_DATA(fresh.Refresh(), fresh);
        QCOMPARE(column(data, 0), column(fresh, 0));
    }
}

void TestDataControl::largeOrderShowsItsEndsFirst_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("split");     // the ends read on two connections
    QTest::addColumn<QString>("during"); // done while the middle is ordered
    const QStringList queries{"SELECT * FROM Biblio ORDER BY AUTEUR",
                              "SELECT * FROM Biblio WHERE LANGUE = 'F' ORDER BY TITRE DESC, AUTEUR",
                              "SELECT * FROM Biblio ORDER BY NUMERO DESC"};
    for (int q = 0; q < queries.size(); ++q) {
        for (const char *during : {"nothing", "another sort", "edit", "add", "delete", "close", "unreadable"})
            QTest::addRow("%d %s", q, during) << queries[q] << (q != 1) << QString::fromLatin1(during);
    }
}

void TestDataControl::largeOrderShowsItsEndsFirst()
{
    // The first and last rows show before the middle is ordered in the
    // background: every row must come once, in the order a plain query
    // gives, whatever the user does meanwhile.
    QFETCH(QString, query);
    QFETCH(bool, split);
    QFETCH(QString, during);
    QList<Row> rows = TestSupport::manyRows(900);
    const char *const names[] = {"côte", "Cote", "coté", "cote", "Œuvre", "oeuvre", "", "Ça va", "zèbre",
                                 "Ωmega", "l'Abbé", "Auteur Auteur"};
    for (int i = 0; i < rows.size(); ++i)
        rows[i][4] = i % 11 == 0 ? QVariant() : QString::fromUtf8(names[i % 12]) + (i % 3 ? QString() : QStringLiteral(" %1").arg(i % 40));
    QVERIFY(TestSupport::makeCatalogue(m_path, rows).isEmpty());
    const QString resorted = QStringLiteral("SELECT * FROM Biblio ORDER BY EDITEUR, AUTEUR DESC");
    QStringList expected;
    QStringList expectedResorted;
    {
        DataControl plain;
        plain.setDatabaseName(m_path);
        for (auto [source, keys] : {std::pair{query, &expected}, std::pair{resorted, &expectedResorted}}) {
            plain.setRecordSource(source);
            VERIFY_DATA(plain.Refresh(), plain);
            *keys = column(plain, 0);
        }
    }

    const auto previous = RecordSet::setOrderInBackground({0, {7, 20, split ? 0 : qint64(1) << 40}});
    const auto restore = qScopeGuard([previous] { RecordSet::setOrderInBackground(previous); });
    DataControl data;
    data.setDatabaseName(m_path);
    if (during == "unreadable") {
        // Neither a second connection nor the worker can open the file.
        data.setRecordSource(QStringLiteral("SELECT * FROM Biblio"));
        VERIFY_DATA(data.Refresh(), data);
        QVERIFY(QFile::rename(m_path, m_path + ".moved"));
    }
    data.setRecordSource(query);
    VERIFY_DATA(data.Refresh(), data);
    RecordSet &rs = data.Recordset();
    QVERIFY(rs.isOrdering());
    const int count = int(expected.size());
    QCOMPARE(rs.recordCount(), count);
    for (const int i : {0, 1, 6, count - 7, count - 1})
        QCOMPARE(rs.valueAt(i, 0).toString(), expected[i]);
    QVERIFY(rs.isOrdering());

    if (during == "another sort") {
        data.setRecordSource(resorted);
        VERIFY_DATA(data.Refresh(), data);
        expected = expectedResorted;
        QTest::qWait(20); // the first order's worker tells of its end, too late
    } else if (during == "edit") {
        QVERIFY(rs.Move(1) && rs.setValue(5, "zzz") && rs.Update());
        QCOMPARE(rs.valueAt(1, 5).toString(), QStringLiteral("zzz"));
    } else if (during == "add") {
        QVERIFY(rs.AddNew() && rs.setValue(5, "nouveau") && rs.Update());
        expected << QString::number(*rs.LastModified());
    } else if (during == "delete") {
        QVERIFY(rs.MoveLast() && rs.Delete());
        expected.removeLast();
    } else if (during == "close") {
        QVERIFY(data.close());
        VERIFY_DATA(data.Refresh(), data);
    }
    QTRY_VERIFY(!rs.isOrdering());
    QCOMPARE(column(data, 0), expected);
}

QTEST_GUILESS_MAIN(TestDataControl)
#include "tst_datacontrol.moc"
