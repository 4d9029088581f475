#include "TestSupport.h"

#include "settings/IniWizard.h"
#include "settings/LeadingNumber.h"
#include "settings/ProgramLocation.h"
#include "util/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

using TestSupport::readFile;
using TestSupport::writeFile;

// A file as the earlier program left it: CRLF line ends, Windows-1252
// bytes (0xE9 is "é", 0x80 is "€", 0x9C is "œ"), a comment and blank lines.
const QByteArray LegacyFile =
    "; r\xE9glages\r\n" "[General]\r\n" "Database=biblio.mdb\r\n" "DataOrderString=ORDER BY AUTEUR\r\n"
    "ComboOrder=Auteur \xE9tranger\r\n" "EditFunction=QUARZ Fendel Mosker \r\n" "\r\n"
    "[frmFerulan Size]\r\n" "  Left = -1200\r\n" "Top=\"  840\"\r\n" "Prix=12 \x80\r\n"
    ";Width=1\r\n" "Width=9000\r\n" "Width=1\r\n" "Note=\x9Cuvre=art\r\n";

} // namespace

class TestIniWizard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void pathsAndCurrentSection();
    void readsLegacyFile_data();
    void readsLegacyFile();
    void writes_data();
    void writes();
    void editsNeverGarble_data();
    void editsNeverGarble();
    void valuesReadBack_data();
    void valuesReadBack();
    void writesLeaveFileAlone_data();
    void writesLeaveFileAlone();
    void programLocation_data();
    void programLocation();
    void leadingNumber_data();
    void leadingNumber();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("ferulan.ini")); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestIniWizard::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestIniWizard::pathsAndCurrentSection()
{
    // The path is fixed at the first use. A missing file reads as empty,
    // and reading does not create it.
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    QVERIFY(ini.SettingsFilePath().isEmpty());
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QString());
    QCOMPARE(ini.SettingsFilePath(), iniPath());
    QVERIFY(!QFile::exists(iniPath()));
    // An empty section becomes "General" at the next read; another stays.
    QCOMPARE(ini.INIGetSection(), QStringLiteral("General"));
    ini.INISetSection(QStringLiteral("frmSearch Size"));
    ini.INIInit();
    QCOMPARE(ini.INIGetSection(), QStringLiteral("frmSearch Size"));
    ini.INISetSection(QString());
    ini.INIGetValue(QStringLiteral("Database"));
    QCOMPARE(ini.INIGetSection(), QStringLiteral("General"));
}

void TestIniWizard::readsLegacyFile_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("code page") << "General" << "ComboOrder" << "Auteur étranger";
    QTest::newRow("trailing blank kept") << "General" << "EditFunction" << "QUARZ Fendel Mosker ";
    QTest::newRow("section case") << "GENERAL" << "Database" << "biblio.mdb";
    QTest::newRow("key case") << "General" << "dataorderstring" << "ORDER BY AUTEUR";
    QTest::newRow("blanks around key, =") << "frmFerulan Size" << "Left" << "-1200";
    QTest::newRow("quoted") << "frmferulan size" << "Top" << "  840";
    QTest::newRow("comment skipped, first of two") << "frmFerulan Size" << "Width" << "9000";
    QTest::newRow("value holds =") << "frmFerulan Size" << "Note" << "œuvre=art";
    QTest::newRow("comment is no key") << "frmFerulan Size" << ";Width" << "";
    QTest::newRow("other section's key") << "General" << "Left" << "";
    QTest::newRow("no section") << "X" << "Left" << "";
}

void TestIniWizard::readsLegacyFile()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(writeFile(iniPath(), LegacyFile));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetSection(section);
    QCOMPARE(ini.INIGetValue(key), expected);
}

void TestIniWizard::writes_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no file yet
    QTest::addColumn<QByteArray>("after");

    // Only the written values change, in the file's own encoding; the other
    // lines keep their bytes, their order and their CRLF ends.
    QTest::newRow("code page file") << LegacyFile << QByteArray(LegacyFile)
        .replace("AUTEUR\r\n", "TITRE\r\n").replace("Mosker \r\n", "Mosker \r\nLastViewType=Liste d\xE9taill\xE9" "e\r\n")
        .replace("-1200", "150").replace("9000", "9015").append("[frmSearch Size]\r\nLeft=3000\r\n");
    QTest::newRow("new file: code page") << QByteArray() << QByteArray(
        "[General]\n" "dataorderstring=ORDER BY TITRE\n" "LastViewType=Liste d\xE9taill\xE9" "e\n"
        "[FRMFERULAN SIZE]\n" "Left=150\n" "Width=9015\n" "[frmSearch Size]\n" "Left=3000\n");
    QTest::newRow("UTF-8 file, last line without end")
        << QByteArray("[General]\r\nDatabase=biblioth\xC3\xA8que.db\r\n\r\n[frmSearch Size]\r\nX=1") << QByteArray(
        "[General]\r\n" "Database=biblioth\xC3\xA8que.db\r\n" "dataorderstring=ORDER BY TITRE\r\n"
        "LastViewType=Liste d\xC3\xA9taill\xC3\xA9" "e\r\n" "\r\n" "[frmSearch Size]\r\n" "X=1\r\n" "Left=3000\r\n"
        "[FRMFERULAN SIZE]\r\n" "Left=150\r\n" "Width=9015\r\n");
}

