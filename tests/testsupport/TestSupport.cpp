#include "TestSupport.h"

#include "catalogue/CatalogueSchema.h"
#include "catalogue/DataControl.h"
#include "catalogue/Database.h"
#include "catalogue/postgres/PgSchema.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <sys/resource.h>

namespace TestSupport {

QString makeCatalogue(const QString &path, const QList<Row> &rows)
{
    Database db;
    if (!db.create(path) || !CatalogueSchema::create(db) || !db.exec(QStringLiteral("BEGIN")))
        return db.lastError().text;
    auto insert = db.prepare(QStringLiteral(
        "INSERT INTO Biblio (PREFIXE, LANGUE, DOMAINE, NUMERO, AUTEUR, EDITEUR, TITRE, ISBN) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    if (!insert)
        return db.lastError().text;
    for (const Row &row : rows) {
        for (int i = 0; i < 8; ++i)
            insert->bind(i + 1, row.value(i));
        if (insert->step() != Statement::Step::Done)
            return db.lastError().text;
        insert->reset();
    }
    if (!db.exec(QStringLiteral("COMMIT")))
        return db.lastError().text;
    return {};
}

namespace {

bool insertRows(Database &db, const QList<Row> &rows)
{
    auto insert = db.prepare(QStringLiteral(
        "INSERT INTO \"Biblio\" (\"PREFIXE\", \"LANGUE\", \"DOMAINE\", \"NUMERO\", \"AUTEUR\", \"EDITEUR\", "
        "\"TITRE\", \"ISBN\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    if (!insert)
        return false;
    for (const Row &row : rows) {
        for (int i = 0; i < 8; ++i)
            insert->bind(i + 1, row.value(i));
        if (insert->step() != Statement::Step::Done)
            return false;
        insert->reset();
    }
    return true;
}

QString serverBase(QString *why)
{
    const QString given = qEnvironmentVariable("FERULAN_TEST_PG_URI");
    if (!given.isEmpty())
        return given;
    for (const char *name : {"PGHOST", "PGDATABASE", "PGSERVICE", "PGPORT"}) {
        if (qEnvironmentVariableIsSet(name))
            return QStringLiteral("postgresql://");
    }
    *why = QStringLiteral("No PostgreSQL server for the server tests: set FERULAN_TEST_PG_URI or PGHOST..., "
                          "or FERULAN_SKIP_SERVER_TESTS=1 to skip them.");
    return {};
}

} // namespace

ServerCatalogue::ServerCatalogue(const QList<Row> &rows)
{
    static int counter = 0;
    const QString base = serverBase(&error);
    if (base.isEmpty())
        return;
    schema = QStringLiteral("ferulan_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    Database db;
    if (!db.open(base) || !db.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; CREATE SCHEMA %1; "
                                                  "SET search_path = %1")
                                       .arg(schema))
        || !db.exec(PgSchema::createBiblio()) || !insertRows(db, rows)) {
        error = QStringLiteral("Test server %1: %2").arg(base, db.lastError().text);
        return;
    }
    uri = base + (base.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?'))
        + QStringLiteral("options=-csearch_path%3D") + schema + QStringLiteral("&application_name=") + schema;
}

ServerCatalogue::~ServerCatalogue()
{
    Database db;
    if (!schema.isEmpty() && error.isEmpty() && db.open(serverBase(&error)))
        db.exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(schema));
}

QList<Row> manyRows(int n)
{
    QList<Row> rows;
    const char *const prefixes[] = {"B", "L", "V", "Z", "T"};
    const char *const domains[] = {"A", "B", "C", "D", "E", "F", "G"};
    for (int i = 0; i < n; ++i)
        rows.append({prefixes[i % 5], i % 2 ? "F" : "E", domains[i % 7], i, QStringLiteral("Auteur %1").arg(i % 97),
                     "Éditeur", QStringLiteral("Titre %1").arg(n - i), QVariant()});
    return rows;
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

QString makeHalfWrittenCatalogue(const QString &path)
{
    // Pages big enough and a cache small enough that the change spills into
    // the file before it is committed.
    QList<Row> rows;
    for (int i = 0; i < 400; ++i)
        rows << Row{QStringLiteral("B"), QStringLiteral("F"), QStringLiteral("A"), i, QStringLiteral("Auteur"),
                    QString(), QString(500, QLatin1Char('x')), QString()};
    const QString writer = path + QLatin1String(".writer");
    QString error = makeCatalogue(writer, rows);
    if (!error.isEmpty())
        return error;
    Database db;
    if (!db.open(writer) || !db.exec(QStringLiteral("PRAGMA cache_size = 2; BEGIN"))
        || !db.exec(QStringLiteral("UPDATE Biblio SET AUTEUR = 'Perdu', TITRE = printf('%.500c', 'y')")))
        return db.lastError().text;
    // What a crash at this moment leaves: the file and its journal.
    if (!QFile::copy(writer, path) || !QFile::copy(writer + QLatin1String("-journal"), path + QLatin1String("-journal")))
        error = QStringLiteral("cannot copy the half-written file");
    db.close();
    QFile::remove(writer);
    return error;
}

QList<Row> sampleRows()
{
    return {
        {"B", "F", "C", 12, "Vollhardt", "De Boeck", "Traité de chimie organique", "2-8041-1234-5"},
        {"L", "E", "A", 3, "atkins", "Oxford", "Physical chemistry", QVariant()},
        {"V", "D", "E", 40, "Écoles réunies", "IRDP", "Titrages; séries", QString()},
        {"Z", "F", "G", QVariant(), "Zola", "L'Actualité chimique", "L'eau et ses ions", QString()},
        {"T", "F", "B", 7, "Ecole normale", QString(), "Chimie minérale", QString()},
    };
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool withFileSizeLimit(qint64 bytes, const std::function<void()> &action)
{
    rlimit saved{};
    if (getrlimit(RLIMIT_FSIZE, &saved) != 0)
        return false;
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(bytes);
    // Past the limit a write fails instead of the process being signalled.
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limited) != 0) {
        std::signal(SIGXFSZ, savedHandler);
        return false;
    }
    action();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace TestSupport
