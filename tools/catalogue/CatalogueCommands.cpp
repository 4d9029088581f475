#include "CatalogueCommands.h"

#include "CatalogueChecker.h"
#include "CatalogueImport.h"
#include "CatalogueWriter.h"
#include "DemoCatalogue.h"
#include "SyntheticCatalogue.h"
#include "TerminalProgress.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <optional>

namespace CatalogueCommands {

namespace {

const QString Program = QStringLiteral("ferulan-catalogue");

struct CommandLine {
    QString command;
    QStringList positionals;
    std::optional<QString> seed;
    std::optional<QString> table;
    bool help = false;
};

// Splits the arguments; options may come anywhere, as "--name value" or
// "--name=value". Returns an error text, or nothing.
QString parse(const QStringList &arguments, CommandLine *line)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line->help = true;
            continue;
        }
        if (argument == QLatin1String("--")) {
            line->positionals += arguments.mid(i + 1);
            break;
        }
        if (argument.startsWith(QLatin1String("--"))) {
            const int equals = argument.indexOf(QLatin1Char('='));
            const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
            std::optional<QString> *target = nullptr;
            if (name == QLatin1String("seed"))
                target = &line->seed;
            else if (name == QLatin1String("table"))
                target = &line->table;
            else
                return QStringLiteral("unknown option %1").arg(argument);
            if (equals >= 0) {
                *target = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                *target = arguments.at(++i);
            } else {
                return QStringLiteral("--%1 needs a value").arg(name);
            }
            continue;
        }
        if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1)
            return QStringLiteral("unknown option %1").arg(argument);
        if (line->command.isEmpty())
            line->command = argument;
        else
            line->positionals << argument;
    }
    return QString();
}

int failWith(QTextStream &err, const QString &message)
{
    err << Program << ": " << message << Qt::endl;
    return Failed;
}

int usageError(QTextStream &err, const QString &message)
{
    return failWith(err, message + QStringLiteral(" (see %1 --help)").arg(Program));
}

bool expect(const CommandLine &line, int count, const char *shape, QTextStream &err, int *status)
{
    if (line.positionals.size() == count)
        return true;
    *status = usageError(err, QStringLiteral("usage: %1 %2").arg(Program, QLatin1String(shape)));
    return false;
}

template <typename Fill>
int writeCatalogue(const QString &path, QTextStream &out, QTextStream &err, const QString &what, Fill fill,
                   TerminalProgress *progress = nullptr)
{
    QElapsedTimer timer;
    timer.start();
    CatalogueWriter writer(path);
    if (progress)
        writer.setRowWritten([progress](qint64 rows) { progress->update(rows); });
    const bool written = writer.begin() && fill(writer) && writer.finish();
    if (progress)
        progress->clear();
    if (!written)
        return failWith(err, writer.errorString());
    out << QStringLiteral("%1: %2 records (%3) in %4 s")
               .arg(path)
               .arg(writer.rowCount())
               .arg(what)
               .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1)
        << Qt::endl;
    return Done;
}

std::optional<quint64> parseCount(const QString &text)
{
    if (text.isEmpty() || text.size() > 19)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    return ok ? std::optional<quint64>(value) : std::nullopt;
}

int create(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 1, "create FILE", err, &status))
        return status;
    return writeCatalogue(line.positionals.at(0), out, err, QStringLiteral("empty catalogue"),
                          [](CatalogueWriter &) { return true; });
}

int demo(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 1, "demo FILE", err, &status))
        return status;
    return writeCatalogue(line.positionals.at(0), out, err, QStringLiteral("demo catalogue"),
                          [](CatalogueWriter &writer) {
                              for (const RecordValues &values : DemoCatalogue::records()) {
                                  if (!writer.add(values))
                                      return false;
                              }
                              return true;
                          });
}

int generate(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 2, "generate N FILE [--seed S]", err, &status))
        return status;
    const std::optional<quint64> count = parseCount(line.positionals.at(0));
    if (!count || *count > 100000000)
        return usageError(err, QStringLiteral("N must be a whole number from 0 to 100000000, not \"%1\"")
                                   .arg(line.positionals.at(0)));
    quint64 seed = 1;
    if (line.seed) {
        const std::optional<quint64> parsed = parseCount(*line.seed);
        if (!parsed)
            return usageError(err, QStringLiteral("the seed must be a whole number, not \"%1\"").arg(*line.seed));
        seed = *parsed;
    }
    TerminalProgress progress(QStringLiteral("generate"), qint64(*count));
    return writeCatalogue(
        line.positionals.at(1), out, err, QStringLiteral("synthetic, seed %1").arg(seed),
        [&](CatalogueWriter &writer) {
            SyntheticCatalogue generator(seed);
            for (quint64 i = 0; i < *count; ++i) {
                if (!writer.add(generator.next()))
                    return false;
            }
            return true;
        },
        &progress);
}

