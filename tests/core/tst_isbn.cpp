#include "catalogue/Isbn.h"

#include <QtTest>

class TestIsbn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void check_data();
    void check();
};

void TestIsbn::check_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shaped");
    QTest::addColumn<bool>("correct");
    QTest::addColumn<QString>("expected"); // the check digit, when shaped

    QTest::newRow("10, hyphens") << "2-7000-0107-9" << true << true << "9";
    QTest::newRow("10, X") << "0-8044-2957-X" << true << true << "X";
    QTest::newRow("10, x and blanks") << " 0 8044 2957 x " << true << true << "X";
    QTest::newRow("10, wrong") << "2-7000-0107-3" << true << false << "9";
    QTest::newRow("10, X where 4 belongs") << "2-07-036024-X" << true << false << "5";
    QTest::newRow("13") << "978-0-306-40615-7" << true << true << "7";
    QTest::newRow("13, 979") << "979-10-90636-07-1" << true << true << "1";
    QTest::newRow("13, wrong") << "978-2-07-036024-5" << true << false << "6";
    QTest::newRow("13, X") << "978-0-306-40615-X" << false << false << "";
    QTest::newRow("13, other prefix") << "977-0-306-40615-7" << false << false << "";
    QTest::newRow("X inside") << "2-70X0-0107-9" << false << false << "";
    QTest::newRow("ISSN") << "0317-8471" << false << false << "";
    QTest::newRow("note") << "voir fiche 12" << false << false << "";
    QTest::newRow("Arabic-Indic digits") << "٢٧٠٠٠٠١٠٧٩" << false << false << "";
    QTest::newRow("empty") << "" << false << false << "";
}

void TestIsbn::check()
{
    QFETCH(QString, text);
    QFETCH(bool, shaped);
    QFETCH(bool, correct);
    QFETCH(QString, expected);
    const Isbn::Check result = Isbn::check(text);
    QCOMPARE(result.shaped, shaped);
    QCOMPARE(result.correct, correct);
    QCOMPARE(result.shaped ? QString(result.expected) : QString(), expected);
}

QTEST_GUILESS_MAIN(TestIsbn)
#include "tst_isbn.moc"
