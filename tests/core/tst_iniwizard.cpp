#include "TestSupport.h"

#include "settings/IniWizard.h"
#include "settings/LeadingNumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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
    void valuesReadBack_data();
    void valuesReadBack();
    void unwritableNamesLeaveFileAlone_data();
    void unwritableNamesLeaveFileAlone();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
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
    IniWizard elsewhere(QStringLiteral("/opt/ferulan/"), QStringLiteral("ferulan"));
    QVERIFY(elsewhere.SettingsFilePath().isEmpty());
    elsewhere.INIInit();
    QCOMPARE(elsewhere.SettingsFilePath(), QStringLiteral("/opt/ferulan/ferulan.ini"));

    // A missing file reads as empty, and reading does not create it.
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QString());
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

    // Only the written values change; the old lines, in the old code page
    // converted to UTF-8, keep their order and their CRLF ends.
    QTest::newRow("legacy file") << LegacyFile << QByteArray(
        "; r\xC3\xA9glages\r\n" "[General]\r\n" "Database=biblio.mdb\r\n" "DataOrderString=ORDER BY TITRE\r\n"
        "ComboOrder=Auteur \xC3\xA9tranger\r\n" "EditFunction=QUARZ Fendel Mosker \r\n"
        "LastViewType=Liste d\xC3\xA9taill\xC3\xA9" "e\r\n" "\r\n"
        "[frmFerulan Size]\r\n" "  Left = 150\r\n" "Top=\"  840\"\r\n" "Prix=12 \xE2\x82\xAC\r\n"
        ";Width=1\r\n" "Width=9015\r\n" "Width=1\r\n" "Note=\xC5\x93uvre=art\r\n"
        "[frmSearch Size]\r\n" "Left=3000\r\n");
    QTest::newRow("new file") << QByteArray() << QByteArray(
        "[General]\n" "dataorderstring=ORDER BY TITRE\n" "LastViewType=Liste d\xC3\xA9taill\xC3\xA9" "e\n"
        "[FRMFERULAN SIZE]\n" "Left=150\n" "Width=9015\n" "[frmSearch Size]\n" "Left=3000\n");
    QTest::newRow("last line without end")
        << QByteArray("[General]\r\nDatabase=a.mdb\r\n\r\n[frmSearch Size]\r\nX=1") << QByteArray(
        "[General]\r\n" "Database=a.mdb\r\n" "dataorderstring=ORDER BY TITRE\r\n"
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
    // The rewritten file reads back as UTF-8.
    ini.INISetSection(QStringLiteral("General"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("LastViewType")), QStringLiteral("Liste détaillée"));
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

void TestIniWizard::unwritableNamesLeaveFileAlone_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    QTest::newRow("key with =") << "General" << "A=B"; QTest::newRow("key with LF") << "General" << "A\nB";
    QTest::newRow("key like a section") << "General" << "[X]"; QTest::newRow("key like a comment") << "General" << ";X";
    QTest::newRow("blank key") << "General" << "  "; QTest::newRow("section with ]") << "a]b" << "Left";
    QTest::newRow("section with CRLF") << "a\r\nb" << "Left";
}

void TestIniWizard::unwritableNamesLeaveFileAlone()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QByteArray before = "[General]\nDatabase=biblio.mdb\n";
    QVERIFY(writeFile(iniPath(), before));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetSection(section);
    ini.INISetValue(key, QStringLiteral("value"));
    QCOMPARE(readFile(iniPath()), before);
}

void TestIniWizard::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<int>("length"); // of the value written

    // A value past the file's write buffer fails in write(), a shorter one
    // only when the buffer is flushed at the end.
    QTest::newRow("while writing") << 40000;
    QTest::newRow("at the end") << 4000;
}

void TestIniWizard::failedWriteKeepsOldFile()
{
    QFETCH(int, length);
    const QByteArray before = "[General]\r\nDatabase=biblio.mdb\r\n";
    QVERIFY(writeFile(iniPath(), before));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));

    QVERIFY(TestSupport::withFileSizeLimit(
        1024, [&] { ini.INISetValue(QStringLiteral("Database"), QString(length, u'x')); }));

    QCOMPARE(readFile(iniPath()), before);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QStringLiteral("biblio.mdb"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ferulan.ini")});
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
