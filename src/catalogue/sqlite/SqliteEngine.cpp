#include "SqliteEngine.h"

#include "SqliteDialect.h"
#include "catalogue/JetSql.h"
#include "catalogue/JetText.h"

#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

// How long a query waits for another program that holds the file.
constexpr int BusyTimeoutMs = 5000;

// The engine checks the time after this many of its instructions.
constexpr int ProgressInstructions = 10000;
constexpr const char *RowFilterFunction = "ferulan_row_filter";

// Read twice a row: the coarse clock costs a fraction of the precise one,
// and a few milliseconds are precision enough for a limit in seconds.
qint64 nowMs()
{
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void deletePattern(void *pattern)
{
    delete static_cast<JetText::Pattern *>(pattern);
}

// The pattern is the same on every row: compiled once per statement.
// compile() gives it from the statement's pattern argument.
template <typename Compile>
void matchRow(sqlite3_context *context, Compile compile, const char *text, int length)
{
    auto *pattern = static_cast<JetText::Pattern *>(sqlite3_get_auxdata(context, 0));
    if (!pattern) {
        sqlite3_set_auxdata(context, 0, new JetText::Pattern(compile()), deletePattern);
        // The engine may have dropped it already; fetch it back to be safe.
        pattern = static_cast<JetText::Pattern *>(sqlite3_get_auxdata(context, 0));
        if (!pattern) {
            sqlite3_result_int(context, compile().matches(text, length));
            return;
        }
    }
    sqlite3_result_int(context, pattern->matches(text, length));
}

void likeFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    // like(pattern, text [, escape]), as the engine calls it for "text LIKE pattern".
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return; // NULL, as the built-in gives
    char32_t escape = 0;
    if (argc == 3) {
        const QString e = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(argv[2])));
        if (e.size() != 1) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
        escape = e.at(0).unicode();
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    const int length = sqlite3_value_bytes(argv[1]);
    matchRow(context, [&] {
        const auto *p = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        return JetText::Pattern(p, sqlite3_value_bytes(argv[0]), escape);
    }, text, length);
}

// LIKE with accents, letter case and ligatures folded away on both sides:
// "ecole" finds "École", "ŒUVRE" finds "oeuvre".
void likeFoldedFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    thread_local std::string text;
    text.clear();
    JetText::appendFolded(text, reinterpret_cast<const char *>(sqlite3_value_text(argv[1])),
                          sqlite3_value_bytes(argv[1]));
    matchRow(context, [&] {
        std::string folded;
        JetText::appendFolded(folded, reinterpret_cast<const char *>(sqlite3_value_text(argv[0])),
                              sqlite3_value_bytes(argv[0]));
        return JetText::Pattern(folded.data(), int(folded.size()));
    }, text.data(), int(text.size()));
}

void sortKeyFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_TEXT: {
        const int length = sqlite3_value_bytes(argv[0]);
        if (length == 0)
            return; // empty text sorts with missing values, first
        thread_local std::string key;
        key.clear();
        JetText::appendSortKey(key, reinterpret_cast<const char *>(sqlite3_value_text(argv[0])), length);
        // Bytes, compared as they are; after every number, as text would be.
        sqlite3_result_blob(context, key.data(), int(key.size()), SQLITE_TRANSIENT);
        return;
    }
    case SQLITE_NULL:
        return;
    default:
        sqlite3_result_value(context, argv[0]); // numbers keep their order
    }
}

// A journal left by a writer that stopped half-way can only be rolled back
// by a connection that may write; read-only, the engine just says "attempt
// to write a readonly database", which misleads.
bool unfinishedChanges(sqlite3 *db)
{
    const int code = sqlite3_extended_errcode(db);
    return code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY;
}

int engineNumber(sqlite3 *db)
{
    return unfinishedChanges(db) ? DataErrors::UnfinishedChanges : sqlite3_errcode(db);
}

