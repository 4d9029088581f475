// The two programs' command lines, run as processes, and where the program
// finds its settings: beside itself, else in the user's folders.

#include "TestSupport.h"

#include "catalogue/Database.h"
#include "settings/SettingsLocation.h"

#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QString out, err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// No display at all: help and version must not need one.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    return environment;
}

} // namespace

class tst_CommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void helpAndVersion_data();
    void helpAndVersion();
    void settingsLocation_data();
    void settingsLocation();
    void initCommand_data();
    void initCommand();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
    QProcessEnvironment m_environment;
};

void tst_CommandLine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // The user's folders, here and for the programs started.
    m_environment = withoutDisplay();
    const QList<QPair<const char *, QString>> folders = {
        {"HOME", path("home")}, {"XDG_CONFIG_HOME", path("config")}, {"XDG_DATA_HOME", path("data")}};
    for (const auto &folder : folders) {
        qputenv(folder.first, QFile::encodeName(folder.second));
        m_environment.insert(QLatin1String(folder.first), folder.second);
    }
}

void tst_CommandLine::cleanup()
{
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qunsetenv(name);
}

void tst_CommandLine::helpAndVersion_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out"); // patterns
    QTest::addColumn<QString>("err");
    const QString program = QStringLiteral(FERULAN_PROGRAM), tool = QStringLiteral(FERULAN_TOOL);
    const QString version = QStringLiteral(FERULAN_VERSION).replace(".", "\\.");
    QTest::newRow("ferulan --help") << program << QStringList{"--help"} << 0
                                    << "^Usage: ferulan \\[options\\].*--version" << "^$";
    QTest::newRow("ferulan -v") << program << QStringList{"-v"} << 0 << "^ferulan " + version + "\n$" << "^$";
    QTest::newRow("ferulan, unknown option") << program << QStringList{"--frobnicate"} << 2 << "^$"
                                             << "^ferulan: Unknown option 'frobnicate'";
    QTest::newRow("ferulan, an argument") << program << QStringList{"biblio.db"} << 2 << "^$" << "biblio\\.db";
    QTest::newRow("tool --version") << tool << QStringList{"--version"} << 0
                                    << "^ferulan-catalogue " + version + "\n$" << "^$";
    QTest::newRow("tool --help") << tool << QStringList{"--help"} << 0 << "init \\[FOLDER\\].*--version" << "^$";
    // Each command's own help: its arguments and its options only.
    const QList<QStringList> commands = {{"create", "FILE"},          {"demo", "FILE"},
                                         {"generate", "N FILE", "--seed <S>"},
                                         {"import", "SOURCE TARGET", "--table <NAME>"},
                                         {"check", "FILE"},           {"init", "\\[FOLDER\\]", "--edit"}};
    for (const QStringList &command : commands)
        QTest::newRow(qPrintable("tool " + command.first() + " --help"))
            << tool << QStringList{command.first(), "--help"} << 0
            << "^Usage: \\S+ \\[options\\] " + command.at(0) + ' ' + command.at(1) + "\n(?!.*import SOURCE)"
                   + (command.size() > 2 ? ".*" + command.at(2) : QString())
            << "^$";
}

void tst_CommandLine::helpAndVersion()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const Run result = run(program, arguments, m_environment);
    QCOMPARE(result.status, status);
    const QRegularExpression::PatternOption dotAll = QRegularExpression::DotMatchesEverythingOption;
    QVERIFY2(result.out.contains(QRegularExpression(out, dotAll)), qPrintable(result.out));
    QVERIFY2(result.err.contains(QRegularExpression(err, dotAll)), qPrintable(result.err));
}

void tst_CommandLine::settingsLocation_data()
{
    QTest::addColumn<QString>("beside");    // what lies beside the program: "", "file", "folder"
    QTest::addColumn<bool>("userFile");     // catalogue5.ini in the user's settings folder
    QTest::addColumn<QString>("variables"); // "set", or the value both XDG variables get
    QTest::addColumn<QString>("settings");  // expected folders, relative to the test's
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("found");

    QTest::newRow("beside the program, before the user's") << "file" << true << "set" << "program" << "program" << true;
    QTest::newRow("a folder beside still counts") << "folder" << true << "set" << "program" << "program" << true;
    QTest::newRow("the user's folders") << "" << true << "set" << "config/ferulan" << "data/ferulan" << true;
    QTest::newRow("unset variables: HOME")
        << "" << true << "" << "home/.config/ferulan" << "home/.local/share/ferulan" << true;
    QTest::newRow("relative variables ignored")
        << "" << true << "rel" << "home/.config/ferulan" << "home/.local/share/ferulan" << true;
    QTest::newRow("nowhere") << "" << false << "set" << "config/ferulan" << "data/ferulan" << false;
}

