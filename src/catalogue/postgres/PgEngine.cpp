#include "PgEngine.h"

#include <libpq-fe.h>

#include <QStringList>

#include <chrono>
#include <cstdlib>
#include <poll.h>

namespace {

// Type numbers of the server's built-in types (pg_type.oid).
constexpr unsigned BoolOid = 16;
constexpr unsigned ByteaOid = 17;
constexpr unsigned Int8Oid = 20;
constexpr unsigned Int2Oid = 21;
constexpr unsigned Int4Oid = 23;
constexpr unsigned OidOid = 26;
constexpr unsigned Float4Oid = 700;
constexpr unsigned Float8Oid = 701;
constexpr unsigned NumericOid = 1700;

// A server that does not answer within this long is taken as gone.
constexpr const char *ConnectTimeoutSeconds = "5";
// How often a waiting statement looks at the clock and the activity.
constexpr int PollMs = 50;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString serverText(const char *text)
{
    return QString::fromUtf8(text).trimmed();
}

QString lostText(const QString &detail)
{
    return QStringLiteral("La connexion au serveur du catalogue est perdue (%1). Ce qui est saisi reste affiché ; "
                          "le programme se reconnecte à la prochaine action, une fois le serveur revenu.")
        .arg(detail.simplified());
}

QString unreachableText(const QString &detail)
{
    return QStringLiteral("Le serveur du catalogue ne répond pas (%1). Ce qui est saisi reste affiché ; réessayez "
                          "une fois le serveur revenu.")
        .arg(detail.simplified());
}

QString readOnlyText()
{
    return QStringLiteral("Cannot update. Database or object is read-only.");
}

QString timeLimitText()
{
    return QStringLiteral("La requête a été arrêtée au bout de %1 secondes : elle ne finissait pas. "
                          "Vérifiez l'ordre (DataOrderString), la recherche ou le filtre.")
        .arg(Database::timeLimitMs() / 1000.0);
}

QString busyText()
{
    return QStringLiteral("La base de données est occupée par une autre requête.");
}

bool isRead(const QByteArray &sql)
{
    return sql.trimmed().left(6).compare("SELECT", Qt::CaseInsensitive) == 0;
}

} // namespace

PgEngine::PgEngine(Database &owner)
    : Engine(owner)
    , m_dialect([this](const QString &table) {
        QStringList names;
        if (const auto found = columns(table)) {
            for (const Database::Column &column : *found)
                names << column.name;
        }
        return names;
    })
{
}

PgEngine::~PgEngine()
{
    close();
}

bool PgEngine::open(const QString &name, Database::Mode mode)
{
    close();
    m_name = name;
    m_mode = mode;
    return connect();
}

bool PgEngine::create(const QString &name)
{
    return open(name, Database::Mode::ReadWrite);
}

void PgEngine::close()
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    m_columns.clear();
}

bool PgEngine::connect()
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    // The address's own settings come last and win; the password comes from
    // libpq's password file or environment, never from the program.
    const QByteArray name = m_name.toUtf8();
    const char *keys[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count",
                          "tcp_user_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char *values[] = {ConnectTimeoutSeconds, "5", "2", "2", "5000", "ferulan", name.constData(), "UTF8",
                            nullptr};
    pg_conn *conn = PQconnectdbParams(keys, values, 1);
    if (PQstatus(conn) != CONNECTION_OK) {
        m_owner.setError(DataErrors::ConnectionLost, unreachableText(serverText(PQerrorMessage(conn))));
        PQfinish(conn);
        return false;
    }
    // The server's notices (a table already there...) are not for the user.
    PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
    m_conn = conn;
    ++m_generation;
    m_lost = false;
    m_columns.clear();
    QString setup = QStringLiteral("SET statement_timeout = %1; SET lock_timeout = 5000; "
                                   "SET standard_conforming_strings = on")
                        .arg(Database::timeLimitMs());
    // The session itself refuses writes, whatever the window allows.
    if (m_mode == Database::Mode::ReadOnly)
        setup += QStringLiteral("; SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    if (!exec(setup)) {
        PQfinish(m_conn);
        m_conn = nullptr;
        return false;
    }
    return true;
}

