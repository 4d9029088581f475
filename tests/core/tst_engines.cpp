#include "TestSupport.h"

#include "catalogue/DataControl.h"
#include "catalogue/Database.h"
#include "catalogue/ForwardRecordset.h"

#include <QElapsedTimer>
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
    void recordSetOnServer();
    void storesOverAnotherUsersChangeAreRefused();
    void readOnlySessionRefusesWrites();
    void lostConnectionKeepsTypedValuesAndComesBack();
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

using TestSupport::column;

} // namespace

void TestEngines::queries_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("numeros"); // NUMERO of the rows, in the order shown
    QTest::addColumn<bool>("forward");        // the export's pass too

    struct Case {
        const char *name;
        const char *query;
        QStringList numeros;
        bool forward = true;
    };
    const Case cases[] = {
        // French order: accents, then case, only separate otherwise equal
        // words; empty and missing values first, equal keys in the order of the rows.
        {"text order", "SELECT * FROM Biblio  ORDER BY AUTEUR", {"5", "6", "7", "4", "2", "3", "1"}},
        {"title order", "SELECT * FROM Biblio ORDER BY TITRE", {"2", "4", "6", "7", "3", "1", "5"}},
        {"number order, closing ';'", "SELECT * FROM Biblio  ORDER BY NUMERO ; ", {"1", "2", "3", "4", "5", "6", "7"}},
        {"number order, descending, narrowed", "SELECT * FROM Biblio WHERE NUMERO <> 4 ORDER BY NUMERO DESC",
         {"7", "6", "5", "3", "2", "1"}},
        {"two terms, one descending", "SELECT * FROM Biblio ORDER BY DOMAINE, AUTEUR DESC",
         {"6", "7", "1", "5", "3", "2", "4"}},
        // A rank names the result's column (4: DOMAINE); descending puts
        // missing values last, equal keys still in row order.
        // (The file's single pass orders a rank by the stored values.)
        {"rank, descending", "SELECT * FROM Biblio ORDER BY 4 DESC", {"4", "2", "3", "1", "5", "7", "6"}, false},
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
            QTest::addRow("%s, %s", server ? "server" : "file", c.name) << server << c.query << c.numeros << c.forward;
    }
}

void TestEngines::queries()
{
    QFETCH(bool, server);
    QFETCH(QString, query);
    QFETCH(QStringList, numeros);
    QFETCH(bool, forward);
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
    {
        // Shown by its ends first, read on two connections, its middle
        // ordered in the background: the same rows in the same order.
        const auto previous = RecordSet::setOrderInBackground({0, {1, 2, 0}});
        const auto restore = qScopeGuard([previous] { RecordSet::setOrderInBackground(previous); });
        VERIFY_DATA(data.Refresh(), data);
        QCOMPARE(column(data, 4), numeros);
    }
    // The export's single pass gives the same order.
    Database db;
    ForwardRecordset rows;
    QVERIFY(db.open(data.DatabaseName(), Database::Mode::ReadOnly) && rows.open(db, query));
    QStringList passed;
    for (; !rows.isEOF(); rows.MoveNext())
        passed << rows.field(4).toString();
    if (forward)
        QCOMPARE(passed, numeros);
}

namespace {

// What the server holds now, read by a connection of its own.
QString stored(const QString &uri, const QString &sql)
{
    Database db;
    if (!db.open(uri))
        return db.lastError().text;
    auto query = db.prepare(sql);
    if (!query || query->step() != Statement::Step::Row)
        return db.lastError().text;
    return query->value(0).toString();
}

void openOn(DataControl &data, const QString &uri, const QString &query)
{
    data.setDatabaseName(uri);
    data.setRecordSource(query);
    VERIFY_DATA(data.Refresh(), data);
}

} // namespace

