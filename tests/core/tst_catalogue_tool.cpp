#include "TestSupport.h"

#include "AccessReader.h"
#include "CatalogueChecker.h"
#include "CatalogueImport.h"
#include "CatalogueWriter.h"
#include "DemoCatalogue.h"
#include "ExportFileReader.h"
#include "RecordConversion.h"
#include "SyntheticCatalogue.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/CatalogueFormat.h"
#include "catalogue/CodeTables.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "util/Windows1252.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using TestSupport::Row;

namespace {

const QString AccessFolder = QStringLiteral(FERULAN_FIXTURES "/access");

// A record as comparable text: the eight fields, "~" for NULL.
QString describe(const RecordValues &values)
{
    QStringList fields;
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position) {
        const QVariant &value = values[Catalogue::Field(position)];
        fields << (value.isNull() ? QStringLiteral("~") : value.toString());
    }
    return fields.join(QLatin1Char('|'));
}

QStringList describeAll(const QList<RecordValues> &records)
{
    QStringList result;
    for (const RecordValues &values : records)
        result << describe(values);
    return result;
}

// The rows of a catalogue file in key order, described as above.
QStringList catalogueRows(const QString &path)
{
    Database db;
    if (!db.open(path, Database::Mode::ReadOnly))
        return {QStringLiteral("cannot open: ") + db.lastError().text};
    auto query = db.prepare(QStringLiteral(
        "SELECT PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN FROM Biblio ORDER BY ID"));
    if (!query)
        return {QStringLiteral("cannot read: ") + db.lastError().text};
    QStringList rows;
    while (query->step() == Statement::Step::Row) {
        QStringList fields;
        for (int i = 0; i < 8; ++i) {
            const QVariant value = query->value(i);
            fields << (value.isNull() ? QStringLiteral("~") : value.toString());
        }
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

QByteArray crlf(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += Windows1252::encode(line) + "\r\n";
    return bytes;
}

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(FERULAN_TOOL), arguments);
    ToolRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The open table's column of that name, or -1.
int columnNamed(const AccessReader &reader, const QString &name)
{
    for (int i = 0; i < reader.columns().size(); ++i) {
        if (reader.columns().at(i).name == name)
            return i;
    }
    return -1;
}

} // namespace

#define SKIP_WITHOUT_ACCESS_FILES()                                                                      \
    do {                                                                                                 \
        if (!QFileInfo::exists(AccessFolder))                                                            \
            QSKIP(qPrintable(QStringLiteral("The Access sample files are not there (%1); the Access "    \
                                            "reading tests need them.")                                  \
                                 .arg(AccessFolder)));                                                   \
    } while (false)

class tst_CatalogueTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    // Turning texts into catalogue values
    void numeroFromText_data();
    void numeroFromText();
    void letterForLabel_data();
    void letterForLabel();

    // Reading the export file back
    void exportFile_data();
    void exportFile();
    void exportFileNeedsItsHeader_data();
    void exportFileNeedsItsHeader();

    // Access files
    void recognisesAccessFiles_data();
    void recognisesAccessFiles();
    void readsEachGeneration_data();
    void readsEachGeneration();
    void readsLongMemoWhole();
    void unknownTableNamesTheTables();
    void matchesColumnsByName_data();
    void matchesColumnsByName();
    void convertsAccessRows();

    // Writing
    void writerNeverReplacesAFile();
    void abandonedWriteLeavesNothing();
    void interruptedGenerateLeavesNothing();

    // The demo and the generator
    void demoCoversTheCatalogue();
    void generatorIsDeterministicAndVaried();
    void generateWritesNRows();

    // The command line
    void commandLineErrors_data();
    void commandLineErrors();
    void commandsRefuseToOverwrite_data();
    void commandsRefuseToOverwrite();
    void exportRoundTripGivesTheDemoBack();
    void importReportsRowsAndWritesTheRest();
    void failedImportLeavesNoFile_data();
    void failedImportLeavesNoFile();

    // Checking
    void checkFindsEachKindOfProblem();
    void checkFindsLayoutProblems_data();
    void checkFindsLayoutProblems();
    void checkOnAccessAndForeignFiles();

private:
    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_CatalogueTool::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::numeroFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("reported");

    QTest::newRow("empty") << QString() << QVariant() << false;
    QTest::newRow("plain") << QStringLiteral("12") << QVariant(qint64(12)) << false;
    QTest::newRow("lowest") << QStringLiteral("-32768") << QVariant(qint64(-32768)) << false;
    QTest::newRow("highest") << QStringLiteral("32767") << QVariant(qint64(32767)) << false;
    QTest::newRow("blanks around") << QStringLiteral(" 12 ") << QVariant(qint64(12)) << true;
    QTest::newRow("half to even, point") << QStringLiteral("2.5") << QVariant(qint64(2)) << true;
    QTest::newRow("half to even, comma") << QStringLiteral("3,5") << QVariant(qint64(4)) << true;
    QTest::newRow("too large, kept") << QStringLiteral("40000") << QVariant(qint64(40000)) << true;
    QTest::newRow("too small, kept") << QStringLiteral("-32769") << QVariant(qint64(-32769)) << true;
    QTest::newRow("letters") << QStringLiteral("12a") << QVariant() << true;
    QTest::newRow("word") << QStringLiteral("abc") << QVariant() << true;
    QTest::newRow("beyond 64 bits") << QStringLiteral("99999999999999999999") << QVariant() << true;
    QTest::newRow("large fraction") << QStringLiteral("40000.5") << QVariant() << true;
}

void tst_CatalogueTool::numeroFromText()
{
    QFETCH(QString, text);
    QFETCH(QVariant, value);
    QFETCH(bool, reported);

    QString problem;
    const QVariant result = RecordConversion::numero(text, &problem);
    QCOMPARE(result.isNull(), value.isNull());
    if (!value.isNull())
        QCOMPARE(result.toLongLong(), value.toLongLong());
    QCOMPARE(!problem.isEmpty(), reported);
    if (reported && !text.isEmpty())
        QVERIFY2(problem.contains(QStringLiteral("NUMERO")), qPrintable(problem));
}

