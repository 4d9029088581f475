#pragma once

#include "Database.h"
#include "JetSql.h"

#include <QStringList>

#include <vector>

// Runs a query for the row keys of its result, in order. The engine reads
// the matching rows once, unordered; each row's ORDER BY values become one
// byte string whose plain byte order is the catalogue's order (text folded
// as a French reader expects, numbers by value, empty and missing first),
// and the strings are sorted here. Equal strings keep the order of the keys.
namespace KeysetQuery {

// key: engine SQL naming the table's row key (Database::rowKey).
bool run(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
         std::vector<qint64> &keys, DataError &error);

} // namespace KeysetQuery
