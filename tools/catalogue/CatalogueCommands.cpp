#include "CatalogueCommands.h"

#include "CatalogueChecker.h"
#include "CatalogueImport.h"
#include "CataloguePrinting.h"
#include "CatalogueWriter.h"
#include "CsvExport.h"
#include "DemoCatalogue.h"
#include "ServerCatalogueWriter.h"
#include "StarterSettings.h"
#include "SyntheticCatalogue.h"
#include "TerminalProgress.h"

#include "catalogue/CatalogueRecord.h"
#include "catalogue/Progress.h"
#include "settings/SettingsLocation.h"

#include <QCommandLineParser>
#include <QRegularExpression>

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
    std::optional<QString> name;
    std::optional<QString> map;
    std::optional<QString> separator;
    std::optional<QString> order;
    bool edit = false;
    bool help = false;
    bool version = false;
    QStringList given; // the command options on the line
};

struct OptionInfo {
    const char *name;
    const char *valueName; // nullptr: a switch
    const char *description;
};

const OptionInfo Options[] = {
    {"seed", "S", "The generator's seed, a whole number (1 when not given); the same seed gives the same catalogue."},
    {"table", "NAME", "The Access table to read (Biblio when not given)."},
    {"name", "NAME", "The program's name as it is started, which names the settings file NAME.ini (ferulan)."},
    {"edit", nullptr, "Grants edit access: the settings carry the access code."},
    {"map", "PAIRS",
     "Which source column fills which field, as COLUMN=FIELD pairs separated by commas "
     "(\"Titre=TITRE,Auteur=AUTEUR\"); fields are ID, PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, "
     "EDITEUR, TITRE, ISBN. Other fields are still found by name."},
    {"separator", "S", "The field separator, \",\" (when not given) or \";\"."},
    {"order", "FIELD", "Sorts by NUMERO, AUTEUR, EDITEUR, TITRE or ISBN (the order of entry when not given)."},
};

struct CommandInfo {
    const char *name;
    const char *description;
    QList<QPair<const char *, const char *>> arguments; // name (with [] when optional), description
    QStringList options;
};

const QList<CommandInfo> &commands()
{
    static const QList<CommandInfo> list = {
        {"create", "Makes a new, empty catalogue.", {{"FILE", "The catalogue to make."}}, {}},
        {"demo", "Makes the demo catalogue: about 200 items of a chemistry library.",
         {{"FILE", "The catalogue to make."}}, {}},
        {"generate", "Makes a synthetic catalogue of N records, the same for the same seed.",
         {{"N", "How many records, 0 to 100000000."}, {"FILE", "The catalogue to make."}}, {"seed"}},
        {"import",
         "Makes a new catalogue TARGET from an Access database (.mdb, .accdb), from a CSV file (.csv, as\n"
         "export-csv writes it) or from the program's export file biblio.txt; on a server (TARGET\n"
         "postgresql://...) also from a catalogue file, such as the program's backup. Each row that could\n"
         "not be taken as it stands is reported on standard error; a malformed CSV file is refused.",
         {{"SOURCE", "The Access file, the CSV file, the export file or the catalogue file."},
          {"TARGET", "The catalogue file to make, or a server's database (postgresql://...) where table\n"
                     "Biblio is made."}},
         {"table", "map"}},
        {"export-csv",
         "Writes every record of a catalogue to a CSV file, in key order, as stored: import gives the same\n"
         "records back. UTF-8 with a byte order mark, a header row, CR LF line ends.",
         {{"FILE", "The catalogue to read: a file, or a server's database (postgresql://...)."},
          {"OUT", "The CSV file to make."}},
         {"separator"}},
        {"check", "Lists what the program would stumble on in a catalogue; changes nothing.",
         {{"FILE", "The catalogue to check: a file, or a server's database (postgresql://...)."}}, {}},
        {"init",
         "Writes a starter settings file NAME.ini into FOLDER, naming the catalogue biblio.db, and makes\n"
         "that catalogue, empty, when it is not there yet: in the user's data folder\n"
         "($XDG_DATA_HOME/ferulan, ~/.local/share/ferulan) for the user's settings folder, else in\n"
         "FOLDER itself. An existing settings file is never replaced.",
         {{"[FOLDER]", "Where the settings go; the user's settings folder ($XDG_CONFIG_HOME/ferulan, "
                       "~/.config/ferulan) when not given."}},
         {"name", "edit"}},
        {"print",
         "Prints the whole catalogue to a PDF file: a table of its fields with the codes spelled out, page\n"
         "numbers and the date, landscape A4. Needs no display.",
         {{"FILE", "The catalogue to print."}, {"OUT", "The PDF file to make."}}, {"order"}},
    };
    return list;
}

