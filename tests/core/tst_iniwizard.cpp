#include "settings/IniWizard.h"
#include "settings/LeadingNumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A file as the earlier program left it: CRLF line ends, Windows-1252
// bytes (0xE9 is "é", 0x80 is "€", 0x9C is "œ"), a comment and blank lines.
const QByteArray LegacyFile =
    "; r\xE9glages\r\n"
    "[General]\r\n"
    "Database=biblio.mdb\r\n"
    "DataOrderString=ORDER BY AUTEUR\r\n"
    "ComboOrder=Auteur \xE9tranger\r\n"
    "EditFunction=QUARZ Fendel Mosker \r\n"
    "\r\n"
    "[frmFerulan Size]\r\n"
    "  Left = -1200\r\n"
    "Top=\"  840\"\r\n"
    "Prix=12 \x80\r\n"
    ";Width=1\r\n"
    "Width=9000\r\n"
    "Width=1\r\n"
    "Note=\x9Cuvre=art\r\n";

} // namespace

class TestIniWizard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void settingsFilePath_data();
    void settingsFilePath();
    void currentSection();
    void readsLegacyFile_data();
    void readsLegacyFile();
    void writeKeepsEveryOtherLine();
    void writeCreatesFileAndSections();
    void writeAfterLastLineWithoutEnd();
    void valuesReadBackUnchanged_data();
    void valuesReadBackUnchanged();
    void longValueReadsBackCut();
    void lineBreakEndsValue();
    void unwritableNamesLeaveFileAlone_data();
    void unwritableNamesLeaveFileAlone();
    void missingFileReadsEmpty();
    void folderThatIsAFile();
    void readOnlyKeepsOldFile_data();
    void readOnlyKeepsOldFile();
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

void TestIniWizard::settingsFilePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("folder") << "/opt/ferulan" << "/opt/ferulan/ferulan.ini";
    QTest::newRow("root") << "/" << "/ferulan.ini";
    QTest::newRow("folder ending in a separator") << "/opt/ferulan/" << "/opt/ferulan/ferulan.ini";
}

void TestIniWizard::settingsFilePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    IniWizard ini(folder, QStringLiteral("ferulan"));
    QVERIFY(ini.SettingsFilePath().isEmpty());
    QCOMPARE(ini.INIFilePath(QStringLiteral("biblio.txt")),
             QString(expected).replace(QStringLiteral("ferulan.ini"), QStringLiteral("biblio.txt")));
    ini.INIInit();
    QCOMPARE(ini.SettingsFilePath(), expected);
}

void TestIniWizard::currentSection()
{
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    QCOMPARE(ini.INIGetSection(), QString());
    ini.INIInit();
    QCOMPARE(ini.INIGetSection(), QStringLiteral("General"));

    ini.INISetSection(QStringLiteral("frmSearch Size"));
    ini.INIInit();
    QCOMPARE(ini.INIGetSection(), QStringLiteral("frmSearch Size"));

    // An emptied section becomes "General" again at the next read.
    ini.INISetSection(QString());
    QCOMPARE(ini.INIGetSection(), QString());
    ini.INIGetValue(QStringLiteral("Database"));
    QCOMPARE(ini.INIGetSection(), QStringLiteral("General"));
}