bool PgEngine::ensureConnected()
{
    if (m_conn && !m_lost && PQstatus(m_conn) == CONNECTION_OK)
        return true;
    if (m_name.isEmpty()) {
        m_owner.setError(DataErrors::NotOpen, QStringLiteral("The database is not open."));
        return false;
    }
    return connect();
}

void PgEngine::connectionLost(const QString &detail)
{
    m_lost = true;
    m_owner.setError(DataErrors::ConnectionLost, lostText(detail));
}

pg_result *PgEngine::wait()
{
    const qint64 deadline = nowMs() + Database::timeLimitMs();
    bool timedOut = false;
    bool cancelled = false;
    m_stepping = true;
    while (PQisBusy(m_conn)) {
        pollfd fd{PQsocket(m_conn), POLLIN, 0};
        ::poll(&fd, 1, PollMs);
        if (!PQconsumeInput(m_conn))
            break;
        const auto &activity = m_owner.activity();
        if (!timedOut && !cancelled && (nowMs() >= deadline || (activity && !activity()))) {
            (nowMs() >= deadline ? timedOut : cancelled) = true;
            char message[256];
            if (PGcancel *cancel = PQgetCancel(m_conn)) {
                PQcancel(cancel, message, sizeof message);
                PQfreeCancel(cancel);
            }
        }
        // A server that stays silent after the cancel is as good as gone.
        if ((timedOut || cancelled) && nowMs() >= deadline + 5000) {
            m_stepping = false;
            connectionLost(QStringLiteral("pas de réponse"));
            return nullptr;
        }
    }
    m_stepping = false;
    pg_result *last = nullptr;
    while (pg_result *result = PQgetResult(m_conn)) {
        if (last)
            PQclear(last);
        last = result;
    }
    if (PQstatus(m_conn) != CONNECTION_OK) {
        PQclear(last);
        connectionLost(serverText(PQerrorMessage(m_conn)));
        return nullptr;
    }
    if (!last) {
        m_owner.setError(1, serverText(PQerrorMessage(m_conn)));
        return nullptr;
    }
    const char *state = PQresultErrorField(last, PG_DIAG_SQLSTATE);
    if (state && qstrcmp(state, "57014") == 0 && (timedOut || cancelled)) {
        PQclear(last);
        if (timedOut)
            m_owner.setError(DataErrors::TimeLimit, timeLimitText());
        else
            m_owner.setError(DataErrors::Cancelled, QStringLiteral("Opération interrompue à la demande de l'utilisateur."));
        return nullptr;
    }
    return last;
}

pg_result *PgEngine::run(const Send &send, bool retry)
{
    if (m_stepping) {
        m_owner.setError(DataErrors::Busy, busyText());
        return nullptr;
    }
    const bool wasConnected = m_conn && !m_lost;
    if (!ensureConnected())
        return nullptr;
    const int generation = m_generation;
    pg_result *result = nullptr;
    if (send())
        result = wait();
    else
        connectionLost(serverText(PQerrorMessage(m_conn)));
    // A server restarted since the last statement: a read goes once more
    // over a new connection, unseen by the user.
    if (!result && retry && wasConnected && m_lost && generation == m_generation && connect()) {
        if (send())
            result = wait();
    }
    if (result && failed(result))
        return nullptr;
    return result;
}

