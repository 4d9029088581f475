#include "RowStream.h"

namespace {
const QString CursorName = QStringLiteral("ferulan_rows");
}

RowStream::RowStream(Database &db, int batch) : m_db(db), m_batch(batch) {}

RowStream::~RowStream()
{
    finish();
}

void RowStream::finish()
{
    m_statement.reset();
    if (m_inTransaction) {
        // Only read: nothing to keep, and the cursor goes with it.
        m_db.exec(QStringLiteral("ROLLBACK"));
        m_inTransaction = false;
    }
}

bool RowStream::open(const QString &sql)
{
    finish();
    m_names.clear();
    if (!m_db.isServer()) {
        m_statement = m_db.prepare(sql);
        if (!m_statement)
            return false;
        for (int column = 0; column < m_statement->columnCount(); ++column)
            m_names << m_statement->columnName(column);
        return true;
    }
    if (!m_db.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ")))
        return false;
    m_inTransaction = true;
    if (!m_db.exec(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(CursorName, sql))) {
        finish();
        return false;
    }
    m_statement = m_db.prepare(QStringLiteral("FETCH %1 FROM %2").arg(m_batch).arg(CursorName));
    if (!m_statement) {
        finish();
        return false;
    }
    for (int column = 0; column < m_statement->columnCount(); ++column)
        m_names << m_statement->columnName(column);
    m_batchHadRows = false;
    return true;
}

Statement::Step RowStream::step()
{
    if (!m_statement)
        return Statement::Step::Done;
    Statement::Step step = m_statement->step();
    if (m_inTransaction && step == Statement::Step::Done && m_batchHadRows) {
        // The batch is used up: the next one, until one comes back empty.
        m_statement->reset();
        m_batchHadRows = false;
        step = m_statement->step();
    }
    if (step == Statement::Step::Row)
        m_batchHadRows = true;
    return step;
}

int RowStream::columnCount() const
{
    return int(m_names.size());
}

QString RowStream::columnName(int column) const
{
    return m_names.value(column);
}
