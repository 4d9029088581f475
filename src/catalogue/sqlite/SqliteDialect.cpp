#include "SqliteDialect.h"

const SqliteDialect &SqliteDialect::instance()
{
    static const SqliteDialect dialect;
    return dialect;
}

bool SqliteDialect::rewrite(QVector<JetSql::Token> &, const QString &, QString *) const
{
    return true;
}

// Text sorts by its folded key; numbers come back unchanged from the key
// function, so a number column keeps its numeric order.
QString SqliteDialect::sortedBy(const JetSql::OrderTerm &term) const
{
    const QString direction = term.descending ? QStringLiteral(" DESC") : QString();
    bool ordinal = false;
    term.expression.toInt(&ordinal);
    if (ordinal)
        return term.expression + direction;
    return QLatin1String(JetSql::SortKeyFunction) + QLatin1Char('(') + term.expression + QLatin1Char(')') + direction;
}