void TestIniWizard::readsLegacyFile_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "General" << "Database" << "biblio.mdb";
    QTest::newRow("blanks kept inside") << "General" << "DataOrderString" << "ORDER BY AUTEUR";
    QTest::newRow("code page") << "General" << "ComboOrder" << "Auteur étranger";
    QTest::newRow("trailing blank kept") << "General" << "EditFunction" << "QUARZ Fendel Mosker ";
    QTest::newRow("section case") << "GENERAL" << "Database" << "biblio.mdb";
    QTest::newRow("key case") << "General" << "dataorderstring" << "ORDER BY AUTEUR";
    QTest::newRow("blanks around key and =") << "frmFerulan Size" << "Left" << "-1200";
    QTest::newRow("quoted") << "frmferulan size" << "Top" << "  840";
    QTest::newRow("euro") << "frmFerulan Size" << "Prix" << "12 €";
    QTest::newRow("comment skipped, first of two") << "frmFerulan Size" << "Width" << "9000";
    QTest::newRow("value holds =") << "frmFerulan Size" << "Note" << "œuvre=art";
    QTest::newRow("key of another section") << "General" << "Left" << "";
    QTest::newRow("missing key") << "General" << "LastViewType" << "";
    QTest::newRow("missing section") << "frmSearch Size" << "Left" << "";
    QTest::newRow("comment is no key") << "frmFerulan Size" << ";Width" << "";
}

void TestIniWizard::readsLegacyFile()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(writeBytes(iniPath(), LegacyFile));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetSection(section);
    QCOMPARE(ini.INIGetValue(key), expected);
}

void TestIniWizard::writeKeepsEveryOtherLine()
{
    QVERIFY(writeBytes(iniPath(), LegacyFile));
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(QFile::setPermissions(iniPath(), ownerOnly));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("dataorderstring"), QStringLiteral("ORDER BY TITRE"));
    ini.INISetValue(QStringLiteral("LastViewType"), QStringLiteral("List"));
    ini.INISetSection(QStringLiteral("FRMFERULAN SIZE"));
    ini.INISetValue(QStringLiteral("Left"), 150);
    ini.INISetValue(QStringLiteral("Width"), 9015);
    ini.INISetSection(QStringLiteral("frmSearch Size"));
    ini.INISetValue(QStringLiteral("Left"), 3000);

    // Only the written values change; the old lines, in the old code page
    // converted to UTF-8, keep their order and their CRLF ends.
    const QByteArray expected =
        "; r\xC3\xA9glages\r\n"
        "[General]\r\n"
        "Database=biblio.mdb\r\n"
        "DataOrderString=ORDER BY TITRE\r\n"
        "ComboOrder=Auteur \xC3\xA9tranger\r\n"
        "EditFunction=QUARZ Fendel Mosker \r\n"
        "LastViewType=List\r\n"
        "\r\n"
        "[frmFerulan Size]\r\n"
        "  Left = 150\r\n"
        "Top=\"  840\"\r\n"
        "Prix=12 \xE2\x82\xAC\r\n"
        ";Width=1\r\n"
        "Width=9015\r\n"
        "Width=1\r\n"
        "Note=\xC5\x93uvre=art\r\n"
        "[frmSearch Size]\r\n"
        "Left=3000\r\n";
    QCOMPARE(readBytes(iniPath()), expected);
    // The new file takes the place of the old one with its permissions.
    QCOMPARE(QFile::permissions(iniPath()) & 0x7077, ownerOnly);

    // The rewritten file is read back as UTF-8, and nothing is left beside it.
    ini.INISetSection(QStringLiteral("General"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("ComboOrder")), QStringLiteral("Auteur étranger"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ferulan.ini")});
}

void TestIniWizard::writeCreatesFileAndSections()
{
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("Database"), QStringLiteral("biblio.mdb"));
    ini.INISetSection(QStringLiteral("frmFilter Size"));
    ini.INISetValue(QStringLiteral("Height"), 2400.0);
    ini.INISetSection(QStringLiteral("General"));
    ini.INISetValue(QStringLiteral("ComboOrder"), QStringLiteral("Numéro"));
    QCOMPARE(readBytes(iniPath()), QByteArray("[General]\n"
                                              "Database=biblio.mdb\n"
                                              "ComboOrder=Num\xC3\xA9ro\n"
                                              "[frmFilter Size]\n"
                                              "Height=2400\n"));
}

