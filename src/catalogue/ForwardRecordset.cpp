#include "ForwardRecordset.h"

#include "JetSql.h"
#include "KeysetQuery.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

namespace {

constexpr int PageRows = 500;

} // namespace

bool ForwardRecordset::open(Database &db, const QString &query, const std::function<bool(qint64)> &seeking)
{
    m_db = &db;
    m_statement.reset();
    m_eof = true;
    m_error = {};
    m_keyed = false;
    m_keys.clear();
    m_page.clear();
    m_nextKey = m_pageRow = 0;
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
    if (!select->terms.isEmpty() && select->ordering.isEmpty()) {
        const auto columns = db.columns(select->table);
        if (!columns) {
            m_error = db.lastError();
            return false;
        }
        QStringList names;
        for (const Database::Column &column : *columns)
            names << column.name;
        if (!KeysetQuery::run(db, *select, names, *key, m_keys, m_error))
            return false;
        const QStringList marks(PageRows, QStringLiteral("?"));
        m_statement = db.prepare(QLatin1String("SELECT ") + *key + QLatin1String(", * FROM ")
                                 + Database::quoteName(select->table) + QLatin1String(" WHERE ") + *key
                                 + QLatin1String(" IN (") + marks.join(QLatin1Char(',')) + QLatin1Char(')'));
        if (!m_statement) {
            m_error = db.lastError();
            return false;
        }
        m_keyed = true;
        m_fieldCount = m_statement->columnCount() - 1;
        return stepKeyed();
    }
    m_statement = db.prepare(JetSql::selectAll(*select, *key));
    if (!m_statement) {
        m_error = db.lastError();
        return false;
    }
    if (!seeking)
        return step();
    Statement &statement = *m_statement;
    const KeysetQuery::ActivityScope activity(db, [&seeking, &statement] { return seeking(statement.rowsScanned()); });
    return step();
}

int ForwardRecordset::fieldCount() const
{
    if (m_keyed)
        return m_fieldCount;
    return m_statement ? m_statement->columnCount() : 0;
}

QVariant ForwardRecordset::field(int position) const
{
    if (m_eof)
        return {};
    return m_keyed ? m_page[m_pageRow].values.value(position) : m_statement->value(position);
}

QByteArrayView ForwardRecordset::fieldUtf8(int position) const
{
    if (m_eof)
        return {};
    if (!m_keyed)
        return m_statement->utf8(position);
    const Row &row = m_page[m_pageRow];
    return row.values.value(position).isNull() ? QByteArrayView() : QByteArrayView(row.utf8.value(position));
}

bool ForwardRecordset::stepKeyed()
{
    if (m_pageRow + 1 < m_page.size()) {
        ++m_pageRow;
        return true;
    }
    m_page.clear();
    m_pageRow = 0;
    // Rows deleted since the keys were read are passed over.
    while (m_page.empty() && m_nextKey < m_keys.size()) {
        const std::size_t end = std::min(m_keys.size(), m_nextKey + PageRows);
        QHash<qint64, std::size_t> place;
        for (std::size_t i = m_nextKey; i < m_nextKey + PageRows; ++i) {
            m_statement->bind(int(i - m_nextKey) + 1, i < end ? QVariant(m_keys[i]) : QVariant());
            if (i < end)
                place.insert(m_keys[i], i - m_nextKey);
        }
        std::vector<Row> byPlace(end - m_nextKey);
        std::vector<bool> found(byPlace.size(), false);
        Statement::Step step;
        while ((step = m_statement->step()) == Statement::Step::Row) {
            const std::size_t at = place.value(m_statement->int64(0));
            Row &row = byPlace[at];
            found[at] = true;
            for (int column = 1; column <= m_fieldCount; ++column) {
                row.values << m_statement->value(column);
                row.utf8 << m_statement->utf8(column).toByteArray();
            }
        }
        m_statement->reset();
        if (step == Statement::Step::Error) {
            m_eof = true;
            m_error = m_db->lastError();
            return false;
        }
        for (std::size_t i = 0; i < byPlace.size(); ++i) {
            if (found[i])
                m_page.push_back(std::move(byPlace[i]));
        }
        m_nextKey = end;
    }
    m_eof = m_page.empty();
    return true;
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
    if (m_keyed)
        return stepKeyed();
    switch (m_statement->step()) {
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