QString engineText(sqlite3 *db)
{
    if (unfinishedChanges(db)) {
        const int code = sqlite3_extended_errcode(db);
        const QString file = QString::fromUtf8(sqlite3_db_filename(db, "main"))
            + QLatin1String(code == SQLITE_READONLY_ROLLBACK ? "-journal" : "-wal");
        return QStringLiteral("the file has a journal of unfinished changes (%1), left by a program that stopped "
                              "while writing; it is undone the next time the file is opened with write access")
            .arg(file);
    }
    return QString::fromUtf8(sqlite3_errmsg(db));
}

QString cancelledText()
{
    return QStringLiteral("Opération interrompue à la demande de l'utilisateur.");
}

QString busyText()
{
    return QStringLiteral("La base de données est occupée par une autre requête.");
}

QString timeLimitText()
{
    return QStringLiteral("La requête a été arrêtée au bout de %1 secondes : elle ne finissait pas. "
                          "Vérifiez l'ordre (DataOrderString), la recherche ou le filtre.")
        .arg(Database::timeLimitMs() / 1000.0);
}

} // namespace

SqliteEngine::SqliteEngine(Database &owner)
    : Engine(owner)
{
}

SqliteEngine::~SqliteEngine()
{
    close();
}

bool SqliteEngine::open(const QString &path, Database::Mode mode)
{
    close();
    // The engine would create a missing file; the program only opens existing ones.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        m_owner.setError(DataErrors::FileAccess, QStringLiteral("Could not find file '%1'.").arg(path));
        return false;
    }
    const int flags = mode == Database::Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (!openWithFlags(path, flags, mode))
        return false;
    // Reading the schema proves that this is a catalogue file of our engine.
    if (!exec(QStringLiteral("SELECT count(*) FROM sqlite_schema"))) {
        const DataError error = m_owner.lastError();
        close();
        m_owner.setError(error.number, error.text);
        return false;
    }
    return true;
}

bool SqliteEngine::create(const QString &path)
{
    close();
    if (QFileInfo::exists(path)) {
        m_owner.setError(DataErrors::FileAccess, QStringLiteral("The file '%1' already exists.").arg(path));
        return false;
    }
    return openWithFlags(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, Database::Mode::ReadWrite);
}

bool SqliteEngine::openWithFlags(const QString &path, int flags, Database::Mode mode)
{
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        m_owner.setError(rc, db ? engineText(db) : QString::fromUtf8(sqlite3_errstr(rc)));
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    configure(mode);
    return true;
}

int SqliteEngine::progress(void *engine)
{
    auto *self = static_cast<SqliteEngine *>(engine);
    if (self->m_deadline != 0 && nowMs() >= self->m_deadline) {
        self->m_timedOut = true;
        return 1;
    }
    const auto &activity = self->m_owner.activity();
    if (self->m_deadline != 0 && activity && !activity()) {
        self->m_cancelled = true;
        return 1;
    }
    return 0;
}

