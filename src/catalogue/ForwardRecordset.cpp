#include "ForwardRecordset.h"

#include "JetSql.h"
#include "KeysetQuery.h"

bool ForwardRecordset::open(Database &db, const QString &query, const std::function<bool(qint64)> &seeking)
{
    m_db = &db;
    m_statement.reset();
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
    return m_statement ? m_statement->columnCount() : 0;
}

QVariant ForwardRecordset::field(int position) const
{
    return m_eof ? QVariant() : m_statement->value(position);
}

QByteArrayView ForwardRecordset::fieldUtf8(int position) const
{
    return m_eof ? QByteArrayView() : m_statement->utf8(position);
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
