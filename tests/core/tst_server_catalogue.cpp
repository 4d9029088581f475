// A catalogue on a database server, around the engine: the tool's import and
// check, the start-up backup, the export (scripts/test.sh starts a server).

#include "CatalogueChecker.h"
#include "CatalogueImport.h"
#include "CsvExport.h"

#include "catalogue/Backup.h"
#include "catalogue/CatalogueExport.h"
#include "catalogue/Database.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

using TestSupport::Row;

class tst_ServerCatalogue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void importRefusesExistingTableAndChecks();
    void backupReadsBackThroughImport();
    void backupFailureKeepsOldBackup();
    void exportSameBytesAsFile();

private:
    QTemporaryDir m_dir;
};

namespace {

// The test schema without its table, for an import to make it.
QString serverDatabase(const QString &address)
{
    Database db;
    auto name = db.open(address) ? db.prepare(QStringLiteral("SELECT current_database()")) : nullptr;
    return name && name->step() == Statement::Step::Row ? name->value(0).toString() : QString();
}

bool dropTable(const QString &address)
{
    Database db;
    return db.open(address) && db.exec(QStringLiteral("DROP TABLE \"Biblio\""));
}

QList<Row> serverRows(const QString &address)
{
    QList<Row> rows;
    Database db;
    if (!db.open(address))
        return rows;
    auto select = db.prepare(QStringLiteral("SELECT \"PREFIXE\", \"LANGUE\", \"DOMAINE\", \"NUMERO\", \"AUTEUR\", "
                                            "\"EDITEUR\", \"TITRE\", \"ISBN\" FROM \"Biblio\" ORDER BY \"ID\""));
    while (select && select->step() == Statement::Step::Row) {
        Row row;
        for (int i = 0; i < 8; ++i)
            row << select->value(i);
        rows << row;
    }
    return rows;
}

} // namespace

void tst_ServerCatalogue::importRefusesExistingTableAndChecks()
{
    SERVER_CATALOGUE(server, {});
    const QString &address = server.uri;
    QVERIFY(dropTable(address));
    const QString source = m_dir.filePath(QStringLiteral("import.txt"));
    QVERIFY(TestSupport::writeFile(source, "PREFIXE;;LANGUE;;DOMAINE;;NUMERO;;AUTEUR;;EDITEUR;;TITRE;;ISBN\r\n"
                                           "Livre;;fran\xe7" "aise;;Chimie organique;;12;;Dupont;;;;Chimie;;\r\n"
                                           "Logiciel;;anglaise;;;;x;;Atkins;;;;Physique;;2-8041-1234-6\r\n"));
    ImportReport report;
    CatalogueImport::Result result = CatalogueImport::run(source, address, QString(), {}, report);
    QVERIFY2(result.written, qPrintable(result.error));
    QCOMPARE(result.rows, qint64(2));
    const QList<Row> imported = serverRows(address);
    QCOMPARE(imported.size(), 2);
    QCOMPARE(imported.at(0).at(2).toString(), QStringLiteral("C"));
    QCOMPARE(imported.at(0).at(3).toLongLong(), 12);

    // A second import finds the table and leaves it as it is.
    result = CatalogueImport::run(source, address, QString(), {}, report);
    QVERIFY(!result.written);
    QVERIFY2(result.error.contains(QStringLiteral("already holds a table Biblio")), qPrintable(result.error));
    QCOMPARE(serverRows(address), imported);

    // check reads the server's table: the wrong ISBN check digit is found.
    CatalogueChecker checker;
    QStringList lines;
    QVERIFY2(checker.check(address, [&](const QString &line) { lines << line; }), qPrintable(checker.errorString()));
    QCOMPARE(checker.counts().records, qint64(2));
    QCOMPARE(checker.counts().isbns, qint64(1));
}