void SqliteEngine::configure(Database::Mode mode)
{
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    sqlite3_progress_handler(m_db, ProgressInstructions, &SqliteEngine::progress, this);
    // A double-quoted name that names no column is an error, never a string.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // LIKE in the catalogue's dialect, for both arities the engine uses.
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(m_db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(m_db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(m_db, JetSql::LikeFoldedFunction, 2, flags, nullptr, likeFoldedFunction, nullptr,
                               nullptr, nullptr);
    sqlite3_create_function_v2(m_db, JetSql::SortKeyFunction, 1, flags, nullptr, sortKeyFunction, nullptr,
                               nullptr, nullptr);
    // Not deterministic: the filter it calls keeps state between rows.
    sqlite3_create_function_v2(m_db, RowFilterFunction, 2, SQLITE_UTF8, this, rowFilterFunction, nullptr, nullptr,
                               nullptr);
    if (mode == Database::Mode::ReadOnly)
        exec(QStringLiteral("PRAGMA query_only = 1"));
}

std::optional<QString> SqliteEngine::rowFilterTerm(const QString &table, const QString &condition, const QString &value)
{
    // The condition goes in as an argument, so that the filter sees exactly
    // the rows that hold it, whatever order the engine tests terms in.
    const QString holds = condition.isEmpty() ? QStringLiteral("1") : QLatin1Char('(') + condition + QLatin1String(") IS TRUE");
    const QString call = QLatin1String(RowFilterFunction) + QLatin1Char('(') + holds + QLatin1String(", ") + value + QLatin1Char(')');
    if (condition.isEmpty())
        return call;
    // There the engine cannot see it: where the table has an index that
    // might narrow the rows, the condition stays a term of its own as well
    // (tested twice in the rows it keeps).
    auto indexes = prepare(QLatin1String("PRAGMA index_list(") + Database::quoteName(table) + QLatin1Char(')'));
    if (!indexes)
        return std::nullopt;
    const bool indexed = indexes->step() == Statement::Step::Row;
    return indexed ? QLatin1Char('(') + condition + QLatin1String(") AND ") + call : call;
}

void SqliteEngine::rowFilterFunction(sqlite3_context *context, int, sqlite3_value **values)
{
    if (!sqlite3_value_int(values[0])) {
        sqlite3_result_int(context, 0);
        return;
    }
    RowFilter *filter = static_cast<SqliteEngine *>(sqlite3_user_data(context))->m_rowFilter;
    bool keep = true;
    if (filter) {
        switch (sqlite3_value_type(values[1])) {
        case SQLITE_TEXT: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(values[1]));
            keep = filter->keep(Statement::Type::Text, text, sqlite3_value_bytes(values[1]), 0);
            break;
        }
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            keep = filter->keep(Statement::Type::Real, nullptr, 0, sqlite3_value_double(values[1]));
            break;
        default:
            keep = filter->keep(Statement::Type::Null, nullptr, 0, 0);
        }
    }
    sqlite3_result_int(context, keep ? 1 : 0);
}

void SqliteEngine::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

bool SqliteEngine::exec(const QString &sql)
{
    if (isStepping()) {
        m_owner.setError(DataErrors::Busy, busyText());
        return false;
    }
    char *message = nullptr;
    m_timedOut = false;
    m_cancelled = false;
    m_deadline = nowMs() + Database::timeLimitMs();
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    m_deadline = 0;
    if (rc != SQLITE_OK) {
        if (rc == SQLITE_INTERRUPT && m_timedOut)
            m_owner.setError(DataErrors::TimeLimit, timeLimitText());
        else if (rc == SQLITE_INTERRUPT && m_cancelled)
            m_owner.setError(DataErrors::Cancelled, cancelledText());
        else if (sqlite3_errcode(m_db) == rc)
            takeError();
        else
            m_owner.setError(rc, message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc)));
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::unique_ptr<EngineCursor> SqliteEngine::prepare(const QString &sql)
{
    if (isStepping()) {
        m_owner.setError(DataErrors::Busy, busyText());
        return nullptr;
    }
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), utf8.size(), &stmt, &tail);
    // The engine compiles the first statement only: whatever follows would be
    // dropped without a word, so it is refused instead.
    if (rc == SQLITE_OK && stmt && tail) {
        const QString rest = QString::fromUtf8(tail, utf8.constData() + utf8.size() - tail).trimmed();
        if (!rest.isEmpty()) {
            sqlite3_finalize(stmt);
            m_owner.setError(DataErrors::QuerySyntax,
                             QStringLiteral("Une seule instruction est permise ; ce texte la suit : %1").arg(rest));
            return nullptr;
        }
    }
    if (rc != SQLITE_OK || !stmt) {
        if (rc != SQLITE_OK)
            takeError();
        else
            m_owner.setError(DataErrors::QuerySyntax, QStringLiteral("The query is empty."));
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return std::make_unique<SqliteCursor>(*this, stmt);
}

