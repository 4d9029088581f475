// The two programs' command lines, run as processes without a display, and
// where the program finds its settings: beside itself, else in the user's folders.

#include "TestSupport.h"

#include "settings/SettingsLocation.h"

#include <QtTest>

class tst_CommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void helpAndVersion_data();
    void helpAndVersion();
    void settingsLocation_data();
    void settingsLocation();
    void initCommand_data();
    void initCommand();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString run(const QString &program, const QStringList &arguments);
    std::unique_ptr<QTemporaryDir> m_dir;
};

// The user's folders lie in the test's folder, here and for the programs started.
void tst_CommandLine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        qunsetenv(name);
    qputenv("HOME", QFile::encodeName(path("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
}

// The exit status, then what the program printed and, after "|err|", what it complained of.
QString tst_CommandLine::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return "did not end";
    return QString::number(process.exitCode()) + '|' + QString::fromUtf8(process.readAllStandardOutput()) + "|err|"
        + QString::fromUtf8(process.readAllStandardError());
}

void tst_CommandLine::helpAndVersion_data()
{
    QTest::addColumn<QString>("command"); // run with the built program or tool
    QTest::addColumn<QString>("result");  // a pattern
    const QString version = QStringLiteral(FERULAN_VERSION).replace(".", "\\.");
    const auto row = [](const QString &command, const QString &result) {
        QTest::newRow(qPrintable(command)) << command << result;
    };
    row("ferulan --help", "^0\\|Usage: ferulan .*--version.*\\|err\\|$");
    row("ferulan -v", "^0\\|ferulan " + version + "\n\\|err\\|$");
    row("ferulan --frob", "^2\\|\\|err\\|ferulan: Unknown option 'frob'");
    row("ferulan-catalogue --version", "^0\\|ferulan-catalogue " + version + "\n\\|err\\|$");
    row("ferulan-catalogue --help", "^0\\|.*init \\[FOLDER\\].*--version.*\\|err\\|$");
    // Each command's own help: its arguments and its options, no other command's.
    for (const char *command : {"create FILE", "demo FILE", "generate N FILE.*--seed <S>",
                                "import SOURCE TARGET.*--table <NAME>.*--map <PAIRS>", "export-csv FILE OUT.*--separator",
                                "check FILE", "init \\[FOLDER\\].*--edit"})
        row("ferulan-catalogue " + QString(command).section(' ', 0, 0) + " --help",
            "^0\\|Usage: \\S+ \\[options\\] (?!.*\\n  check FILE )" + QString(command) + ".*\\|err\\|$");
}

void tst_CommandLine::helpAndVersion()
{
    QFETCH(QString, command);
    QFETCH(QString, result);
    QStringList arguments = command.split(' ');
    const QString program = arguments.takeFirst() == "ferulan" ? FERULAN_PROGRAM : FERULAN_TOOL;
    const QString got = run(program, arguments);
    QVERIFY2(got.contains(QRegularExpression(result, QRegularExpression::DotMatchesEverythingOption)), qPrintable(got));
}

void tst_CommandLine::settingsLocation_data()
{
    QTest::addColumn<QString>("files");     // "file" or "folder" beside the program, and the user's; "user"; "none"
    QTest::addColumn<QString>("variables"); // "set", or the value both XDG variables get
    QTest::addColumn<QString>("settings");  // expected folders
    QTest::addColumn<QString>("data");
    QTest::newRow("beside the program, first") << "file" << "set" << "program" << "program";
    QTest::newRow("a folder beside counts") << "folder" << "set" << "program" << "program";
    QTest::newRow("the user's folders") << "user" << "set" << "config/ferulan" << "data/ferulan";
    QTest::newRow("relative variables: HOME") << "user" << "rel" << "home/.config/ferulan" << "home/.local/share/ferulan";
    QTest::newRow("nowhere") << "none" << "set" << "config/ferulan" << "data/ferulan";
}

void tst_CommandLine::settingsLocation()
{
    QFETCH(QString, files);
    QFETCH(QString, variables);
    QFETCH(QString, settings);
    QFETCH(QString, data);
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        qputenv(name, variables == "set" ? qgetenv(name) : variables.toUtf8());
    const QString user = variables == "set" ? "config/ferulan" : "home/.config/ferulan";
    QVERIFY(QDir().mkpath(path("program")) && QDir().mkpath(path(user)));
    if (files == "file" || files == "folder")
        QVERIFY(files == "file" ? TestSupport::writeFile(path("program/catalogue5.ini"), "")
                                : QDir().mkpath(path("program/catalogue5.ini")));
    if (files != "none")
        QVERIFY(TestSupport::writeFile(path(user + "/catalogue5.ini"), ""));

    const SettingsLocation location = SettingsLocation::find(path("program"), "catalogue5");
    QCOMPARE(location.settingsFile(), path(settings + "/catalogue5.ini"));
    QCOMPARE(location.dataFolder, path(data));
    QCOMPARE(location.found, files != "none");
    // Every place looked at is named, and how to write a file there.
    const QStringList lookedIn = {path("program/catalogue5.ini"), path(user + "/catalogue5.ini")};
    QCOMPARE(location.lookedIn, lookedIn.mid(0, settings == "program" ? 1 : 2));
    QVERIFY(location.notFoundText().contains(location.lookedIn.join("\n    ") + "\n")
            && location.notFoundText().contains("ferulan-catalogue init --name catalogue5"));
}

void tst_CommandLine::initCommand_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("existing"); // a file there before, holding "mine"
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("settings"); // expected
    QTest::addColumn<QString>("catalogue");

    const QString user = "config/ferulan/ferulan.ini", catalogue = "data/ferulan/biblio.db";
    QTest::newRow("the user's folders") << QStringList{"init"} << "" << 0 << user << catalogue;
    QTest::newRow("a program's folder") << QStringList{"init", "copy"} << "" << 0 << "copy/ferulan.ini"
                                        << "copy/biblio.db";
    QTest::newRow("the user's, named") << QStringList{"init", "config/ferulan/", "--edit", "--name", "c5"} << "" << 0
                                       << "config/ferulan/c5.ini" << catalogue;
    QTest::newRow("catalogue kept") << QStringList{"init"} << catalogue << 0 << user << catalogue;
    QTest::newRow("settings never replaced") << QStringList{"init", "--edit"} << user << 2 << user << catalogue;
}

void tst_CommandLine::initCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, existing);
    QFETCH(int, status);
    QFETCH(QString, settings);
    QFETCH(QString, catalogue);
    if (!existing.isEmpty())
        QVERIFY(QDir().mkpath(QFileInfo(path(existing)).path()) && TestSupport::writeFile(path(existing), "mine"));

    QVERIFY(run(FERULAN_TOOL, arguments).startsWith(QString::number(status) + '|'));
    for (const QString &file : {settings, catalogue}) {
        if (file == existing)
            QCOMPARE(TestSupport::readFile(path(file)), QByteArray("mine"));
        else
            QCOMPARE(QFileInfo::exists(path(file)), status == 0);
    }
    if (status == 0) {
        const QByteArray text = TestSupport::readFile(path(settings));
        QVERIFY2(text.startsWith("[General]\nDatabase=biblio.db\n"), text.constData());
        QCOMPARE(text.contains("\nEditFunction=QUARZ Fendel Mosker\n"), arguments.contains("--edit"));
        QVERIFY(catalogue == existing || TestSupport::readFile(path(catalogue)).startsWith("SQLite format 3"));
    }
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_command_line.moc"
