#include "TestSupport.h"

#include "AccessReader.h"
#include "CatalogueImport.h"
#include "CatalogueWriter.h"
#include "DemoCatalogue.h"
#include "ExportFileReader.h"
#include "IsolatedAccessReader.h"
#include "SyntheticCatalogue.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/CsvFile.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "util/Windows1252.h"

#include <QtTest>

#include <memory>
#include <sys/resource.h>

using TestSupport::Row;

namespace {

const QString AccessFolder = QStringLiteral(FERULAN_FIXTURES "/access");
const QString Header = QString::fromLatin1(CatalogueExport::Header);

QString shown(const QVariant &value) { return value.isNull() ? QStringLiteral("~") : value.toString(); }

// A record as comparable text: the eight fields, "~" for NULL.
QString describe(const RecordValues &values)
{
    QStringList fields;
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
        fields << shown(values[Catalogue::Field(position)]);
    return fields.join(QLatin1Char('|'));
}

// The rows of a catalogue file in key order, described as above, the key
// and the stored type of each value first when asked.
QStringList catalogueRows(const QString &path, bool exact = false)
{
    Database db;
    if (!db.open(path, Database::Mode::ReadOnly))
        return {"cannot open: " + db.lastError().text};
    auto query = db.prepare(QString("SELECT PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN, ID%1 "
                                    "FROM Biblio ORDER BY ID")
                                .arg(exact ? ", typeof(NUMERO)" : ""));
    if (!query)
        return {"cannot read: " + db.lastError().text};
    QStringList rows;
    while (query->step() == Statement::Step::Row) {
        QStringList fields;
        for (int i = 0; i < (exact ? 10 : 8); ++i)
            fields << shown(query->value(i));
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
    QString out, err;
};

// Runs the tool; limited, it may use at most 2 GB of memory and write at
// most 1 MB, its error output included (which goes through errFile).
ToolRun runTool(const QStringList &arguments, const QString &folder = QString(), const QString &errFile = QString())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (!errFile.isEmpty()) {
        process.setStandardErrorFile(errFile);
        process.setChildProcessModifier([] {
            const struct rlimit memory = {rlim_t(2) << 30, rlim_t(2) << 30}, written = {1 << 20, 1 << 20},
                                noCore = {0, 0};
            setrlimit(RLIMIT_AS, &memory);
            setrlimit(RLIMIT_FSIZE, &written);
            setrlimit(RLIMIT_CORE, &noCore);
        });
    }
    process.start(QStringLiteral(FERULAN_TOOL), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    QByteArray err = process.readAllStandardError();
    if (!errFile.isEmpty()) {
        QFile file(errFile);
        err = file.open(QIODevice::ReadOnly) ? file.read(65536) : QByteArray();
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(err)};
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The open table's column of that name, or -1.
template <typename Reader>
int columnNamed(const Reader &reader, const QString &name)
{
    for (int i = 0; i < reader.columns().size(); ++i) {
        if (reader.columns().at(i).name == name)
            return i;
    }
    return -1;
}

} // namespace

#define SKIP_WITHOUT_ACCESS_FILES()                                                                            \
    do {                                                                                                       \
        if (!QFileInfo::exists(AccessFolder))                                                                  \
            QSKIP("The Access sample files are not there (" FERULAN_FIXTURES "/access); the Access tests need them."); \
    } while (false)

class tst_CatalogueTool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void exportFile_data();
    void exportFile();

    void readsEachGeneration_data();
    void readsEachGeneration();
    void matchesColumnsByName_data();
    void matchesColumnsByName();
    void csvReader_data();
    void csvReader();
    void csvRoundTrip_data();
    void csvRoundTrip();
    void importsWithAMap_data();
    void importsWithAMap();
    void readsMemosAndConvertsRows();

    void writesAllOrNothing();
    void survivesDamagedAccessFiles_data();
    void survivesDamagedAccessFiles();
    void sourceCutShortWhileImported();
    void demoComesBackThroughTheExport();
    void generateAndCreate();

    void commandLineRefusals_data();
    void commandLineRefusals();
    void importReportsRowsAndWritesTheRest();
    void check_data();
    void check();
    void progressLineOnlyOnATerminal_data();
    void progressLineOnlyOnATerminal();
    void printsToPdf();

private:
    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }
    // The fixtures are read-only; the code under test gets a copy, as any user file.
    QString accessCopy(const QString &file) const
    {
        return QFile::copy(QDir(AccessFolder).filePath(file), path(file)) ? path(file) : QString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_CatalogueTool::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_CatalogueTool::exportFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("reportedLines"); // "line N" of each report, in order

    // Plain records as the program writes them come back in demoComesBackThroughTheExport.
    QTest::newRow("header only") << crlf({Header}) << QStringList() << QStringList();
    QTest::newRow("code labels with their blank and without")
        << crlf({Header, "Transparent;;anglaise;;Exercices de chimie ;;;;A;;B;;C;;D",
                 "Video;;allemande;;Exercices de chimie;;7;;;;;;T;;"})
        << QStringList{"T|E|D|~|A|B|C|D", "V|D|D|7|~|~|T|~"} << QStringList();
    // A bare letter is taken too, but neither a caption nor a letter of another table.
    QTest::newRow("code labels in other letter case, bare letters, unknown")
        << crlf({Header, "PÉRIODIQUE OU JOURNAL;;E;;chimie minérale;;1;;;;;;Un;;", "Livre;;english;;G;;2;;;;;;Deux;;",
                 "Livre;;B;;;;3;;;;;;Trois;;"})
        << QStringList{"Z|E|B|1|~|~|Un|~", "B|~|G|2|~|~|Deux|~", "B|~|~|3|~|~|Trois|~"}
        << QStringList{"line 3", "line 4"};
    QTest::newRow("title over two lines")
        << crlf({Header, "Livre;;française;;Chimie générale et chimie-physique;;3;;Roux;;Delorme;;Chimie",
                 "Tome 2;;978-2", "Logiciel;;;;;;4;;;;;;Tableur;;"})
        << QStringList{"B|F|A|3|Roux|Delorme|Chimie\r\nTome 2|978-2", "L|~|~|4|~|~|Tableur|~"} << QStringList();
    QTest::newRow("author and title broken, one blank line inside")
        << crlf({Header, "Livre;;;;Divers;;5;;Roux,", "Maëlle;;Éd.;;Histoire", "", "de la chimie;;"})
        << QStringList{"B|~|F|5|Roux,\r\nMaëlle|Éd.|Histoire\r\n\r\nde la chimie|~"} << QStringList();
    QTest::newRow("plain line feed inside a value stays")
        << crlf({Header, "Livre;;;;;;1;;;;;;Un\ndeux;;"}) << QStringList{"B|~|~|1|~|~|Un\ndeux|~"} << QStringList();
    QTest::newRow("file with plain line feeds")
        << QByteArray(Header.toLatin1() + "\nLivre;;;;;;1;;;;;;Un;;\nLogiciel;;;;;;2;;;;;;Deux;;\n")
        << QStringList{"B|~|~|1|~|~|Un|~", "L|~|~|2|~|~|Deux|~"} << QStringList();
    QTest::newRow("saved again as UTF-8")
        << QByteArray(Header.toUtf8() + "\r\nLivre;;française;;Pédagogie;;9;;Lefèvre;;;;L'élève;;\r\n")
        << QStringList{"B|F|G|9|Lefèvre|~|L'élève|~"} << QStringList();
    // Each line in its own encoding; the Windows-1252 ones are named.
    QTest::newRow("UTF-8 and Windows-1252 lines mixed")
        << QByteArray(Header.toUtf8() + "\r\nLivre;;;;;;1;;H\xc3\xa9l\xc3\xa8ne;;;;A;;\r\nLivre;;;;;;2;;H\xe9l\xe8ne;;;;B;;\r\n")
        << QStringList{"B|~|~|1|Hélène|~|A|~", "B|~|~|2|Hélène|~|B|~"} << QStringList{"the file mixes encodings"};
    QTest::newRow("unknown labels and numbers")
        << crlf({Header, "Livres;;française;;Chimie organique;;12a;;A;;;;T;;", "Livre;;;;Géologie;;40000;;A;;;;T;;"})
        << QStringList{"~|F|C|~|A|~|T|~", "B|~|~|40000|A|~|T|~"}
        << QStringList{"line 2", "line 2", "line 3", "line 3"};
    // Whole numbers are kept, out of range ones too but with a remark; halves
    // round to even; anything else leaves the field empty, with a remark.
    QTest::newRow("item numbers")
        << crlf({Header, "Livre;;;;;;-32768;;;;;;A;;", "Livre;;;;;;32767;;;;;;A;;", "Livre;;;;;; 12 ;;;;;;A;;",
                 "Livre;;;;;;2.5;;;;;;A;;", "Livre;;;;;;3,5;;;;;;A;;", "Livre;;;;;;-32769;;;;;;A;;",
                 "Livre;;;;;;99999999999999999999;;;;;;A;;", "Livre;;;;;;40000.5;;;;;;A;;"})
        << QStringList{"B|~|~|-32768|~|~|A|~", "B|~|~|32767|~|~|A|~", "B|~|~|12|~|~|A|~", "B|~|~|2|~|~|A|~",
                       "B|~|~|4|~|~|A|~", "B|~|~|-32769|~|~|A|~", "B|~|~|~|~|~|A|~", "B|~|~|~|~|~|A|~"}
        << QStringList{"line 4", "line 5", "line 6", "line 7", "line 8", "line 9"};
    QTest::newRow("piece without its end, then a whole record")
        << crlf({Header, "Livre;;;;;;1;;Auteur", "Logiciel;;;;;;2;;;;;;Deux;;"})
        << QStringList{"L|~|~|2|~|~|Deux|~"} << QStringList{"line 2"};
    QTest::newRow("piece at the end of the file")
        << crlf({Header, "Logiciel;;;;;;2;;;;;;Deux;;", "Livre;;;;;;1;;A;;B"})
        << QStringList{"L|~|~|2|~|~|Deux|~"} << QStringList{"line 3"};
    QTest::newRow("too many fields, stray text")
        << crlf({Header, "Livre;;;;;;1;;;;;;Un;;;;extra", "bonjour", "Logiciel;;;;;;2;;;;;;Deux;;"})
        << QStringList{"L|~|~|2|~|~|Deux|~"} << QStringList{"line 2", "line 3"};
}

void tst_CatalogueTool::exportFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);
    QFETCH(QStringList, reportedLines);
    ExportFileReader reader;
    ImportReport report;
    QStringList read;
    const auto take = [&read](const RecordValues &values, qint64) {
        read << describe(values);
        return true;
    };
    QVERIFY2(reader.read(bytes, report, take), qPrintable(reader.errorString()));
    QCOMPARE(read, records);
    QCOMPARE(reader.recordCount(), qint64(records.size()));
    QStringList where;
    for (const QString &line : report.lines())
        where << line.section(QLatin1Char(':'), 0, 0);
    QVERIFY2(where == reportedLines, qPrintable(report.lines().join(QLatin1Char('\n'))));
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
    // Table names in another letter case than the file's are found too.
    QTest::newRow("Jet 3, accents") << "nwind.mdb" << "Jet 3" << "customers" << 91 << "CompanyName" << 7
                                    << "Blondel père et fils";
    QTest::newRow("Jet 3, accented table name") << "nwind.mdb" << "Jet 3" << "Umsätze" << 830 << "ShipCity" << 3
                                                << "Montréal";
    QTest::newRow("Jet 4, line break in a memo") << "DateTestDatabase.mdb" << "Jet 4" << "DateTest" << 6
                                                 << "LongTextCol" << 6 << "New line\r\nin field";
    QTest::newRow("ACE, text") << "ASampleDatabase.accdb" << "ACE" << "Asset Items" << 65 << "Make" << 1
                               << "GEO Rocket";
    QTest::newRow("ACE, long integer") << "ASampleDatabase.accdb" << "ACE" << "asset items" << 65 << "Warranty" << 1
                                       << "12";
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
    // Through the child process the import reads with.
    IsolatedAccessReader reader;
    QVERIFY2(reader.open(accessCopy(file), table), qPrintable(reader.errorString()));
    QCOMPARE(reader.formatName(), format);
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
    QCOMPARE(reader.errorString(), QString());
}

