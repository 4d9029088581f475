// Measures the catalogue's speed and memory on a large file, through the
// program's own classes. One line per scenario: name, records, median
// milliseconds over the runs, and the process's peak resident memory so far.
//
//   ferulan-bench CATALOGUE [--runs N] [--no-window]
//
// With DISPLAY set (Xvfb), the program itself is also started from its
// catalogue to its first record shown. The export of a file is compared with
// the SQLite shell (sqlite3) ordering the same rows into /dev/null, in the
// same run.
//
// CATALOGUE is a file or a server's database (postgresql://...). It is
// changed by the add and delete scenarios (one record added, then deleted
// again): run it on a generated catalogue, not on a real one.

#include "catalogue/CatalogueExport.h"
#include "catalogue/DataControl.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"
#include "catalogue/Module1.h"
#include "dialogs/frmSearch.h"
#include "Bench.h"
#include "WindowScenarios.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const QString &what, const DataError &error)
{
    if (!ok)
        benchFailed(what + QLatin1String(": ") + error.text);
}

// The size of the catalogue, for the report.
int recordsIn(const QString &file)
{
    Database db;
    require(db.open(file, Database::Mode::ReadOnly), QStringLiteral("open"), db.lastError());
    auto count = db.prepare(QLatin1String("SELECT count(*) FROM ") + Database::quoteName(QStringLiteral("Biblio")));
    if (!count || count->step() != Statement::Step::Row)
        benchFailed(db.lastError().text);
    return int(count->int64(0));
}

