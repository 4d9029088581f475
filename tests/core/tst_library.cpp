#include "util/Library.h"
#include "util/Windows1252.h"

#include <QtTest>

class TestLibrary : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strDropRight_data();
    void strDropRight();
    void strDeleteInsert_data();
    void strDeleteInsert();
    void strReplace_data();
    void strReplace();
    void strReplaceLongText();
    void splitFileName_data();
    void splitFileName();
    void fileInFolder_data();
    void fileInFolder();
    void windows1252_data();
    void windows1252();
    void windows1252Unmappable();
};

void TestLibrary::strDropRight_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");

    QTest::newRow("appended separator") << "abc;;" << 2 << "abc";
    QTest::newRow("nothing") << "abc;;" << 0 << "abc;;";
    QTest::newRow("whole text") << "abc" << 3 << "";
    QTest::newRow("more than the text") << "abc" << 5 << "";
    QTest::newRow("negative count") << "abc" << -1 << "abc";
    QTest::newRow("accented") << "éàü" << 1 << "éà";
}

void TestLibrary::strDropRight()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(Library::StrDropRight(text, n), expected);
}

void TestLibrary::strDeleteInsert_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<QString>("inserted"); // "XY" placed at position

    QTest::newRow("first") << "abcdef" << 1 << 1 << "bcdef" << "XYabcdef";
    QTest::newRow("middle") << "abcdef" << 2 << 3 << "aef" << "aXYbcdef";
    QTest::newRow("last") << "abcdef" << 6 << 1 << "abcde" << "abcdeXYf";
    QTest::newRow("count past the end") << "abcdef" << 5 << 10 << "abcd" << "abcdXYef";
    QTest::newRow("just past the end") << "abcdef" << 7 << 2 << "abcdef" << "abcdefXY";
    QTest::newRow("far past the end") << "abc" << 10 << 1 << "abc" << "abcXY";
    QTest::newRow("count 0") << "abc" << 2 << 0 << "abc" << "aXYbc";
    QTest::newRow("empty text") << "" << 1 << 1 << "" << "XY";
}

void TestLibrary::strDeleteInsert()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(QString, deleted);
    QFETCH(QString, inserted);
    QCOMPARE(Library::StrDelete(text, position, count), deleted);
    QCOMPARE(Library::StrInsert(text, QStringLiteral("XY"), position), inserted);
}

void TestLibrary::strReplace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every separator") << "a;b;;c" << ";" << ":" << "a:b::c";
    QTest::newRow("no overlap") << "aaa" << "aa" << "b" << "ba";
    QTest::newRow("replacement holds the search") << "x" << "x" << "xx" << "xx";
    QTest::newRow("search inside replacement") << "abab" << "ab" << "xaby" << "xabyxaby";
    QTest::newRow("case-sensitive") << "Abc" << "a" << "z" << "Abc";
    QTest::newRow("not found") << "abc" << ";" << ":" << "abc";
    QTest::newRow("removal") << ";a;;b;" << ";" << "" << "ab";
    QTest::newRow("at both ends") << ";mid;" << ";" << "<>" << "<>mid<>";
    QTest::newRow("longer search") << ";;;;;" << ";;" << ":" << "::;";
    QTest::newRow("empty text") << "" << ";" << ":" << "";
    QTest::newRow("empty search") << "abc" << "" << "x" << "abc";
}

void TestLibrary::strReplace()
{
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QCOMPARE(Library::StrReplace(text, search, replacement), expected);
}

void TestLibrary::strReplaceLongText()
{
    // The longest text the callers produce, made only of occurrences.
    const QString text(32767, QLatin1Char(';'));
    const QString result = Library::StrReplace(text, QStringLiteral(";"), QStringLiteral("::"));
    QCOMPARE(result.size(), 2 * 32767);
    QVERIFY(!result.contains(QLatin1Char(';')));
}

void TestLibrary::splitFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("extension");

    QTest::newRow("drive path") << "C:\\data\\biblio.mdb" << "C:\\data\\biblio" << "mdb";
    QTest::newRow("first dot, backslash") << "C:\\data\\bib.old.mdb" << "C:\\data\\bib" << "old.mdb";
    QTest::newRow("dotted folder, backslash") << "C:\\my.dir\\biblio.mdb" << "C:\\my.dir\\biblio.mdb" << "";
    QTest::newRow("folder path") << "/srv/data/biblio.mdb" << "/srv/data/biblio" << "mdb";
    QTest::newRow("first dot, slash") << "/srv/data/bib.old.mdb" << "/srv/data/bib" << "old.mdb";
    QTest::newRow("dotted folder, slash") << "/home/my.dir/biblio.mdb" << "/home/my.dir/biblio.mdb" << "";
    QTest::newRow("hidden folder") << "/home/u/.ferulan/biblio.mdb" << "/home/u/.ferulan/biblio.mdb" << "";
    QTest::newRow("mixed separators") << "C:/my.dir\\biblio.mdb" << "C:/my.dir\\biblio.mdb" << "";
    QTest::newRow("no dot") << "biblio" << "biblio" << "";
    QTest::newRow("only an extension") << ".mdb" << "" << "mdb";
    QTest::newRow("trailing dot") << "biblio." << "biblio" << "";
    QTest::newRow("empty") << "" << "" << "";
}

void TestLibrary::splitFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, base);
    QFETCH(QString, extension);
    // Outputs that already hold something must be overwritten, not appended to.
    QString gotBase = QStringLiteral("stale");
    QString gotExtension = QStringLiteral("stale");
    Library::SplitFileName(path, gotBase, gotExtension);
    QCOMPARE(gotBase, base);
    QCOMPARE(gotExtension, extension);
}

void TestLibrary::fileInFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("folder") << "/opt/ferulan" << "/opt/ferulan/ferulan.ini";
    QTest::newRow("root") << "/" << "/ferulan.ini";
    QTest::newRow("folder ending in a separator") << "/opt/ferulan/" << "/opt/ferulan/ferulan.ini";
    QTest::newRow("short folder") << "/a" << "/a/ferulan.ini";
    QTest::newRow("dotted folder") << "/home/my.dir" << "/home/my.dir/ferulan.ini";
    QTest::newRow("no folder") << "" << "ferulan.ini";
}

void TestLibrary::fileInFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(Library::FileInFolder(folder, QStringLiteral("ferulan.ini")), expected);
}

void TestLibrary::windows1252_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArray("ORDER BY TITRE;;") << "ORDER BY TITRE;;";
    QTest::newRow("latin-1 part") << QByteArray("Num\xE9ro \xE0 \xFF") << "Numéro à ÿ";
    QTest::newRow("euro, oe, quotes") << QByteArray("\x80 \x9C\x8C \x93x\x94 \x85")
                                      << "€ œŒ “x” …";
    QTest::newRow("unassigned bytes") << QByteArray("\x81\x8D\x8F\x90\x9D") << "\u0081\u008D\u008F\u0090\u009D";
    QTest::newRow("nul and controls") << QByteArray("a\0b\tc", 5) << QString::fromLatin1("a\0b\tc", 5);
}

void TestLibrary::windows1252()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Windows1252::decode(bytes), text);
    QCOMPARE(Windows1252::encode(text), bytes);
}

void TestLibrary::windows1252Unmappable()
{
    // One '?' per character, also for one outside the basic plane.
    QCOMPARE(Windows1252::encode(QStringLiteral("Ω📚x")), QByteArray("??x"));
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