void tst_CatalogueTool::matchesColumnsByName_data()
{
    const int text = int(AccessReader::ColumnKind::Text);
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QList<int>>("expected"); // column per field PREFIXE..ISBN
    QTest::addColumn<QString>("notesMention"); // or, from "!", the error
    QTest::addColumn<QString>("map");
    QTest::addColumn<int>("key"); // -1: the row key is not taken (an Access table); else expected, as for CSV
    QTest::newRow("letter case and order differ")
        << QStringList{"Numéro", "isbn", "Titre", "auteur", "Editeur", "prefixe", "Langue", "domaine", "numero"}
        << QList<int>(9, text) << QList<int>{5, 6, 7, 8, 3, 4, 2, 1} << "" << "" << -1;
    QTest::newRow("missing fields and an extra column")
        << QStringList{"Compteur", "TITRE", "AUTEUR", "Remarques"} << QList<int>(4, text)
        << QList<int>{-1, -1, -1, -1, 2, -1, 1, -1} << "PREFIXE LANGUE DOMAINE NUMERO EDITEUR ISBN Remarques" << ""
        << -1;
    QTest::newRow("a row key first, a field of a type that cannot be read")
        << QStringList{"ID", "TITRE", "ISBN"}
        << QList<int>{int(AccessReader::ColumnKind::Integer), text, int(AccessReader::ColumnKind::Unsupported)}
        << QList<int>{-1, -1, -1, -1, -1, -1, 1, -1} << "PREFIXE LANGUE DOMAINE NUMERO AUTEUR EDITEUR ISBN" << ""
        << -1;
    QTest::newRow("a field in first place is no row key")
        << QStringList{"TITRE", "Cote"} << QList<int>{text, text} << QList<int>{-1, -1, -1, -1, -1, -1, 0, -1}
        << "PREFIXE LANGUE DOMAINE NUMERO AUTEUR EDITEUR ISBN Cote" << "" << -1;
    // A CSV file's first column is no hidden key: it is named like the others.
    QTest::newRow("CSV: the key by name, a first column that is no key")
        << QStringList{"Cote", "id", "TITRE"} << QList<int>(3, text) << QList<int>{-1, -1, -1, -1, -1, -1, 2, -1}
        << "PREFIXE LANGUE DOMAINE NUMERO AUTEUR EDITEUR ISBN Cote" << "" << 1;
    // The map comes first, the exact spelling before another letter case; the
    // rest is found by name; what the map leaves out is no news.
    QTest::newRow("map, then names")
        << QStringList{"Titre", "titre", "TITRE", "Auteur", "N°", "ISBN", "Photo"}
        << QList<int>{text, text, text, text, text, text, int(AccessReader::ColumnKind::Unsupported)}
        << QList<int>{-1, -1, -1, 3, 4, -1, 1, 5} << "" << "Auteur=NUMERO, N°=AUTEUR,titre=TITRE" << -1;
    QTest::newRow("map to the key") << QStringList{"Numéro", "Titre"} << QList<int>(2, text)
                                    << QList<int>{-1, -1, -1, -1, -1, -1, 1, -1} << "" << "Numéro=ID" << 0;
    QTest::newRow("map naming a missing column") << QStringList{"Titre", "Auteur"} << QList<int>(2, text)
                                                 << QList<int>(8, -1) << "!\"Cote\".*its columns: Titre, Auteur"
                                                 << "Cote=TITRE" << -1;
    QTest::newRow("map naming a column of a type that cannot be read")
        << QStringList{"Photo"} << QList<int>{int(AccessReader::ColumnKind::Unsupported)} << QList<int>(8, -1)
        << "!Photo holds values of type" << "photo=ISBN" << -1;
}

