#include "TestSupport.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "catalogue/Progress.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

using TestSupport::Row;

class tst_Export : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void wholeFileByteForByte();
    void emptyRunAnywhereInTheLine();
    void sameBytesAsTheEnginesOrder_data();
    void sameBytesAsTheEnginesOrder();
    void secondExportReplacesFirst_data();
    void secondExportReplacesFirst();
    void failedExportLeavesOldFileWhole_data();
    void failedExportLeavesOldFileWhole();
    void progressAndCancel_data();
    void progressAndCancel();

private:
    // Exports the catalogue at m_db in the engine's order of query.
    bool exportTo(const QString &path, QString *error,
                  const QString &query = QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE"));
    // The same through the program's export, which orders on its own.
    bool exportQueryTo(const QString &path, QString *error,
                       const QString &query = QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE"));
    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_db;
};

static const QVariant Null;

void tst_Export::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = path(QStringLiteral("biblio.db"));
}

bool tst_Export::exportQueryTo(const QString &target, QString *error, const QString &query)
{
    Database db;
    if (!db.open(m_db, Database::Mode::ReadOnly)) {
        *error = db.lastError().text;
        return false;
    }
    return CatalogueExport::ExportQuery(db, query, ";;", target, error) == CatalogueExport::Outcome::Written;
}

bool tst_Export::exportTo(const QString &target, QString *error, const QString &query)
{
    Database db;
    if (!db.open(m_db, Database::Mode::ReadOnly)) {
        *error = db.lastError().text;
        return false;
    }
    ForwardRecordset rs;
    if (!rs.open(db, query)) {
        *error = rs.lastError().text;
        return false;
    }
    const bool ok = CatalogueExport::Export(rs, QStringLiteral(";;"), target, error);
    if (ok && !rs.isEOF())
        *error = QStringLiteral("the record set was not read to its end");
    return ok && rs.isEOF();
}

void tst_Export::wholeFileByteForByte()
{
    // Inserted in this order; the export orders by DOMAINE, equal ones in
    // the order of insertion.
    const QList<Row> rows = {
        // Only NUMERO: kept, six and eight semicolons around it.
        {Null, Null, Null, 7, Null, Null, Null, Null},
        // All NULL, then all empty: nothing to say, left out.
        {Null, Null, Null, Null, Null, Null, Null, Null},
        {QString(""), QString(""), QString(""), Null, QString(""), QString(""), QString(""), QString("")},
        // Blank-padded codes: the type is trimmed, language and domain are not.
        {QString(" Z "), QString("F "), QString(" A"), 5, QString("Éléonore Bréguet"),
         QString("Éd. de l'Œuvre"), QString("Réactions\r\nen solution"), QString("978-2-7011-0001-1")},
        // The worked example: ";" inside a value becomes ":".
        {QString("B"), QString("F"), QString("C"), 12, QString("Dupont; Martin"), QString(""),
         QString("Chimie"), Null},
        {QString("L"), QString("E"), QString("A"), 3, QString("Atkins"), QString("Oxford"),
         QString("Physical chemistry; 9th ed."), QString("0-19-879285-9")},
        // Lower-case letters are no codes.
        {QString("b"), QString("d"), QString("g"), 40, QString("Rousseau"), QString("Nathan"),
         QString("Pédagogie active"), QString("x")},
        // The domain label's trailing blank; a character the code page lacks.
        {QString("T"), QString("D"), QString("D"), -8, QString("Müller"), QString("Springer"),
         QString("Übungen — Teil 1 ✓"), QString("3-540")},
        {QString("V"), QString("F"), QString("E"), Null, QString("a;b;c"), Null, Null, Null},
        // Six empty fields between two filled ones: left out; five: kept.
        {QString("B"), QString(""), QString(""), Null, QString(""), QString(""), QString(""),
         QString("orphan")},
        {QString("X"), QString("F"), QString(""), Null, QString(""), QString(""), QString("Seul"),
         QString("line\nfeed")},
    };
    QCOMPARE(TestSupport::makeCatalogue(m_db, rows), QString());

    const QByteArray expected =
        "PREFIXE;;LANGUE;;DOMAINE;;NUMERO;;AUTEUR;;EDITEUR;;TITRE;;ISBN\r\n"
        ";;;;;;7;;;;;;;;\r\n"
        ";;fran\xe7" "aise;;;;;;;;;;Seul;;line\nfeed\r\n"
        "P\xe9riodique ou journal;;;;;;5;;\xc9l\xe9onore Br\xe9guet;;\xc9" "d. de l'\x8c" "uvre;;"
        "R\xe9" "actions\r\nen solution;;978-2-7011-0001-1\r\n"
        "Logiciel;;anglaise;;Chimie g\xe9n\xe9rale et chimie-physique;;3;;Atkins;;Oxford;;"
        "Physical chemistry: 9th ed.;;0-19-879285-9\r\n"
        "Livre;;fran\xe7" "aise;;Chimie organique;;12;;Dupont: Martin;;;;Chimie;;\r\n"
        "Transparent;;allemande;;Exercices de chimie ;;-8;;M\xfcller;;Springer;;\xdc" "bungen \x97 Teil 1 ?;;3-540\r\n"
        "Video;;fran\xe7" "aise;;Travaux pratiques;;;;a:b:c;;;;;;\r\n"
        ";;;;;;40;;Rousseau;;Nathan;;P\xe9" "dagogie active;;x\r\n";

    const QString target = path(QStringLiteral("biblio.txt"));
    QString error;
    QVERIFY2(exportTo(target, &error), qPrintable(error));
    QCOMPARE(TestSupport::readFile(target), expected);
    QVERIFY2(exportQueryTo(target, &error), qPrintable(error));
    QCOMPARE(TestSupport::readFile(target), expected);
}