void tst_CatalogueTool::letterForLabel_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("letter");

    QTest::newRow("type") << "PREFIXE" << QStringLiteral("Périodique ou journal") << "Z";
    QTest::newRow("video has no accent") << "PREFIXE" << QStringLiteral("Video") << "V";
    QTest::newRow("language") << "LANGUE" << QStringLiteral("française") << "F";
    QTest::newRow("domain with its blank") << "DOMAINE" << QStringLiteral("Exercices de chimie ") << "D";
    QTest::newRow("domain, blank lost") << "DOMAINE" << QStringLiteral("Exercices de chimie") << "D";
    QTest::newRow("letter case changed") << "DOMAINE" << QStringLiteral("CHIMIE MINÉRALE") << "B";
    QTest::newRow("same letter, other field") << "PREFIXE" << QStringLiteral("Livre") << "B";
    QTest::newRow("bare letter") << "LANGUE" << QStringLiteral("E") << "E";
    QTest::newRow("caption is no label") << "LANGUE" << QStringLiteral("english") << "";
    QTest::newRow("letter of another table") << "LANGUE" << QStringLiteral("B") << "";
    QTest::newRow("unknown") << "PREFIXE" << QStringLiteral("Livres") << "";
    QTest::newRow("empty") << "DOMAINE" << QString() << "";
}

void tst_CatalogueTool::letterForLabel()
{
    QFETCH(QString, field);
    QFETCH(QString, label);
    QFETCH(QString, letter);
    const CodeTable &table = field == QLatin1String("PREFIXE") ? CodeTables::prefixe()
        : field == QLatin1String("LANGUE")                     ? CodeTables::langue()
                                                               : CodeTables::domaine();
    QCOMPARE(RecordConversion::letterForLabel(table, label), letter);
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::exportFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("reportedLines"); // "line N" of each report, in order

    const QString header = QString::fromLatin1(CatalogueExport::Header);

    QTest::newRow("plain record")
        << crlf({header, QStringLiteral("Livre;;française;;Chimie organique;;12;;Dupont: Martin;;;;Chimie;;")})
        << QStringList{QStringLiteral("B|F|C|12|Dupont: Martin|~|Chimie|~")} << QStringList();

    QTest::newRow("header only") << crlf({header}) << QStringList() << QStringList();

    QTest::newRow("code letters with their blank and without")
        << crlf({header, QStringLiteral("Transparent;;anglaise;;Exercices de chimie ;;;;A;;B;;C;;D"),
                 QStringLiteral("Video;;allemande;;Exercices de chimie;;7;;;;;;T;;")})
        << QStringList{QStringLiteral("T|E|D|~|A|B|C|D"), QStringLiteral("V|D|D|7|~|~|T|~")} << QStringList();

    QTest::newRow("title over two lines")
        << crlf({header, QStringLiteral("Livre;;française;;Chimie générale et chimie-physique;;3;;Roux;;Delorme;;Chimie"),
                 QStringLiteral("Tome 2;;978-2"), QStringLiteral("Logiciel;;;;;;4;;;;;;Tableur;;")})
        << QStringList{QStringLiteral("B|F|A|3|Roux|Delorme|Chimie\r\nTome 2|978-2"),
                       QStringLiteral("L|~|~|4|~|~|Tableur|~")}
        << QStringList();

    QTest::newRow("author and title broken, one blank line inside")
        << crlf({header, QStringLiteral("Livre;;;;Divers;;5;;Roux,"), QStringLiteral("Maëlle;;Éd.;;Histoire"),
                 QString(), QStringLiteral("de la chimie;;")})
        << QStringList{QStringLiteral("B|~|F|5|Roux,\r\nMaëlle|Éd.|Histoire\r\n\r\nde la chimie|~")}
        << QStringList();

    QTest::newRow("plain line feed inside a value stays")
        << crlf({header, QStringLiteral("Livre;;;;;;1;;;;;;Un\ndeux;;")})
        << QStringList{QStringLiteral("B|~|~|1|~|~|Un\ndeux|~")} << QStringList();

    QTest::newRow("file with plain line feeds")
        << QByteArray(header.toLatin1() + "\nLivre;;;;;;1;;;;;;Un;;\nLogiciel;;;;;;2;;;;;;Deux;;\n")
        << QStringList{QStringLiteral("B|~|~|1|~|~|Un|~"), QStringLiteral("L|~|~|2|~|~|Deux|~")} << QStringList();

    QTest::newRow("saved again as UTF-8")
        << QByteArray(header.toUtf8() + "\r\nLivre;;française;;Pédagogie;;9;;Lefèvre;;;;L'élève;;\r\n")
        << QStringList{QStringLiteral("B|F|G|9|Lefèvre|~|L'élève|~")} << QStringList();

    QTest::newRow("unknown labels and numbers")
        << crlf({header, QStringLiteral("Livres;;française;;Chimie organique;;12a;;A;;;;T;;"),
                 QStringLiteral("Livre;;;;Géologie;;40000;;A;;;;T;;")})
        << QStringList{QStringLiteral("~|F|C|~|A|~|T|~"), QStringLiteral("B|~|~|40000|A|~|T|~")}
        << QStringList{QStringLiteral("line 2"), QStringLiteral("line 2"), QStringLiteral("line 3"),
                       QStringLiteral("line 3")};

    QTest::newRow("piece without its end, then a whole record")
        << crlf({header, QStringLiteral("Livre;;;;;;1;;Auteur"), QStringLiteral("Logiciel;;;;;;2;;;;;;Deux;;")})
        << QStringList{QStringLiteral("L|~|~|2|~|~|Deux|~")} << QStringList{QStringLiteral("line 2")};

    QTest::newRow("piece at the end of the file")
        << crlf({header, QStringLiteral("Logiciel;;;;;;2;;;;;;Deux;;"), QStringLiteral("Livre;;;;;;1;;A;;B")})
        << QStringList{QStringLiteral("L|~|~|2|~|~|Deux|~")} << QStringList{QStringLiteral("line 3")};

    QTest::newRow("too many fields, stray text")
        << crlf({header, QStringLiteral("Livre;;;;;;1;;;;;;Un;;;;extra"), QStringLiteral("bonjour"),
                 QStringLiteral("Logiciel;;;;;;2;;;;;;Deux;;")})
        << QStringList{QStringLiteral("L|~|~|2|~|~|Deux|~")}
        << QStringList{QStringLiteral("line 2"), QStringLiteral("line 3")};
}