void tst_CatalogueTool::matchesColumnsByName()
{
    QFETCH(QStringList, names);
    QFETCH(QList<int>, kinds);
    QFETCH(QList<int>, expected);
    QFETCH(QString, notesMention);
    QFETCH(QString, map);
    QFETCH(int, key);
    QVector<AccessReader::Column> columns;
    for (int i = 0; i < names.size(); ++i)
        columns.append({names.at(i), AccessReader::ColumnKind(kinds.at(i)), "type"});
    QString error;
    const CatalogueImport::ColumnMap pairs = map.isEmpty() ? CatalogueImport::ColumnMap()
                                                           : CatalogueImport::parseMap(map, &error);
    QCOMPARE(error, QString());
    const CatalogueImport::ColumnMatch match = CatalogueImport::matchColumns(columns, pairs, key >= 0);
    if (notesMention.startsWith('!')) {
        QVERIFY2(match.error.contains(QRegularExpression(notesMention.mid(1))), qPrintable(match.error));
        return;
    }
    QCOMPARE(match.error, QString());
    QCOMPARE(match.key, key);
    for (int position = Catalogue::PREFIXE; position <= Catalogue::ISBN; ++position)
        QCOMPARE(match.columnOf(Catalogue::Field(position)), expected.at(position - 1));
    // One note per field left empty or column left behind, naming it.
    const QStringList mentioned = notesMention.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(match.notes.size(), mentioned.size());
    const QString notes = match.notes.join(" / ");
    for (const QString &name : mentioned)
        QVERIFY2(notes.contains(QRegularExpression("\\b" + name + "\\b")), qPrintable(name + " in: " + notes));
}

void tst_CatalogueTool::csvReader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("records"); // fields joined by "|", up to the error
    QTest::addColumn<QString>("error");       // a pattern, or empty
    const QByteArray bom = CsvFile::ByteOrderMark;
    QTest::newRow("semicolons; a comma inside quotes in the header")
        << QByteArray("\"Titre, tome\";Auteur\r\n\"a;b\";c\r\n") << QStringList{"Titre, tome|Auteur", "a;b|c"} << "";
    QTest::newRow("commas; mark, plain line feeds, line break and quotes inside quotes")
        << QByteArray(bom + "A,B\n\"x\r\ny \"\"z\"\"\",\n\"\"\n") << QStringList{"A|B", "x\r\ny \"z\"|"}
        << "^line 4: 1 fields where the header row has 2$";
    QTest::newRow("last line without its end") << QByteArray("A\r\n\"\"\r\nlast") << QStringList{"A", "", "last"}
                                               << "";
    // The plain stretches of a field are taken a buffer at a time.
    QTest::newRow("one field over several buffers")
        << QByteArray("T\r\n\"" + QByteArray(100000, 'a') + "\"\"" + QByteArray(100000, 'b') + "\"\r\n" +
                      QByteArray(70000, 'c') + "\r\n")
        << QStringList{"T", QString(100000, 'a') + '"' + QString(100000, 'b'), QString(70000, 'c')} << "";
    QTest::newRow("both separators in the header") << QByteArray("A,B;C\r\n") << QStringList() << "^line 1: .*both";
    // The line is the one the quote opens on, counted through a quoted line break.
    QTest::newRow("quote never closed") << QByteArray("A,B\r\n\"1\r\n2\",x\r\n\"3,y\r\n")
                                        << QStringList{"A|B", "1\r\n2|x"} << "^line 4, column 1: .*never closed";
    QTest::newRow("quote inside a plain field") << QByteArray("A,B\r\n1,x\"y\"\r\n") << QStringList{"A|B"}
                                                << "^line 2, column 2: a quote inside";
    QTest::newRow("text after the closing quote") << QByteArray("A\r\n\"x\"y\r\n") << QStringList{"A"}
                                                  << "^line 2, column 1: text after";
    QTest::newRow("not UTF-8") << QByteArray("A;B\r\n;\xe9t\xe9\r\n") << QStringList{"A|B"}
                               << "^line 2, column 2: .*UTF-8";
    QTest::newRow("carriage return alone") << QByteArray("A\r\nx\ry\r\n") << QStringList{"A"}
                                           << "^line 2, column 1: a carriage return";
}

void tst_CatalogueTool::csvReader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, records);
    QFETCH(QString, error);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CsvFile::Reader reader(&buffer);
    QStringList read, fields;
    while (reader.next(&fields))
        read << fields.join('|');
    QCOMPARE(read, records);
    QVERIFY2(error.isEmpty() ? reader.errorString().isEmpty()
                             : reader.errorString().contains(QRegularExpression(error)),
             qPrintable(reader.errorString()));
    QCOMPARE(reader.next(&fields), false);
}