void tst_Export::emptyRunAnywhereInTheLine()
{
    // Wider records than the catalogue's: the run of separators starts at
    // every offset a filled field before it can give.
    for (int width = 1; width <= 15; ++width) {
        for (const int empty : {5, 6}) {
            QVector<QVariant> row{1, QString(), QString(), QString(), QString(width, QLatin1Char('a'))};
            for (int i = 0; i < empty; ++i)
                row << QString();
            row << QStringLiteral("z");
            QVERIFY2(CatalogueExport::leavesOut(row) == (empty == 6),
                     qPrintable(QStringLiteral("%1 empty fields after %2 letters").arg(empty).arg(width)));
        }
    }
}

void tst_Export::sameBytesAsTheEnginesOrder_data()
{
    QTest::addColumn<QString>("order");
    // Few values: lines gathered per value, more than a bucket keeps in memory.
    QTest::newRow("domain") << "DOMAINE";
    QTest::newRow("domain descending, then language") << "DOMAINE DESC, LANGUE";
    QTest::newRow("third column") << "3";
    // Too many values: the engine orders after all.
    QTest::newRow("title") << "TITRE";
}

void tst_Export::sameBytesAsTheEnginesOrder()
{
    QFETCH(QString, order);
    QList<Row> rows = TestSupport::manyRows(6000);
    // Codes that are no letters of the tables, blanks, case, accents, numbers.
    const QVariant odd[] = {Null, QString(""), QString("c"), QString("é"), QString("E"), QString(" A"), 5, 2.5};
    for (int i = 0; i < rows.size(); ++i) {
        rows[i][6] = rows[i][6].toString() + QString(400, 'x'); // some buckets go to a file
        if (i % 5 == 0)
            rows[i][2] = odd[(i / 5) % std::size(odd)];
    }
    QCOMPARE(TestSupport::makeCatalogue(m_db, rows), QString());
    const QString query = "SELECT * FROM Biblio ORDER BY " + order;
    QString error;
    QVERIFY2(exportTo(path("engine.txt"), &error, query), qPrintable(error));
    QVERIFY2(exportQueryTo(path("biblio.txt"), &error, query), qPrintable(error));
    QCOMPARE(TestSupport::readFile(path("biblio.txt")), TestSupport::readFile(path("engine.txt")));
}

void tst_Export::secondExportReplacesFirst_data()
{
    QTest::addColumn<QString>("before"); // what stands at the target: nothing, a file or a link
    QTest::addColumn<bool>("empty");     // the catalogue has no record
    QTest::newRow("nothing there, empty catalogue: the header only") << "nothing" << true;
    QTest::newRow("a file") << "file" << false;
    // The link is replaced; the file it points to is left alone.
    QTest::newRow("a symbolic link") << "link" << false;
}