bool PgEngine::failed(pg_result *result)
{
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
        return false;
    const QByteArray state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const QString message = serverText(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    PQclear(result);
    if (state == "25006")
        m_owner.setError(DataErrors::ReadOnly, readOnlyText());
    else if (state == "57014")
        m_owner.setError(DataErrors::TimeLimit, timeLimitText());
    else if (state.startsWith("08") || state.startsWith("57P"))
        connectionLost(message);
    else if (state == "55P03" || state == "40001" || state == "40P01")
        m_owner.setError(DataErrors::Busy,
                         QStringLiteral("La fiche est en cours d'enregistrement par un autre poste ; réessayez."));
    else if (state.startsWith("42"))
        m_owner.setError(DataErrors::QuerySyntax, message);
    else
        m_owner.setError(1, message);
    return true;
}

pg_result *PgEngine::runSql(const QString &sql, const std::vector<QByteArray> &params)
{
    const QByteArray text = numberedParameters(sql);
    std::vector<const char *> values;
    for (const QByteArray &param : params)
        values.push_back(param.constData());
    return run(
        [&] {
            return PQsendQueryParams(m_conn, text.constData(), int(values.size()), nullptr, values.data(), nullptr,
                                     nullptr, 0)
                == 1;
        },
        isRead(text));
}

bool PgEngine::exec(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    pg_result *result = run([&] { return PQsendQuery(m_conn, text.constData()) == 1; }, false);
    if (!result)
        return false;
    const char *tuples = PQcmdTuples(result);
    m_changes = tuples && *tuples ? std::atoi(tuples) : 0;
    PQclear(result);
    return true;
}

std::unique_ptr<EngineCursor> PgEngine::prepare(const QString &sql)
{
    if (m_stepping) {
        m_owner.setError(DataErrors::Busy, busyText());
        return nullptr;
    }
    auto cursor = std::make_unique<PgCursor>(*this, numberedParameters(sql));
    if (!cursor->prepareOnServer())
        return nullptr;
    return cursor;
}

bool PgEngine::beginChange()
{
    // Inside a transaction of the caller's, a savepoint of its own.
    m_savepoint = m_conn && !m_lost && PQtransactionStatus(m_conn) == PQTRANS_INTRANS;
    return exec(m_savepoint ? QStringLiteral("SAVEPOINT record_change") : QStringLiteral("BEGIN"));
}

bool PgEngine::commitChange()
{
    return exec(m_savepoint ? QStringLiteral("RELEASE record_change") : QStringLiteral("COMMIT"));
}

void PgEngine::rollbackChange()
{
    const DataError error = m_owner.lastError();
    if (m_conn && !m_lost && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        exec(m_savepoint ? QStringLiteral("ROLLBACK TO record_change; RELEASE record_change")
                         : QStringLiteral("ROLLBACK"));
    m_owner.setError(error.number, error.text);
}

std::optional<QVector<Database::Column>> PgEngine::columns(const QString &table)
{
    const auto cached = m_columns.constFind(table);
    if (cached != m_columns.constEnd())
        return *cached;
    pg_result *result = runSql(QStringLiteral("SELECT attname, atttypid IN (20, 21, 23) FROM pg_attribute "
                                              "WHERE attrelid = to_regclass(?) AND attnum > 0 AND NOT attisdropped "
                                              "ORDER BY attnum"),
                               {Database::quoteName(table).toUtf8()});
    if (!result)
        return std::nullopt;
    QVector<Database::Column> found;
    for (int row = 0; row < PQntuples(result); ++row)
        found.push_back({QString::fromUtf8(PQgetvalue(result, row, 0)), *PQgetvalue(result, row, 1) == 't'});
    PQclear(result);
    if (found.isEmpty()) {
        m_owner.setError(DataErrors::NoRowKey, QStringLiteral("no such table: %1").arg(table));
        return std::nullopt;
    }
    m_columns.insert(table, found);
    return found;
}

bool PgEngine::hasTable(const QString &table)
{
    pg_result *result = runSql(QStringLiteral("SELECT 1 FROM pg_class WHERE oid = to_regclass(?) AND relkind IN ('r', 'p')"),
                               {Database::quoteName(table).toUtf8()});
    if (!result)
        return false;
    const bool found = PQntuples(result) > 0;
    PQclear(result);
    return found;
}

std::optional<QString> PgEngine::rowKey(const QString &table)
{
    const QByteArray quoted = Database::quoteName(table).toUtf8();
    pg_result *result = runSql(QStringLiteral("SELECT c.relkind, a.attname, a.atttypid IN (20, 21, 23) "
                                              "FROM pg_class c LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary "
                                              "LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum = ANY(i.indkey) "
                                              "WHERE c.oid = to_regclass(?)"),
                               {quoted});
    if (!result)
        return std::nullopt;
    const int rows = PQntuples(result);
    const QByteArray kind = rows > 0 ? QByteArray(PQgetvalue(result, 0, 0)) : QByteArray();
    const QString name = rows == 1 ? QString::fromUtf8(PQgetvalue(result, 0, 1)) : QString();
    const bool integer = rows == 1 && *PQgetvalue(result, 0, 2) == 't';
    PQclear(result);
    if (rows == 0) {
        m_owner.setError(DataErrors::NoRowKey, QStringLiteral("no such table: %1").arg(table));
        return std::nullopt;
    }
    if (kind != "r" && kind != "p") {
        m_owner.setError(DataErrors::NoRowKey,
                         QStringLiteral("%1 n'est pas une table mais une vue : ses lignes n'ont pas de clé, le "
                                        "programme ne saurait pas laquelle il montre ou modifie.")
                             .arg(table));
        return std::nullopt;
    }
    if (!integer || name.isEmpty()) {
        m_owner.setError(DataErrors::NoRowKey,
                         QStringLiteral("La table %1 du serveur n'a pas de clé primaire faite d'une seule colonne "
                                        "entière : le programme ne saurait pas quelle ligne il montre ou modifie.")
                             .arg(table));
        return std::nullopt;
    }
    return Database::quoteName(name);
}

// The server gives every stored row version a new transaction number.
std::optional<QString> PgEngine::rowVersion(const QString &)
{
    return QStringLiteral("xmin::text");
}

qint64 PgEngine::lastInsertRowId()
{
    const DataError error = m_owner.lastError();
    pg_result *result = runSql(QStringLiteral("SELECT lastval()"));
    if (!result) {
        m_owner.setError(error.number, error.text);
        return 0;
    }
    const qint64 key = QByteArray(PQgetvalue(result, 0, 0)).toLongLong();
    PQclear(result);
    return key;
}

void PgEngine::takeError()
{
    if (m_conn)
        m_owner.setError(1, serverText(PQerrorMessage(m_conn)));
}

QByteArray PgEngine::numberedParameters(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 8);
    int number = 0;
    QChar quote;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            out += QLatin1Char('$') + QString::number(++number);
            continue;
        }
        out += c;
    }
    return out.toUtf8();
}