void tst_CatalogueTool::exportFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);
    QFETCH(QStringList, reportedLines);

    ExportFileReader reader;
    ImportReport report;
    QStringList read;
    QVERIFY2(reader.read(bytes, report,
                         [&read](const RecordValues &values, qint64) {
                             read << describe(values);
                             return true;
                         }),
             qPrintable(reader.errorString()));
    QCOMPARE(read, records);
    QCOMPARE(reader.recordCount(), qint64(records.size()));

    QStringList where;
    for (const QString &line : report.lines())
        where << line.section(QLatin1Char(':'), 0, 0);
    QVERIFY2(where == reportedLines, qPrintable(report.lines().join(QLatin1Char('\n'))));
}

void tst_CatalogueTool::exportFileNeedsItsHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("records without header") << QByteArray("Livre;;;;;;1;;;;;;Un;;\r\n");
    QTest::newRow("header in lower case")
        << QByteArray("prefixe;;langue;;domaine;;numero;;auteur;;editeur;;titre;;isbn\r\n");
    QTest::newRow("comma-separated") << QByteArray("PREFIXE,LANGUE,DOMAINE,NUMERO,AUTEUR,EDITEUR,TITRE,ISBN\r\n");
}

void tst_CatalogueTool::exportFileNeedsItsHeader()
{
    QFETCH(QByteArray, bytes);
    ExportFileReader reader;
    ImportReport report;
    int taken = 0;
    QVERIFY(!reader.read(bytes, report, [&taken](const RecordValues &, qint64) {
        ++taken;
        return true;
    }));
    QCOMPARE(taken, 0);
    QVERIFY(!reader.errorString().isEmpty());
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::recognisesAccessFiles_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("access");

    QTest::newRow("Jet") << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24) << true;
    QTest::newRow("ACE") << QByteArray("\x00\x01\x00\x00Standard ACE DB\x00\x02\x00\x00\x00", 24) << true;
    QTest::newRow("name without the page start") << QByteArray("....Standard Jet DB\x00....", 24) << false;
    QTest::newRow("other engine name") << QByteArray("\x00\x01\x00\x00Standard Xyz DB\x00\x01\x00\x00\x00", 24)
                                       << false;
    QTest::newRow("cut short") << QByteArray("\x00\x01\x00\x00Standard Jet", 16) << false;
    QTest::newRow("SQLite") << QByteArray("SQLite format 3\x00\x10\x00\x01\x01\x00\x40\x20\x20", 24) << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void tst_CatalogueTool::recognisesAccessFiles()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, access);
    const QString file = path(QStringLiteral("catalogue.mdb"));
    QVERIFY(TestSupport::writeFile(file, head + QByteArray(2048, '\0')));
    QCOMPARE(CatalogueFormat::isAccessFile(file), access);
    QVERIFY(!CatalogueFormat::isAccessFile(path(QStringLiteral("missing.mdb"))));
}

void tst_CatalogueTool::readsEachGeneration_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("value");

    QTest::newRow("Jet 3, accented values") << "nwind.mdb" << "Jet 3" << "customers" << 91 << "CompanyName" << 7
                                            << QStringLiteral("Blondel père et fils");
    QTest::newRow("Jet 3, accented address") << "nwind.mdb" << "Jet 3" << "Customers" << 91 << "Address" << 7
                                             << QStringLiteral("24, place Kléber");
    QTest::newRow("Jet 3, accented table name") << "nwind.mdb" << "Jet 3" << QStringLiteral("Umsätze") << 830
                                                << "ShipCity" << 3 << QStringLiteral("Montréal");
    QTest::newRow("Jet 3, currency") << "nwind.mdb" << "Jet 3" << "Orders" << 830 << "Freight" << 1
                                     << QStringLiteral("12.7500");
    QTest::newRow("Jet 4, line break in a memo") << "DateTestDatabase.mdb" << "Jet 4" << "DateTest" << 6
                                                 << "LongTextCol" << 6 << QStringLiteral("New line\r\nin field");
    QTest::newRow("Jet 4, date") << "DateTestDatabase.mdb" << "Jet 4" << "DateTest" << 6 << "DateTimeCol" << 1
                                 << QStringLiteral("2021-12-02 00:00:00");
    QTest::newRow("ACE, text") << "ASampleDatabase.accdb" << "ACE" << "Asset Items" << 65 << "Make" << 1
                               << QStringLiteral("GEO Rocket");
    QTest::newRow("ACE, long integer") << "ASampleDatabase.accdb" << "ACE" << "asset items" << 65 << "Warranty" << 1
                                       << QStringLiteral("12");
}

void tst_CatalogueTool::readsEachGeneration()
{
    SKIP_WITHOUT_ACCESS_FILES();
    QFETCH(QString, file);
    QFETCH(QString, format);
    QFETCH(QString, table);
    QFETCH(int, rows);
    QFETCH(QString, column);
    QFETCH(int, row);
    QFETCH(QString, value);

    // The fixtures are read-only; the reader gets a copy as any user file.
    const QString copy = path(file);
    QVERIFY(QFile::copy(QDir(AccessFolder).filePath(file), copy));

    AccessReader reader;
    QVERIFY2(reader.open(copy), qPrintable(reader.errorString()));
    QCOMPARE(reader.formatName(), format);
    QVERIFY2(reader.openTable(table), qPrintable(reader.errorString()));
    QCOMPARE(reader.tableName().compare(table, Qt::CaseInsensitive), 0);

    const int columnIndex = columnNamed(reader, column);
    QVERIFY2(columnIndex >= 0, qPrintable(column));

    int count = 0;
    QString found;
    while (reader.next()) {
        if (++count == row)
            found = reader.text(columnIndex);
    }
    QCOMPARE(count, rows);
    QCOMPARE(found, value);
}

void tst_CatalogueTool::readsLongMemoWhole()
{
    SKIP_WITHOUT_ACCESS_FILES();
    const QString copy = path(QStringLiteral("nwind.mdb"));
    QVERIFY(QFile::copy(QDir(AccessFolder).filePath(QStringLiteral("nwind.mdb")), copy));
    AccessReader reader;
    QVERIFY(reader.open(copy));
    QVERIFY(reader.openTable(QStringLiteral("Employees")));
    const int notes = columnNamed(reader, QStringLiteral("Notes"));
    const int photo = columnNamed(reader, QStringLiteral("Photo"));
    QVERIFY(notes >= 0 && photo >= 0);
    QCOMPARE(reader.columns().at(photo).kind, AccessReader::ColumnKind::Unsupported);
    QCOMPARE(reader.columns().at(notes).kind, AccessReader::ColumnKind::Text);

    int longest = 0;
    while (reader.next()) {
        const QString text = reader.text(notes);
        QVERIFY(!reader.wasCut(notes));
        // A memo ends where its text ends, not at a buffer's edge.
        if (!text.isEmpty())
            QVERIFY2(text.endsWith(QLatin1Char('.')), qPrintable(text.right(40)));
        longest = qMax(longest, int(text.size()));
    }
    QVERIFY2(longest > 255, qPrintable(QString::number(longest)));
}