void tst_ServerCatalogue::backupReadsBackThroughImport()
{
    // More rows than one batch of the reader, so that batches follow each other.
    const QList<Row> rows = TestSupport::manyRows(4500) + TestSupport::sampleRows();
    SERVER_CATALOGUE(server, rows);
    const QString &address = server.uri;
    // Named after the database, as a file's backup after the file.
    const QString backup = m_dir.filePath(QStringLiteral("%1.BAK").arg(serverDatabase(address)));
    QVERIFY(TestSupport::writeFile(backup, "old"));

    QString error;
    QVERIFY2(Backup::BackUpMDB_file(m_dir.path(), address, &error), qPrintable(error));
    QVERIFY(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".tmp")).isEmpty());

    SERVER_CATALOGUE(again, {});
    QVERIFY(dropTable(again.uri));
    ImportReport report;
    const CatalogueImport::Result result = CatalogueImport::run(backup, again.uri, QString(), {}, report);
    QVERIFY2(result.written, qPrintable(result.error));
    QCOMPARE(serverRows(again.uri), serverRows(address));
    QCOMPARE(serverRows(again.uri).size(), rows.size());
}

void tst_ServerCatalogue::backupFailureKeepsOldBackup()
{
    SERVER_CATALOGUE(server, {});
    const QString &address = server.uri;
    QVERIFY(dropTable(address));
    const QString backup = m_dir.filePath(QStringLiteral("%1.BAK").arg(serverDatabase(address)));
    QVERIFY(TestSupport::writeFile(backup, "old"));
    QString error;
    QVERIFY(!Backup::BackUpMDB_file(m_dir.path(), address, &error));
    QVERIFY2(error.contains(QStringLiteral("pas de table Biblio")), qPrintable(error));
    QCOMPARE(TestSupport::readFile(backup), QByteArray("old"));
}

void tst_ServerCatalogue::exportSameBytesAsFile()
{
    const QVariant Null;
    // Ties of DOMAINE in many rows, empty and missing values, accents, ";"
    // and line breaks, codes the tables do not know.
    QList<Row> rows = TestSupport::manyRows(3000) + TestSupport::sampleRows();
    rows += QList<Row>{
        {Null, Null, Null, 7, Null, Null, Null, Null},
        {QString(""), QString(""), QString(""), Null, QString(""), QString(""), QString(""), QString("")},
        {QString(" Z "), QString("F "), QString(" A"), -5, QString("Éléonore; Bréguet"), QString("Éd. de l'Œuvre"),
         QString("Réactions\r\nen solution"), QString("978-2-7011-0001-1")},
        {QString("b"), QString("d"), QString("g"), 40, QString("Müller"), Null, QString("Übungen — Teil ✓"), Null},
        {QString("X"), QString("F"), QString(""), Null, QString(""), QString(""), QString("Seul"), QString("a\nb")},
    };
    SERVER_CATALOGUE(server, rows);
    const QString &address = server.uri;
    const QString file = m_dir.filePath(QStringLiteral("same.db"));
    QCOMPARE(TestSupport::makeCatalogue(file, rows), QString());

    QByteArray exports[2];
    QByteArray csv[2];
    const QString catalogues[2] = {file, address};
    for (int i = 0; i < 2; ++i) {
        // The lossless CSV too, with the keys: the same file from both.
        ImportReport report;
        const QString csvFile = m_dir.filePath(QStringLiteral("biblio-%1.csv").arg(i));
        QVERIFY2(CsvExport::run(catalogues[i], csvFile, ',', report).written, qPrintable(catalogues[i]));
        csv[i] = TestSupport::readFile(csvFile);
        Database db;
        QVERIFY2(db.open(catalogues[i], Database::Mode::ReadOnly), qPrintable(db.lastError().text));
        const QString target = m_dir.filePath(QStringLiteral("biblio-%1.txt").arg(i));
        QString error;
        QCOMPARE(CatalogueExport::ExportQuery(db, QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE"),
                                              QStringLiteral(";;"), target, &error),
                 CatalogueExport::Outcome::Written);
        exports[i] = TestSupport::readFile(target);
    }
    QVERIFY(exports[0].count("\r\n") > 3000);
    QCOMPARE(exports[1], exports[0]);
    QVERIFY(csv[0].count("\r\n") > 3000);
    QCOMPARE(csv[1], csv[0]);
}

QTEST_GUILESS_MAIN(tst_ServerCatalogue)
#include "tst_server_catalogue.moc"