void TestEngines::recordSetOnServer()
{
    SERVER_CATALOGUE(catalogue, TestSupport::manyRows(300));
    DataControl data;
    openOn(data, catalogue.uri, QStringLiteral("SELECT * FROM Biblio ORDER BY NUMERO DESC"));
    RecordSet &rs = data.Recordset();
    QCOMPARE(rs.recordCount(), 300);
    QCOMPARE(rs.fieldNames().value(5), QStringLiteral("AUTEUR"));
    // A page of rows in one go, quickly; values typed as on a file.
    QElapsedTimer clock;
    clock.start();
    for (int position = 100; position < 150; ++position)
        QCOMPARE(rs.valueAt(position, 4), QVariant(qint64(299 - position)));
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));

    // AddNew stays last and becomes LastModified, the current record kept.
    QVERIFY(rs.MoveNext());
    const auto before = rs.bookmark();
    VERIFY_DATA(rs.AddNew() && rs.setValue(5, QStringLiteral("Nouveau")) && rs.setValue(4, QStringLiteral("12"))
                    && rs.Update(),
                rs);
    QCOMPARE(rs.bookmark(), before);
    QVERIFY(rs.MoveLast() && rs.AbsolutePosition() == 300 && rs.bookmark() == rs.LastModified());
    QCOMPARE(rs.value(5).toString(), QStringLiteral("Nouveau"));
    QCOMPARE(rs.value(4).typeId(), QMetaType::LongLong);
    QVERIFY(rs.setBookmark(*before) && rs.AbsolutePosition() == 1);
    // Delete leaves the set and the server.
    VERIFY_DATA(rs.Move(0) && rs.Delete(), rs);
    QVERIFY(rs.recordCount() == 300 && rs.AbsolutePosition() == -1);
    QCOMPARE(stored(catalogue.uri, QStringLiteral("SELECT count(*) FROM \"Biblio\"")), QStringLiteral("300"));
}

void TestEngines::storesOverAnotherUsersChangeAreRefused()
{
    SERVER_CATALOGUE(catalogue, TestSupport::sampleRows());
    const QString query = QStringLiteral("SELECT * FROM Biblio  ORDER BY NUMERO");
    const QString auteur = QStringLiteral("SELECT \"AUTEUR\" FROM \"Biblio\" WHERE \"ID\" = %1");
    DataControl first;
    DataControl second;
    openOn(first, catalogue.uri, query);
    openOn(second, catalogue.uri, query);
    RecordSet &mine = first.Recordset();
    RecordSet &theirs = second.Recordset();
    const qint64 key = *mine.bookmark();

    // They type, I store; their store is refused and their text stays.
    QVERIFY(theirs.setValue(5, QStringLiteral("Leur texte")));
    QVERIFY(mine.setValue(5, QStringLiteral("Mon texte")) && first.UpdateRecord());
    QVERIFY(!second.UpdateRecord());
    QCOMPARE(second.lastError().number, DataErrors::RecordChanged);
    QVERIFY2(second.lastError().text.contains(QLatin1String("autre utilisateur")), qPrintable(second.lastError().text));
    QCOMPARE(theirs.value(5).toString(), QStringLiteral("Leur texte"));
    QCOMPARE(stored(catalogue.uri, auteur.arg(key)), QStringLiteral("Mon texte"));
    // Dropping their text shows mine; storing it again after the warning replaces mine.
    theirs.CancelUpdate();
    QCOMPARE(theirs.value(5).toString(), QStringLiteral("Mon texte"));
    QVERIFY(theirs.setValue(5, QStringLiteral("Leur texte")) && mine.setValue(7, QStringLiteral("Mon titre"))
            && first.UpdateRecord());
    QVERIFY(!second.UpdateRecord() && theirs.hasConflict());
    VERIFY_DATA(second.UpdateRecord(), second);
    QCOMPARE(stored(catalogue.uri, auteur.arg(key)), QStringLiteral("Leur texte"));

    // A record deleted meanwhile is said to be so.
    VERIFY_DATA(mine.Delete(), mine);
    QVERIFY(theirs.setValue(5, QStringLiteral("Encore")) && !second.UpdateRecord());
    QCOMPARE(second.lastError().number, DataErrors::RecordGone);
}

