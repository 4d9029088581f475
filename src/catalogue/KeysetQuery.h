#pragma once

#include "Database.h"
#include "JetSql.h"
#include "Progress.h"

#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

// Runs a query for the row keys of its result, in order. The engine reads
// the matching rows once, unordered; each row's ORDER BY values become one
// byte string whose plain byte order is the catalogue's order (text folded
// as a French reader expects, numbers by value, empty and missing first),
// and the strings are sorted here. Equal strings keep the order of the keys.
namespace KeysetQuery {

// key: engine SQL naming the table's row key (Database::rowKey). progress,
// when given, hears of the rows read, out of the table's rows; it cannot
// stop the query.
bool run(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
         std::vector<qint64> &keys, DataError &error, ProgressObserver *progress = nullptr);

// The same order, for a file's query with at least fromRows rows in its
// table: the upper half of the keys is read and ordered on a second
// connection, in a thread of its own, and the halves merged. Both stop when
// stillWanted (called from either thread) says so.
bool runOnTwoCores(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
                   qint64 fromRows, std::vector<qint64> &keys, DataError &error,
                   const std::function<bool()> &stillWanted);

// The ends of a query's order, found without ordering every row: the keys
// of its first and last rows, in order, and how many rows it has. A row
// that cannot be among either costs a look at its first bytes only. When
// the query has at most wholeAtMost rows, first holds all of them and
// complete is true. From splitFromRows rows in the table, the upper half
// of the keys is read on a second connection, on the other core.
struct EndsTuning {
    std::size_t rows = 256;
    std::size_t wholeAtMost = 40000;
    qint64 splitFromRows = 200000;
};
struct Ends {
    std::vector<qint64> first;
    std::vector<qint64> last;
    std::size_t count = 0;
    bool complete = false;
};
bool ends(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
          const EndsTuning &tuning, Ends &ends, DataError &error,
          ProgressObserver *progress = nullptr);

// Sets a connection's activity for as long as it lives, and gives the
// previous one back.
class ActivityScope {
public:
    ActivityScope(Database &db, std::function<bool()> activity);
    ~ActivityScope();
    ActivityScope(const ActivityScope &) = delete;
    ActivityScope &operator=(const ActivityScope &) = delete;

private:
    Database &m_db;
    std::function<bool()> m_previous;
};

// Appends the sort string of a row's ORDER BY values, found in the row's
// columns from firstColumn on: rows whose strings compare lower in plain
// byte order come first.
void appendSortString(std::string &out, const Statement &row, int firstColumn, const QVector<JetSql::OrderTerm> &terms);

// Engine SQL narrowing a query to the keys below middle, or from it on.
QString keyRange(const QString &key, qint64 middle, bool upper);

// The first eight bytes of the sort string of a number as the first term.
std::uint64_t numberLead(double value, bool descending);

// Gives the memory freed since, kept by the allocator, back to the system:
// after a query the window comes back to its size at rest.
void giveMemoryBack();

// An upper bound of the rows of a table (its largest row key), at no cost.
qint64 rowsAtMost(Database &db, const QString &table, const QString &key);

} // namespace KeysetQuery
