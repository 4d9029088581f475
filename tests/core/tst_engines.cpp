#include "TestSupport.h"

#include "catalogue/DataControl.h"
#include "catalogue/Database.h"

#include <QtTest>

using TestSupport::Row;

#define VERIFY_DATA(call, control)                                                                        \
    QVERIFY2((call), qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(#call), (control).lastError().text)))

// The same catalogue in a file and on the server must answer the program's
// query texts alike; the server's own behaviour (several users, a lost
// connection, its read-only session) is tried on the server alone.
class TestEngines : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void queries_data();
    void queries();
};

namespace {

const QString F = QStringLiteral("F");

QList<Row> queryRows()
{
    return {
        {QStringLiteral("B"), F, QStringLiteral("A"), 1, QStringLiteral("Zola"), {}, QStringLiteral("L'Œuvre")},
        {QStringLiteral("B"), F, QStringLiteral("B"), 2, QStringLiteral("école")},
        {QStringLiteral("B"), F, QStringLiteral("b"), 3, QStringLiteral("Edison"), {}, QStringLiteral("L'eau")},
        {QStringLiteral("B"), F, QStringLiteral("C"), 4, QStringLiteral("Ecole")},
        {QStringLiteral("B"), F, QStringLiteral("A"), 5, QString(), {}, QStringLiteral("oeuvres")},
        {QStringLiteral("B"), F, QVariant(), 6, QVariant()},
        {QStringLiteral("B"), F, QStringLiteral("a"), 7, QStringLiteral("àbc"), {}, QStringLiteral("CÆSAR")},
    };
}

QStringList column(const DataControl &data, int field)
{
    QStringList values;
    const RecordSet &rs = data.Recordset();
    for (int i = 0; i < rs.recordCount(); ++i) {
        const QVariant v = rs.valueAt(i, field);
        values << (v.isNull() ? QStringLiteral("<null>") : v.toString());
    }
    return values;
}

} // namespace

void TestEngines::queries_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("numeros"); // NUMERO of the rows, in the order shown

    struct Case {
        const char *name;
        const char *query;
        QStringList numeros;
    };
    const Case cases[] = {
        // French order: case and accents do not separate words, empty and
        // missing values first, equal keys in the order of the rows.
        {"text order", "SELECT * FROM Biblio  ORDER BY AUTEUR", {"5", "6", "7", "2", "4", "3", "1"}},
        {"title order", "SELECT * FROM Biblio ORDER BY TITRE", {"2", "4", "6", "7", "3", "1", "5"}},
        {"number order, closing ';'", "SELECT * FROM Biblio  ORDER BY NUMERO ; ", {"1", "2", "3", "4", "5", "6", "7"}},
        {"two terms, one descending", "SELECT * FROM Biblio ORDER BY DOMAINE, AUTEUR DESC",
         {"6", "1", "7", "5", "3", "2", "4"}},
        // A rank names the result's column (4: DOMAINE); descending puts
        // missing values last, equal keys still in row order.
        {"rank, descending", "SELECT * FROM Biblio ORDER BY 4 DESC", {"4", "2", "3", "1", "5", "7", "6"}},
        {"code letters compare exactly", "SELECT * FROM Biblio WHERE (DOMAINE = 'B') ", {"2"}},
        {"filter and search as the dialogs write them",
         "SELECT * FROM Biblio WHERE (DOMAINE = 'A' OR DOMAINE = 'a' ) AND TITRE LIKE '*e*' ORDER BY NUMERO",
         {"1", "5"}},
        // "É" matches "é" but not "E": case is ignored, accents are not.
        {"LIKE ignores the case of accented letters", "SELECT * FROM Biblio WHERE AUTEUR LIKE '*ÉCOLE*' ORDER BY NUMERO",
         {"2"}},
        {"LIKE with a doubled apostrophe", "SELECT * FROM Biblio WHERE TITRE LIKE '*l''eau*' ", {"3"}},
        {"LIKE: range, any one character", "SELECT * FROM Biblio WHERE AUTEUR LIKE '[d-f]*' OR TITRE LIKE 'l?eau'",
         {"3", "4"}},
        {"LIKE: negated set, NOT LIKE", "SELECT * FROM Biblio WHERE AUTEUR LIKE '[!e]*' AND NOT AUTEUR NOT LIKE '*[ab]*'",
         {"1", "7"}},
        {"names in brackets and any case", "SELECT * FROM Biblio WHERE [Auteur] LIKE 'z*' OR auteur = 'Ecole'",
         {"1", "4"}},
        // Folded matching: accents, case and ligatures on both sides; no match on a missing value.
        {"folded: accents and case", "SELECT * FROM Biblio WHERE ferulan_likefolded('*ÉCOLE*', AUTEUR) ",
         {"2", "4"}},
        {"folded: ligature against spelled-out text",
         "SELECT * FROM Biblio WHERE ferulan_likefolded('*ŒUVRE*', TITRE) ORDER BY NUMERO", {"1", "5"}},
        {"folded: spelled-out pattern against ligature, sets",
         "SELECT * FROM Biblio WHERE ferulan_likefolded('c?esar', TITRE) OR ferulan_likefolded('[e]d*', AUTEUR)",
         {"3", "7"}},
        {"numbers match as their text", "SELECT * FROM Biblio WHERE NUMERO LIKE '#' AND NUMERO > 5 ", {"6", "7"}},
    };
    for (const bool server : {false, true}) {
        for (const Case &c : cases)
            QTest::addRow("%s, %s", server ? "server" : "file", c.name) << server << c.query << c.numeros;
    }
}

void TestEngines::queries()
{
    QFETCH(bool, server);
    QFETCH(QString, query);
    QFETCH(QStringList, numeros);
    DataControl data;
    QTemporaryDir folder;
    std::optional<TestSupport::ServerCatalogue> catalogue;
    if (server) {
        catalogue.emplace(queryRows());
        REQUIRE_SERVER(*catalogue);
        data.setDatabaseName(catalogue->uri);
    } else {
        const QString path = folder.filePath(QStringLiteral("biblio.db"));
        const QString error = TestSupport::makeCatalogue(path, queryRows());
        QVERIFY2(error.isEmpty(), qPrintable(error));
        data.setDatabaseName(path);
    }
    data.setRecordSource(query);
    VERIFY_DATA(data.Refresh(), data);
    QCOMPARE(column(data, 4), numeros);
}

QTEST_GUILESS_MAIN(TestEngines)
#include "tst_engines.moc"