void tst_CatalogueTool::csvRoundTrip_data()
{
    QTest::addColumn<QString>("separator");
    QTest::newRow("comma") << ",";
    QTest::newRow("semicolon") << ";";
}

void tst_CatalogueTool::csvRoundTrip()
{
    QFETCH(QString, separator);
    const QList<Row> traps = {
        {"B", "F", "C", 12, "Dupont; Martin", "Éd. \"Sciences\"", "Chimie,\r\ntome 2", "978-2"},
        {"B", "F", "C", 13, "removed", "", "", ""},
        {" Z ", "f", "A", -32768, "  Roux  ", "\tTab", "Ligne\nseule\rretour", QVariant()},
        Row(8),
        {QVariant(), "É", QVariant(), 40000, "Ωmega α-β", "Издательство", u"化学の基礎 🧪"_qs, u"\uFEFF12"_qs},
        {"=1+2", "ID", "\"", 2.5, ";", ",", "\"\"", "x"},
    };
    const QString source = path("source.db"), csv = path("out.csv"), back = path("back.db");
    QCOMPARE(TestSupport::makeCatalogue(source, traps), QString());
    {
        Database db; // a gap in the keys
        QVERIFY(db.open(source) && db.exec("DELETE FROM Biblio WHERE ID = 2"));
    }
    const ToolRun exported = runTool({"export-csv", source, csv, "--separator", separator});
    QVERIFY2(exported.status == 0 && exported.err.isEmpty(), qPrintable(exported.err));
    const QByteArray bytes = TestSupport::readFile(csv);
    const QStringList header{"\"ID\"", "\"PREFIXE\"", "\"LANGUE\"", "\"DOMAINE\"", "\"NUMERO\"", "\"AUTEUR\"",
                             "\"EDITEUR\"", "\"TITRE\"", "\"ISBN\""};
    QVERIFY(bytes.startsWith(CsvFile::ByteOrderMark + header.join(separator).toUtf8() + "\r\n"));
    const QStringList first{"1", "B", "F", "C", "12", "\"Dupont; Martin\"", "\"Éd. \"\"Sciences\"\"\"",
                            "\"Chimie,\r\ntome 2\"", "978-2"};
    QVERIFY2(bytes.contains("\r\n" + first.join(separator).toUtf8() + "\r\n"), bytes.constData());
    QVERIFY(bytes.contains("\r\n4" + separator.repeated(8).toUtf8() + "\r\n"));
    const ToolRun imported = runTool({"import", csv, back});
    QVERIFY2(imported.status == 0 && imported.err.isEmpty(), qPrintable(imported.err));
    // Keys, values and the type of NUMERO as they were; empty texts come back as NULL.
    QCOMPARE(catalogueRows(back, true), catalogueRows(source, true));
}

void tst_CatalogueTool::importsWithAMap_data()
{
    QTest::addColumn<QString>("source"); // an Access sample file and table, or a CSV text
    QTest::addColumn<QString>("map");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("record"); // that row, as catalogueRows describes it
    QTest::newRow("ACE table") << "ASampleDatabase.accdb:Asset Items" << "Make=AUTEUR, Model=TITRE,Warranty=NUMERO"
                               << 65 << 1 << "~|~|~|12|GEO Rocket|~|220ZX|~";
    QTest::newRow("Jet 3 table") << "nwind.mdb:Customers" << "CompanyName=EDITEUR,CustomerID=ISBN" << 91 << 7
                                 << "~|~|~|~|~|Blondel père et fils|~|BLONP";
    // The unmapped Domaine is still found by name.
    QTest::newRow("CSV with the names of a French spreadsheet")
        << "Titre;Numéro;Domaine\r\nLes gaz;7;A\r\n" << "Titre=TITRE,Numéro=NUMERO" << 1 << 1 << "~|~|A|7|~|~|Les gaz|~";
}

void tst_CatalogueTool::importsWithAMap()
{
    QFETCH(QString, source);
    QFETCH(QString, map);
    QFETCH(int, rows);
    QFETCH(int, row);
    QFETCH(QString, record);
    QStringList arguments{"import", path("s.csv"), path("new.db"), "--map", map};
    if (source.contains(".mdb:") || source.contains(".accdb:")) {
        SKIP_WITHOUT_ACCESS_FILES();
        arguments[1] = accessCopy(source.section(':', 0, 0));
        arguments << "--table" << source.section(':', 1);
    } else {
        QVERIFY(TestSupport::writeFile(arguments[1], source.toUtf8()));
    }
    const ToolRun run = runTool(arguments);
    QVERIFY2(run.status == 0 && run.err.isEmpty(), qPrintable(run.err));
    const QStringList got = catalogueRows(path("new.db"));
    QCOMPARE(got.size(), rows);
    QCOMPARE(got.at(row - 1), record);
}

void tst_CatalogueTool::readsMemosAndConvertsRows()
{
    SKIP_WITHOUT_ACCESS_FILES();
    AccessReader reader;
    QVERIFY(reader.open(accessCopy("nwind.mdb")) && reader.openTable("Employees"));
    const int notes = columnNamed(reader, "Notes"), photo = columnNamed(reader, "Photo");
    QVERIFY(notes >= 0 && photo >= 0);
    QCOMPARE(reader.columns().at(notes).kind, AccessReader::ColumnKind::Text);
    QCOMPARE(reader.columns().at(photo).kind, AccessReader::ColumnKind::Unsupported);
    // A memo is read whole: it ends where its text ends, not at a buffer's edge.
    int longest = 0;
    while (reader.next()) {
        const QString text = reader.text(notes);
        QVERIFY2(!reader.wasCut(notes) && (text.isEmpty() || text.endsWith(QLatin1Char('.'))), qPrintable(text));
        longest = qMax(longest, int(text.size()));
    }
    QVERIFY2(longest > 255, qPrintable(QString::number(longest)));

    // Real Access values through the catalogue's rules: texts, and a
    // currency in NUMERO's place, rounded and reported.
    QVERIFY(reader.openTable("Orders") && reader.next());
    CatalogueImport::ColumnMatch match;
    match.column[Catalogue::NUMERO - 1] = columnNamed(reader, "Freight");
    match.column[Catalogue::AUTEUR - 1] = columnNamed(reader, "ShipName");
    match.column[Catalogue::EDITEUR - 1] = columnNamed(reader, "ShipRegion");
    match.column[Catalogue::TITRE - 1] = columnNamed(reader, "ShipAddress");
    ImportReport report;
    QCOMPARE(describe(CatalogueImport::recordFromAccessRow(reader, match, 1, report)),
             "~|~|~|13|LILA-Supermercado|Lara|Carrera 52 con Ave. Bolívar #65-98 Llano Largo|~");
    QVERIFY2(report.count() == 1 && report.lines().first().startsWith("row 1: NUMERO \"12.7500\""),
             qPrintable(report.lines().join(QLatin1Char('\n'))));
}