void TestIniWizard::writeAfterLastLineWithoutEnd()
{
    QVERIFY(writeBytes(iniPath(), "[General]\r\nDatabase=a.mdb\r\n\r\n[Other]\r\nX=1"));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetSection(QStringLiteral("Other"));
    ini.INISetValue(QStringLiteral("Y"), 2);
    ini.INISetSection(QStringLiteral("General"));
    ini.INISetValue(QStringLiteral("ComboOrder"), QStringLiteral("Titre"));
    QCOMPARE(readBytes(iniPath()),
             QByteArray("[General]\r\nDatabase=a.mdb\r\nComboOrder=Titre\r\n\r\n[Other]\r\nX=1\r\nY=2\r\n"));
}

void TestIniWizard::valuesReadBackUnchanged_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("empty") << "";
    QTest::newRow("order") << "ORDER BY AUTEUR";
    QTest::newRow("code") << "QUARZ Fendel Mosker";
    QTest::newRow("trailing blank") << "QUARZ Fendel Mosker ";
    QTest::newRow("leading blank") << " biblio.mdb";
    QTest::newRow("leading tab") << "\tx";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("double quoted") << "\"List\"";
    QTest::newRow("single quoted") << "'List'";
    QTest::newRow("one quote") << "\"";
    QTest::newRow("quote at the start") << "\"a b";
    QTest::newRow("holds =") << "a=b=c";
    QTest::newRow("looks like a comment") << "; not a comment";
    QTest::newRow("looks like a section") << "[General]";
    QTest::newRow("accents and symbols") << "Numéro œuvre 12 € — ok";
    QTest::newRow("negative number") << "-1200";
    QTest::newRow("outside the basic plane") << "📚 livres";
}

void TestIniWizard::valuesReadBackUnchanged()
{
    QFETCH(QString, value);
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("Before"), QStringLiteral("b"));
    ini.INISetValue(QStringLiteral("Value"), value);
    ini.INISetValue(QStringLiteral("After"), QStringLiteral("a"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Value")), value);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Before")), QStringLiteral("b"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("After")), QStringLiteral("a"));

    // Replacing the value goes through the same rules.
    ini.INISetValue(QStringLiteral("Value"), QStringLiteral("x"));
    ini.INISetValue(QStringLiteral("Value"), value);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Value")), value);
    QCOMPARE(ini.INIGetValue(QStringLiteral("After")), QStringLiteral("a"));
}

void TestIniWizard::longValueReadsBackCut()
{
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    QString value;
    for (int i = 0; i < 300; ++i)
        value += QChar(u'a' + i % 26);
    ini.INISetValue(QStringLiteral("Long"), value);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Long")), value.left(254));
    // The file keeps the whole value; only the reading is short.
    QVERIFY(readBytes(iniPath()).contains(value.toLatin1()));

    // A cut never leaves half of a character outside the basic plane.
    const QString wide = QString(253, QLatin1Char('x')) + QStringLiteral("📚yz");
    ini.INISetValue(QStringLiteral("Wide"), wide);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Wide")), QString(253, QLatin1Char('x')));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Long")), value.left(254));
}

void TestIniWizard::lineBreakEndsValue()
{
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("Database"), QStringLiteral("biblio.mdb"));
    ini.INISetValue(QStringLiteral("ComboOrder"), QStringLiteral("Titre\r\n[General]\nDatabase=evil.mdb"));
    ini.INISetValue(QStringLiteral("LastViewType"), QStringLiteral("Form\nList"));

    QCOMPARE(ini.INIGetValue(QStringLiteral("ComboOrder")), QStringLiteral("Titre"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("LastViewType")), QStringLiteral("Form"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QStringLiteral("biblio.mdb"));
    QCOMPARE(readBytes(iniPath()),
             QByteArray("[General]\nDatabase=biblio.mdb\nComboOrder=Titre\nLastViewType=Form\n"));
}

