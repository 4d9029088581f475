#pragma once

#include "Database.h"

#include <QVariant>

#include <memory>

// A read-once pass over the result of one of the program's query texts, for
// the export: rows stream from the engine, none is held beyond the current.
class ForwardRecordset {
public:
    // Runs the query on the open database; false with db.lastError() on failure.
    bool open(Database &db, const QString &query);

    bool isEOF() const { return m_eof; }
    int fieldCount() const;
    QVariant field(int position) const;
    // The field as UTF-8 text (numbers in decimal), valid until the next
    // move; a null QByteArrayView for a missing value.
    QByteArrayView fieldUtf8(int position) const;
    bool MoveNext();
    const DataError &lastError() const { return m_error; }

private:
    bool step();

    Database *m_db = nullptr;
    std::unique_ptr<Statement> m_statement;
    bool m_eof = true;
    DataError m_error;
};
