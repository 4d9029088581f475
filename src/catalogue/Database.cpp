#include "Database.h"

#include "Engine.h"
#include "postgres/PgEngine.h"
#include "sqlite/SqliteDialect.h"
#include "sqlite/SqliteEngine.h"

#include <QRegularExpression>

namespace {

// An ordered query over a million records takes under a second on a slow
// machine; one that runs this long is not going to end.
int s_timeLimitMs = 30000;

QString notOpenText()
{
    return QStringLiteral("The database is not open.");
}

} // namespace

Database::Database() = default;

Database::~Database()
{
    close();
}

bool Database::isServerName(const QString &name)
{
    // libpq's two forms: an address, or "keyword=value" pairs (a service,
    // a host...). A file name holding '=' and a blank is not worth the doubt.
    static const QRegularExpression address(QStringLiteral("^postgres(ql)?://"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression keywords(QStringLiteral("^\\s*(service|host|hostaddr|dbname)\\s*="));
    return address.match(name).hasMatch() || keywords.match(name).hasMatch();
}

QString Database::resolveName(const QString &folder, const QString &name)
{
    if (isServerName(name) || folder.isEmpty() || name.startsWith(QLatin1Char('/')))
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool Database::choose(const QString &name)
{
    close();
    clearError();
    if (isServerName(name))
        m_engine = std::make_unique<PgEngine>(*this);
    else
        m_engine = std::make_unique<SqliteEngine>(*this);
    return true;
}

bool Database::open(const QString &path, Mode mode)
{
    choose(path);
    if (!m_engine->open(path, mode)) {
        m_engine.reset();
        return false;
    }
    m_mode = mode;
    m_path = path;
    return true;
}

bool Database::create(const QString &path)
{
    choose(path);
    if (!m_engine->create(path)) {
        m_engine.reset();
        return false;
    }
    m_mode = Mode::ReadWrite;
    m_path = path;
    return true;
}

void Database::close()
{
    if (m_engine)
        m_engine->close();
    m_engine.reset();
}

bool Database::isOpen() const
{
    return m_engine && m_engine->isOpen();
}

bool Database::isServer() const
{
    return dynamic_cast<const PgEngine *>(m_engine.get()) != nullptr;
}

int Database::timeLimitMs()
{
    return s_timeLimitMs;
}

void Database::setTimeLimitMs(int ms)
{
    s_timeLimitMs = ms;
}

bool Database::exec(const QString &sql)
{
    if (!isOpen()) {
        setError(DataErrors::NotOpen, notOpenText());
        return false;
    }
    return m_engine->exec(sql);
}

std::unique_ptr<Statement> Database::prepare(const QString &sql)
{
    if (!isOpen()) {
        setError(DataErrors::NotOpen, notOpenText());
        return nullptr;
    }
    auto cursor = m_engine->prepare(sql);
    if (!cursor)
        return nullptr;
    return std::make_unique<Statement>(*this, std::move(cursor));
}

bool Database::beginChange()
{
    if (!isOpen()) {
        setError(DataErrors::NotOpen, notOpenText());
        return false;
    }
    return m_engine->beginChange();
}

bool Database::commitChange()
{
    return isOpen() && m_engine->commitChange();
}

void Database::rollbackChange()
{
    if (isOpen())
        m_engine->rollbackChange();
}

const JetSql::Dialect &Database::dialect() const
{
    return m_engine ? m_engine->dialect() : SqliteDialect::instance();
}

QString Database::quoteName(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

std::optional<QString> Database::rowKey(const QString &table)
{
    if (!isOpen()) {
        setError(DataErrors::NotOpen, notOpenText());
        return std::nullopt;
    }
    return m_engine->rowKey(table);
}

std::optional<QString> Database::rowVersion(const QString &table)
{
    return isOpen() ? m_engine->rowVersion(table) : std::nullopt;
}

std::optional<QVector<Database::Column>> Database::columns(const QString &table)
{
    if (!isOpen()) {
        setError(DataErrors::NotOpen, notOpenText());
        return std::nullopt;
    }
    return m_engine->columns(table);
}

bool Database::hasTable(const QString &table)
{
    return isOpen() && m_engine->hasTable(table);
}

std::optional<QString> Database::rowFilterTerm(const QString &table, const QString &condition, const QString &value)
{
    return isOpen() ? m_engine->rowFilterTerm(table, condition, value) : std::nullopt;
}

void Database::setRowFilter(RowFilter *filter)
{
    if (m_engine)
        m_engine->setRowFilter(filter);
}

std::optional<qint64> Database::dataVersion()
{
    return isOpen() ? m_engine->dataVersion() : std::nullopt;
}

qint64 Database::lastInsertRowId() const
{
    return isOpen() ? m_engine->lastInsertRowId() : 0;
}

int Database::changes() const
{
    return isOpen() ? m_engine->changes() : 0;
}

bool Database::isStepping() const
{
    return m_engine && m_engine->isStepping();
}

void Database::takeEngineError()
{
    if (m_engine)
        m_engine->takeError();
}

void Database::setError(int number, const QString &text)
{
    m_lastError = {number, text};
}

sqlite3 *Database::handle() const
{
    const auto *engine = dynamic_cast<const SqliteEngine *>(m_engine.get());
    return engine ? engine->handle() : nullptr;
}

Statement::Statement(Database &, std::unique_ptr<EngineCursor> cursor)
    : m_cursor(std::move(cursor))
{
}

Statement::~Statement() = default;

bool Statement::bind(int index, const QVariant &value)
{
    return m_cursor->bind(index, value);
}

Statement::Step Statement::step()
{
    return m_cursor->step();
}

void Statement::reset()
{
    m_cursor->reset();
}

int Statement::columnCount() const
{
    return m_cursor->columnCount();
}

QString Statement::columnName(int column) const
{
    return m_cursor->columnName(column);
}

QVariant Statement::value(int column) const
{
    return m_cursor->value(column);
}

Statement::Type Statement::type(int column) const
{
    return m_cursor->type(column);
}

qint64 Statement::int64(int column) const
{
    return m_cursor->int64(column);
}

double Statement::real(int column) const
{
    return m_cursor->real(column);
}

QByteArrayView Statement::utf8(int column) const
{
    return m_cursor->utf8(column);
}

QByteArrayView Statement::bytes(int column) const
{
    return m_cursor->bytes(column);
}

qint64 Statement::rowsScanned() const
{
    return m_cursor->rowsScanned();
}

sqlite3_stmt *Statement::handle() const
{
    const auto *cursor = dynamic_cast<const SqliteCursor *>(m_cursor.get());
    return cursor ? cursor->handle() : nullptr;
}