void TestIniWizard::unwritableNamesLeaveFileAlone_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    QTest::newRow("key with =") << "General" << "A=B";
    QTest::newRow("key with line break") << "General" << "A\nB";
    QTest::newRow("key like a section") << "General" << "[X]";
    QTest::newRow("key like a comment") << "General" << ";X";
    QTest::newRow("blank key") << "General" << "  ";
    QTest::newRow("section with ]") << "a]b" << "Left";
    QTest::newRow("section with line break") << "a\r\nb" << "Left";
}

void TestIniWizard::unwritableNamesLeaveFileAlone()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    const QByteArray before = "[General]\nDatabase=biblio.mdb\n";
    QVERIFY(writeBytes(iniPath(), before));
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetSection(section);
    ini.INISetValue(key, QStringLiteral("value"));
    QCOMPARE(readBytes(iniPath()), before);
}

void TestIniWizard::missingFileReadsEmpty()
{
    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QString());
    QVERIFY(!QFile::exists(iniPath()));
}

void TestIniWizard::folderThatIsAFile()
{
    // The program "folder" is a plain file: nothing can be created in it.
    const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
    QVERIFY(writeBytes(blocker, "not a folder"));
    IniWizard ini(blocker, QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("Database"), QStringLiteral("biblio.mdb"));
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QString());
    QCOMPARE(readBytes(blocker), QByteArray("not a folder"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("blocker")});
}

void TestIniWizard::readOnlyKeepsOldFile_data()
{
    QTest::addColumn<bool>("folderReadOnly"); // else the file itself

    QTest::newRow("read-only folder") << true;
    QTest::newRow("read-only file") << false;
}

void TestIniWizard::readOnlyKeepsOldFile()
{
    QFETCH(bool, folderReadOnly);
    const QByteArray before = "[General]\r\nDatabase=biblio.mdb\r\n";
    QVERIFY(writeBytes(iniPath(), before));
    const QString target = folderReadOnly ? m_dir->path() : iniPath();
    const QFile::Permissions permissions = QFile::permissions(target);
    QVERIFY(QFile::setPermissions(target, folderReadOnly ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner));
    auto restore = qScopeGuard([&] { QFile::setPermissions(target, permissions); });

    QFile probe(folderReadOnly ? m_dir->filePath(QStringLiteral("probe")) : iniPath());
    if (probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
        probe.close();
        if (folderReadOnly)
            probe.remove();
        QSKIP("Permissions do not stop writes for this user (root?); folderThatIsAFile covers the failed write.");
    }

    IniWizard ini(m_dir->path(), QStringLiteral("ferulan"));
    ini.INISetValue(QStringLiteral("Database"), QStringLiteral("other.mdb"));
    QCOMPARE(readBytes(iniPath()), before);
    QCOMPARE(ini.INIGetValue(QStringLiteral("Database")), QStringLiteral("biblio.mdb"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ferulan.ini")});
}

void TestIniWizard::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("whole") << "1500" << 1500.0;
    QTest::newRow("letters after") << "12abc" << 12.0;
    QTest::newRow("letters only") << "abc" << 0.0;
    QTest::newRow("blanks, sign, fraction") << " -3.5x" << -3.5;
    QTest::newRow("tab and plus") << "\t+7" << 7.0;
    QTest::newRow("fraction only") << ".5" << 0.5;
    QTest::newRow("second dot ends it") << "1.2.3" << 1.2;
    QTest::newRow("no exponent") << "1e3" << 1.0;
    QTest::newRow("blank inside ends it") << "12 34" << 12.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("blank after sign") << "- 5" << 0.0;
    QTest::newRow("dot alone") << "." << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("comma is no separator") << "3,5" << 3.0;
    QTest::newRow("too large") << QString(400, QLatin1Char('9')) << 0.0;
}

void TestIniWizard::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(LeadingNumber(text), expected);
}

QTEST_GUILESS_MAIN(TestIniWizard)
#include "tst_iniwizard.moc"