void tst_CatalogueTool::unknownTableNamesTheTables()
{
    SKIP_WITHOUT_ACCESS_FILES();
    const QString copy = path(QStringLiteral("sample.accdb"));
    QVERIFY(QFile::copy(QDir(AccessFolder).filePath(QStringLiteral("ASampleDatabase.accdb")), copy));
    AccessReader reader;
    QVERIFY(reader.open(copy));
    QCOMPARE(reader.tableNames(), QStringList{QStringLiteral("Asset Items")});
    QVERIFY(!reader.openTable(QStringLiteral("Biblio")));
    QVERIFY2(reader.errorString().contains(QStringLiteral("Asset Items")), qPrintable(reader.errorString()));

    const QString text = path(QStringLiteral("biblio.txt"));
    QVERIFY(TestSupport::writeFile(text, QByteArray("not a database")));
    QVERIFY(!reader.open(text));
    QVERIFY(!reader.errorString().isEmpty());
}

void tst_CatalogueTool::matchesColumnsByName_data()
{
    using Kind = AccessReader::ColumnKind;
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QList<int>>("expected"); // column per field PREFIXE..ISBN
    QTest::addColumn<QStringList>("notesMention");

    const QStringList catalogue = {"ID", "PREFIXE", "LANGUE", "DOMAINE", "NUMERO", "AUTEUR", "EDITEUR", "TITRE", "ISBN"};
    const QList<int> allText(9, int(Kind::Text));

    QTest::newRow("the program's own table") << catalogue << allText << QList<int>{1, 2, 3, 4, 5, 6, 7, 8}
                                             << QStringList();
    QTest::newRow("letter case and order differ")
        << QStringList{"Numéro", "isbn", "Titre", "auteur", "Editeur", "prefixe", "Langue", "domaine", "numero"}
        << allText << QList<int>{5, 6, 7, 8, 3, 4, 2, 1} << QStringList();
    QTest::newRow("missing fields and an extra column")
        << QStringList{"Compteur", "TITRE", "AUTEUR", "Remarques"} << QList<int>(4, int(Kind::Text))
        << QList<int>{-1, -1, -1, -1, 2, -1, 1, -1}
        << QStringList{"PREFIXE", "LANGUE", "DOMAINE", "NUMERO", "EDITEUR", "ISBN", "Remarques"};
    QTest::newRow("a field of a type that cannot be read")
        << QStringList{"ID", "TITRE", "ISBN"} << QList<int>{int(Kind::Integer), int(Kind::Text), int(Kind::Unsupported)}
        << QList<int>{-1, -1, -1, -1, -1, -1, 1, -1}
        << QStringList{"PREFIXE", "LANGUE", "DOMAINE", "NUMERO", "AUTEUR", "EDITEUR", "ISBN"};
    QTest::newRow("a field in first place is no row key")
        << QStringList{"TITRE", "Cote"} << QList<int>{int(Kind::Text), int(Kind::Text)}
        << QList<int>{-1, -1, -1, -1, -1, -1, 0, -1}
        << QStringList{"PREFIXE", "LANGUE", "DOMAINE", "NUMERO", "AUTEUR", "EDITEUR", "ISBN", "Cote"};
}

void tst_CatalogueTool::matchesColumnsByName()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, kinds);
    QFETCH(QList<int>, expected);
    QFETCH(QStringList, notesMention);

    QVector<AccessReader::Column> columns;
    for (int i = 0; i < names.size(); ++i)
        columns.append({names.at(i), AccessReader::ColumnKind(kinds.at(i)), QStringLiteral("type")});
    const CatalogueImport::ColumnMatch match = CatalogueImport::matchColumns(columns);
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
        QCOMPARE(match.columnOf(Catalogue::Field(position)), expected.at(position - 1));

    // One note per field left empty or column left behind, naming it.
    QCOMPARE(match.notes.size(), notesMention.size());
    for (const QString &name : notesMention) {
        bool named = false;
        for (const QString &note : match.notes)
            named = named || note.contains(QStringLiteral(" ") + name + QStringLiteral(" "))
                || note.contains(QStringLiteral(" ") + name + QStringLiteral(";"));
        QVERIFY2(named, qPrintable(name + QStringLiteral(" in: ") + match.notes.join(QStringLiteral(" / "))));
    }
}

