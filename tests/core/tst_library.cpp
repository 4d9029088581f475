#include "util/Library.h"
#include "util/Windows1252.h"

#include <QtTest>

#include <string>

class TestLibrary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropAndTrim_data();
    void dropAndTrim();
    void strReplace_data();
    void strReplace();
    void splitFileName_data();
    void splitFileName();
    void fileInFolder();
    void windows1252_data();
    void windows1252();
    void windows1252FromBrokenUtf8();
};

void TestLibrary::dropAndTrim_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("dropped"); // StrDropRight(text, n)
    QTest::addColumn<QString>("trimmed"); // TrimBlanks(text)

    QTest::newRow("separator") << "abc;;" << 2 << "abc" << "abc;;"; QTest::newRow("whole") << "abc" << 3 << "" << "abc";
    QTest::newRow("more than all") << "  " << 5 << "" << ""; QTest::newRow("none") << " a b " << 0 << " a b " << "a b";
    QTest::newRow("negative") << "  éàü " << -1 << "  éàü " << "éàü";
    // Tabs and line breaks belong to the text.
    QTest::newRow("tab, line break") << " \tx\n " << 2 << " \tx" << "\tx\n";
}

void TestLibrary::dropAndTrim()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, dropped);
    QFETCH(QString, trimmed);
    QCOMPARE(Library::StrDropRight(text, n), dropped);
    QCOMPARE(Library::TrimBlanks(text), trimmed);
}

void TestLibrary::strReplace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("all") << "a;b;;c" << ";" << ":" << "a:b::c";
    QTest::newRow("removal") << ";a;;b;" << ";" << "" << "ab";
    QTest::newRow("no overlap") << "aaa" << "aa" << "b" << "ba"; QTest::newRow("case") << "Abc" << "a" << "z" << "Abc";
    QTest::newRow("search inside replacement") << "abab" << "ab" << "xaby" << "xabyxaby";
    QTest::newRow("empty search") << "abc" << "" << "x" << "abc";
    // The longest text the callers produce, made only of occurrences.
    QTest::newRow("long") << QString(32767, u';') << ";" << "::" << QString(2 * 32767, u':');
}

void TestLibrary::strReplace()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QCOMPARE(Library::StrReplace(text, search, replacement), expected);
}

void TestLibrary::splitFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("extension");

    QTest::newRow("first dot, backslash") << "C:\\data\\bib.old.mdb" << "C:\\data\\bib" << "old.mdb";
    QTest::newRow("dotted folder, backslash") << "C:\\my.dir\\biblio.mdb" << "C:\\my.dir\\biblio.mdb" << "";
    QTest::newRow("first dot, slash") << "/srv/data/bib.old.mdb" << "/srv/data/bib" << "old.mdb";
    QTest::newRow("dotted folder, slash") << "/home/my.dir/biblio.mdb" << "/home/my.dir/biblio.mdb" << "";
    QTest::newRow("mixed separators") << "C:/my.dir\\biblio.mdb" << "C:/my.dir\\biblio.mdb" << "";
    QTest::newRow("no dot") << "biblio" << "biblio" << ""; QTest::newRow("only an extension") << ".mdb" << "" << "mdb";
}

void TestLibrary::splitFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, base);
    QFETCH(QString, extension);
    // Outputs that already hold something are overwritten, not appended to.
    QString gotBase = QStringLiteral("stale");
    QString gotExtension = QStringLiteral("stale");
    Library::SplitFileName(path, gotBase, gotExtension);
    QCOMPARE(gotBase, base);
    QCOMPARE(gotExtension, extension);
}

void TestLibrary::fileInFolder()
{
    const QString name = QStringLiteral("ferulan.ini");
    QCOMPARE(Library::FileInFolder(QStringLiteral("/opt/ferulan"), name), QStringLiteral("/opt/ferulan/ferulan.ini"));
    QCOMPARE(Library::FileInFolder(QStringLiteral("/opt/ferulan/"), name), QStringLiteral("/opt/ferulan/ferulan.ini"));
    QCOMPARE(Library::FileInFolder(QStringLiteral("/"), name), QStringLiteral("/ferulan.ini"));
    QCOMPARE(Library::FileInFolder(QString(), name), name);
    QCOMPARE(Library::FileInFolder(QStringLiteral("/opt/ferulan"), QStringLiteral("/srv/biblio.db")),
             QStringLiteral("/srv/biblio.db"));
}

void TestLibrary::windows1252_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("latin-1 part") << "Numéro à ÿ;;" << QByteArray("Num\xE9ro \xE0 \xFF;;");
    QTest::newRow("euro, oe, quotes") << "€ œŒ “x” …" << QByteArray("\x80 \x9C\x8C \x93x\x94 \x85");
    QTest::newRow("unassigned bytes") << "\u0081\u008D\u008F\u0090\u009D" << QByteArray("\x81\x8D\x8F\x90\x9D");
    QTest::newRow("nul and controls") << QString::fromLatin1("a\0b\tc", 5) << QByteArray("a\0b\tc", 5);
    // One '?' per character, also for one outside the basic plane.
    QTest::newRow("unmappable") << "Ω📚x" << QByteArray("??x");
}

void TestLibrary::windows1252()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Windows1252::encode(text), bytes);
    if (!bytes.contains('?'))
        QCOMPARE(Windows1252::decode(bytes), text);
    // Straight from UTF-8, onto what the line already holds.
    std::string line = "x;;";
    Windows1252::appendFromUtf8(line, text.toUtf8());
    QCOMPARE(QByteArray::fromStdString(line), "x;;" + bytes);
}

void TestLibrary::windows1252FromBrokenUtf8()
{
    // A stray continuation byte, a sequence broken by ASCII, a sequence cut
    // by the end of the text: each byte that is not UTF-8 becomes '?'.
    std::string line;
    Windows1252::appendFromUtf8(line, QByteArray("\x80|\xC3(|\xE2\x82"));
    QCOMPARE(line, std::string("?|?(|??"));
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
