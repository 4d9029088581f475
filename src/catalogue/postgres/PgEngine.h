#pragma once

#include "PgDialect.h"
#include "catalogue/Engine.h"

#include <QHash>

#include <functional>
#include <vector>

struct pg_conn;
struct pg_result;

// A catalogue on a PostgreSQL server, through libpq. The connection gives up
// within seconds when the server does not answer (connect and statement
// timeouts, TCP keep-alives), says so in French, and connects again at the
// next statement. In read-only mode the server's session refuses writes.
class PgEngine : public Engine {
public:
    explicit PgEngine(Database &owner);
    ~PgEngine() override;

    bool open(const QString &name, Database::Mode mode) override;
    bool create(const QString &name) override;
    void close() override;
    bool isOpen() const override { return m_conn != nullptr; }

    bool exec(const QString &sql) override;
    std::unique_ptr<EngineCursor> prepare(const QString &sql) override;

    bool beginChange() override;
    bool commitChange() override;
    void rollbackChange() override;

    std::optional<QString> rowKey(const QString &table) override;
    std::optional<QString> rowVersion(const QString &table) override;
    std::optional<QVector<Database::Column>> columns(const QString &table) override;
    bool hasTable(const QString &table) override;
    qint64 lastInsertRowId() override;
    int changes() const override { return m_changes; }

    const JetSql::Dialect &dialect() const override { return m_dialect; }
    bool isStepping() const override { return m_stepping; }
    void takeError() override;

    // "?" marks as the server's "$1", "$2"... outside strings and names.
    static QByteArray numberedParameters(const QString &sql);

private:
    friend class PgCursor;
    // Runs one request already sent, waiting at most the time limit; the
    // result, or null with the owner's error set.
    pg_result *wait();
    // Sends and waits; a read may be sent again once over a new connection
    // when the old one was lost.
    using Send = std::function<bool()>;
    pg_result *run(const Send &send, bool retry);
    pg_result *runSql(const QString &sql, const std::vector<QByteArray> &params = {});
    bool connect();
    bool ensureConnected();
    bool failed(pg_result *result);
    void connectionLost(const QString &detail);
    QString nextName() { return QStringLiteral("ferulan_%1").arg(++m_statements); }

    pg_conn *m_conn = nullptr;
    QString m_name;
    Database::Mode m_mode = Database::Mode::ReadWrite;
    int m_generation = 0; // counts connections, for statements prepared on an old one
    int m_changes = 0;
    int m_statements = 0;
    bool m_stepping = false;
    bool m_lost = false;
    bool m_savepoint = false; // the change in progress sits in a transaction of the caller's
    QHash<QString, QVector<Database::Column>> m_columns;
    PgDialect m_dialect;
};

class PgCursor : public EngineCursor {
public:
    PgCursor(PgEngine &engine, QByteArray sql);
    ~PgCursor() override;
    bool prepareOnServer();

    bool bind(int index, const QVariant &value) override;
    Statement::Step step() override;
    void reset() override;

    int columnCount() const override { return int(m_names.size()); }
    QString columnName(int column) const override { return m_names.value(column); }
    Statement::Type type(int column) const override;
    QVariant value(int column) const override;
    qint64 int64(int column) const override;
    double real(int column) const override;
    QByteArrayView utf8(int column) const override;
    QByteArrayView bytes(int column) const override;
    qint64 rowsScanned() const override { return m_row + 1; }

private:
    void clearResult();

    PgEngine &m_engine;
    QByteArray m_sql;
    QByteArray m_name;
    int m_generation = -1;
    QStringList m_names;
    std::vector<unsigned> m_types;
    std::vector<QByteArray> m_params;
    std::vector<bool> m_nulls;
    pg_result *m_result = nullptr;
    int m_row = -1;
    int m_rows = 0;
};