void tst_CatalogueTool::writesAllOrNothing()
{
    RecordValues values;
    values.setText(Catalogue::TITRE, "Chimie");
    values[Catalogue::NUMERO] = qint64(1);
    {
        CatalogueWriter writer(path("abandoned.db"));
        QVERIFY(writer.begin());
        // Beside the target, so that the final rename stays on one file system.
        const QFileInfo temporary(writer.temporaryPath());
        QVERIFY(temporary.exists() && temporary.absoluteDir() == QDir(m_dir->path()));
        for (int i = 0; i < 1000; ++i)
            QVERIFY(writer.add(values));
        // Goes out of scope without finish(), as on an error.
    }
    QCOMPARE(folderEntries(m_dir->path()), QStringList());

    // A run stopped from outside while it writes cleans up like a failure.
    QProcess process;
    process.start(QStringLiteral(FERULAN_TOOL), {"generate", "20000000", path("big.db")});
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
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains("interrupted"));
    QCOMPARE(folderEntries(m_dir->path()), QStringList());

    // One killed outright leaves its file, which the next run removes.
    process.start(QStringLiteral(FERULAN_TOOL), {"generate", "20000000", path("big.db")});
    while (folderEntries(m_dir->path()).size() < 2 && timer.elapsed() < 40000) // the file and its journal
        QTest::qWait(5);
    process.kill();
    QVERIFY(process.waitForFinished(60000));
    QVERIFY(!folderEntries(m_dir->path()).isEmpty());
    QCOMPARE(runTool({"create", path("next.db")}).status, 0);
    QCOMPARE(folderEntries(m_dir->path()), QStringList{"next.db"});
    QVERIFY(QFile::remove(path("next.db")));

    // A file that appears while the new one is written is not replaced.
    const QString later = path("later.db");
    CatalogueWriter writer(later);
    QVERIFY(writer.begin() && writer.add(values));
    QVERIFY(TestSupport::writeFile(later, "arrived meanwhile"));
    QVERIFY(!writer.finish());
    QCOMPARE(TestSupport::readFile(later), QByteArray("arrived meanwhile"));
    QCOMPARE(folderEntries(m_dir->path()), QStringList{"later.db"});
}

void tst_CatalogueTool::survivesDamagedAccessFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");
    QTest::newRow("crash") << "segv_hbo_catalog_nwind_Employees.mdb" << "Employees";
    QTest::newRow("crash, default table") << "segv_hbo_catalog_nwind_Employees.mdb" << "";
    QTest::newRow("overflow") << "hbo_nwind_Employees.mdb" << "Employees";
    QTest::newRow("endless warnings") << "flood_hang_asample_AssetItems.accdb" << "Asset Items";
    QTest::newRow("memory without bound") << "memory_nwind_Suppliers.mdb" << "Suppliers";
}

void tst_CatalogueTool::survivesDamagedAccessFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, table);
    const QString source = QStringLiteral(FERULAN_FIXTURES "/damaged-access/") + file;
    if (!QFileInfo::exists(source))
        QSKIP("The damaged Access files are not there (" FERULAN_FIXTURES "/damaged-access).");
    QStringList arguments{"import", source, path("new.db")};
    if (!table.isEmpty())
        arguments << "--table" << table;
    QTemporaryDir errFolder;
    QElapsedTimer timer;
    timer.start();
    const ToolRun run = runTool(arguments, m_dir->path(), QDir(errFolder.path()).filePath("err"));
    QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.startsWith("ferulan-catalogue: damaged Access file " + source)
                 && run.err.endsWith("; nothing was written\n") && run.err.count('\n') == 1,
             qPrintable(run.err));
    QCOMPARE(folderEntries(m_dir->path()), QStringList());
}

void tst_CatalogueTool::sourceCutShortWhileImported()
{
    // Cut while the import still works through the records: it either has
    // the whole file or says it changed, and never dies of it.
    const QString source = path("biblio.txt");
    QVERIFY(TestSupport::writeFile(source, crlf({Header}) + crlf({"Livre;;française;;Divers;;1;;Roux;;;;Chimie;;"})
                                                   .repeated(300000)));
    QProcess process;
    process.start(QStringLiteral(FERULAN_TOOL), {"import", source, path("new.db")});
    QVERIFY(process.waitForStarted());
    QTest::qWait(200);
    QVERIFY(QFile::resize(source, 100));
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (process.exitCode() == 0)
        QCOMPARE(catalogueRows(path("new.db")).size(), 300000);
    else
        QVERIFY2(process.exitCode() == 2 && err.contains("changed while it was read"), qPrintable(err));
}

void tst_CatalogueTool::demoComesBackThroughTheExport()
{
    QStringList expected;
    for (const RecordValues &values : DemoCatalogue::records())
        expected << describe(values);
    QVERIFY(expected.size() >= 180 && expected.size() <= 220);
    // The tool writes it as it is, and the check finds nothing in it: every
    // code, number and text is one the program shows and exports as it is.
    const QString demo = path("demo.db");
    QCOMPARE(runTool({"demo", demo}).status, 0);
    QCOMPARE(catalogueRows(demo), expected);
    QCOMPARE(runTool({"check", demo}).status, 0);

    // The program's own export, imported again.
    const QString exported = path("biblio.txt");
    {
        Database db;
        ForwardRecordset rs;
        QString error;
        QVERIFY(db.open(demo, Database::Mode::ReadOnly) && rs.open(db, "SELECT * FROM Biblio"));
        QVERIFY2(CatalogueExport::Export(rs, ";;", exported, &error), qPrintable(error));
    }
    const ToolRun run = runTool({"import", exported, path("back.db")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QString(": %1 records").arg(expected.size())), qPrintable(run.out));
    // The same records, except that the export writes every ";" as ":"; the
    // titles over two lines come back whole.
    const QStringList got = catalogueRows(path("back.db"));
    QCOMPARE(got, expected.replaceInStrings(";", ":"));
    QVERIFY(got.join(QString()).contains("\r\n"));
}

void tst_CatalogueTool::generateAndCreate()
{
    QCOMPARE(runTool({"generate", "2500", path("g.db"), "--seed=9"}).status, 0);
    const QStringList rows = catalogueRows(path("g.db"));
    // The rows the generator gives for that seed, in that order; another seed gives others.
    SyntheticCatalogue generator(9), other(10);
    QStringList expected, others;
    for (int i = 0; i < 2500; ++i) {
        expected << describe(generator.next());
        others << describe(other.next());
    }
    QCOMPARE(rows, expected);
    QVERIFY(others != rows);
    // The seed may come anywhere, in either spelling; nothing to write makes
    // an empty catalogue.
    QCOMPARE(runTool({"generate", "--seed", "9", "2500", path("g2.db")}).status, 0);
    QCOMPARE(catalogueRows(path("g2.db")), rows);
    const QList<QStringList> emptyRuns = {{"generate", "0", path("none.db")}, {"create", path("new.db")}};
    for (const QStringList &arguments : emptyRuns) {
        QCOMPARE(runTool(arguments).status, 0);
        QCOMPARE(catalogueRows(arguments.last()), QStringList());
    }
}