PgCursor::PgCursor(PgEngine &engine, QByteArray sql)
    : m_engine(engine)
    , m_sql(std::move(sql))
{
}

PgCursor::~PgCursor()
{
    clearResult();
    // Statements of a connection that is gone went with it.
    if (!m_name.isEmpty() && m_generation == m_engine.m_generation && m_engine.m_conn && !m_engine.m_lost
        && !m_engine.m_stepping) {
        if (pg_result *result = PQexec(m_engine.m_conn, "DEALLOCATE \"" + m_name + '"'))
            PQclear(result);
    }
}

bool PgCursor::prepareOnServer()
{
    const QByteArray name = m_engine.nextName().toUtf8();
    pg_result *prepared = m_engine.run(
        [&] { return PQsendPrepare(m_engine.m_conn, name.constData(), m_sql.constData(), 0, nullptr) == 1; }, true);
    if (!prepared)
        return false;
    PQclear(prepared);
    pg_result *described = m_engine.run(
        [&] { return PQsendDescribePrepared(m_engine.m_conn, name.constData()) == 1; }, false);
    if (!described)
        return false;
    m_name = name;
    m_generation = m_engine.m_generation;
    m_names.clear();
    m_types.clear();
    for (int column = 0; column < PQnfields(described); ++column) {
        m_names << QString::fromUtf8(PQfname(described, column));
        m_types.push_back(PQftype(described, column));
    }
    const int params = PQnparams(described);
    PQclear(described);
    m_params.resize(std::size_t(params));
    m_nulls.assign(std::size_t(params), true);
    return true;
}

void PgCursor::clearResult()
{
    if (m_result)
        PQclear(m_result);
    m_result = nullptr;
    m_row = -1;
    m_rows = 0;
}

