#include "catalogue/JetSql.h"

#include <QtTest>

// The catalogue's query dialect: LIKE patterns, French sort keys and the
// translation of the program's query texts.
class TestJetSql : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void like_data();
    void like();
    void foldingDropsAccentsCaseAndLigatures();
    void translate_data();
    void translate();
    void translateRejects_data();
    void translateRejects();
};

void TestJetSql::like_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matches");

    QTest::newRow("contains") << "*chimie*" << "Traité de chimie organique" << true;
    QTest::newRow("contains, other case") << "*CHIMIE*" << "Traité de chimie organique" << true;
    QTest::newRow("accented capital") << "*école*" << "ÉCOLE normale" << true;
    QTest::newRow("accents are not folded") << "*ecole*" << "école" << false;
    QTest::newRow("one character") << "B?n" << "Bon" << true;
    QTest::newRow("one character, not two") << "B?n" << "Boon" << false;
    QTest::newRow("digit") << "#2" << "12" << true;
    QTest::newRow("digit refuses letter") << "#2" << "a2" << false;
    QTest::newRow("set") << "[abc]x" << "Bx" << true;
    QTest::newRow("range") << "[a-f]*" << "Dupont" << true;
    QTest::newRow("range misses") << "[a-c]*" << "Dupont" << false;
    QTest::newRow("negated set") << "[!a-c]*" << "Dupont" << true;
    QTest::newRow("negated set misses") << "[!d]*" << "dupont" << false;
    QTest::newRow("percent is ordinary") << "50%" << "50%" << true;
    QTest::newRow("percent is not a wildcard") << "5%" << "50" << false;
    QTest::newRow("underscore is ordinary") << "a_b" << "axb" << false;
    QTest::newRow("unclosed bracket is literal") << "*[abc*" << "x[abc" << true;
    QTest::newRow("unclosed bracket needs itself") << "[abc" << "a" << false;
    QTest::newRow("star in set is literal") << "a[*]" << "a*" << true;
    QTest::newRow("star in set is not a wildcard") << "a[*]" << "ab" << false;
    QTest::newRow("empty pattern, empty text") << "" << "" << true;
    QTest::newRow("star matches empty") << "*" << "" << true;
    QTest::newRow("backtracking") << "*ab*ab" << "xxabyyabab" << true;
    QTest::newRow("apostrophe") << "*l'eau*" << "De l'eau pure" << true;
    QTest::newRow("blank search") << "* *" << "a b" << true;
    // "*text*" in a plain ASCII text takes a quicker road than the rest.
    QTest::newRow("infix at the very end") << "*mie*" << "CHIMIE" << true;
    QTest::newRow("infix longer than text") << "*chimie*" << "chim" << false;
    QTest::newRow("infix after a false start") << "*chimie*" << "chichimie" << true;
    QTest::newRow("infix, Kelvin sign folds to k") << "*kg*" << QString::fromUtf8("5 \u212AG") << true;
    QTest::newRow("infix, long s folds to s") << "*sur*" << QString::fromUtf8("\u017Fur") << true;
    QTest::newRow("infix, Kelvin sign past a long run") << "*kg*" << QString::fromUtf8("Poids d'été net : 5 \u212AG") << true;
    QTest::newRow("infix, long s beside accents") << "*sur*" << QString::fromUtf8("Réédité, revu \u017Fur épreuves") << true;
    QTest::newRow("infix among accents") << "*de ch*" << QString::fromUtf8("Théorie générale; ÉTUDE CHIMIQUE") << true;
    QTest::newRow("infix of symbols") << "*;-*" << "a;-b" << true;
    QTest::newRow("infix absent") << "*chimie*" << "physique" << false;
    QTest::newRow("infix by words, far in") << "*chimie*" << "Traité de physique et de CHIMIE générale" << true;
    QTest::newRow("infix by words, its last bytes") << "*mie*" << "Traité de physique, CHIMIE" << true;
    QTest::newRow("infix of eight, case mixed") << "*abcd-fgh*" << "xxxxABcD-FgHyy" << true;
    QTest::newRow("infix by words, one byte off") << "*chimie*" << "Traité de chimle et de chimi" << false;
    QTest::newRow("infix by words, brackets not letters") << "*a[b*" << "xxxxxxxx a{b a[b xxxxxxxx" << true;
}

void TestJetSql::like()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, matches);
    QCOMPARE(JetSql::likeMatch(pattern, text), matches);
}