void tst_CatalogueTool::commandLineRefusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says"); // a pattern
    const auto row = [](const char *tag, const QStringList &arguments, const char *says) {
        QTest::newRow(tag) << arguments << QString::fromUtf8(says);
    };
    row("nothing", {}, "no command");
    row("unknown command", {"make", "x.db"}, "unknown command");
    row("create without file", {"create"}, "create FILE");
    row("count not a number", {"generate", "many", "a.db"}, "N must be");
    row("negative count", {"generate", "-5", "a.db"}, "unknown option");
    row("seed not a number", {"generate", "5", "a.db", "--seed", "x"}, "seed");
    row("seed for another command", {"demo", "a.db", "--seed=3"}, "--seed");
    row("empty table", {"import", "a.txt", "b.db", "--table="}, "--table");
    row("unknown option", {"create", "a.db", "--force"}, "--force");
    row("import without target", {"import", "a.txt"}, "import SOURCE TARGET");
    row("import of nothing", {"import", "missing.txt", "b.db"}, "does not exist");
    row("check of nothing", {"check", "missing.db"}, "does not exist");
    row("print in an unknown order", {"print", "taken.db", "out.pdf", "--order", "COTE"}, "--order takes one of");
    row("into a missing folder", {"create", "no/such/a.db"}, "does not exist");
    const QList<QStringList> overwrites = {{"create"}, {"demo"}, {"generate", "10"}, {"import", "biblio.txt"},
                                           {"export-csv", "catalogue.db"}, {"print", "biblio.txt"}};
    for (const QStringList &command : overwrites)
        row(qPrintable(command.first() + " over a file"), command + QStringList{"taken.db"}, "already exists");
    // An import that fails says why, and that it wrote nothing.
    row("import of no export file", {"import", "notes.txt", "new.db"}, "header.*; nothing was written");
    // A malformed CSV file is refused where it goes wrong, and nothing is guessed.
    row("CSV, no number", {"import", "numero.csv", "new.db"},
        "numero.csv, line 4, column 3 \\(NUMERO\\): \"douze\" is not a number.*; nothing was written$");
    row("CSV, key twice", {"import", "keys.csv", "new.db"}, "line 3, column 1 \\(ID\\): the key 5 is taken");
    row("CSV, a field short", {"import", "ragged.csv", "new.db"}, "ragged.csv, line 2: 1 fields where .* 2");
    row("CSV without a field", {"import", "other.csv", "new.db"}, "no column of other.csv .*--map");
    row("map without =", {"import", "other.csv", "new.db", "--map", "Cote"}, "COLUMN=FIELD pairs");
    row("map to no field", {"import", "other.csv", "new.db", "--map", "Cote=TITLE"}, "\"TITLE\" is not a catalogue");
    row("map of a field twice", {"import", "other.csv", "new.db", "--map", "Cote=TITRE,Note=titre"}, "TITRE twice");
    row("map of a missing column", {"import", "other.csv", "new.db", "--map", "Titre=TITRE"},
        "\"Titre\", which the source does not have; its columns: Cote, Note");
    row("map of an export file", {"import", "biblio.txt", "new.db", "--map", "A=TITRE"}, "--map applies");
    row("other separator", {"export-csv", "catalogue.db", "new.csv", "--separator", "|"}, "--separator");
    row("import of an empty file", {"import", "empty.txt", "new.db"}, "empty.*; nothing was written");
    row("import of a catalogue", {"import", "catalogue.db", "new.db"}, "already a catalogue.*; nothing was written");
    row("table option on a text file", {"import", "biblio.txt", "new.db", "--table", "Biblio"},
        "Access files only.*; nothing was written");
    // The missing table's message lists the file's tables.
    row("Access file without Biblio", {"import", "nwind.mdb", "new.db"}, "Umsätze.*; nothing was written");
    row("Access table without any field", {"import", "ASampleDatabase.accdb", "new.db", "--table", "Asset Items"},
        "no column.*; nothing was written");
}

void tst_CatalogueTool::commandLineRefusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    if (!arguments.filter(QRegularExpression("\\.(mdb|accdb)$")).isEmpty())
        SKIP_WITHOUT_ACCESS_FILES();
    // A folder with one file of each kind; relative names land there.
    const QList<QPair<QString, QByteArray>> files = {
        {"biblio.txt", crlf({Header})}, {"taken.db", "an existing catalogue"}, {"empty.txt", ""},
        {"notes.txt", "Titre,Auteur\r\nChimie,Roux\r\n"}, {"other.csv", "Cote,Note\r\nx,y\r\n"},
        {"numero.csv", "ID,TITRE,NUMERO\r\n1,\"Deux\r\nlignes\",3\r\n2,Trois,douze\r\n"},
        {"keys.csv", "ID;TITRE\r\n5;A\r\n5;B\r\n"}, {"ragged.csv", "TITRE,ISBN\r\nA\r\n"},
        {"catalogue.db", QByteArray("SQLite format 3\0\x10\0\x01\x01", 20)}};
    for (const auto &file : files)
        QVERIFY(TestSupport::writeFile(path(file.first), file.second));
    if (QFileInfo::exists(AccessFolder))
        QVERIFY(!accessCopy("nwind.mdb").isEmpty() && !accessCopy("ASampleDatabase.accdb").isEmpty());
    const QStringList before = folderEntries(m_dir->path());

    const ToolRun run = runTool(arguments, m_dir->path());
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(run.err.startsWith("ferulan-catalogue: ") && run.err.contains(QRegularExpression(says)),
             qPrintable(run.err));
    QCOMPARE(run.out, QString());
    QCOMPARE(folderEntries(m_dir->path()), before);
    QCOMPARE(TestSupport::readFile(path("taken.db")), QByteArray("an existing catalogue"));
}