const CommandInfo *commandNamed(const QString &name)
{
    for (const CommandInfo &entry : commands()) {
        if (name == QLatin1String(entry.name))
            return &entry;
    }
    return nullptr;
}

QCommandLineOption optionFor(const OptionInfo &entry)
{
    const QString name = QString::fromLatin1(entry.name);
    const QString description = QString::fromLatin1(entry.description);
    return entry.valueName ? QCommandLineOption(name, description, QString::fromLatin1(entry.valueName))
                          : QCommandLineOption(name, description);
}

const QCommandLineOption HelpOption({QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Shows the help (of the command, after one) and ends."));
const QCommandLineOption VersionOption({QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Shows the version and ends."));

// The help of one command, laid out by the parser from its arguments and options.
QString commandHelp(const CommandInfo &command)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(command.description));
    // The command heads its first argument's place on the usage line.
    QString syntax = QString::fromLatin1(command.name) + QLatin1Char(' ');
    for (const auto &argument : command.arguments) {
        parser.addPositionalArgument(QString::fromLatin1(argument.first).remove(QRegularExpression("[\\[\\]]")),
                                     QString::fromLatin1(argument.second), syntax + QLatin1String(argument.first));
        syntax.clear();
    }
    parser.addOption(HelpOption);
    for (const OptionInfo &option : Options) {
        if (command.options.contains(QLatin1String(option.name)))
            parser.addOption(optionFor(option));
    }
    return parser.helpText();
}

// Options may come anywhere, as "--name value" or "--name=value"; "--" ends
// them. Returns an error text, or nothing.
QString parse(const QStringList &arguments, CommandLine *line)
{
    QCommandLineParser parser;
    parser.addOption(HelpOption);
    parser.addOption(VersionOption);
    for (const OptionInfo &option : Options)
        parser.addOption(optionFor(option));
    if (!parser.parse(QStringList(Program) + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return parser.errorText();
        return QStringLiteral("unknown option %1%2").arg(unknown.first().size() == 1 ? "-" : "--", unknown.first());
    }
    line->help = parser.isSet(HelpOption);
    line->version = parser.isSet(VersionOption);
    line->edit = parser.isSet(QStringLiteral("edit"));
    const auto value = [&parser](const char *name) {
        return parser.isSet(QLatin1String(name)) ? std::optional<QString>(parser.value(QLatin1String(name)))
                                                 : std::nullopt;
    };
    line->seed = value("seed");
    line->table = value("table");
    line->name = value("name");
    line->map = value("map");
    line->separator = value("separator");
    line->order = value("order");
    line->positionals = parser.positionalArguments();
    if (!line->positionals.isEmpty())
        line->command = line->positionals.takeFirst();
    for (const OptionInfo &option : Options) {
        if (parser.isSet(QLatin1String(option.name)))
            line->given << QLatin1String(option.name);
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
    if (!expect(line, 2, "import SOURCE TARGET [--table NAME] [--map PAIRS]", err, &status))
        return status;
    if (line.table && line.table->isEmpty())
        return usageError(err, QStringLiteral("--table needs a table name"));
    CatalogueImport::ColumnMap map;
    if (line.map) {
        QString error;
        map = CatalogueImport::parseMap(*line.map, &error);
        if (!error.isEmpty())
            return usageError(err, error);
    }
    const QString &source = line.positionals.at(0);
    const QString &target = line.positionals.at(1);
    TerminalProgress progress(QStringLiteral("import"), 0);
    ImportReport report(QStringLiteral("row"), [&err, &source, &progress](const QString &text) {
        progress.clear();
        err << source << ": " << text << Qt::endl;
    });
    const CatalogueImport::Result result = CatalogueImport::run(source, target, line.table.value_or(QString()), map, report,
                                                                [&progress](qint64 rows) { progress.update(rows); });
    progress.clear();
    if (!result.written)
        return failWith(err, QStringLiteral("%1; nothing was written").arg(result.error));
    out << QStringLiteral("%1: %2 records from %3, %4")
               .arg(shownAddress(target))
               .arg(result.rows)
               .arg(source, result.sourceDescription)
        << Qt::endl;
    if (!report.isEmpty()) {
        err << Program << ": " << report.count() << " remarks about " << source
            << " above; the rows were taken as described there" << Qt::endl;
        return Reported;
    }
    return Done;
}

int exportCsv(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 2, "export-csv FILE OUT [--separator S]", err, &status))
        return status;
    const QString separator = line.separator.value_or(QStringLiteral(","));
    if (separator != QLatin1String(",") && separator != QLatin1String(";"))
        return usageError(err, QStringLiteral("--separator is \",\" or \";\", not \"%1\"").arg(separator));
    const QString &catalogue = line.positionals.at(0);
    const QString &target = line.positionals.at(1);
    QElapsedTimer timer;
    timer.start();
    TerminalProgress progress(QStringLiteral("export-csv"), 0);
    ImportReport report(QStringLiteral("record"), [&err, &catalogue, &progress](const QString &text) {
        progress.clear();
        err << catalogue << ": " << text << Qt::endl;
    });
    const CsvExport::Result result = CsvExport::run(catalogue, target, separator.at(0).toLatin1(), report,
                                                    [&progress](qint64 rows) { progress.update(rows); });
    progress.clear();
    if (!result.written)
        return failWith(err, QStringLiteral("%1; nothing was written").arg(result.error));
    out << QStringLiteral("%1: %2 records from %3 in %4 s")
               .arg(target)
               .arg(result.rows)
               .arg(catalogue)
               .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1)
        << Qt::endl;
    if (!report.isEmpty()) {
        err << Program << ": " << report.count() << " records of " << catalogue
            << " above hold values that an import refuses" << Qt::endl;
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

int init(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    if (line.positionals.size() > 1)
        return usageError(err, QStringLiteral("usage: %1 init [FOLDER] [--name NAME] [--edit]").arg(Program));
    const QString name = line.name.value_or(QStringLiteral("ferulan"));
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.')))
        return usageError(err, QStringLiteral("--name needs a program name, not \"%1\"").arg(name));
    const QString folder = line.positionals.value(0, SettingsLocation::userSettingsFolder());
    const StarterSettings::Result result = StarterSettings::write(folder, name, line.edit);
    if (!result.written)
        return failWith(err, QStringLiteral("%1; nothing was written").arg(result.error));
    out << QStringLiteral("%1: settings written, %2").arg(result.settingsFile,
                                                           line.edit ? QStringLiteral("with edit access")
                                                                     : QStringLiteral("read-only (--edit grants editing)"))
        << Qt::endl
        << QStringLiteral("%1: %2").arg(result.catalogue, result.catalogueMade
                                                              ? QStringLiteral("new, empty catalogue")
                                                              : QStringLiteral("already there, kept as it was"))
        << Qt::endl;
    return Done;
}

// The terminal's progress line, as the printing reports it.
class PrintProgress : public ProgressObserver {
public:
    explicit PrintProgress(TerminalProgress &line)
        : m_line(line)
    {
    }
    void started(qint64) override {}
    bool progressed(qint64 done) override
    {
        m_line.update(done);
        return true;
    }
    void finished() override { m_line.clear(); }

private:
    TerminalProgress &m_line;
};

int print(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    int status = Failed;
    if (!expect(line, 2, "print FILE OUT.pdf [--order FIELD]", err, &status))
        return status;
    const QString order = line.order.value_or(QString());
    if (line.order && !Catalogue::sortFields().contains(order))
        return usageError(err, QStringLiteral("--order takes one of %1, not \"%2\"")
                                   .arg(Catalogue::sortFields().join(QLatin1String(", ")), order));
    QElapsedTimer timer;
    timer.start();
    TerminalProgress terminal(QStringLiteral("print"), 0);
    PrintProgress progress(terminal);
    const CataloguePrinting::Result result =
        CataloguePrinting::toPdf(line.positionals.at(0), line.positionals.at(1), order, &progress);
    terminal.clear();
    if (!result.written)
        return failWith(err, QStringLiteral("%1; nothing was written").arg(result.error));
    out << QStringLiteral("%1: %2 records on %3 pages in %4 s")
               .arg(line.positionals.at(1))
               .arg(result.rows)
               .arg(result.pages)
               .arg(double(timer.elapsed()) / 1000.0, 0, 'f', 1)
        << Qt::endl;
    return Done;
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "Usage: ferulan-catalogue COMMAND ...\n"
        "Creates, fills, imports, exports and checks the catalogue files of Ferulan.\n"
        "\n"
        "  create FILE                          a new, empty catalogue\n"
        "  demo FILE                            the demo catalogue: about 200 items of a chemistry library\n"
        "  generate N FILE [--seed S]           a synthetic catalogue of N records, the same for the same seed\n"
        "  import SOURCE TARGET [--table NAME] [--map PAIRS]\n"
        "                                       a new catalogue TARGET from an Access database (.mdb, .accdb;\n"
        "                                       its table Biblio unless --table names another), from a CSV\n"
        "                                       file (.csv) or from the program's export file biblio.txt;\n"
        "                                       --map \"Titre=TITRE,Auteur=AUTEUR\" names the source's columns;\n"
        "                                       TARGET postgresql://... makes table Biblio on a server, also\n"
        "                                       from a catalogue file\n"
        "  export-csv FILE OUT [--separator S]  every record of a catalogue into a CSV file that import\n"
        "                                       reads back as it was (UTF-8, separator \",\" or \";\"; FILE\n"
        "                                       may be postgresql://...)\n"
        "  check FILE                           what the program would stumble on in a catalogue (a file or\n"
        "                                       postgresql://...); changes nothing\n"
        "  init [FOLDER] [--name NAME] [--edit] a starter settings file for the program, and an empty\n"
        "                                       catalogue when it has none (FOLDER: ~/.config/ferulan)\n"
        "  print FILE OUT.pdf [--order FIELD]   the whole catalogue as a table in a PDF file\n"
        "\n"
        "ferulan-catalogue COMMAND --help describes one command; --version shows the version.\n"
        "No command replaces an existing file, and a command that fails leaves no file behind.\n"
        "Import reports on standard error each row it could not take as it is.\n"
        "\n"
        "Exit status: 0 done; 1 done, with rows or problems reported; 2 failed, nothing written.\n");
}

bool writesFile(const QStringList &arguments)
{
    CommandLine line;
    if (!parse(arguments, &line).isEmpty() || line.help || line.version)
        return false;
    return line.command == QLatin1String("create") || line.command == QLatin1String("demo")
        || line.command == QLatin1String("generate") || line.command == QLatin1String("import")
        || line.command == QLatin1String("init") || line.command == QLatin1String("export-csv")
        || line.command == QLatin1String("print");
}

// An option of another command is a mistake worth naming.
QString misplacedOption(const CommandLine &line, const CommandInfo &command)
{
    for (const QString &option : line.given) {
        if (command.options.contains(option))
            continue;
        QStringList owners;
        for (const CommandInfo &other : commands()) {
            if (other.options.contains(option))
                owners << QLatin1String(other.name);
        }
        return QStringLiteral("--%1 belongs to %2").arg(option, owners.join(QLatin1String(" and ")));
    }
    return QString();
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    CommandLine line;
    const QString error = parse(arguments, &line);
    if (!error.isEmpty())
        return usageError(err, error);
    const CommandInfo *command = commandNamed(line.command);
    if (!line.command.isEmpty() && !command)
        return usageError(err, QStringLiteral("unknown command \"%1\"").arg(line.command));
    if (line.help) {
        out << (command ? commandHelp(*command) : usage());
        out.flush();
        return Done;
    }
    if (line.version) {
        out << Program << ' ' << QStringLiteral(FERULAN_VERSION) << Qt::endl;
        return Done;
    }
    if (!command)
        return usageError(err, QStringLiteral("no command given"));
    const QString misplaced = misplacedOption(line, *command);
    if (!misplaced.isEmpty())
        return usageError(err, misplaced);

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
    if (line.command == QLatin1String("export-csv"))
        return exportCsv(line, out, err);
    if (line.command == QLatin1String("print"))
        return print(line, out, err);
    return init(line, out, err);
}

bool needsPainting(const QStringList &arguments)
{
    CommandLine line;
    return parse(arguments, &line).isEmpty() && !line.help && !line.version && line.command == QLatin1String("print");
}

} // namespace CatalogueCommands
