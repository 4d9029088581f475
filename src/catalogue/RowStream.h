#pragma once

#include "Database.h"

#include <QString>

#include <memory>

// The rows of one query read from first to last with bounded memory, however
// large the table. A file's engine hands rows out one by one already; a
// server sends a whole result at once, so there the rows come through a
// cursor of the server in batches, inside a transaction that this object
// holds from open() until it is destroyed (one state of the table for the
// whole read). The query is the engine's SQL.
class RowStream {
public:
    explicit RowStream(Database &db, int batch = 2000);
    ~RowStream();
    RowStream(const RowStream &) = delete;
    RowStream &operator=(const RowStream &) = delete;

    // Starts the query; false with db.lastError() when it cannot run.
    bool open(const QString &sql);
    Statement::Step step();

    // The current row's columns, as Statement gives them.
    Statement &row() { return *m_statement; }
    int columnCount() const;
    QString columnName(int column) const;

private:
    void finish();

    Database &m_db;
    int m_batch;
    std::unique_ptr<Statement> m_statement;
    bool m_inTransaction = false;
    bool m_batchHadRows = false;
    QStringList m_names;
};
