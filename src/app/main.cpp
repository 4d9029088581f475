#include "catalogue/JetText.h"
#include "dialogs/DialogLook.h"
#include "main_window/QtMessenger.h"
#include "main_window/frmFerulan.h"
#include "settings/ProgramLocation.h"
#include "settings/SettingsLocation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <cstdio>
#include <system_error>
#include <thread>

namespace {

// Without a display the toolkit would abort with a long message; one line
// that says what to do is more use.
bool displayAvailable(bool platformGiven)
{
    return platformGiven || !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

enum class Parsed { Run, Done, Refused };

// Help and version are answered here, before any window or display is
// needed. The toolkit's own options (-platform, -style, -session from a
// session manager ...) pass through to it unlisted.
Parsed parseCommandLine(int argc, char *argv[], bool *platformGiven)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Shows and edits the catalogue of a teaching library, in French.\n"
        "The settings file NAME.ini (NAME: the program's name as started) is read from the\n"
        "program's folder when it is there, else from $XDG_CONFIG_HOME/ferulan (~/.config/ferulan);\n"
        "`ferulan-catalogue init` writes a starter one. See ferulan(1)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and ends."));
    parser.addOption(help);
    parser.addOption(version);
    const char *toolkitValued[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                   "qwindowicon", "qwindowtitle", "style", "stylesheet", "session", "display",
                                   "geometry", "qmljsdebugger"};
    const char *toolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const char *name : toolkitValued) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : toolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1': the program takes none.")
                    .arg(parser.positionalArguments().constFirst());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "ferulan: %s\nTry 'ferulan --help'.\n", qPrintable(error));
        return Parsed::Refused;
    }
    if (parser.isSet(help)) {
        // Without an application object the parser cannot know the name.
        const QString name = arguments.isEmpty() ? QString() : QFileInfo(arguments.constFirst()).fileName();
        std::fputs(qPrintable(parser.helpText().replace(QLatin1String("<executable_name>"),
                                                        name.isEmpty() ? QStringLiteral("ferulan") : name)),
                   stdout);
        return Parsed::Done;
    }
    if (parser.isSet(version)) {
        std::printf("ferulan %s\n", FERULAN_VERSION);
        return Parsed::Done;
    }
    *platformGiven = parser.isSet(QStringLiteral("platform"));
    return Parsed::Run;
}

// For timing the start from outside: once the window's first frame holding
// a record has been drawn on the screen, one line on the standard output
// says so.
class FirstRecordReport : public QObject {
public:
    explicit FirstRecordReport(frmFerulan &window) : QObject(&window), m_window(window)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // The window is painted only once the display has shown it (a
        // request to update comes before that); its boxes are painted and
        // the frame sent to the display in the same pass: report right after.
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            QTimer::singleShot(0, this, [this] {
                std::printf("first record shown: %s\n", qPrintable(m_window.Data1.Caption()));
                std::fflush(stdout);
            });
        }
        return false;
    }

private:
    frmFerulan &m_window;
    bool m_reported = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("ferulan"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FERULAN_VERSION));
    bool platformGiven = false;
    switch (parseCommandLine(argc, argv, &platformGiven)) {
    case Parsed::Done:
        return 0;
    case Parsed::Refused:
        return 2;
    case Parsed::Run:
        break;
    }
    if (!displayAvailable(platformGiven)) {
        std::fprintf(stderr,
                     "ferulan: no display found (DISPLAY and WAYLAND_DISPLAY are not set); "
                     "start it from a desktop session, or without a screen with: xvfb-run -a %s\n",
                     argc > 0 ? argv[0] : "ferulan");
        return 1;
    }
    // The tables of the French order are built on the other core while the
    // toolkit starts, not in the first query.
    std::thread tables;
    try {
        tables = std::thread(JetText::prepareTables);
    } catch (const std::system_error &) {
    }
    const auto joinTables = qScopeGuard([&tables] {
        if (tables.joinable())
            tables.join();
    });
    QApplication app(argc, argv);
    DialogLook::useFrenchToolkitTexts();
    // Named and placed as started: a link named catalogue5 reads
    // catalogue5.ini beside itself, or else in the user's folder.
    const ProgramLocation program = ProgramLocation::fromStart(argc > 0 ? QFile::decodeName(argv[0]) : QString(),
                                                               QCoreApplication::applicationFilePath());
    const SettingsLocation location = SettingsLocation::find(program.folder, program.name);
    QtMessenger messenger;
    frmFerulan window(location, messenger);
    if (!window.start())
        return 1;
    // The export and the recovery notes land in the user's data folder, which
    // a catalogue named by its full path does not need to exist beforehand.
    QDir().mkpath(location.dataFolder);
    if (!qEnvironmentVariableIsEmpty("FERULAN_REPORT_FIRST_RECORD"))
        new FirstRecordReport(window);
    window.show();
    const int result = app.exec();
    return messenger.endRequested() ? 0 : result;
}
