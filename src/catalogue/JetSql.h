#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The catalogue's query texts are written in the dialect of the desktop
// database engine the catalogue came from: LIKE takes '*', '?', '#' and
// [sets], string literals may be double-quoted, names may stand in
// [brackets], and ORDER BY on text sorts as a French dictionary does.
// This module turns such a text into SQL our engine runs with the same
// meaning. The program's own text is never altered elsewhere.
namespace JetSql {

// One term of ORDER BY, in engine SQL. A whole number stands for the
// result's column of that rank, counted from 1.
struct OrderTerm {
    QString expression;
    bool descending = false;
};

// A piece of the query text. text is already engine SQL in the common form:
// strings in single quotes, names in double quotes, '&' as '||'; value is a
// string's or a name's content.
struct Token {
    enum Kind { Word, String, Identifier, Symbol, Space };
    Token() = default;
    Token(Kind kind, QString text, int depth = 0, QString value = {})
        : kind(kind)
        , text(std::move(text))
        , depth(depth)
        , value(std::move(value))
    {
    }
    Kind kind = Space;
    QString text;
    int depth = 0; // parenthesis depth where it stands
    QString value;
};

// How one engine writes what the catalogue's dialect means. One per engine,
// beside it (sqlite/, postgres/).
class Dialect {
public:
    virtual ~Dialect() = default;
    // Rewrites a condition, or one ORDER BY expression, of a query on table;
    // false, with a reason in *error, for what the engine cannot run.
    virtual bool rewrite(QVector<Token> &tokens, const QString &table, QString *error) const = 0;
    // An ORDER BY term for the engine in the catalogue's order; empty when
    // the engine cannot order so, the order being then made here (KeysetQuery).
    virtual QString sortedBy(const OrderTerm &term) const = 0;
};

// The parts of "SELECT * FROM table [WHERE condition] [ORDER BY terms]".
struct Select {
    QString table;               // the table's name, unquoted
    QString condition;           // engine SQL, empty when there is none
    QVector<OrderTerm> terms;    // as written
    QString ordering;            // engine SQL for the terms by their sort keys; empty without ORDER BY
};

// Parses and translates for an engine (Database::dialect()); on failure
// returns nothing and says why in *error. Without a dialect, for the file's.
std::optional<Select> translate(const QString &query, QString *error, const Dialect &dialect);
std::optional<Select> translate(const QString &query, QString *error);

// Engine SQL for the whole query: every column, ordered, equal keys in the
// order of the row key (engine SQL naming it, as Database::rowKey gives it).
// Without an ordering from the engine, in the order of the row key only.
QString selectAll(const Select &select, const QString &key);
// Engine SQL for the row keys of the result, unordered, each followed by the
// values of the ORDER BY terms (ordinals given as columns' names).
QString selectKeysAndTerms(const Select &select, const QStringList &columns, const QString &key);
// Engine SQL for the value of one ORDER BY term (an ordinal as its column).
QString termValue(const OrderTerm &term, const QStringList &columns);
// Engine SQL for every column of the result in the order of the row keys,
// each row followed by the values of the ORDER BY terms.
QString selectAllAndTerms(const Select &select, const QStringList &columns, const QString &key);

// Pattern matching as the original LIKE: '*' any run, '?' one character,
// '#' one digit, [abc] [a-z] [!abc] one character of (not of) a set; letter
// case ignored; an unclosed '[' stands for itself.
bool likeMatch(const QString &pattern, const QString &text);

// The text with accents, letter case and ligatures folded away, as the
// folded LIKE compares it: "École" gives "ecole".
QString folded(const QString &text);

// Names of the SQL functions the engine registers on every connection.
inline const char *const SortKeyFunction = "ferulan_sortkey";
// ferulan_likefolded(pattern, text): LIKE with both sides folded as folded()
// folds them. A word like any other in a condition: it passes through as written.
inline const char *const LikeFoldedFunction = "ferulan_likefolded";

} // namespace JetSql
