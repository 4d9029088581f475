#include "Module1.h"

#include "DataControl.h"

Module1::Module1(DataControl &data, QObject *parent)
    : QObject(parent)
    , m_data(data)
{
}

QString Module1::queryText() const
{
    QString condition;
    if (!FilterClause.isEmpty() && !SearchClause.isEmpty())
        condition = FilterClause + QLatin1String(" AND ") + SearchClause;
    else if (!FilterClause.isEmpty())
        condition = FilterClause;
    else if (!SearchClause.isEmpty())
        condition = QLatin1String("WHERE ") + SearchClause;
    // Both blanks are always written, even around empty parts.
    return QLatin1String("SELECT * FROM ") + TableName + QLatin1Char(' ') + condition + QLatin1Char(' ')
        + OrderClause;
}

bool Module1::ComposeQuery()
{
    m_lastError.clear();
    m_data.setRecordSource(queryText());
    if (!m_data.Refresh()) {
        m_lastError = m_data.lastError().text;
        return false;
    }
    Q_EMIT columnsReset();
    return true;
}