void TestIniWizard::writes()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    if (!before.isEmpty()) {
        QVERIFY(writeFile(iniPath(), before));
        QVERIFY(QFile::setPermissions(iniPath(), ownerOnly));
    }
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("dataorderstring"), QStringLiteral("ORDER BY TITRE"));
    ini.INISetValue(QStringLiteral("LastViewType"), QStringLiteral("Liste détaillée"));
    ini.INISetSection(QStringLiteral("FRMFERULAN SIZE"));
    ini.INISetValue(QStringLiteral("Left"), 150);
    ini.INISetValue(QStringLiteral("Width"), 9015);
    ini.INISetSection(QStringLiteral("frmSearch Size"));
    ini.INISetValue(QStringLiteral("Left"), 3000);

    QCOMPARE(readFile(iniPath()), after);
    // The new file takes the place of the old one with its permissions, and
    // nothing is left beside it.
    if (!before.isEmpty())
        QCOMPARE(QFile::permissions(iniPath()) & 0x7077, ownerOnly);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ferulan.ini")});
}

void TestIniWizard::editsNeverGarble_data()
{
    QTest::addColumn<bool>("utf8"); // the file's encoding as first written by hand
    QTest::newRow("code page file, UTF-8 lines added by hand") << false;
    QTest::newRow("UTF-8 file, code page lines added by hand") << true;
}

// The program and a person with an editor take turns, each in an encoding
// of their own: every value reads back as it was written.
void TestIniWizard::editsNeverGarble()
{
    QFETCH(bool, utf8);
    const auto bytes = [](bool inUtf8, const QString &text) { return inUtf8 ? text.toUtf8() : Windows1252::encode(text); };
    const QByteArray first = "[General]\r\n" + bytes(utf8, "Database=bibliothèque.db\r\n");
    QVERIFY(writeFile(iniPath(), first));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("ComboOrder"), QStringLiteral("Année"));
    QVERIFY(writeFile(iniPath(), readFile(iniPath()) + bytes(!utf8, "; réglé\r\nLastViewType=Liste détaillée\r\n")));
    ini.INISetValue(QStringLiteral("ComboOrder"), QStringLiteral("Éditeur — œuvre"));

    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QStringLiteral("bibliothèque.db"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("LastViewType")), QStringLiteral("Liste détaillée"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("ComboOrder")), QStringLiteral("Éditeur — œuvre"));
    QVERIFY(readFile(iniPath()).startsWith(first));
}

void TestIniWizard::valuesReadBack_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected"); // empty: the value itself

    QTest::newRow("empty") << "" << ""; QTest::newRow("trailing blank") << "QUARZ Fendel Mosker " << "";
    QTest::newRow("leading blank") << " biblio.mdb" << ""; QTest::newRow("leading tab") << "\tx" << "";
    QTest::newRow("double quoted") << "\"List\"" << ""; QTest::newRow("single quoted") << "'List'" << "";
    QTest::newRow("one quote") << "\"" << ""; QTest::newRow("holds =") << "a=b=c" << "";
    QTest::newRow("like a comment") << "; not one" << ""; QTest::newRow("like a section") << "[General]" << "";
    QTest::newRow("accents and symbols") << "Numéro œuvre 12 € — 📚" << "";
    // Reads are cut to 254 characters, never through a surrogate pair.
    QTest::newRow("long") << QString(254, u'a') + QString(46, u'b') << QString(254, u'a');
    QTest::newRow("long, wide") << QString(253, u'x') + QStringLiteral("📚yz") << QString(253, u'x');
    // A value is one line: what follows a break could pass for a key.
    QTest::newRow("CRLF") << "Titre\r\n[General]\nBefore=evil" << "Titre";
    QTest::newRow("LF") << "Form\nList" << "Form";
}

void TestIniWizard::valuesReadBack()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    if (expected.isEmpty())
        expected = value;
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("Before"), QStringLiteral("b"));
    ini.INISetValue(QStringLiteral("Value"), value);
    ini.INISetValue(QStringLiteral("After"), QStringLiteral("a"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Value")), expected);

    // Replacing the value goes through the same rules.
    ini.INISetValue(QStringLiteral("Value"), QStringLiteral("x"));
    ini.INISetValue(QStringLiteral("Value"), value);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Value")), expected);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Before")), QStringLiteral("b"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("After")), QStringLiteral("a"));
    QCOMPARE(readFile(iniPath()).count('\n'), 4);
}

