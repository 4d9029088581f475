#include "JetSql.h"

#include "Database.h"
#include "JetText.h"
#include "sqlite/SqliteDialect.h"

#include <QStringList>
#include <QVector>

namespace {

using JetSql::Token;

QString quoteIdentifier(const QString &name)
{
    return Database::quoteName(name);
}

QString quoteString(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

// Splits the query into tokens already written in the engine's SQL: double
// quotes become string literals, [names] become quoted identifiers, '&'
// becomes '||'.
bool tokenize(const QString &query, QVector<Token> &tokens, QString *error)
{
    int depth = 0;
    int i = 0;
    const int n = query.size();
    while (i < n) {
        const QChar c = query.at(i);
        if (c.isSpace()) {
            while (i < n && query.at(i).isSpace())
                ++i;
            tokens.push_back({Token::Space, QStringLiteral(" "), depth});
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            QString value;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                if (query.at(j) == c) {
                    if (j + 1 < n && query.at(j + 1) == c) {
                        value += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                value += query.at(j++);
            }
            if (!closed) {
                *error = QStringLiteral("unrecognized token: \"%1\"").arg(query.mid(i));
                return false;
            }
            tokens.push_back({Token::String, quoteString(value), depth, value});
            i = j + 1;
        } else if (c == QLatin1Char('[')) {
            const int close = query.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                *error = QStringLiteral("unrecognized token: \"%1\"").arg(query.mid(i));
                return false;
            }
            const QString name = query.mid(i + 1, close - i - 1);
            tokens.push_back({Token::Identifier, quoteIdentifier(name), depth, name});
            i = close + 1;
        } else if (c.isLetterOrNumber() || c == QLatin1Char('_')) {
            int j = i;
            while (j < n && (query.at(j).isLetterOrNumber() || query.at(j) == QLatin1Char('_')
                             || query.at(j) == QLatin1Char('.')))
                ++j;
            tokens.push_back({Token::Word, query.mid(i, j - i), depth, query.mid(i, j - i)});
            i = j;
        } else {
            // "--" and "/*" would open a comment in the engine's SQL and hide
            // the rest of the query; in the catalogue's dialect they are two
            // operators.
            if (!tokens.isEmpty() && tokens.last().kind == Token::Symbol
                && ((c == QLatin1Char('-') && tokens.last().text == QLatin1String("-"))
                    || (c == QLatin1Char('*') && tokens.last().text == QLatin1String("/"))))
                tokens.push_back({Token::Space, QStringLiteral(" "), depth});
            if (c == QLatin1Char('('))
                ++depth;
            tokens.push_back({Token::Symbol, c == QLatin1Char('&') ? QStringLiteral("||") : QString(c),
                              c == QLatin1Char('(') ? depth - 1 : depth});
            if (c == QLatin1Char(')'))
                --depth;
            ++i;
        }
    }
    if (depth != 0) {
        *error = QStringLiteral("incomplete input: unbalanced parentheses");
        return false;
    }
    return true;
}

bool isWord(const Token &token, const char *word)
{
    return token.kind == Token::Word && token.depth == 0
        && token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// Index of the next top-level word at or after from, skipping blanks; -1 if none.
int findWord(const QVector<Token> &tokens, int from, const char *word)
{
    for (int i = from; i < tokens.size(); ++i) {
        if (isWord(tokens[i], word))
            return i;
    }
    return -1;
}

// The first top-level "ORDER" followed by "BY".
int findOrderBy(const QVector<Token> &tokens, int from)
{
    for (int i = findWord(tokens, from, "ORDER"); i >= 0; i = findWord(tokens, i + 1, "ORDER")) {
        int j = i + 1;
        while (j < tokens.size() && tokens[j].kind == Token::Space)
            ++j;
        if (j < tokens.size() && isWord(tokens[j], "BY"))
            return i;
    }
    return -1;
}

QString join(const QVector<Token> &tokens, int from, int to)
{
    QString text;
    for (int i = from; i < to; ++i)
        text += tokens[i].text;
    return text.trimmed();
}

// Tokens [from, to) in the engine's SQL.
bool rewritten(const JetSql::Dialect &dialect, const QVector<Token> &tokens, int from, int to, const QString &table,
               QString *sql, QString *error)
{
    QVector<Token> part(tokens.begin() + from, tokens.begin() + to);
    if (!dialect.rewrite(part, table, error))
        return false;
    *sql = join(part, 0, int(part.size()));
    return true;
}

// One ORDER BY term: an expression, perhaps followed by ASC or DESC.
bool orderTerm(const JetSql::Dialect &dialect, const QVector<Token> &tokens, int from, int to, const QString &table,
               JetSql::OrderTerm *term, QString *error)
{
    while (to > from && tokens[to - 1].kind == Token::Space)
        --to;
    if (to > from && (isWord(tokens[to - 1], "ASC") || isWord(tokens[to - 1], "DESC"))) {
        term->descending = isWord(tokens[to - 1], "DESC");
        --to;
    }
    return rewritten(dialect, tokens, from, to, table, &term->expression, error);
}

bool isOrdinal(const QString &expression)
{
    bool ok = false;
    expression.toInt(&ok);
    return ok;
}

QString unquoteName(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text.mid(1, text.size() - 2).replace(QLatin1String("\"\""), QLatin1String("\""));
    return text;
}

} // namespace

namespace JetSql {

std::optional<Select> translate(const QString &query, QString *error)
{
    return translate(query, error, SqliteDialect::instance());
}

std::optional<Select> translate(const QString &query, QString *error, const Dialect &dialect)
{
    QString ignored;
    if (!error)
        error = &ignored;
    QVector<Token> tokens;
    if (!tokenize(query, tokens, error))
        return std::nullopt;
    // A ";" may end the query, as the dialect allows; nothing may follow it
    // but blanks, for the engine would drop the rest unseen.
    for (int k = 0; k < tokens.size(); ++k) {
        if (tokens[k].kind != Token::Symbol || tokens[k].text != QLatin1String(";"))
            continue;
        const QString rest = join(tokens, k + 1, int(tokens.size()));
        if (!rest.isEmpty()) {
            *error = QStringLiteral("Requête refusée : le texte « %1 » suit le « ; » qui la termine. "
                                    "Une requête ne peut contenir qu'une instruction.")
                         .arg(rest);
            return std::nullopt;
        }
        tokens.resize(k);
        break;
    }

    int i = 0;
    auto skipSpace = [&] {
        while (i < tokens.size() && tokens[i].kind == Token::Space)
            ++i;
    };
    skipSpace();
    if (i >= tokens.size() || !isWord(tokens[i], "SELECT")) {
        *error = QStringLiteral("syntax error: the query must begin with SELECT");
        return std::nullopt;
    }
    const int from = findWord(tokens, i + 1, "FROM");
    if (from < 0) {
        *error = QStringLiteral("syntax error: FROM is missing");
        return std::nullopt;
    }
    if (join(tokens, i + 1, from) != QLatin1String("*")) {
        *error = QStringLiteral("syntax error: only SELECT * is supported");
        return std::nullopt;
    }
    i = from + 1;
    skipSpace();
    if (i >= tokens.size() || (tokens[i].kind != Token::Word && tokens[i].kind != Token::Identifier)) {
        *error = QStringLiteral("syntax error: a table name must follow FROM");
        return std::nullopt;
    }
    Select select;
    select.table = unquoteName(tokens[i].text);
    ++i;
    skipSpace();

    const int orderBy = findOrderBy(tokens, i);
    const int conditionEnd = orderBy >= 0 ? orderBy : int(tokens.size());
    if (i < conditionEnd) {
        if (!isWord(tokens[i], "WHERE")) {
            *error = QStringLiteral("syntax error near \"%1\"").arg(tokens[i].text);
            return std::nullopt;
        }
        if (join(tokens, i + 1, conditionEnd).isEmpty()) {
            *error = QStringLiteral("incomplete input: WHERE without a condition");
            return std::nullopt;
        }
        if (!rewritten(dialect, tokens, i + 1, conditionEnd, select.table, &select.condition, error))
            return std::nullopt;
    }

    QStringList ordering;
    if (orderBy >= 0) {
        int start = findWord(tokens, orderBy + 1, "BY") + 1;
        for (int k = start; k <= tokens.size(); ++k) {
            const bool atComma = k < tokens.size() && tokens[k].kind == Token::Symbol
                && tokens[k].depth == 0 && tokens[k].text == QLatin1String(",");
            if (k == tokens.size() || atComma) {
                if (join(tokens, start, k).isEmpty()) {
                    *error = QStringLiteral("incomplete input: empty ORDER BY term");
                    return std::nullopt;
                }
                OrderTerm term;
                if (!orderTerm(dialect, tokens, start, k, select.table, &term, error))
                    return std::nullopt;
                select.terms << term;
                ordering << dialect.sortedBy(term);
                start = k + 1;
            }
        }
    }
    ordering.removeAll(QString());
    if (ordering.size() == select.terms.size())
        select.ordering = ordering.join(QLatin1String(", "));
    return select;
}

QString selectAll(const Select &select, const QString &key)
{
    QString sql = QLatin1String("SELECT * FROM ") + quoteIdentifier(select.table);
    if (!select.condition.isEmpty())
        sql += QLatin1String(" WHERE ") + select.condition;
    // Equal keys keep the order of the rows' keys.
    sql += QLatin1String(" ORDER BY ");
    if (!select.ordering.isEmpty())
        sql += select.ordering + QLatin1String(", ");
    return sql + quoteIdentifier(select.table) + QLatin1Char('.') + key;
}

namespace {

QString termsFrom(QString sql, const Select &select, const QStringList &columns)
{
    for (const OrderTerm &term : select.terms)
        sql += QLatin1String(", ") + termValue(term, columns);
    sql += QLatin1String(" FROM ") + quoteIdentifier(select.table);
    if (!select.condition.isEmpty())
        sql += QLatin1String(" WHERE ") + select.condition;
    return sql;
}

} // namespace

QString termValue(const OrderTerm &term, const QStringList &columns)
{
    const int rank = isOrdinal(term.expression) ? term.expression.toInt() : 0;
    return rank >= 1 && rank <= columns.size() ? quoteIdentifier(columns[rank - 1]) : term.expression;
}

QString selectKeysAndTerms(const Select &select, const QStringList &columns, const QString &key)
{
    return termsFrom(QLatin1String("SELECT ") + quoteIdentifier(select.table) + QLatin1Char('.') + key, select,
                     columns);
}

QString selectAllAndTerms(const Select &select, const QStringList &columns, const QString &key)
{
    return termsFrom(QStringLiteral("SELECT *"), select, columns) + QLatin1String(" ORDER BY ")
        + quoteIdentifier(select.table) + QLatin1Char('.') + key;
}

bool likeMatch(const QString &pattern, const QString &text)
{
    const QByteArray p = pattern.toUtf8();
    const QByteArray t = text.toUtf8();
    return JetText::Pattern(p.constData(), p.size()).matches(t.constData(), t.size());
}

QString folded(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::string key;
    JetText::appendFolded(key, utf8.constData(), utf8.size());
    return QString::fromStdString(key);
}

} // namespace JetSql