void tst_CatalogueTool::convertsAccessRows()
{
    SKIP_WITHOUT_ACCESS_FILES();
    const QString copy = path(QStringLiteral("nwind.mdb"));
    QVERIFY(QFile::copy(QDir(AccessFolder).filePath(QStringLiteral("nwind.mdb")), copy));
    AccessReader reader;
    QVERIFY(reader.open(copy));
    QVERIFY(reader.openTable(QStringLiteral("Orders")));

    // Real Access values through the catalogue's rules: a text, a number
    // outside NUMERO's range, a currency and a word in NUMERO's place.
    CatalogueImport::ColumnMatch match;
    match.column[Catalogue::AUTEUR - 1] = columnNamed(reader, QStringLiteral("ShipName"));
    match.column[Catalogue::TITRE - 1] = columnNamed(reader, QStringLiteral("ShipAddress"));
    match.column[Catalogue::EDITEUR - 1] = columnNamed(reader, QStringLiteral("ShipRegion"));

    struct Case {
        const char *numeroColumn;
        QVariant numero;
        bool reported;
    };
    const Case cases[] = {
        {"OrderID", qint64(10330), false}, // the first row in the file's order
        {"Freight", qint64(13), true},    // 12.75 rounds
        {"CustomerID", QVariant(), true}, // "LILAS"
        {"EmployeeID", qint64(3), false},
    };
    for (const Case &c : cases) {
        QVERIFY(reader.openTable(QStringLiteral("Orders")));
        match.column[Catalogue::NUMERO - 1] = columnNamed(reader, QString::fromLatin1(c.numeroColumn));
        QVERIFY(reader.next());
        ImportReport report;
        const RecordValues values = CatalogueImport::recordFromAccessRow(reader, match, 1, report);
        QCOMPARE(values[Catalogue::AUTEUR].toString(), QStringLiteral("LILA-Supermercado"));
        QCOMPARE(values[Catalogue::TITRE].toString(), QStringLiteral("Carrera 52 con Ave. Bolívar #65-98 Llano Largo"));
        QCOMPARE(values[Catalogue::EDITEUR].toString(), QStringLiteral("Lara"));
        QVERIFY(values[Catalogue::PREFIXE].isNull());
        QCOMPARE(values[Catalogue::NUMERO].isNull(), c.numero.isNull());
        QCOMPARE(values[Catalogue::NUMERO].toLongLong(), c.numero.toLongLong());
        QCOMPARE(report.count(), c.reported ? qint64(1) : qint64(0));
        if (c.reported)
            QVERIFY2(report.lines().first().startsWith(QStringLiteral("row 1: NUMERO")), qPrintable(report.lines().first()));
    }
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::writerNeverReplacesAFile()
{
    const QString target = path(QStringLiteral("biblio.db"));
    QVERIFY(TestSupport::writeFile(target, QByteArray("precious")));
    CatalogueWriter writer(target);
    QVERIFY(!writer.begin());
    QVERIFY(writer.errorString().contains(QStringLiteral("already exists")));
    QCOMPARE(TestSupport::readFile(target), QByteArray("precious"));
    QCOMPARE(folderEntries(m_dir->path()), QStringList{QStringLiteral("biblio.db")});

    // A file that appears while the new one is written is not replaced either.
    const QString later = path(QStringLiteral("later.db"));
    CatalogueWriter second(later);
    QVERIFY(second.begin());
    RecordValues values;
    values.setText(Catalogue::TITRE, QStringLiteral("Chimie"));
    QVERIFY(second.add(values));
    QVERIFY(TestSupport::writeFile(later, QByteArray("arrived meanwhile")));
    QVERIFY(!second.finish());
    QCOMPARE(TestSupport::readFile(later), QByteArray("arrived meanwhile"));
    QCOMPARE(folderEntries(m_dir->path()).size(), 2);
}

void tst_CatalogueTool::abandonedWriteLeavesNothing()
{
    const QString target = path(QStringLiteral("biblio.db"));
    {
        CatalogueWriter writer(target);
        QVERIFY(writer.begin());
        QVERIFY(QFileInfo::exists(writer.temporaryPath()));
        QCOMPARE(QFileInfo(writer.temporaryPath()).absolutePath(), QFileInfo(target).absolutePath());
        RecordValues values;
        values[Catalogue::NUMERO] = qint64(1);
        for (int i = 0; i < 1000; ++i)
            QVERIFY(writer.add(values));
        // Goes out of scope without finish(), as on an error.
    }
    QVERIFY(folderEntries(m_dir->path()).isEmpty());

    CatalogueWriter missingFolder(path(QStringLiteral("no/such/folder/biblio.db")));
    QVERIFY(!missingFolder.begin());
    QVERIFY(missingFolder.errorString().contains(QStringLiteral("does not exist")));
    QVERIFY(folderEntries(m_dir->path()).isEmpty());
}

void tst_CatalogueTool::interruptedGenerateLeavesNothing()
{
    // A run stopped from outside while it writes cleans up like a failure.
    QProcess process;
    process.start(QStringLiteral(FERULAN_TOOL),
                  {QStringLiteral("generate"), QStringLiteral("20000000"), path(QStringLiteral("big.db"))});
    QVERIFY(process.waitForStarted());
    QElapsedTimer timer;
    timer.start();
    while (folderEntries(m_dir->path()).isEmpty() && timer.elapsed() < 20000)
        QTest::qWait(5);
    QVERIFY2(!folderEntries(m_dir->path()).isEmpty(), "the tool did not start writing");
    QTest::qWait(100);
    process.terminate();
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY2(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("interrupted")),
             "the tool should say it was interrupted");
    QCOMPARE(folderEntries(m_dir->path()), QStringList());
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::demoCoversTheCatalogue()
{
    const QList<RecordValues> records = DemoCatalogue::records();
    QVERIFY(records.size() >= 180 && records.size() <= 220);

    QSet<QString> types, languages, domains;
    int accents = 0, apostrophes = 0, semicolons = 0, empties = 0;
    QSet<qint64> numbers;
    for (const RecordValues &values : records) {
        types << values[Catalogue::PREFIXE].toString();
        languages << values[Catalogue::LANGUE].toString();
        domains << values[Catalogue::DOMAINE].toString();
        const QString title = values[Catalogue::TITRE].toString();
        accents += title.contains(QRegularExpression(QStringLiteral("[éèêàâçôûîïëœÉ]"))) ? 1 : 0;
        apostrophes += title.contains(QLatin1Char('\'')) ? 1 : 0;
        semicolons += (title + values[Catalogue::AUTEUR].toString()).contains(QLatin1Char(';')) ? 1 : 0;
        for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
            empties += values[Catalogue::Field(position)].isNull() ? 1 : 0;
        // Every record is one the program shows and exports as it is.
        QVERIFY(CodeTables::prefixe().entryForText(values[Catalogue::PREFIXE].toString()));
        QVERIFY(CodeTables::langue().entryForText(values[Catalogue::LANGUE].toString()));
        QVERIFY(CodeTables::domaine().entryForText(values[Catalogue::DOMAINE].toString()));
        if (!values[Catalogue::NUMERO].isNull()) {
            QVERIFY(Catalogue::isAdmissibleNumero(values[Catalogue::NUMERO].toString(), QLatin1Char('.')));
            QVERIFY2(!numbers.contains(values[Catalogue::NUMERO].toLongLong()), "item numbers are unique");
            numbers << values[Catalogue::NUMERO].toLongLong();
        }
        for (int position = Catalogue::AUTEUR; position <= Catalogue::ISBN; ++position) {
            const QString text = values[Catalogue::Field(position)].toString();
            QVERIFY(text.size() <= 255);
            QCOMPARE(Windows1252::decode(Windows1252::encode(text)), text);
        }
    }
    QCOMPARE(types.size(), 5);
    QCOMPARE(languages.size(), 3);
    QCOMPARE(domains.size(), 7);
    QVERIFY(accents >= 40);
    QVERIFY(apostrophes >= 10);
    QVERIFY(semicolons >= 5);
    QVERIFY(empties >= 10);

    // The tool writes it as it is, and finds nothing to report in it.
    const QString file = path(QStringLiteral("demo.db"));
    const ToolRun run = runTool({QStringLiteral("demo"), file});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(catalogueRows(file), describeAll(records));
    const ToolRun check = runTool({QStringLiteral("check"), file});
    QVERIFY2(check.status == 0, qPrintable(check.out));
}

void tst_CatalogueTool::generatorIsDeterministicAndVaried()
{
    SyntheticCatalogue first(42);
    SyntheticCatalogue again(42);
    SyntheticCatalogue other(43);
    QStringList a, b, c;
    QSet<QString> letters[3];
    int oddCodes = 0, empty = 0, chimie = 0, accents = 0, apostrophes = 0;
    QSet<QString> titles;
    for (int i = 0; i < 20000; ++i) {
        const RecordValues values = first.next();
        a << describe(values);
        b << describe(again.next());
        c << describe(other.next());
        const CodeTable *tables[] = {&CodeTables::prefixe(), &CodeTables::langue(), &CodeTables::domaine()};
        for (int k = 0; k < 3; ++k) {
            const QString code = values[Catalogue::Field(Catalogue::PREFIXE + k)].toString();
            if (tables[k]->entryForText(code))
                letters[k] << code;
            else if (!code.isEmpty())
                ++oddCodes;
        }
        for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
            empty += values[Catalogue::Field(position)].isNull() ? 1 : 0;
        const QString title = values[Catalogue::TITRE].toString();
        titles << title;
        chimie += title.contains(QStringLiteral("chimie"), Qt::CaseInsensitive) ? 1 : 0;
        const QString people = values[Catalogue::AUTEUR].toString() + values[Catalogue::EDITEUR].toString() + title;
        accents += people.contains(QRegularExpression(QStringLiteral("[éèêàâçôûîïëüœÉ]"))) ? 1 : 0;
        apostrophes += people.contains(QLatin1Char('\'')) ? 1 : 0;
        if (!values[Catalogue::NUMERO].isNull())
            QVERIFY(Catalogue::isAdmissibleNumero(values[Catalogue::NUMERO].toString(), QLatin1Char('.')));
    }
    QCOMPARE(a, b);
    QVERIFY(a != c);
    QCOMPARE(letters[0].size(), 5);
    QCOMPARE(letters[1].size(), 3);
    QCOMPARE(letters[2].size(), 7);
    QVERIFY(oddCodes > 100);
    QVERIFY(empty > 1000);
    QVERIFY(chimie > 2000 && chimie < 18000);
    QVERIFY(accents > 5000);
    QVERIFY(apostrophes > 500);
    QVERIFY(titles.size() > 1000);
}

void tst_CatalogueTool::generateWritesNRows()
{
    const QString file = path(QStringLiteral("g.db"));
    const ToolRun run = runTool({QStringLiteral("generate"), QStringLiteral("2500"), file, QStringLiteral("--seed=9")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    const QStringList rows = catalogueRows(file);
    QCOMPARE(rows.size(), 2500);

    // The same rows as the generator gives for that seed, in that order.
    SyntheticCatalogue generator(9);
    for (int i = 0; i < 2500; ++i)
        QCOMPARE(rows.at(i), describe(generator.next()));

    const QString copy = path(QStringLiteral("g2.db"));
    QCOMPARE(runTool({QStringLiteral("generate"), QStringLiteral("--seed"), QStringLiteral("9"),
                      QStringLiteral("2500"), copy})
                 .status,
             0);
    QCOMPARE(catalogueRows(copy), rows);
    QCOMPARE(runTool({QStringLiteral("generate"), QStringLiteral("0"), path(QStringLiteral("none.db"))}).status, 0);
    QCOMPARE(catalogueRows(path(QStringLiteral("none.db"))), QStringList());
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::commandLineErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("nothing") << QStringList() << "no command";
    QTest::newRow("unknown command") << QStringList{"make", "x.db"} << "unknown command";
    QTest::newRow("create without file") << QStringList{"create"} << "create FILE";
    QTest::newRow("demo with two files") << QStringList{"demo", "a.db", "b.db"} << "demo FILE";
    QTest::newRow("generate without count") << QStringList{"generate", "a.db"} << "generate N FILE";
    QTest::newRow("count not a number") << QStringList{"generate", "many", "a.db"} << "N must be";
    QTest::newRow("negative count") << QStringList{"generate", "-5", "a.db"} << "unknown option";
    QTest::newRow("seed not a number") << QStringList{"generate", "5", "a.db", "--seed", "x"} << "seed";
    QTest::newRow("seed without value") << QStringList{"generate", "5", "a.db", "--seed"} << "--seed needs a value";
    QTest::newRow("seed for another command") << QStringList{"demo", "a.db", "--seed=3"} << "--seed";
    QTest::newRow("table for another command") << QStringList{"check", "a.db", "--table", "T"} << "--table";
    QTest::newRow("empty table") << QStringList{"import", "a.txt", "b.db", "--table="} << "--table";
    QTest::newRow("unknown option") << QStringList{"create", "a.db", "--force"} << "--force";
    QTest::newRow("import without target") << QStringList{"import", "a.txt"} << "import SOURCE TARGET";
    QTest::newRow("import of nothing") << QStringList{"import", "missing.txt", "b.db"} << "does not exist";
    QTest::newRow("check of nothing") << QStringList{"check", "missing.db"} << "does not exist";
    QTest::newRow("into a missing folder") << QStringList{"create", "no/such/a.db"} << "does not exist";
}

void tst_CatalogueTool::commandLineErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, mentions);
    // Relative names land in the test's own folder.
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(FERULAN_TOOL), arguments);
    QVERIFY(process.waitForFinished(30000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(err.count(QLatin1Char('\n')), 1);
    QVERIFY2(err.startsWith(QStringLiteral("ferulan-catalogue: ")) && err.contains(mentions), qPrintable(err));
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QCOMPARE(folderEntries(m_dir->path()), QStringList());

    const ToolRun help = runTool({QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.contains(QStringLiteral("import SOURCE TARGET")));
}

void tst_CatalogueTool::commandsRefuseToOverwrite_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("create") << QStringList{"create"};
    QTest::newRow("demo") << QStringList{"demo"};
    QTest::newRow("generate") << QStringList{"generate", "10"};
    QTest::newRow("import") << QStringList{"import", "SOURCE"};
}

void tst_CatalogueTool::commandsRefuseToOverwrite()
{
    QFETCH(QStringList, arguments);
    const QString source = path(QStringLiteral("biblio.txt"));
    QVERIFY(TestSupport::writeFile(source, crlf({QString::fromLatin1(CatalogueExport::Header)})));
    const QString target = path(QStringLiteral("catalogue.db"));
    QVERIFY(TestSupport::writeFile(target, QByteArray("an existing catalogue")));
    arguments.replaceInStrings(QStringLiteral("SOURCE"), source);

    const ToolRun run = runTool(arguments << target);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(QStringLiteral("already exists")), qPrintable(run.err));
    QCOMPARE(TestSupport::readFile(target), QByteArray("an existing catalogue"));
    QCOMPARE(folderEntries(m_dir->path()).size(), 2);
}

void tst_CatalogueTool::exportRoundTripGivesTheDemoBack()
{
    const QString demo = path(QStringLiteral("demo.db"));
    QCOMPARE(runTool({QStringLiteral("demo"), demo}).status, 0);

    // The program's own export of the demo catalogue.
    const QString exported = path(QStringLiteral("biblio.txt"));
    {
        Database db;
        QVERIFY(db.open(demo, Database::Mode::ReadOnly));
        ForwardRecordset rs;
        QVERIFY(rs.open(db, QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE")));
        QString error;
        QVERIFY2(CatalogueExport::Export(rs, QStringLiteral(";;"), exported, &error), qPrintable(error));
    }

    const QString back = path(QStringLiteral("back.db"));
    const ToolRun run = runTool({QStringLiteral("import"), exported, back});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral(": %1 records").arg(DemoCatalogue::records().size())), qPrintable(run.out));

    // The same records, in the export's order, except that the export
    // writes every ";" as ":".
    QStringList expected = describeAll(DemoCatalogue::records());
    for (QString &row : expected) {
        QStringList fields = row.split(QLatin1Char('|'));
        for (QString &field : fields)
            field.replace(QLatin1Char(';'), QLatin1Char(':'));
        row = fields.join(QLatin1Char('|'));
    }
    QStringList got = catalogueRows(back);
    QCOMPARE(got.size(), expected.size());
    std::stable_sort(expected.begin(), expected.end(),
                     [](const QString &x, const QString &y) { return x.section(QLatin1Char('|'), 2, 2) < y.section(QLatin1Char('|'), 2, 2); });
    QCOMPARE(got, expected);
    QVERIFY2(got.join(QString()).contains(QStringLiteral("\r\n")), "the demo's titles over two lines came back whole");
}

void tst_CatalogueTool::importReportsRowsAndWritesTheRest()
{
    const QString source = path(QStringLiteral("biblio.txt"));
    QVERIFY(TestSupport::writeFile(
        source, crlf({QString::fromLatin1(CatalogueExport::Header),
                      QStringLiteral("Livre;;française;;Chimie organique;;12;;Dupont;;;;Chimie;;"),
                      QStringLiteral("Disque;;française;;Chimie organique;;13;;Durand;;;;Chimie 2;;"),
                      QStringLiteral("Livre;;anglaise;;Divers;;x14;;Martin;;;;Chimie 3;;")})));
    const QString target = path(QStringLiteral("new.db"));
    const ToolRun run = runTool({QStringLiteral("import"), source, target});
    QCOMPARE(run.status, 1);
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3); // two rows, then the closing remark
    QVERIFY2(lines.at(0).contains(QStringLiteral("line 3: PREFIXE \"Disque\"")), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QStringLiteral("line 4: NUMERO \"x14\"")), qPrintable(lines.at(1)));
    QCOMPARE(catalogueRows(target),
             (QStringList{QStringLiteral("B|F|C|12|Dupont|~|Chimie|~"), QStringLiteral("~|F|C|13|Durand|~|Chimie 2|~"),
                          QStringLiteral("B|E|F|~|Martin|~|Chimie 3|~")}));
}