// A savepoint rather than BEGIN, so that a change may also sit inside a
// transaction of the caller's.
bool SqliteEngine::beginChange()
{
    return exec(QStringLiteral("SAVEPOINT record_change"));
}

bool SqliteEngine::commitChange()
{
    return exec(QStringLiteral("RELEASE record_change"));
}

void SqliteEngine::rollbackChange()
{
    const DataError error = m_owner.lastError();
    if (!exec(QStringLiteral("ROLLBACK TO record_change")) || !exec(QStringLiteral("RELEASE record_change")))
        exec(QStringLiteral("ROLLBACK"));
    m_owner.setError(error.number, error.text);
}

std::optional<QVector<Database::Column>> SqliteEngine::columns(const QString &table)
{
    auto info = prepare(QLatin1String("PRAGMA table_info(") + Database::quoteName(table) + QLatin1Char(')'));
    if (!info)
        return std::nullopt;
    QVector<Database::Column> columns;
    while (info->step() == Statement::Step::Row)
        columns.push_back({info->value(1).toString(),
                           info->value(2).toString().contains(QLatin1String("INT"), Qt::CaseInsensitive)});
    if (columns.isEmpty()) {
        m_owner.setError(DataErrors::NoRowKey, QStringLiteral("no such table: %1").arg(table));
        return std::nullopt;
    }
    return columns;
}

