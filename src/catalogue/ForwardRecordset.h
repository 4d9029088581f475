#pragma once

#include "Database.h"

#include <QVariant>

#include <QVector>

#include <functional>
#include <memory>
#include <vector>

// A read-once pass over the result of one of the program's query texts, for
// the export: rows stream from the engine, none is held beyond the current.
class ForwardRecordset {
public:
    // Runs the query on the open database; false with lastError() on
    // failure. An ordered query reads the whole table before its first row:
    // meanwhile seeking, when given, hears of the rows read now and then;
    // returning false stops the query (error DataErrors::Cancelled).
    bool open(Database &db, const QString &query, const std::function<bool(qint64 rowsRead)> &seeking = {});

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
    bool stepKeyed();

    Database *m_db = nullptr;
    std::unique_ptr<Statement> m_statement;
    bool m_eof = true;
    DataError m_error;

    // When the engine cannot order rows as the catalogue does, the keys are
    // ordered here and the rows read by key, a page at a time.
    struct Row {
        QVector<QVariant> values;
        QVector<QByteArray> utf8;
    };
    bool m_keyed = false;
    std::vector<qint64> m_keys;
    std::size_t m_nextKey = 0;
    std::vector<Row> m_page;
    std::size_t m_pageRow = 0;
    int m_fieldCount = 0;
};
