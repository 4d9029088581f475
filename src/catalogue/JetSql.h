#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The catalogue's query texts are written in the dialect of the desktop
// database engine the catalogue came from: LIKE takes '*', '?', '#' and
// [sets], string literals may be double-quoted, names may stand in
// [brackets], and ORDER BY on text sorts as a French reader expects.
// This module turns such a text into SQL our engine runs with the same
// meaning. The program's own text is never altered elsewhere.
namespace JetSql {

// One term of ORDER BY, in engine SQL. A whole number stands for the
// result's column of that rank, counted from 1.
struct OrderTerm {
    QString expression;
    bool descending = false;
};

// The parts of "SELECT * FROM table [WHERE condition] [ORDER BY terms]".
struct Select {
    QString table;               // the table's name, unquoted
    QString condition;           // engine SQL, empty when there is none
    QVector<OrderTerm> terms;    // as written
    QString ordering;            // engine SQL for the terms by their sort keys; empty without ORDER BY
};

// Parses and translates; on failure returns nothing and says why in *error.
std::optional<Select> translate(const QString &query, QString *error);

// Engine SQL for the whole query: every column, ordered, equal keys in the
// order of the row key (engine SQL naming it, as Database::rowKey gives it).
QString selectAll(const Select &select, const QString &key);
// Engine SQL for the row keys of the result, unordered, each followed by the
// values of the ORDER BY terms (ordinals given as columns' names).
QString selectKeysAndTerms(const Select &select, const QStringList &columns, const QString &key);
// Engine SQL for every column of the result in the order of the row keys,
// each row followed by the values of the ORDER BY terms.
QString selectAllAndTerms(const Select &select, const QStringList &columns, const QString &key);

// Pattern matching as the original LIKE: '*' any run, '?' one character,
// '#' one digit, [abc] [a-z] [!abc] one character of (not of) a set; letter
// case ignored; an unclosed '[' stands for itself.
bool likeMatch(const QString &pattern, const QString &text);

// The key text fields are ordered by: accents, letter case and ligatures
// folded away, so that "école" sorts with "Ecole". Empty text gives an
// empty key.
QString sortKey(const QString &text);

// Names of the SQL functions the engine registers on every connection.
inline const char *const SortKeyFunction = "ferulan_sortkey";
// ferulan_likefolded(pattern, text): LIKE with both sides folded as sortKey
// folds them. A word like any other in a condition: it passes through as written.
inline const char *const LikeFoldedFunction = "ferulan_likefolded";

} // namespace JetSql
