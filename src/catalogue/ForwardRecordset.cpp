#include "ForwardRecordset.h"

#include "JetSql.h"
#include "KeysetQuery.h"

namespace {
constexpr int BatchKeys = 500;
}

bool ForwardRecordset::open(Database &db, const QString &query, const std::function<bool(qint64)> &seeking)
{
    m_db = &db;
    m_rows.reset();
    m_fetch.reset();
    m_batch.clear();
    m_keys.clear();
    m_next = 0;
    m_byKey = false;
    m_eof = true;
    m_error = {};
    QString syntaxError;
    const auto select = JetSql::translate(query, &syntaxError, db.dialect());
    if (!select) {
        m_error = {DataErrors::QuerySyntax, syntaxError};
        return false;
    }
    const auto key = db.rowKey(select->table);
    if (!key) {
        m_error = db.lastError();
        return false;
    }
    if (select->ordering.isEmpty() && !select->terms.isEmpty()) {
        // The engine cannot order as the catalogue does: keys first, then rows.
        m_byKey = true;
        QStringList in;
        for (int i = 0; i < BatchKeys; ++i)
            in << QStringLiteral("?");
        m_fetch = db.prepare(QStringLiteral("SELECT %1, * FROM %2 WHERE %1 IN (%3)")
                                 .arg(*key, Database::quoteName(select->table), in.join(QLatin1String(", "))));
        if (!m_fetch) {
            m_error = db.lastError();
            return false;
        }
        QStringList names;
        for (int i = 1; i < m_fetch->columnCount(); ++i)
            names << m_fetch->columnName(i);
        m_columns = int(names.size());
        if (!KeysetQuery::run(db, *select, names, *key, m_keys, m_error))
            return false;
        return step();
    }
    m_rows = std::make_unique<RowStream>(db);
    if (!m_rows->open(JetSql::selectAll(*select, *key))) {
        m_error = db.lastError();
        m_rows.reset();
        return false;
    }
    if (!seeking)
        return step();
    Statement &statement = m_rows->row();
    const KeysetQuery::ActivityScope activity(db, [&seeking, &statement] { return seeking(statement.rowsScanned()); });
    return step();
}

bool ForwardRecordset::fetchBatch()
{
    m_batch.clear();
    m_fetch->reset();
    // A short last batch repeats its last key in the spare places.
    for (int i = 0; i < BatchKeys; ++i)
        m_fetch->bind(i + 1, m_keys[std::min(m_next + std::size_t(i), m_keys.size() - 1)]);
    Statement::Step step;
    while ((step = m_fetch->step()) == Statement::Step::Row) {
        Row row;
        row.values.reserve(m_columns);
        row.texts.reserve(m_columns);
        for (int column = 1; column <= m_columns; ++column) {
            row.values << m_fetch->value(column);
            const QByteArrayView text = m_fetch->utf8(column);
            row.texts << (text.data() ? QByteArray(text.data(), text.size()) : QByteArray());
        }
        m_batch.insert(m_fetch->int64(0), std::move(row));
    }
    if (step == Statement::Step::Error) {
        m_error = m_db->lastError();
        return false;
    }
    return true;
}

bool ForwardRecordset::stepByKey()
{
    m_eof = true;
    while (m_next < m_keys.size()) {
        const qint64 key = m_keys[m_next];
        if (!m_batch.contains(key) && !fetchBatch())
            return false;
        ++m_next;
        // A row deleted since the keys were read is passed over.
        const auto found = m_batch.find(key);
        if (found == m_batch.end())
            continue;
        m_current = std::move(found.value());
        m_batch.erase(found);
        m_eof = false;
        return true;
    }
    return true;
}

int ForwardRecordset::fieldCount() const
{
    if (m_byKey)
        return m_columns;
    return m_rows ? m_rows->columnCount() : 0;
}

QVariant ForwardRecordset::field(int position) const
{
    if (m_eof)
        return QVariant();
    return m_byKey ? m_current.values.value(position) : m_rows->row().value(position);
}

QByteArrayView ForwardRecordset::fieldUtf8(int position) const
{
    if (m_eof)
        return QByteArrayView();
    if (m_byKey) {
        const QByteArray &text = m_current.texts.at(position);
        return text.isNull() ? QByteArrayView() : QByteArrayView(text);
    }
    return m_rows->row().utf8(position);
}

bool ForwardRecordset::MoveNext()
{
    if (m_eof) {
        m_error = {DataErrors::NoCurrentRecord, QStringLiteral("No current record.")};
        return false;
    }
    return step();
}

bool ForwardRecordset::step()
{
    if (m_byKey)
        return stepByKey();
    switch (m_rows->step()) {
    case Statement::Step::Row:
        m_eof = false;
        return true;
    case Statement::Step::Done:
        m_eof = true;
        return true;
    case Statement::Step::Error:
        break;
    }
    m_eof = true;
    m_error = m_db->lastError();
    return false;
}