void TestIniWizard::writesLeaveFileAlone_data()
{
    QTest::addColumn<QString>("file"); // "text", or what stands in the file's place
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("length");   // of the value; from 4000 on, written to a full disk
    QTest::addColumn<QString>("problem"); // what a read says of the file

    // Names that cannot be written without breaking the file's layout.
    for (const auto &[section, key] : {std::pair<QString, QString>{"General", "A=B"}, {"General", "A\nB"},
                                       {"General", "[X]"}, {"General", ";X"}, {"General", "  "}, {"a]b", "Left"},
                                       {"a\r\nb", "Left"}})
        QTest::newRow(qPrintable(QString(section + " / " + key).replace('\n', "\\n").replace('\r', "\\r")))
            << "text" << section << key << 5 << "";
    // A value past the file's write buffer fails in write(), a shorter one
    // only when the buffer is flushed at the end.
    QTest::newRow("full disk while writing") << "text" << "General" << "Database" << 40000 << "";
    QTest::newRow("full disk at the end") << "text" << "General" << "Database" << 4000 << "";
    // Only a regular file of a sane size is read, and none other replaced.
    QTest::newRow("folder") << "folder" << "General" << "Database" << 5 << "est un dossier";
    QTest::newRow("named pipe") << "pipe" << "General" << "Database" << 5 << "pas un fichier ordinaire";
    QTest::newRow("link to /dev/zero") << "/dev/zero" << "General" << "Database" << 5 << "pas un fichier ordinaire";
    QTest::newRow("over 1 MB") << "large" << "General" << "Database" << 5 << "1 Mo";
    QTest::newRow("link to itself") << "self" << "General" << "Database" << 5 << "ne peut pas être lu";
}

void TestIniWizard::writesLeaveFileAlone()
{
    QFETCH(QString, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, length);
    QFETCH(QString, problem);
    const QByteArray text = "[General]\r\nDatabase=biblio.mdb\r\n";
    if (file == "text")
        QVERIFY(writeFile(iniPath(), text));
    else if (file == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("ferulan.ini"));
    else if (file == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(iniPath()).constData(), 0600), 0);
    else if (file == "large")
        QVERIFY(writeFile(iniPath(), text + ';' + QByteArray(1024 * 1024, 'x') + '\n'));
    else
        QVERIFY(QFile::link(file == "self" ? iniPath() : file, iniPath()));
    const QFileInfo before(iniPath());

    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetSection(section);
    const auto write = [&] { ini.INISetValue(key, QString(length, u'x')); };
    if (length >= 4000)
        QVERIFY(TestSupport::withFileSizeLimit(1024, write));
    else
        write();

    const QFileInfo after(iniPath());
    QCOMPARE(QList<qint64>({after.isDir(), after.isSymLink(), after.size()}),
             QList<qint64>({before.isDir(), before.isSymLink(), before.size()}));
    if (file == "text")
        QCOMPARE(readFile(iniPath()), text);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("ferulan.ini")});
    ini.INISetSection(QStringLiteral("General"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), file == "text" ? QStringLiteral("biblio.mdb") : QString());
    QVERIFY2(ini.fileProblem().contains(problem) && ini.fileProblem().isEmpty() == problem.isEmpty(),
             qPrintable(ini.fileProblem()));
}

void TestIniWizard::programLocation_data()
{
    QTest::addColumn<QString>("startedAs"); // relative to the test folder, unless it holds no "/"
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("the file itself") << "bin/ferulan" << "bin" << "ferulan";
    QTest::newRow("a link keeps its folder and name") << "links/catalogue5" << "links" << "catalogue5";
    QTest::newRow("a link's bare name, found in the path") << "catalogue5" << "links" << "catalogue5";
    QTest::newRow("dots in the path") << "bin/../links/./catalogue5" << "links" << "catalogue5";
    QTest::newRow("extension dropped") << "links/catalogue5.exe" << "links" << "catalogue5";
    QTest::newRow("a name of another program") << "links/other" << "bin" << "ferulan";
    QTest::newRow("a name found nowhere") << "nowhere" << "bin" << "ferulan";
}

void TestIniWizard::programLocation()
{
    QFETCH(QString, startedAs);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QDir dir(m_dir->path());
    const QString program = dir.filePath("bin/ferulan");
    QVERIFY(dir.mkpath("bin") && dir.mkpath("links") && writeFile(program, "#!/bin/sh\n")
            && writeFile(dir.filePath("links/other"), "#!/bin/sh\n")
            && QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    for (const char *link : {"links/catalogue5", "links/catalogue5.exe"})
        QVERIFY(QFile::link(program, dir.filePath(link)));

    const ProgramLocation location = ProgramLocation::fromStart(
        startedAs.contains('/') ? dir.filePath(startedAs) : startedAs, program, {dir.filePath("links")});
    QCOMPARE(location.folder + ':' + location.name, dir.filePath(folder) + ':' + name);
}

void TestIniWizard::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("blanks, sign, fraction") << " -3.5x" << -3.5; QTest::newRow("tab and plus") << "\t+7" << 7.0;
    QTest::newRow("fraction only") << ".5" << 0.5; QTest::newRow("second dot ends it") << "1.2.3" << 1.2;
    QTest::newRow("no exponent") << "1e3" << 1.0; QTest::newRow("blank after sign") << "- 5" << 0.0;
    QTest::newRow("dot alone") << "." << 0.0; QTest::newRow("too large") << QString(400, u'9') << 0.0;
}

void TestIniWizard::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(LeadingNumber(text), expected);
}

QTEST_GUILESS_MAIN(TestIniWizard)
#include "tst_iniwizard.moc"