void tst_CatalogueTool::failedImportLeavesNoFile_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("accessFile");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("mentions");

    QTest::newRow("not an export file") << QByteArray("Titre,Auteur\r\nChimie,Roux\r\n") << QString() << QStringList()
                                        << "header";
    QTest::newRow("empty file") << QByteArray() << QString() << QStringList() << "empty";
    QTest::newRow("a catalogue already") << QByteArray("SQLite format 3\0\x10\0\x01\x01", 20) << QString()
                                         << QStringList() << "already a catalogue file";
    QTest::newRow("table option on a text file")
        << crlf({QString::fromLatin1(CatalogueExport::Header)}) << QString() << QStringList{"--table", "Biblio"}
        << "Access files only";
    QTest::newRow("Access file without Biblio") << QByteArray() << "nwind.mdb" << QStringList() << "Umsätze";
    QTest::newRow("Access table without any field") << QByteArray() << "ASampleDatabase.accdb"
                                                    << QStringList{"--table", "Asset Items"} << "no column";
}

void tst_CatalogueTool::failedImportLeavesNoFile()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, accessFile);
    QFETCH(QStringList, options);
    QFETCH(QString, mentions);

    const QString sourcePath = path(QStringLiteral("source"));
    if (accessFile.isEmpty()) {
        QVERIFY(TestSupport::writeFile(sourcePath, source));
    } else {
        SKIP_WITHOUT_ACCESS_FILES();
        QVERIFY(QFile::copy(QDir(AccessFolder).filePath(accessFile), sourcePath));
    }
    const ToolRun run = runTool(QStringList{QStringLiteral("import"), sourcePath, path(QStringLiteral("new.db"))} + options);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(mentions) && run.err.contains(QStringLiteral("nothing was written")), qPrintable(run.err));
    QCOMPARE(folderEntries(m_dir->path()), QStringList{QStringLiteral("source")});
}

