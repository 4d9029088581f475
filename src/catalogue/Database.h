#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// An error as the engine reports it: a number and the engine's own text.
struct DataError {
    int number = 0;
    QString text;
};

// Error numbers of our own, beside the engine's result codes.
namespace DataErrors {
inline constexpr int NoCurrentRecord = 3021;
inline constexpr int ReadOnly = 3027;
inline constexpr int TypeMismatch = 3464;
inline constexpr int QuerySyntax = 3075;
inline constexpr int NotOpen = 3420;
inline constexpr int FileAccess = 3044;
inline constexpr int RecordGone = 3167;
inline constexpr int TimeLimit = 3712;
inline constexpr int NoRowKey = 3800;
inline constexpr int UnfinishedChanges = 3801; // a journal only a writer can undo
inline constexpr int Cancelled = 3059;
inline constexpr int Busy = 3802; // a statement asked for while another one steps
inline constexpr int RecordChanged = 3197; // another user stored the record since it was read
inline constexpr int ConnectionLost = 3803; // the server went away; the next action reconnects
} // namespace DataErrors

class Engine;
class EngineCursor;
class RowFilter;
class Statement;
namespace JetSql {
class Dialect;
}

// One connection to a catalogue: a file, or a table on a database server
// when the name is a server's address (see isServerName). Everything above
// reaches the engine through this class and Statement only; the engine
// itself (sqlite/, postgres/) is chosen once, when the catalogue is opened.
// Either engine gives the catalogue's LIKE patterns and French order, and in
// read-only mode refuses every write itself.
class Database {
public:
    enum class Mode { ReadWrite, ReadOnly };
    struct Column {
        QString name;
        bool integer = false; // holds whole numbers
    };

    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Whether a catalogue name is a server's: a postgresql:// or postgres://
    // address, or libpq's keyword form naming a service ("service=biblio").
    static bool isServerName(const QString &name);
    // The catalogue a settings value names: a server's address as it is, a
    // file relative to the folder.
    static QString resolveName(const QString &folder, const QString &name);

    // Opens an existing catalogue; never creates a file.
    bool open(const QString &path, Mode mode = Mode::ReadWrite);
    // Creates a new, empty file; fails when the file exists. On a server,
    // connects (tables are made by the caller).
    bool create(const QString &path);
    void close();

    bool isOpen() const;
    bool isServer() const;
    // Engine SQL that names the rows of a table for good: its integer primary
    // key, else the engine's own row key under a name no column takes.
    // Nothing when neither exists; lastError() then says why.
    std::optional<QString> rowKey(const QString &table);
    // Engine SQL for a value that changes whenever another connection stores
    // a row, to refuse storing over their change; nothing when the engine has
    // no such value.
    std::optional<QString> rowVersion(const QString &table);
    // The table's columns in order; nothing (and lastError) when it has none.
    std::optional<QVector<Column>> columns(const QString &table);
    bool hasTable(const QString &table);
    Mode mode() const { return m_mode; }
    const QString &path() const { return m_path; }
    const DataError &lastError() const { return m_lastError; }

    // Runs engine SQL that returns no rows (schema, transactions).
    bool exec(const QString &sql);
    // Prepares engine SQL, with "?" for the values bound; on failure the
    // statement is null and lastError() says why.
    std::unique_ptr<Statement> prepare(const QString &sql);

    // A change made of several statements: either all of it is stored, or,
    // after rollbackChange(), none. It may sit inside an outer transaction.
    bool beginChange();
    bool commitChange();
    void rollbackChange();

    // Engine SQL for a condition on a table's rows that holds where
    // `condition` (engine SQL; empty for every row) does and the connection's
    // row filter, handed the value of `value` in each such row, keeps it
    // (every such row when no filter is set). Nothing where the engine has no
    // such test: its rows are all stepped out and looked at one by one.
    std::optional<QString> rowFilterTerm(const QString &table, const QString &condition, const QString &value);
    // The filter the term above applies; null for none. Not owned.
    void setRowFilter(RowFilter *filter);

    // How the query texts' dialect is written for this engine.
    const JetSql::Dialect &dialect() const;

    // A table or column name quoted for the engine's SQL.
    static QString quoteName(const QString &name);

    // A number that changes whenever another connection commits a change to
    // the file (this one's own changes leave it); nothing when unknown.
    std::optional<qint64> dataVersion();

    qint64 lastInsertRowId() const;
    int changes() const;

    // Sets lastError from the connection's current error.
    void takeEngineError();
    void setError(int number, const QString &text);
    void clearError() { m_lastError = {}; }

    // The file engine's own connection, for its file copy; null on a server.
    sqlite3 *handle() const;

    // How long one statement may run, summed over its steps, before the
    // engine stops it: a query that never ends must not freeze the program.
    static int timeLimitMs();
    static void setTimeLimitMs(int ms);

    // Called now and then while the engine works on a statement, so that
    // long work can tell how far it is; returning false stops the statement,
    // which fails with DataErrors::Cancelled. It must not use this
    // connection: the engine forbids it, and statements refuse to step.
    void setActivity(std::function<bool()> activity) { m_activity = std::move(activity); }
    const std::function<bool()> &activity() const { return m_activity; }
    // Whether a statement is being run right now (only true inside activity).
    bool isStepping() const;

private:
    friend class Statement;
    bool choose(const QString &name);

    std::unique_ptr<Engine> m_engine;
    Mode m_mode = Mode::ReadWrite;
    QString m_path;
    DataError m_lastError;
    std::function<bool()> m_activity;
};

// A prepared statement. Values come back as QVariant: NULL as a null
// QVariant, integers as qint64, reals as double, text as QString.
class Statement {
public:
    enum class Step { Row, Done, Error };
    // What a column of the current row holds.
    enum class Type { Null, Integer, Real, Text, Blob };

    Statement(Database &db, std::unique_ptr<EngineCursor> cursor);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    bool bind(int index, const QVariant &value); // index from 1
    Step step();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    QVariant value(int column) const;
    Type type(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    // The column as UTF-8 text, valid until the next step; null for NULL.
    QByteArrayView utf8(int column) const;
    // The column's bytes as stored, valid until the next step.
    QByteArrayView bytes(int column) const;
    // The file engine's own statement; null on a server.
    sqlite3_stmt *handle() const;
    // Rows the engine has gone through in whole-table scans since prepared.
    qint64 rowsScanned() const;

private:
    std::unique_ptr<EngineCursor> m_cursor;
};

// A test that a connection applies to the rows of a query in the engine's own
// loop (see Database::rowFilterTerm): rows it turns down never come out of
// the statement. It sees the value of one expression: its type, a text as
// UTF-8, a number as a double.
class RowFilter {
public:
    virtual ~RowFilter() = default;
    virtual bool keep(Statement::Type type, const char *utf8, int length, double number) = 0;
};