void tst_CommandLine::settingsLocation()
{
    QFETCH(QString, beside);
    QFETCH(bool, userFile);
    QFETCH(QString, variables);
    QFETCH(QString, settings);
    QFETCH(QString, data);
    QFETCH(bool, found);
    if (variables != "set") {
        qputenv("XDG_CONFIG_HOME", variables.toUtf8());
        qputenv("XDG_DATA_HOME", variables.toUtf8());
    }
    const QString userFolder = variables == "set" ? "config/ferulan" : "home/.config/ferulan";
    QVERIFY(QDir().mkpath(path("program")) && QDir().mkpath(path(userFolder)));
    if (beside == "file")
        QVERIFY(TestSupport::writeFile(path("program/catalogue5.ini"), "[General]\n"));
    else if (beside == "folder")
        QVERIFY(QDir().mkpath(path("program/catalogue5.ini")));
    if (userFile)
        QVERIFY(TestSupport::writeFile(path(userFolder + "/catalogue5.ini"), "[General]\n"));

    const SettingsLocation location = SettingsLocation::find(path("program"), "catalogue5");
    QCOMPARE(location.settingsFile(), path(settings + "/catalogue5.ini"));
    QCOMPARE(location.dataFolder, path(data));
    QCOMPARE(location.found, found);
    // Every place looked at is named when nothing was found.
    const QStringList lookedIn = {path("program/catalogue5.ini"), path(userFolder + "/catalogue5.ini")};
    QCOMPARE(location.lookedIn, lookedIn.mid(0, beside.isEmpty() ? 2 : 1));
    if (!found) {
        for (const QString &place : lookedIn)
            QVERIFY(location.notFoundText().contains(place));
        QVERIFY(location.notFoundText().contains("ferulan-catalogue init --name catalogue5"));
    }
}

void tst_CommandLine::initCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("existing"); // a file there before, holding "mine"
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("settings"); // expected, relative to the test's folder
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<bool>("editing");

    const QString user = "config/ferulan/ferulan.ini", userCatalogue = "data/ferulan/biblio.db";
    QTest::newRow("the user's folders") << QStringList{"init"} << "" << 0 << user << userCatalogue << false;
    QTest::newRow("named, with edit access") << QStringList{"init", "--edit", "--name", "cat5"} << "" << 0
                                             << "config/ferulan/cat5.ini" << userCatalogue << true;
    QTest::newRow("a program's folder") << QStringList{"init", "copy"} << "" << 0 << "copy/ferulan.ini"
                                        << "copy/biblio.db" << false;
    QTest::newRow("the user's folder named") << QStringList{"init", "config/ferulan/", "--edit"} << "" << 0 << user
                                             << userCatalogue << true;
    QTest::newRow("a catalogue there is kept") << QStringList{"init"} << userCatalogue << 0 << user << userCatalogue
                                               << false;
    QTest::newRow("settings there are never replaced") << QStringList{"init", "--edit"} << user << 2 << user
                                                       << userCatalogue << false;
    QTest::newRow("two folders") << QStringList{"init", "a", "b"} << "" << 2 << "a/ferulan.ini" << "a/biblio.db"
                                 << false;
}

void tst_CommandLine::initCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, existing);
    QFETCH(int, status);
    QFETCH(QString, settings);
    QFETCH(QString, catalogue);
    QFETCH(bool, editing);
    if (!existing.isEmpty())
        QVERIFY(QDir().mkpath(QFileInfo(path(existing)).path()) && TestSupport::writeFile(path(existing), "mine"));

    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(FERULAN_TOOL), arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), status);

    for (const QString &file : {settings, catalogue}) {
        if (file == existing)
            QCOMPARE(TestSupport::readFile(path(file)), QByteArray("mine"));
        else
            QCOMPARE(QFileInfo::exists(path(file)), status == 0);
    }
    if (status != 0 || settings == existing)
        return;
    const QByteArray text = TestSupport::readFile(path(settings));
    QVERIFY2(text.startsWith("[General]\nDatabase=biblio.db\n"), text.constData());
    QCOMPARE(text.contains("\nEditFunction=QUARZ Fendel Mosker\n"), editing);
    if (catalogue != existing) {
        Database db;
        QVERIFY(db.open(path(catalogue), Database::Mode::ReadOnly));
        auto count = db.prepare("SELECT COUNT(*) FROM Biblio");
        QVERIFY(count && count->step() == Statement::Step::Row);
        QCOMPARE(count->value(0).toInt(), 0);
    }
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_command_line.moc"