// ---------------------------------------------------------------------------

void tst_CatalogueTool::checkFindsEachKindOfProblem()
{
    const QString file = path(QStringLiteral("biblio.db"));
    const QString longTitle(300, QLatin1Char('x'));
    const QList<Row> rows = {
        {"B", "F", "C", 1, "Roux", "Delorme", "Sans problème", "978-2"},   // ID 1
        {"b", "F", "C", 2, "Roux", "Delorme", "Lower case", ""},            // ID 2: code
        {"B", "X", "C", 3, "Roux", "Delorme", "Outside the table", ""},     // ID 3: code
        {" Z ", "F", " A", 4, "Roux", "", "Blanks", ""},                     // ID 4: two codes
        {"B", "F", "C", 40000, "Roux", "", "Too large", ""},                // ID 5: NUMERO
        {"B", "F", "C", "12a", "Roux", "", "Letters", ""},                  // ID 6: NUMERO
        {"B", "F", "C", 2.5, "Roux", "", "Half", ""},                       // ID 7: fine
        Row(8),                                                               // ID 8: skipped by the export
        {"", "", "", QVariant(), QVariant(), QVariant(), QVariant(), "978-3"}, // ID 9: skipped
        {"x", "", "", 5, QVariant(), QVariant(), QVariant(), QVariant()},   // ID 10: code, not skipped
        {"B", "F", "C", 6, "Roux", "", longTitle, ""},                      // ID 11: text
        {"B", "F", "C", 7, QStringLiteral("Ωmega"), "", QStringLiteral("α-Aminoacides"), ""}, // ID 12: two texts
    };
    QCOMPARE(TestSupport::makeCatalogue(file, rows), QString());
    const QByteArray before = TestSupport::readFile(file);

    CatalogueChecker checker;
    QStringList lines;
    QVERIFY(checker.check(file, [&lines](const QString &line) { lines << line; }));
    const CatalogueChecker::Counts &counts = checker.counts();
    QCOMPARE(counts.records, qint64(12));
    QCOMPARE(counts.structure, qint64(0));
    QCOMPARE(counts.codes, qint64(5));
    QCOMPARE(counts.numeros, qint64(2));
    QCOMPARE(counts.skipped, qint64(2));
    QCOMPARE(counts.texts, qint64(3));
    QCOMPARE(lines.size(), int(counts.problems()));

    const QString all = lines.join(QLatin1Char('\n'));
    for (const char *expected : {"ID 2 (NUMERO 2, TITRE \"Lower case\"): PREFIXE \"b\" is in lower case",
                                 "ID 3 (", "LANGUE \"X\" is not one of its codes (D, F, E)", "ID 4 (",
                                 "PREFIXE \" Z \" has blanks", "DOMAINE \" A\" has blanks", "ID 5 (NUMERO 40000",
                                 "NUMERO \"12a\" is refused", "ID 8: the export leaves this record out",
                                 "ID 9: the export leaves", "ID 10 (NUMERO 5): PREFIXE \"x\"",
                                 "ID 11 (", "TITRE has 300 characters", "ID 12 (", "AUTEUR holds characters",
                                 "TITRE holds characters"}) {
        QVERIFY2(all.contains(QString::fromUtf8(expected)), qPrintable(QString::fromUtf8(expected) + "\n" + all));
    }
    QVERIFY(!all.contains(QStringLiteral("ID 1 ")));
    QVERIFY(!all.contains(QStringLiteral("ID 7 ")));
    QVERIFY(checker.summary().contains(QStringLiteral("12 records checked: 12 problems")));

    // It changes nothing, and says so through its exit status.
    QCOMPARE(TestSupport::readFile(file), before);
    const ToolRun run = runTool({QStringLiteral("check"), file});
    QCOMPARE(run.status, 1);
    QCOMPARE(run.out.count(QLatin1Char('\n')), 13);
    QCOMPARE(TestSupport::readFile(file), before);
    QCOMPARE(folderEntries(m_dir->path()), QStringList{QStringLiteral("biblio.db")});
}