int import(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 2, "import SOURCE TARGET [--table NAME]", err, &status))
        return status;
    if (line.table && line.table->isEmpty())
        return usageError(err, QStringLiteral("--table needs a table name"));
    const QString &source = line.positionals.at(0);
    const QString &target = line.positionals.at(1);
    TerminalProgress progress(QStringLiteral("import"), 0);
    ImportReport report(QStringLiteral("row"), [&err, &source, &progress](const QString &text) {
        progress.clear();
        err << source << ": " << text << Qt::endl;
    });
    const CatalogueImport::Result result = CatalogueImport::run(source, target, line.table.value_or(QString()), report,
                                                                [&progress](qint64 rows) { progress.update(rows); });
    progress.clear();
    if (!result.written)
        return failWith(err, QStringLiteral("%1; nothing was written").arg(result.error));
    out << QStringLiteral("%1: %2 records from %3, %4").arg(target).arg(result.rows).arg(source, result.sourceDescription)
        << Qt::endl;
    if (!report.isEmpty()) {
        err << Program << ": " << report.count() << " remarks about " << source
            << " above; the rows were taken as described there" << Qt::endl;
        return Reported;
    }
    return Done;
}

int check(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 1, "check FILE", err, &status))
        return status;
    CatalogueChecker checker;
    const bool ok = checker.check(line.positionals.at(0), [&out](const QString &text) { out << text << '\n'; });
    if (!ok)
        return failWith(err, checker.errorString());
    out << checker.summary() << Qt::endl;
    return checker.counts().problems() == 0 ? Done : Reported;
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "Usage: ferulan-catalogue COMMAND ...\n"
        "Creates, fills, imports and checks the catalogue files of Ferulan.\n"
        "\n"
        "  create FILE                          a new, empty catalogue\n"
        "  demo FILE                            the demo catalogue: about 200 items of a chemistry library\n"
        "  generate N FILE [--seed S]           a synthetic catalogue of N records, the same for the same seed\n"
        "  import SOURCE TARGET [--table NAME]  a new catalogue TARGET from an Access database (.mdb, .accdb;\n"
        "                                       its table Biblio unless --table names another) or from the\n"
        "                                       program's export file biblio.txt\n"
        "  check FILE                           what the program would stumble on in a catalogue; changes nothing\n"
        "\n"
        "No command replaces an existing file, and a command that fails leaves no file behind.\n"
        "Import reports on standard error each row it could not take as it is.\n"
        "\n"
        "Exit status: 0 done; 1 done, with rows or problems reported; 2 failed, nothing written.\n");
}

bool writesFile(const QStringList &arguments)
{
    CommandLine line;
    if (!parse(arguments, &line).isEmpty() || line.help)
        return false;
    return line.command == QLatin1String("create") || line.command == QLatin1String("demo")
        || line.command == QLatin1String("generate") || line.command == QLatin1String("import");
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    CommandLine line;
    const QString error = parse(arguments, &line);
    if (!error.isEmpty())
        return usageError(err, error);
    if (line.help) {
        out << usage();
        out.flush();
        return Done;
    }
    if (line.command.isEmpty())
        return usageError(err, QStringLiteral("no command given"));
    if (line.seed && line.command != QLatin1String("generate"))
        return usageError(err, QStringLiteral("--seed belongs to generate"));
    if (line.table && line.command != QLatin1String("import"))
        return usageError(err, QStringLiteral("--table belongs to import"));

    if (line.command == QLatin1String("create"))
        return create(line, out, err);
    if (line.command == QLatin1String("demo"))
        return demo(line, out, err);
    if (line.command == QLatin1String("generate"))
        return generate(line, out, err);
    if (line.command == QLatin1String("import"))
        return import(line, out, err);
    if (line.command == QLatin1String("check"))
        return check(line, out, err);
    return usageError(err, QStringLiteral("unknown command \"%1\"").arg(line.command));
}

} // namespace CatalogueCommands