void tst_CatalogueTool::importReportsRowsAndWritesTheRest()
{
    // A control character in a report would garble the terminal; it shows as U+FFFD.
    const QString source = path("biblio.txt");
    QVERIFY(TestSupport::writeFile(source, crlf({Header, "Livre;;française;;Chimie organique;;12;;Dupont;;;;Chimie;;",
                                                 "Dis\x07que;;française;;Chimie organique;;13;;Durand;;;;Chimie 2;;",
                                                 "Livre;;anglaise;;Divers;;x14;;Martin;;;;Chimie 3;;"})));
    const QString target = path("new.db");
    const ToolRun run = runTool({"import", source, target});
    QCOMPARE(run.status, 1);
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3); // two rows, then the closing remark
    QVERIFY2(lines.at(0).contains(u"line 3: PREFIXE \"Dis\uFFFDque\""), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains("line 4: NUMERO \"x14\""), qPrintable(lines.at(1)));
    QCOMPARE(catalogueRows(target), (QStringList{"B|F|C|12|Dupont|~|Chimie|~", "~|F|C|13|Durand|~|Chimie 2|~",
                                                 "B|E|F|~|Martin|~|Chimie 3|~"}));
}

void tst_CatalogueTool::check_data()
{
    QTest::addColumn<QList<Row>>("rows"); // the file is a catalogue with these rows,
    QTest::addColumn<QString>("schema");  // or an engine file with this table,
    QTest::addColumn<QByteArray>("bytes"); // or these bytes
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("says"); // "!": does not say

    const QList<Row> problems = {
        {"B", "F", "C", 1, "Roux", "Delorme", "Sans problème", "978-2"},    // ID 1: fine
        {"b", "F", "C", 2, "Roux", "Delorme", "Lower case", ""},             // ID 2: code
        {"B", "X", "C", 3, "Roux", "Delorme", "Outside the table", ""},      // ID 3: code
        {" Z ", "F", " A", 4, "Roux", "", "Blanks", ""},                      // ID 4: two codes
        {"B", "F", "C", 40000, "Roux", "", "Too large", ""},                 // ID 5: NUMERO
        {"B", "F", "C", "12a", "Roux", "", "Letters", ""},                   // ID 6: NUMERO
        {"B", "F", "C", 2.5, "Roux", "", "Half", ""},                        // ID 7: fine
        Row(8),                                                                // ID 8: skipped by the export
        {"", "", "", QVariant(), QVariant(), QVariant(), QVariant(), "978-3"}, // ID 9: skipped
        {"x", "", "", 5, QVariant(), QVariant(), QVariant(), QVariant()},    // ID 10: code, not skipped
        {"B", "F", "C", 6, "Roux", "", QString(300, QLatin1Char('x')), ""},  // ID 11: text
        {"B", "F", "C", 7, "Ωmega", "", "α-Aminoacides", ""},                // ID 12: two texts
    };
    // The closing count leaves no room for a finding about ID 1 or ID 7.
    QTest::newRow("each kind of problem in the records")
        << problems << "" << QByteArray() << 1
        << QStringList{"ID 2 (NUMERO 2, TITRE \"Lower case\"): PREFIXE \"b\" is in lower case", "ID 3 (",
                       "LANGUE \"X\" is not one of its codes (D, F, E)", "ID 4 (", "PREFIXE \" Z \" has blanks",
                       "DOMAINE \" A\" has blanks", "ID 5 (NUMERO 40000", "NUMERO \"12a\" is refused",
                       "ID 8: the export leaves this record out", "ID 9: the export leaves",
                       "ID 10 (NUMERO 5): PREFIXE \"x\"", "ID 11 (", "TITRE has 300 characters", "ID 12 (",
                       "AUTEUR holds characters", "TITRE holds characters",
                       "\n12 records checked: 12 problems (5 with code letters, 2 with NUMERO, 2 left out by the "
                       "export, 3 with texts)\n"};
    // The ISSN on two anonymous records is neither an ISBN nor a book entered twice.
    const QList<Row> books = {
        {"B", "F", "C", 1, "Béguin, Anne", "", "Chimie générale", "2-7000-0107-3"},
        {"B", "F", "C", 2, " beguin,  ANNE", "", "CHIMIE GENERALE", "978-0-306-40615-7"},
        {"B", "F", "C", 3, "Martin", "", "Les gaz", "978 0 306 40615 7"},
        {"B", "F", "C", 4, "", "", "Chimie générale", "0317-8471"},
        {"B", "F", "C", 5, "", "", "Chimie générale", "0317-8471"},
    };
    QTest::newRow("ISBN check digit, shared ISBN, duplicates")
        << books << "" << QByteArray() << 1
        << QStringList{"ID 1 (NUMERO 1, TITRE \"Chimie générale\"): ISBN \"2-7000-0107-3\" has a wrong check digit; "
                       "it should end in 9\n",
                       "ISBN 9780306406157 is on 2 records: ID 2, ID 3\n",
                       "ID 1, ID 2 look like one book", "!ID 4, ID 5", "!03178471",
                       "\n5 records checked: 3 problems (1 with ISBN check digits, 1 with ISBNs shared, 1 with possible "
                       "duplicates)\n"};
    QTest::newRow("no Biblio table") << QList<Row>() << "CREATE TABLE Livres (ID INTEGER PRIMARY KEY, TITRE TEXT)"
                                     << QByteArray() << 1 << QStringList{"no table Biblio", "Livres"};
    QTest::newRow("missing fields")
        << QList<Row>()
        << "CREATE TABLE Biblio (ID INTEGER PRIMARY KEY, PREFIXE TEXT, LANGUE TEXT, DOMAINE TEXT, NUMERO INTEGER, "
           "AUTEUR TEXT, TITRE TEXT)"
        << QByteArray() << 1 << QStringList{"no field EDITEUR", "no field ISBN", "TITRE is in column 6"};
    // The engine's name for the row key taken by a column: one edit could reach several rows.
    const QString fields = "PREFIXE TEXT, LANGUE TEXT, DOMAINE TEXT, NUMERO INTEGER, AUTEUR TEXT, EDITEUR TEXT, "
                           "TITRE TEXT, ISBN TEXT";
    QTest::newRow("a column named rowid") << QList<Row>() << "CREATE TABLE Biblio (rowid INTEGER, " + fields + ")"
                                          << QByteArray() << 1 << QStringList{"column named rowid", "_rowid_"};
    QTest::newRow("no row key left") << QList<Row>()
                                     << "CREATE TABLE Biblio (RowId INTEGER, " + fields + ", oid TEXT, _ROWID_ TEXT)"
                                     << QByteArray() << 1 << QStringList{"the program refuses this file"};
    QTest::newRow("fields out of order and one too many")
        << QList<Row>()
        << "CREATE TABLE biblio (ID INTEGER PRIMARY KEY, LANGUE TEXT, PREFIXE TEXT, DOMAINE TEXT, NUMERO INTEGER, "
           "AUTEUR TEXT, EDITEUR TEXT, TITRE TEXT, ISBN TEXT, COTE TEXT)"
        << QByteArray() << 1 << QStringList{"LANGUE is in column 1", "PREFIXE is in column 2", "past ISBN", "COTE"};

    // An Access file is told by its first page, whatever its name.
    const QStringList access{"is an Access database file", "ferulan-catalogue import "};
    const QStringList foreign{"not a catalogue file"};
    const auto page = [](const char *head) { return QByteArray(head, 24) + QByteArray(2048, '\0'); };
    QTest::newRow("Jet file") << QList<Row>() << "" << page("\0\1\0\0Standard Jet DB\0\1\0\0\0") << 1 << access;
    QTest::newRow("ACE file") << QList<Row>() << "" << page("\0\1\0\0Standard ACE DB\0\2\0\0\0") << 1 << access;
    QTest::newRow("name without the page start") << QList<Row>() << "" << page("....Standard Jet DB\0....") << 2
                                                 << foreign;
    QTest::newRow("other engine") << QList<Row>() << "" << page("\0\1\0\0Standard Xyz DB\0\1\0\0\0") << 2 << foreign;
    QTest::newRow("text file") << QList<Row>() << "" << QByteArray("quelques notes\n") << 2 << foreign;
    // Said as it is, not as a file that is no catalogue, and left as it is, its journal too.
    QTest::newRow("half-written") << QList<Row>() << "half-written" << QByteArray() << 2
                                  << QStringList{"left half-written", "biblio.db-journal", "!readonly"};
}