void tst_CatalogueTool::checkFindsLayoutProblems_data()
{
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QStringList>("mentions");

    QTest::newRow("no Biblio table") << "CREATE TABLE Livres (ID INTEGER PRIMARY KEY, TITRE TEXT)"
                                     << QStringList{"no table Biblio", "Livres"};
    QTest::newRow("missing fields")
        << "CREATE TABLE Biblio (ID INTEGER PRIMARY KEY, PREFIXE TEXT, LANGUE TEXT, DOMAINE TEXT, NUMERO INTEGER, "
           "AUTEUR TEXT, TITRE TEXT)"
        << QStringList{"no field EDITEUR", "no field ISBN", "TITRE is in column 6"};
    QTest::newRow("fields out of order and one too many")
        << "CREATE TABLE biblio (ID INTEGER PRIMARY KEY, LANGUE TEXT, PREFIXE TEXT, DOMAINE TEXT, NUMERO INTEGER, "
           "AUTEUR TEXT, EDITEUR TEXT, TITRE TEXT, ISBN TEXT, COTE TEXT)"
        << QStringList{"LANGUE is in column 1", "PREFIXE is in column 2", "past ISBN", "COTE"};
}

void tst_CatalogueTool::checkFindsLayoutProblems()
{
    QFETCH(QString, schema);
    QFETCH(QStringList, mentions);
    const QString file = path(QStringLiteral("odd.db"));
    {
        Database db;
        QVERIFY(db.create(file));
        QVERIFY2(db.exec(schema), qPrintable(db.lastError().text));
    }
    const ToolRun run = runTool({QStringLiteral("check"), file});
    QCOMPARE(run.status, 1);
    for (const QString &mention : mentions)
        QVERIFY2(run.out.contains(mention), qPrintable(mention + "\n" + run.out));
}

void tst_CatalogueTool::checkOnAccessAndForeignFiles()
{
    SKIP_WITHOUT_ACCESS_FILES();
    const QString access = path(QStringLiteral("biblio.mdb"));
    QVERIFY(QFile::copy(QDir(AccessFolder).filePath(QStringLiteral("DateTestDatabase.mdb")), access));
    const ToolRun run = runTool({QStringLiteral("check"), access});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.out.contains(QStringLiteral("Access")) && run.out.contains(QStringLiteral("ferulan-catalogue import ")),
             qPrintable(run.out));

    const QString text = path(QStringLiteral("notes.txt"));
    QVERIFY(TestSupport::writeFile(text, QByteArray("quelques notes\n")));
    const ToolRun foreign = runTool({QStringLiteral("check"), text});
    QCOMPARE(foreign.status, 2);
    QCOMPARE(foreign.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(foreign.err.contains(QStringLiteral("not a catalogue file")), qPrintable(foreign.err));
}

QTEST_GUILESS_MAIN(tst_CatalogueTool)
#include "tst_catalogue_tool.moc"
