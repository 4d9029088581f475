#pragma once

#include "catalogue/JetSql.h"

// The file engine learns the dialect's LIKE and sort keys as functions of its
// own (SqliteEngine), so the query's text passes through as written.
class SqliteDialect : public JetSql::Dialect {
public:
    static const SqliteDialect &instance();

    bool rewrite(QVector<JetSql::Token> &tokens, const QString &table, QString *error) const override;
    QString sortedBy(const JetSql::OrderTerm &term) const override;
};