bool PgCursor::bind(int index, const QVariant &value)
{
    if (index < 1 || std::size_t(index) > m_params.size()) {
        m_engine.m_owner.setError(25, QStringLiteral("column index out of range"));
        return false;
    }
    const std::size_t i = std::size_t(index - 1);
    m_nulls[i] = value.isNull();
    switch (value.typeId()) {
    case QMetaType::Bool:
        m_params[i] = value.toBool() ? "1" : "0";
        break;
    case QMetaType::Double:
        m_params[i] = QByteArray::number(value.toDouble(), 'g', 17);
        break;
    default:
        m_params[i] = value.toString().toUtf8();
    }
    return true;
}

Statement::Step PgCursor::step()
{
    if (!m_result) {
        // The connection was made anew since: the statement is prepared again.
        if (m_generation != m_engine.m_generation && !prepareOnServer())
            return Statement::Step::Error;
        std::vector<const char *> values(m_params.size());
        for (std::size_t i = 0; i < m_params.size(); ++i)
            values[i] = m_nulls[i] ? nullptr : m_params[i].constData();
        const bool read = isRead(m_sql);
        const int generation = m_engine.m_generation;
        m_result = m_engine.run(
            [&] {
                // A retry runs on a new connection, where the statement must be prepared first.
                if (m_engine.m_generation != generation) {
                    pg_result *again = PQprepare(m_engine.m_conn, m_name.constData(), m_sql.constData(), 0, nullptr);
                    const bool ok = PQresultStatus(again) == PGRES_COMMAND_OK;
                    PQclear(again);
                    if (!ok)
                        return false;
                    m_generation = m_engine.m_generation;
                }
                return PQsendQueryPrepared(m_engine.m_conn, m_name.constData(), int(values.size()), values.data(),
                                           nullptr, nullptr, 0)
                    == 1;
            },
            read);
        if (!m_result)
            return Statement::Step::Error;
        m_rows = PQntuples(m_result);
        const char *tuples = PQcmdTuples(m_result);
        m_engine.m_changes = tuples && *tuples ? std::atoi(tuples) : 0;
    }
    if (m_row + 1 < m_rows) {
        ++m_row;
        return Statement::Step::Row;
    }
    m_row = m_rows;
    return Statement::Step::Done;
}

void PgCursor::reset()
{
    clearResult();
    std::fill(m_nulls.begin(), m_nulls.end(), true);
}

Statement::Type PgCursor::type(int column) const
{
    if (!m_result || m_row < 0 || m_row >= m_rows || PQgetisnull(m_result, m_row, column))
        return Statement::Type::Null;
    switch (m_types[std::size_t(column)]) {
    case BoolOid:
    case Int8Oid:
    case Int2Oid:
    case Int4Oid:
    case OidOid:
        return Statement::Type::Integer;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return Statement::Type::Real;
    case ByteaOid:
        return Statement::Type::Blob;
    default:
        return Statement::Type::Text;
    }
}

QVariant PgCursor::value(int column) const
{
    switch (type(column)) {
    case Statement::Type::Null:
        return {};
    case Statement::Type::Integer:
        return QVariant(int64(column));
    case Statement::Type::Real:
        return QVariant(real(column));
    default: {
        const QByteArrayView text = utf8(column);
        return QVariant(QString::fromUtf8(text.data(), text.size()));
    }
    }
}

qint64 PgCursor::int64(int column) const
{
    const QByteArrayView text = utf8(column);
    if (m_types[std::size_t(column)] == BoolOid)
        return text == "t" ? 1 : 0;
    return QByteArray::fromRawData(text.data(), text.size()).toLongLong();
}

double PgCursor::real(int column) const
{
    const QByteArrayView text = utf8(column);
    return QByteArray::fromRawData(text.data(), text.size()).toDouble();
}

QByteArrayView PgCursor::utf8(int column) const
{
    if (!m_result || m_row < 0 || m_row >= m_rows || PQgetisnull(m_result, m_row, column))
        return {};
    return QByteArrayView(PQgetvalue(m_result, m_row, column), PQgetlength(m_result, m_row, column));
}

QByteArrayView PgCursor::bytes(int column) const
{
    return utf8(column);
}