bool SqliteEngine::hasTable(const QString &table)
{
    auto query = prepare(QStringLiteral("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    if (!query)
        return false;
    query->bind(1, table);
    return query->step() == Statement::Step::Row;
}

std::optional<QString> SqliteEngine::rowKey(const QString &table)
{
    const QString quoted = Database::quoteName(table);
    // Every column, hidden ones included, and the primary key's.
    auto info = prepare(QLatin1String("PRAGMA table_xinfo(") + quoted + QLatin1Char(')'));
    if (!info)
        return std::nullopt;
    QStringList columns;
    QString primaryKey;
    int primaryKeyColumns = 0;
    bool integerKey = false;
    while (info->step() == Statement::Step::Row) {
        const QString name = info->value(1).toString();
        columns << name;
        if (info->value(5).toInt() > 0) {
            ++primaryKeyColumns;
            primaryKey = name;
            integerKey = info->value(2).toString().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        }
    }
    info.reset();
    if (columns.isEmpty()) {
        m_owner.setError(DataErrors::NoRowKey, QStringLiteral("no such table: %1").arg(table));
        return std::nullopt;
    }
    // A view's rows have no key of their own: the engine gives them NULL.
    if (auto kind = prepare(QStringLiteral("SELECT type FROM sqlite_schema WHERE name = ? COLLATE NOCASE"))) {
        kind->bind(1, table);
        if (kind->step() == Statement::Step::Row && kind->value(0).toString() != QLatin1String("table")) {
            m_owner.setError(DataErrors::NoRowKey,
                             QStringLiteral("%1 n'est pas une table mais une vue : ses lignes n'ont pas de clé, le "
                                            "programme ne saurait pas laquelle il montre ou modifie.")
                                 .arg(table));
            return std::nullopt;
        }
    }
    if (primaryKeyColumns == 1 && integerKey) {
        // Such a key is the row key itself, unless the engine keeps an index
        // for it (a key declared DESC, a table without row keys).
        bool ownIndex = false;
        if (auto indexes = prepare(QLatin1String("PRAGMA index_list(") + quoted + QLatin1Char(')'))) {
            while (indexes->step() == Statement::Step::Row)
                ownIndex = ownIndex || indexes->value(3).toString() == QLatin1String("pk");
        }
        if (!ownIndex)
            return Database::quoteName(primaryKey);
    }
    // A column may take the name of the engine's row key and hide it.
    for (const char *name : {"_rowid_", "rowid", "oid"}) {
        if (columns.contains(QLatin1String(name), Qt::CaseInsensitive))
            continue;
        if (prepare(QLatin1String("SELECT %1 FROM %2 LIMIT 0").arg(QLatin1String(name), quoted)))
            return QString::fromLatin1(name);
    }
    m_owner.setError(
        DataErrors::NoRowKey,
        QStringLiteral("La table %1 n'a aucune clé qui distingue ses lignes : pas de clé primaire entière, "
                       "et ses colonnes rowid, _rowid_ et oid (ou sa forme) cachent celle du moteur. "
                       "Le programme n'ouvre pas ce fichier : il risquerait de modifier une ligne pour une autre.")
            .arg(table));
    return std::nullopt;
}

qint64 SqliteEngine::lastInsertRowId()
{
    return sqlite3_last_insert_rowid(m_db);
}

int SqliteEngine::changes() const
{
    return sqlite3_changes(m_db);
}

const JetSql::Dialect &SqliteEngine::dialect() const
{
    return SqliteDialect::instance();
}

void SqliteEngine::takeError()
{
    m_owner.setError(engineNumber(m_db), engineText(m_db));
}

SqliteCursor::SqliteCursor(SqliteEngine &engine, sqlite3_stmt *stmt)
    : m_engine(engine)
    , m_stmt(stmt)
{
}

SqliteCursor::~SqliteCursor()
{
    sqlite3_finalize(m_stmt);
}

bool SqliteCursor::bind(int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
            break;
        default: {
            const QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK) {
        m_engine.takeError();
        return false;
    }
    return true;
}

Statement::Step SqliteCursor::step()
{
    // Only the time spent in the engine counts, not the caller's work
    // between rows.
    if (m_engine.isStepping()) {
        m_engine.m_owner.setError(DataErrors::Busy, busyText());
        return Statement::Step::Error;
    }
    const qint64 start = nowMs();
    m_engine.m_timedOut = false;
    m_engine.m_cancelled = false;
    m_engine.m_deadline = start + std::max<qint64>(1, Database::timeLimitMs() - m_spentMs);
    const int rc = sqlite3_step(m_stmt);
    m_engine.m_deadline = 0;
    m_spentMs += nowMs() - start;
    if (rc == SQLITE_ROW)
        return Statement::Step::Row;
    m_spentMs = 0;
    if (rc == SQLITE_DONE)
        return Statement::Step::Done;
    if (rc == SQLITE_INTERRUPT && m_engine.m_timedOut)
        m_engine.m_owner.setError(DataErrors::TimeLimit, timeLimitText());
    else if (rc == SQLITE_INTERRUPT && m_engine.m_cancelled)
        m_engine.m_owner.setError(DataErrors::Cancelled, cancelledText());
    else
        m_engine.takeError();
    sqlite3_reset(m_stmt);
    return Statement::Step::Error;
}

void SqliteCursor::reset()
{
    m_spentMs = 0;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 SqliteCursor::rowsScanned() const
{
    return sqlite3_stmt_status(m_stmt, SQLITE_STMTSTATUS_FULLSCAN_STEP, 0);
}

int SqliteCursor::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString SqliteCursor::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QVariant SqliteCursor::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(m_stmt, column)));
    }
    }
}

Statement::Type SqliteCursor::type(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return Statement::Type::Integer;
    case SQLITE_FLOAT:
        return Statement::Type::Real;
    case SQLITE_TEXT:
        return Statement::Type::Text;
    case SQLITE_BLOB:
        return Statement::Type::Blob;
    default:
        return Statement::Type::Null;
    }
}

qint64 SqliteCursor::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double SqliteCursor::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

QByteArrayView SqliteCursor::utf8(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!text)
        return {};
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

QByteArrayView SqliteCursor::bytes(int column) const
{
    const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
    return QByteArrayView(data, data ? sqlite3_column_bytes(m_stmt, column) : 0);
}

std::optional<qint64> SqliteEngine::dataVersion()
{
    auto version = prepare(QStringLiteral("PRAGMA data_version"));
    if (!version || version->step() != Statement::Step::Row)
        return std::nullopt;
    return version->int64(0);
}
