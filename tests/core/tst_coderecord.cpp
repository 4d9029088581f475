#include "catalogue/CatalogueRecord.h"
#include "catalogue/CodeTables.h"

#include <QtTest>

// The code tables' labels and the NUMERO admission rule.
class TestCodeRecord : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void labels_data();
    void labels();
    void tablesAgreeWithTheirPositions();
    void numero_data();
    void numero();
};

void TestCodeRecord::labels_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prefixe");
    QTest::addColumn<QString>("langue");
    QTest::addColumn<QString>("domaine");

    QTest::newRow("B in every table") << "B" << "Livre" << "" << "Chimie minérale";
    QTest::newRow("blanks around Z") << " Z " << "Périodique ou journal" << "" << "";
    QTest::newRow("F with a blank after") << "F " << "" << "" << "";
    QTest::newRow("F") << "F" << "" << "française" << "Divers";
    QTest::newRow("A with a blank before") << " A" << "" << "" << "";
    QTest::newRow("D keeps its trailing blank") << "D" << "" << "allemande" << "Exercices de chimie ";
    QTest::newRow("lower case b") << "b" << "" << "" << "";
    QTest::newRow("lower case d") << "d" << "" << "" << "";
    QTest::newRow("empty") << "" << "" << "" << "";
    QTest::newRow("two letters") << "BL" << "" << "" << "";
    QTest::newRow("tab is no blank") << "\tV" << "" << "" << "";
    QTest::newRow("E") << "E" << "" << "anglaise" << "Travaux pratiques";
    QTest::newRow("G") << "G" << "" << "" << "Pédagogie";
    QTest::newRow("T") << "T" << "Transparent" << "" << "";
}

void TestCodeRecord::labels()
{
    QFETCH(QString, text);
    QFETCH(QString, prefixe);
    QFETCH(QString, langue);
    QFETCH(QString, domaine);
    QCOMPARE(PrefixIs(text), prefixe);
    QCOMPARE(LangueIs(text), langue);
    QCOMPARE(DomaineIs(text), domaine);
}

void TestCodeRecord::tablesAgreeWithTheirPositions()
{
    // "Pédagogie" is shown above "Divers" but keeps position 7 and letter G.
    QCOMPARE(CodeTables::domaine().entryAt(7)->letter, QLatin1Char('G'));
    QCOMPARE(CodeTables::domaine().entryAt(6)->caption, QStringLiteral("Divers"));
    QCOMPARE(CodeTables::domaine().entryAt(4)->caption, QStringLiteral("Exercices de chimie"));
    QCOMPARE(CodeTables::prefixe().entryForText(QStringLiteral("V"))->caption, QStringLiteral("vidéo"));
    QCOMPARE(CodeTables::langue().entryForText(QStringLiteral("F"))->position, 2);
    QVERIFY(!CodeTables::langue().entryAt(0));
    QVERIFY(!CodeTables::langue().entryAt(4));
    QVERIFY(!CodeTables::prefixe().entryForText(QStringLiteral("b")));
}

void TestCodeRecord::numero_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("admitted");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << "12" << true << 12;
    QTest::newRow("blanks around") << "  12 " << true << 12;
    QTest::newRow("negative") << "-5" << true << -5;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("fraction down") << "2.4" << true << 2;
    QTest::newRow("half to even, down") << "2.5" << true << 2;
    QTest::newRow("half to even, up") << "3.5" << true << 4;
    QTest::newRow("more than half") << "2.51" << true << 3;
    QTest::newRow("upper bound") << "32767" << true << 32767;
    QTest::newRow("lower bound") << "-32768" << true << -32768;
    QTest::newRow("rounds past the bound") << "32767.5" << false << 0;
    QTest::newRow("too large") << "40000" << false << 0;
    QTest::newRow("too small") << "-32769" << false << 0;
    QTest::newRow("very long") << "123456789012345678901234567890" << false << 0;
    QTest::newRow("letters after") << "12a" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("lone minus") << "-" << false << 0;
    QTest::newRow("lone separator") << "." << false << 0;
    QTest::newRow("blank inside") << "1 2" << false << 0;
    QTest::newRow("other separator") << "2,5" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    // Empty is admitted as no number; a blank is not empty.
    QTest::newRow("empty") << QString() << true << 0;
    QTest::newRow("blank") << " " << false << 0;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\u0661\u0662") << false << 0;
}

void TestCodeRecord::numero()
{
    QFETCH(QString, text);
    QFETCH(bool, admitted);
    QFETCH(int, value);
    const QChar point = QLatin1Char('.');
    QCOMPARE(Catalogue::isAdmissibleNumero(text, point), admitted);
    const auto number = Catalogue::numeroValue(text, point);
    QCOMPARE(number.has_value(), admitted && !text.isEmpty());
    if (number)
        QCOMPARE(*number, value);
    // With a comma as the system's separator the roles swap.
    if (text == QLatin1String("2,5"))
        QCOMPARE(Catalogue::numeroValue(text, QLatin1Char(',')), std::optional<int>(2));
}

QTEST_GUILESS_MAIN(TestCodeRecord)
#include "tst_coderecord.moc"