void dataScenarios(Bench &bench, const QString &file)
{
    DataControl data;
    Module1 module(data);
    module.TableName = QStringLiteral("Biblio");
    data.setDatabaseName(file);
    volatile int sink = 0;
    require(module.ComposeQuery(), QStringLiteral("query"), data.lastError());

    bench.scenario("open + first query (AUTEUR)", nullptr, [&] {
        DataControl fresh;
        Module1 m(fresh);
        m.TableName = QStringLiteral("Biblio");
        m.OrderClause = QStringLiteral("ORDER BY AUTEUR");
        fresh.setDatabaseName(file);
        require(m.ComposeQuery(), QStringLiteral("first query"), fresh.lastError());
        sink = sink + fresh.Recordset().value(5).toString().size();
    });

    for (const char *field : {"NUMERO", "AUTEUR", "EDITEUR", "TITRE", "ISBN"}) {
        const QString name = QStringLiteral("order by %1").arg(QLatin1String(field));
        bench.scenario(name.toUtf8().constData(), nullptr, [&] {
            module.OrderClause = QStringLiteral("ORDER BY ") + QLatin1String(field);
            require(module.ComposeQuery(), QStringLiteral("order"), data.lastError());
            sink = sink + data.Recordset().value(5).toString().size();
        });
    }

    module.OrderClause = QStringLiteral("ORDER BY AUTEUR");
    bench.scenario("search TITRE *chimie*", nullptr, [&] {
        module.FilterClause.clear();
        module.SearchClause = QStringLiteral("TITRE LIKE '*chimie*'");
        require(module.ComposeQuery(), QStringLiteral("search"), data.lastError());
    });
    bench.scenario("search TITRE *chimie* sans accents", nullptr, [&] {
        module.FilterClause.clear();
        module.SearchClause = frmSearch::searchCondition(QStringLiteral("TITRE"), QStringLiteral("chimie"), true);
        require(module.ComposeQuery(), QStringLiteral("search, accents ignored"), data.lastError());
    });
    bench.scenario("search + filter of two languages", nullptr, [&] {
        module.FilterClause = QStringLiteral("WHERE (LANGUE = 'F' OR LANGUE = 'E')");
        module.SearchClause = QStringLiteral("TITRE LIKE '*chimie*'");
        require(module.ComposeQuery(), QStringLiteral("search + filter"), data.lastError());
    });

    module.FilterClause.clear();
    module.SearchClause.clear();
    require(module.ComposeQuery(), QStringLiteral("query"), data.lastError());
    RecordSet &rs = data.Recordset();

    bench.scenario("MoveLast", [&] { rs.MoveFirst(); }, [&] {
        require(rs.MoveLast(), QStringLiteral("MoveLast"), rs.lastError());
        sink = sink + rs.value(5).toString().size();
    });

    QRandomGenerator random(42);
    int page = 0;
    bench.scenario("page of 50 rows anywhere", [&] { page = int(random.bounded(std::max(1, rs.recordCount() - 50))); },
                   [&] {
                       for (int row = page; row < std::min(page + 50, rs.recordCount()); ++row)
                           for (int field = 1; field < rs.fieldCount(); ++field)
                               sink = sink + rs.valueAt(row, field).toString().size();
                   });

    std::vector<RecordSet::Bookmark> added;
    bench.scenario("AddNew + Update + MoveLast", nullptr, [&] {
        require(rs.AddNew() && rs.Update() && rs.MoveLast(), QStringLiteral("add"), rs.lastError());
        added.push_back(*rs.bookmark());
    });
    std::size_t next = 0;
    bench.scenario("Delete", [&] { rs.setBookmark(added.at(next++)); }, [&] {
        require(rs.Delete(), QStringLiteral("delete"), rs.lastError());
    });

    QTemporaryDir exportDir;
    const QString exportFile = exportDir.filePath(QStringLiteral("biblio.txt"));
    const double exported = bench.scenario("export to biblio.txt", nullptr, [&] {
        Database db;
        require(db.open(file, Database::Mode::ReadOnly), QStringLiteral("export open"), db.lastError());
        QString error;
        if (CatalogueExport::ExportQuery(db, QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE"),
                                         QStringLiteral(";;"), exportFile, &error)
            != CatalogueExport::Outcome::Written)
            benchFailed(error);
    });
    {
        // The export orders on its own: its bytes must be those of the
        // engine's ordering.
        Database db;
        require(db.open(file, Database::Mode::ReadOnly), QStringLiteral("export open"), db.lastError());
        ForwardRecordset records;
        require(records.open(db, QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE")),
                QStringLiteral("export query"), records.lastError());
        const QString engineFile = exportDir.filePath(QStringLiteral("engine.txt"));
        QString error;
        if (!CatalogueExport::Export(records, QStringLiteral(";;"), engineFile, &error))
            benchFailed(error);
        QFile a(exportFile);
        QFile b(engineFile);
        if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
            benchFailed(QStringLiteral("cannot read the exports back"));
        while (!a.atEnd() || !b.atEnd()) {
            if (a.read(1 << 20) != b.read(1 << 20))
                benchFailed(QStringLiteral("the export differs from the engine's ordering"));
        }
    }
    // The engine's own shell ordering the same rows, as the yardstick.
    const bool server = Database::isServerName(file);
    const char *shellName = server ? "psql ORDER BY DOMAINE" : "sqlite3 shell ORDER BY DOMAINE";
    const double shell = bench.scenario(shellName, nullptr, [&] {
        QProcess shellProcess;
        shellProcess.setStandardOutputFile(QProcess::nullDevice());
        shellProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (server)
            shellProcess.start(QStringLiteral("psql"), {QStringLiteral("-XAtq"), QStringLiteral("-d"), file,
                                                       QStringLiteral("-c"),
                                                       QStringLiteral("SELECT * FROM \"Biblio\" ORDER BY \"DOMAINE\"")});
        else
            shellProcess.start(QStringLiteral("sqlite3"), {file, QStringLiteral("SELECT * FROM Biblio ORDER BY DOMAINE")});
        if (!shellProcess.waitForFinished(120000) || shellProcess.exitStatus() != QProcess::NormalExit
            || shellProcess.exitCode() != 0)
            benchFailed(QStringLiteral("the engine's shell failed (Debian package sqlite3, or postgresql-client)"));
    });
    bench.measure(server ? "export / psql" : "export / sqlite3 shell", shell > 0 ? exported / shell : 0.0, "x");
}

} // namespace

void benchFailed(const QString &message)
{
    std::fprintf(stderr, "ferulan-bench: %s\n", qPrintable(message));
    std::exit(1);
}

int main(int argc, char **argv)
{
    // The window scenarios need no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the catalogue's speed and memory."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("CATALOGUE"),
                                 QStringLiteral("a generated catalogue: a file, or a server's postgresql://..."));
    QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("timed runs per scenario (5)"),
                            QStringLiteral("N"), QStringLiteral("5"));
    QCommandLineOption noWindow(QStringLiteral("no-window"), QStringLiteral("skip the window scenarios"));
    parser.addOption(runs);
    parser.addOption(noWindow);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        benchFailed(QStringLiteral("give one catalogue (see --help)"));

    const QString file = parser.positionalArguments().first();
    if (!Database::isServerName(file) && !QFileInfo(file).isFile())
        benchFailed(QStringLiteral("no such file: ") + file);
    Bench bench;
    bench.runs = std::max(1, parser.value(runs).toInt());
    bench.records = recordsIn(file);
    Bench::header();
    if (!parser.isSet(noWindow)) {
        WindowScenarios::runFromExec(file, bench);
        // First, so that the peak is the window's own.
        WindowScenarios::run(file, bench);
        bench.measure("peak resident (window)", Bench::peakResidentMB(), "MB");
    }
    dataScenarios(bench, file);
    return 0;
}
