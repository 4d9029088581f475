#pragma once

#include "catalogue/Engine.h"

struct sqlite3;
struct sqlite3_stmt;

// A catalogue file. The connection learns the catalogue's LIKE patterns and
// French sort keys as functions of its own, opens the file shared with a busy
// timeout, and in read-only mode refuses every write.
class SqliteEngine : public Engine {
public:
    explicit SqliteEngine(Database &owner);
    ~SqliteEngine() override;

    bool open(const QString &name, Database::Mode mode) override;
    bool create(const QString &name) override;
    void close() override;
    bool isOpen() const override { return m_db != nullptr; }

    bool exec(const QString &sql) override;
    std::unique_ptr<EngineCursor> prepare(const QString &sql) override;

    bool beginChange() override;
    bool commitChange() override;
    void rollbackChange() override;

    std::optional<QString> rowKey(const QString &table) override;

    std::optional<QString> rowFilterTerm(const QString &table, const QString &condition, const QString &value) override;
    void setRowFilter(RowFilter *filter) override { m_rowFilter = filter; }
    std::optional<qint64> dataVersion() override;
    std::optional<QVector<Database::Column>> columns(const QString &table) override;
    bool hasTable(const QString &table) override;
    qint64 lastInsertRowId() override;
    int changes() const override;

    const JetSql::Dialect &dialect() const override;
    bool isStepping() const override { return m_deadline != 0; }
    void takeError() override;

    sqlite3 *handle() const { return m_db; }

private:
    friend class SqliteCursor;
    static int progress(void *engine);
    static void rowFilterFunction(struct sqlite3_context *context, int, struct sqlite3_value **values);
    bool openWithFlags(const QString &path, int flags, Database::Mode mode);
    void configure(Database::Mode mode);

    sqlite3 *m_db = nullptr;
    qint64 m_deadline = 0; // monotonic ms; 0 while no step runs
    bool m_timedOut = false;
    bool m_cancelled = false;
    RowFilter *m_rowFilter = nullptr;
};

class SqliteCursor : public EngineCursor {
public:
    SqliteCursor(SqliteEngine &engine, sqlite3_stmt *stmt);
    ~SqliteCursor() override;

    bool bind(int index, const QVariant &value) override;
    Statement::Step step() override;
    void reset() override;

    int columnCount() const override;
    QString columnName(int column) const override;
    Statement::Type type(int column) const override;
    QVariant value(int column) const override;
    qint64 int64(int column) const override;
    double real(int column) const override;
    QByteArrayView utf8(int column) const override;
    QByteArrayView bytes(int column) const override;
    qint64 rowsScanned() const override;

    sqlite3_stmt *handle() const { return m_stmt; }

private:
    SqliteEngine &m_engine;
    sqlite3_stmt *m_stmt;
    qint64 m_spentMs = 0; // time in the engine since the last reset
};
