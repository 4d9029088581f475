#pragma once

#include "Database.h"
#include "RowStream.h"

#include <QHash>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

// A read-once pass over the result of one of the program's query texts, for
// the export: rows stream from the engine (a server's in batches), none is
// held beyond the current batch. An engine that cannot order rows as the
// catalogue does gives the keys in order (KeysetQuery), and the rows follow
// by key, a batch at a time.
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
    bool stepByKey();
    bool fetchBatch();

    // One row read by key: its values, and their UTF-8 text (null: missing).
    struct Row {
        QVector<QVariant> values;
        QVector<QByteArray> texts;
    };

    Database *m_db = nullptr;
    std::unique_ptr<RowStream> m_rows;
    // Reading by key: the keys in order, the next one, the rows fetched ahead.
    bool m_byKey = false;
    int m_columns = 0;
    std::vector<qint64> m_keys;
    std::size_t m_next = 0;
    std::unique_ptr<Statement> m_fetch;
    QHash<qint64, Row> m_batch;
    Row m_current;
    bool m_eof = true;
    DataError m_error;
};