void TestEngines::readOnlySessionRefusesWrites()
{
    SERVER_CATALOGUE(catalogue, TestSupport::sampleRows());
    Database db;
    QVERIFY2(db.open(catalogue.uri, Database::Mode::ReadOnly), qPrintable(db.lastError().text));
    for (const char *sql : {"DELETE FROM \"Biblio\"", "UPDATE \"Biblio\" SET \"AUTEUR\" = 'x'",
                            "CREATE TABLE t (a int)"}) {
        QVERIFY2(!db.exec(QLatin1String(sql)), sql);
        QCOMPARE(db.lastError().number, DataErrors::ReadOnly);
    }
    auto insert = db.prepare(QStringLiteral("INSERT INTO \"Biblio\" (\"AUTEUR\") VALUES (?)"));
    QVERIFY(insert && insert->bind(1, QStringLiteral("x")) && insert->step() == Statement::Step::Error);
    QCOMPARE(stored(catalogue.uri, QStringLiteral("SELECT count(*) FROM \"Biblio\"")), QStringLiteral("5"));
}

void TestEngines::lostConnectionKeepsTypedValuesAndComesBack()
{
    SERVER_CATALOGUE(catalogue, TestSupport::sampleRows());
    DataControl data;
    openOn(data, catalogue.uri, QStringLiteral("SELECT * FROM Biblio  ORDER BY NUMERO"));
    RecordSet &rs = data.Recordset();
    // As a restarted server does: every connection of this catalogue is cut.
    const auto cut = [&] {
        QCOMPARE(stored(catalogue.uri, QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                                                      "WHERE application_name = '%1' AND pid <> pg_backend_pid()")
                                           .arg(catalogue.schema)),
                 QStringLiteral("1"));
        // The server ends the cut connection a moment later.
        QTRY_COMPARE(stored(catalogue.uri, QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE "
                                                          "application_name = '%1' AND pid <> pg_backend_pid()")
                                               .arg(catalogue.schema)),
                     QStringLiteral("0"));
    };
    QVERIFY(!rs.value(5).toString().isEmpty()); // read before the cut
    cut();
    // Nothing was sent on the cut connection: the store goes through once
    // on a new one.
    QVERIFY(rs.AddNew() && rs.setValue(5, QStringLiteral("Saisi")));
    VERIFY_DATA(data.UpdateRecord(), data);
    QCOMPARE(stored(catalogue.uri, QStringLiteral("SELECT count(*) FROM \"Biblio\" WHERE \"AUTEUR\" = 'Saisi'")),
             QStringLiteral("1"));
    // A server that does not answer is reported in a few seconds, in words.
    DataControl nowhere;
    QElapsedTimer clock;
    clock.start();
    nowhere.setDatabaseName(QStringLiteral("postgresql://127.0.0.1:1/biblio?connect_timeout=2"));
    nowhere.setRecordSource(QStringLiteral("SELECT * FROM Biblio"));
    QVERIFY(!nowhere.Refresh());
    QVERIFY(clock.elapsed() < 5000);
    QVERIFY2(nowhere.lastError().text.startsWith(QStringLiteral("Le serveur du catalogue ne répond pas")),
             qPrintable(nowhere.lastError().text));
    // An edit reads its row first, which is read again on a new connection
    // unseen; the row's version still guards the store.
    cut();
    QVERIFY(rs.MoveFirst() && rs.setValue(5, QStringLiteral("Revu")));
    VERIFY_DATA(data.UpdateRecord(), data);
    // A query after a cut runs again on a new connection unseen.
    cut();
    VERIFY_DATA(data.Refresh(), data);
    QCOMPARE(rs.recordCount(), 6);
}

QTEST_GUILESS_MAIN(TestEngines)
#include "tst_engines.moc"