void TestJetSql::foldingDropsAccentsCaseAndLigatures()
{
    QCOMPARE(JetSql::folded(QStringLiteral("ÉCOLE")), QStringLiteral("ecole"));
    QCOMPARE(JetSql::folded(QStringLiteral("Œuvre")), QStringLiteral("oeuvre"));
    QCOMPARE(JetSql::folded(QStringLiteral("Straße")), QStringLiteral("strasse"));
    QVERIFY(JetSql::folded(QString()).isEmpty());
}

void TestJetSql::translate_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QString>("ordering");

    QTest::newRow("plain, two blanks") << "SELECT * FROM Biblio  " << "Biblio" << "" << "";
    QTest::newRow("order, closing ';' and blanks") << "SELECT * FROM Biblio  ORDER BY NUMERO; " << "Biblio" << ""
                                                   << "ferulan_sortkey(NUMERO)";
    QTest::newRow("search and order")
        << "SELECT * FROM Biblio WHERE TITRE LIKE '*a;b*' ORDER BY TITRE" << "Biblio" << "TITRE LIKE '*a;b*'"
        << "ferulan_sortkey(TITRE)";
    QTest::newRow("filter and search")
        << "SELECT * FROM Biblio WHERE (LANGUE = 'D' OR LANGUE = 'F') AND AUTEUR LIKE '*x*' "
        << "Biblio" << "(LANGUE = 'D' OR LANGUE = 'F') AND AUTEUR LIKE '*x*'" << "";
    QTest::newRow("ORDER BY inside a string is text")
        << "SELECT * FROM Biblio WHERE TITRE LIKE '*ORDER BY*'" << "Biblio" << "TITRE LIKE '*ORDER BY*'" << "";
    QTest::newRow("double quotes are strings")
        << "SELECT * FROM Biblio WHERE AUTEUR = \"d'Avogadro\"" << "Biblio" << "AUTEUR = 'd''Avogadro'" << "";
    // Two minus signs are operators, never the start of a comment that
    // would hide the rest of the query.
    QTest::newRow("brackets are names, no comment") << "select * from [Biblio] where [NUMERO]--1 order by [TITRE] desc"
                                                    << "Biblio" << "\"NUMERO\"- -1"
                                                    << "ferulan_sortkey(\"TITRE\") DESC";
    QTest::newRow("two terms") << "SELECT * FROM Biblio ORDER BY DOMAINE, AUTEUR ASC" << "Biblio" << ""
                               << "ferulan_sortkey(DOMAINE), ferulan_sortkey(AUTEUR)";
}

void TestJetSql::translate()
{
    QFETCH(QString, query);
    QFETCH(QString, table);
    QFETCH(QString, condition);
    QFETCH(QString, ordering);
    QString error;
    const auto select = JetSql::translate(query, &error);
    QVERIFY2(select, qPrintable(error));
    QCOMPARE(select->table, table);
    QCOMPARE(select->condition, condition);
    QCOMPARE(select->ordering, ordering);

    // The terms as the keyset sees them, descending ones marked with '-'.
    QStringList terms;
    for (const JetSql::OrderTerm &term : select->terms)
        terms << (term.descending ? QStringLiteral("-") : QString()) + term.expression;
    const QString keys =
        JetSql::selectKeysAndTerms(*select, {QStringLiteral("ID"), QStringLiteral("PREFIXE")}, QStringLiteral("\"ID\""));
    QCOMPARE(keys.section(QLatin1String(" FROM "), 0, 0),
             (QStringList{QStringLiteral("SELECT \"Biblio\".\"ID\"")} + terms).join(QLatin1String(", "))
                 .remove(QLatin1Char('-')));
    QCOMPARE(terms.filter(QLatin1String("-")).size(), int(ordering.count(QLatin1String(" DESC"))));
}

void TestJetSql::translateRejects_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("unbalanced quote") << "SELECT * FROM Biblio WHERE TITRE LIKE '*l'eau*'";
    QTest::newRow("unclosed name") << "SELECT * FROM [Biblio";
    QTest::newRow("not a select") << "DELETE FROM Biblio";
    QTest::newRow("empty condition") << "SELECT * FROM Biblio WHERE ";
    QTest::newRow("no table") << "SELECT * FROM ";
    QTest::newRow("unbalanced parenthesis") << "SELECT * FROM Biblio WHERE (LANGUE = 'D'";
    QTest::newRow("text after ';'") << "SELECT * FROM Biblio WHERE NUMERO = 101; anything at all ORDER BY NUMERO";
    QTest::newRow("second ';'") << "SELECT * FROM Biblio ORDER BY AUTEUR; ;";
}

void TestJetSql::translateRejects()
{
    QFETCH(QString, query);
    QString error;
    QVERIFY(!JetSql::translate(query, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