void tst_CatalogueTool::check()
{
    QFETCH(QList<Row>, rows);
    QFETCH(QString, schema);
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QStringList, says);
    const QString file = path("biblio.db");
    if (!rows.isEmpty()) {
        QCOMPARE(TestSupport::makeCatalogue(file, rows), QString());
    } else if (schema == "half-written") {
        QCOMPARE(TestSupport::makeHalfWrittenCatalogue(file), QString());
    } else if (!schema.isEmpty()) {
        Database db;
        QVERIFY(db.create(file));
        QVERIFY2(db.exec(schema), qPrintable(db.lastError().text));
    } else {
        QVERIFY(TestSupport::writeFile(file, bytes));
    }
    const QByteArray before = TestSupport::readFile(file);
    const QStringList entries = folderEntries(m_dir->path());

    const ToolRun run = runTool({"check", file});
    QCOMPARE(run.status, status);
    for (const QString &text : says)
        QVERIFY2((run.out + run.err).contains(QString(text).remove(QRegularExpression("^!"))) != text.startsWith('!'),
                 qPrintable(text + "\n" + run.out + run.err));
    // It changes nothing.
    QCOMPARE(TestSupport::readFile(file), before);
    QCOMPARE(folderEntries(m_dir->path()), entries);
}

void tst_CatalogueTool::progressLineOnlyOnATerminal_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QString>("line");
    for (const bool terminal : {false, true}) {
        const char *where = terminal ? " on a terminal" : " into a pipe";
        QTest::addRow("generate%s", where) << "generate 2000" << terminal << "\rgenerate: 1 of 2000 (0%)\x1b[K";
        // The remark about the second row takes the line away first.
        QTest::addRow("import%s", where) << "import source.txt" << terminal << "\rimport: 1\x1b[K\r\x1b[K";
    }
}

void tst_CatalogueTool::progressLineOnlyOnATerminal()
{
    QFETCH(QString, command);
    QFETCH(bool, terminal);
    QFETCH(QString, line);
    QVERIFY(TestSupport::writeFile(path("source.txt"), crlf({Header, "Livre;;;;;;1;;A;;;;T;;", ";;;;;;douze;;B;;;;U;;"})));
    // script gives the tool a terminal of its own.
    const QString tool = QStringLiteral(FERULAN_TOOL " ") + command + " new.db";
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(terminal ? "script" : "sh", {terminal ? "-qc" : "-c", tool, terminal ? "/dev/null" : ""});
    QVERIFY2(process.waitForFinished(60000), "script (package bsdutils) is missing");
    const QString all = QString::fromUtf8(process.readAll());
    QVERIFY2(all.contains("new.db: "), qPrintable(all));
    QCOMPARE(all.contains(line), terminal);
    QCOMPARE(all.contains("\x1b"), terminal);
    // Nothing remains of the line once the command is done.
    QVERIFY(all.lastIndexOf("\r\x1b[K") >= all.lastIndexOf(QRegularExpression("(generate|import): \\d")));
}

// The whole catalogue as a PDF table: every record once, in the order asked
// for, the codes spelled out, and each page numbered out of the total.
void tst_CatalogueTool::printsToPdf()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty() || QStandardPaths::findExecutable("pdfinfo").isEmpty())
        QSKIP("pdftotext and pdfinfo (Debian package poppler-utils) are needed to read the PDF back.");
    QList<TestSupport::Row> rows;
    for (int i = 119; i >= 0; --i)
        rows << TestSupport::Row{i % 2 ? "Z" : "q", "D", "G", i, "Auteur", "", QString("Titre %1").arg(i, 3, 10, QChar('0')), ""};
    QCOMPARE(TestSupport::makeCatalogue(path("c.db"), rows), QString());
    const ToolRun run = runTool({"print", path("c.db"), path("c.pdf"), "--order", "TITRE"});
    QCOMPARE(run.status, 0);
    QProcess info;
    info.start("pdfinfo", {path("c.pdf")});
    QVERIFY(info.waitForFinished());
    const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(info.readAllStandardOutput());
    QVERIFY(pages.hasMatch());
    const int pageCount = pages.captured(1).toInt();
    QVERIFY2(pageCount > 1 && run.out.contains(QString("120 records on %1 pages").arg(pageCount)), qPrintable(run.out));

    QProcess text;
    text.start("pdftotext", {"-layout", path("c.pdf"), "-"});
    QVERIFY(text.waitForFinished());
    const QStringList pageTexts = QString::fromUtf8(text.readAllStandardOutput()).split('\f', Qt::SkipEmptyParts);
    QCOMPARE(pageTexts.size(), pageCount);
    QStringList titles;
    for (int i = 0; i < pageCount; ++i) {
        const QString &page = pageTexts.at(i);
        QVERIFY(page.contains(QRegularExpression("PREFIXE +LANGUE +DOMAINE +NUMERO +AUTEUR +EDITEUR +TITRE +ISBN")));
        QVERIFY2(page.contains(QString("Page %1 / %2").arg(i + 1).arg(pageCount)), qPrintable(page));
        for (const QRegularExpressionMatch &match : QRegularExpression("Titre \\d{3}").globalMatch(page))
            titles << match.captured();
    }
    QStringList expected;
    for (int i = 0; i < 120; ++i)
        expected << QString("Titre %1").arg(i, 3, 10, QChar('0'));
    QCOMPARE(titles, expected);
    // A known letter prints its caption; an unknown one as stored.
    QVERIFY(pageTexts.first().contains(QRegularExpression("q +deutsch +Pédagogie +0 ")));
    QVERIFY(pageTexts.first().contains(QRegularExpression("périodique ou journal +deutsch +Pédagogie +1 ")));
}

QTEST_GUILESS_MAIN(tst_CatalogueTool)
#include "tst_catalogue_tool.moc"
