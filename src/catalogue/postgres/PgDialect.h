#pragma once

#include "catalogue/JetSql.h"

#include <functional>

// The dialect on the server: names matched to the table's columns whatever
// their case (the server would fold bare names to lower case), LIKE and the
// accent-free search as regular expressions that mean exactly what the file
// engine's functions do. The server cannot order text as the catalogue does:
// KeysetQuery orders the rows here.
class PgDialect : public JetSql::Dialect {
public:
    using ColumnsOf = std::function<QStringList(const QString &table)>;
    explicit PgDialect(ColumnsOf columns);

    bool rewrite(QVector<JetSql::Token> &tokens, const QString &table, QString *error) const override;
    QString sortedBy(const JetSql::OrderTerm &) const override { return {}; }

    // A regular expression for the server's "~" that matches what the
    // pattern matches in LIKE (folded: in ferulan_likefolded).
    static QString likeExpression(const QString &pattern, bool folded, char32_t escape = 0);

private:
    ColumnsOf m_columns;
};