void tst_Export::secondExportReplacesFirst()
{
    QFETCH(QString, before);
    QFETCH(bool, empty);
    const QString target = path(QStringLiteral("biblio.txt"));
    const QString elsewhere = path(QStringLiteral("elsewhere.txt"));
    if (before != "nothing")
        QVERIFY(TestSupport::writeFile(before == "link" ? elsewhere : target, QByteArray(5000, 'x')));
    if (before == "link")
        QVERIFY(QFile::link(elsewhere, target));
    else if (before == "file") // its permissions are kept
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    const QList<Row> rows = {{QString("B"), QString("F"), QString("C"), 1, Null, Null, QString("Un"), Null}};
    QCOMPARE(TestSupport::makeCatalogue(m_db, empty ? QList<Row>() : rows), QString());
    QString error;
    QVERIFY2(exportTo(target, &error), qPrintable(error));
    QCOMPARE(TestSupport::readFile(target),
             "PREFIXE;;LANGUE;;DOMAINE;;NUMERO;;AUTEUR;;EDITEUR;;TITRE;;ISBN\r\n"
                 + QByteArray(empty ? "" : "Livre;;fran\xe7" "aise;;Chimie organique;;1;;;;;;Un;;\r\n"));
    QVERIFY(!QFileInfo(target).isSymLink());
    if (before == "link")
        QCOMPARE(TestSupport::readFile(elsewhere), QByteArray(5000, 'x'));
    else if (before == "file")
        QCOMPARE(QFileInfo(target).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

void tst_Export::failedExportLeavesOldFileWhole_data()
{
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("sizeLimit"); // bytes the process may write, 0: no limit
    QTest::addColumn<bool>("buckets");  // many long lines, through the program's own ordering
    // The longest name the file system takes: no temporary name fits beside it.
    QTest::newRow("no room for a temporary name") << QString(255, 'b') << QString(255, 'b') << 0 << false;
    QTest::newRow("folder is a file") << "program" << "program/biblio.txt" << 0 << false;
    // The whole export fits the file's buffer, so it fails only when flushed
    // at the end; the message gives the system's own reason.
    QTest::newRow("full disk") << "biblio.txt" << "biblio.txt" << 200 << false;
    // A bucket's file fails while the rows are still being read.
    QTest::newRow("full disk, through buckets") << "biblio.txt" << "biblio.txt" << 200 << true;
}

void tst_Export::failedExportLeavesOldFileWhole()
{
    QFETCH(QString, existing);
    QFETCH(QString, target);
    QFETCH(int, sizeLimit);
    QFETCH(bool, buckets);
    QList<Row> rows = buckets ? TestSupport::manyRows(6000) : TestSupport::sampleRows();
    if (buckets) {
        for (Row &row : rows)
            row[6] = QString(1000, 'x');
    }
    QCOMPARE(TestSupport::makeCatalogue(m_db, rows), QString());
    const QByteArray old = "PREFIXE;;LANGUE\r\nthe previous export\r\n";
    QVERIFY(TestSupport::writeFile(path(existing), old));
    QString error;
    bool exported = true;
    QVERIFY(TestSupport::withFileSizeLimit(sizeLimit ? sizeLimit : 1 << 30,
                                           [&] {
                                               exported = buckets ? exportQueryTo(path(target), &error)
                                                                  : exportTo(path(target), &error);
                                           }));
    QVERIFY(!exported);
    QVERIFY2(error.contains(QDir::toNativeSeparators(path(target))), qPrintable(error));
    if (sizeLimit)
        QCOMPARE(error, QDir::toNativeSeparators(path(target)) + " : " + QString::fromLocal8Bit(strerror(EFBIG)));
    QCOMPARE(TestSupport::readFile(path(existing)), old);
    // The catalogue and the old file, no temporary file beside them.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void tst_Export::progressAndCancel_data()
{
    // The engine reads the 6000 rows while it orders them, then they are
    // written: units 0 to 6000, then 6000 to 12000.
    QTest::addColumn<qint64>("stopAt");
    QTest::newRow("to the end") << qint64(-1);
    QTest::newRow("stopped while reading") << qint64(0);
    QTest::newRow("stopped while writing") << qint64(6001);
}

void tst_Export::progressAndCancel()
{
    QFETCH(qint64, stopAt);
    const bool written = stopAt < 0;
    QCOMPARE(TestSupport::makeCatalogue(m_db, TestSupport::manyRows(6000)), QString());
    QString error;
    QVERIFY2(exportTo(path("expected.txt"), &error), qPrintable(error));
    QVERIFY(TestSupport::writeFile(path("biblio.txt"), "the previous export\r\n"));
    Database db;
    QVERIFY(db.open(m_db, Database::Mode::ReadOnly));
    TestSupport::RecordingProgress progress;
    progress.stopAt = stopAt;
    QCOMPARE(CatalogueExport::ExportQuery(db, "SELECT * FROM Biblio ORDER BY DOMAINE", ";;", path("biblio.txt"), &error,
                                          &progress),
             written ? CatalogueExport::Outcome::Written : CatalogueExport::Outcome::Cancelled);
    QVERIFY(progress.total == 12000 && progress.finishes == 1 && progress.monotonic());
    QVERIFY(!progress.reports.isEmpty() && progress.reports.first() < 6000
            && progress.reports.last() >= (written ? 6000 : stopAt) && progress.reports.last() <= 12000);
    // A stop keeps the old file whole and leaves no temporary file behind.
    QCOMPARE(TestSupport::readFile(path("biblio.txt")),
             written ? TestSupport::readFile(path("expected.txt")) : QByteArray("the previous export\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 3);
    QCOMPARE(error.contains(QStringLiteral("annulée")), !written);
}

QTEST_GUILESS_MAIN(tst_Export)
#include "tst_export.moc"
