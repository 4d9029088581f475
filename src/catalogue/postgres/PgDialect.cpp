#include "PgDialect.h"

#include "catalogue/Database.h"
#include "catalogue/JetText.h"

#include <QHash>

#include <algorithm>
#include <vector>

using JetSql::Token;

namespace {

constexpr char32_t LastCodePoint = 0x10FFFF;

using Interval = std::pair<char32_t, char32_t>;

// A set of characters as sorted, disjoint intervals.
class CharSet {
public:
    void add(char32_t lo, char32_t hi)
    {
        if (lo <= hi)
            m_parts.emplace_back(lo, hi);
    }
    void normalize()
    {
        std::sort(m_parts.begin(), m_parts.end());
        std::vector<Interval> merged;
        for (const Interval &part : m_parts) {
            if (!merged.empty() && part.first <= merged.back().second + 1)
                merged.back().second = std::max(merged.back().second, part.second);
            else
                merged.push_back(part);
        }
        m_parts = std::move(merged);
    }
    bool contains(char32_t c) const
    {
        auto it = std::upper_bound(m_parts.begin(), m_parts.end(), c,
                                   [](char32_t value, const Interval &part) { return value < part.first; });
        return it != m_parts.begin() && std::prev(it)->second >= c;
    }
    // Removes single characters (sorted).
    void remove(const std::vector<char32_t> &points)
    {
        std::vector<Interval> out;
        std::size_t p = 0;
        for (Interval part : m_parts) {
            while (p < points.size() && points[p] < part.first)
                ++p;
            while (p < points.size() && points[p] <= part.second) {
                if (points[p] > part.first)
                    out.emplace_back(part.first, points[p] - 1);
                if (points[p] == part.second) {
                    part.first = part.second + 1;
                    ++p;
                    break;
                }
                part.first = points[p] + 1;
                ++p;
            }
            if (part.first <= part.second)
                out.push_back(part);
        }
        m_parts = std::move(out);
    }
    const std::vector<Interval> &parts() const { return m_parts; }

private:
    std::vector<Interval> m_parts;
};

// The characters that a map changes, with what it makes of them.
struct Changes {
    std::vector<std::pair<char32_t, char32_t>> pairs; // (character, image), by character
    QHash<char32_t, std::vector<char32_t>> preimages;  // image -> characters other than itself
};

template <typename Map>
Changes changesOf(Map map)
{
    Changes changes;
    for (char32_t c = 0; c <= LastCodePoint; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        char32_t image = 0;
        if (!map(c, &image) || image == c)
            continue;
        changes.pairs.emplace_back(c, image);
        changes.preimages[image].push_back(c);
    }
    return changes;
}

// Case folding, as LIKE compares characters.
const Changes &caseChanges()
{
    static const Changes changes = changesOf([](char32_t c, char32_t *image) {
        *image = JetText::foldCase(c);
        return true;
    });
    return changes;
}

// What the accent-free search makes of a text character before comparing it;
// the ligatures spelled out in two letters are matched apart.
bool sortImage(char32_t c, char32_t *image)
{
    char32_t out[2];
    if (JetText::sortFold(c, out) != 1)
        return false;
    *image = out[0];
    return true;
}

const Changes &sortChanges()
{
    static const Changes changes = changesOf(sortImage);
    return changes;
}

const Changes &sortThenCaseChanges()
{
    static const Changes changes = changesOf([](char32_t c, char32_t *image) {
        if (!sortImage(c, image))
            return false;
        *image = JetText::foldCase(*image);
        return true;
    });
    return changes;
}

// {x : image(x) in target}, where images are those of changes and every
// other character is its own image.
CharSet preimage(const CharSet &target, const Changes &changes)
{
    CharSet result = target;
    std::vector<char32_t> leaving;
    for (const auto &[c, image] : changes.pairs) {
        const bool imageIn = target.contains(image);
        if (imageIn)
            result.add(c, c);
        else if (target.contains(c))
            leaving.push_back(c);
    }
    result.normalize();
    result.remove(leaving);
    return result;
}

void appendChar(QString &out, char32_t c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        out += QChar(char16_t(c));
    } else if (c <= 0xFFFF) {
        out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
    } else {
        out += QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'));
    }
}

QString bracket(const CharSet &set, bool negated)
{
    if (set.parts().empty())
        return negated ? QStringLiteral(".") : QStringLiteral("(?!)");
    if (!negated && set.parts().size() == 1 && set.parts()[0].first == set.parts()[0].second) {
        QString one;
        appendChar(one, set.parts()[0].first);
        return one;
    }
    QString out = negated ? QStringLiteral("[^") : QStringLiteral("[");
    for (const auto &[lo, hi] : set.parts()) {
        appendChar(out, lo);
        if (hi != lo) {
            out += QLatin1Char('-');
            appendChar(out, hi);
        }
    }
    return out + QLatin1Char(']');
}

// The characters a set token takes, before the text's own folding.
CharSet setMembers(const JetText::Pattern::Token &token)
{
    CharSet folded;
    CharSet members;
    for (const auto &[lo, hi] : token.ranges) {
        members.add(lo, hi);
        folded.add(JetText::foldCase(lo), JetText::foldCase(hi));
    }
    folded.normalize();
    const CharSet foldedMembers = preimage(folded, caseChanges());
    for (const Interval &part : foldedMembers.parts())
        members.add(part.first, part.second);
    members.normalize();
    return members;
}

// The regular expression of one literal: every text character that folds to it.
CharSet literalMembers(char32_t ch, bool folded)
{
    const Changes &changes = folded ? sortThenCaseChanges() : caseChanges();
    CharSet set;
    char32_t image = ch;
    bool own = true;
    if (folded)
        own = sortImage(ch, &image) && JetText::foldCase(image) == ch;
    else
        own = JetText::foldCase(ch) == ch;
    if (own)
        set.add(ch, ch);
    for (char32_t c : changes.preimages.value(ch))
        set.add(c, c);
    set.normalize();
    return set;
}

// The characters the accent-free search spells out in two letters (the
// ligatures), spelled out on the server before matching.
QString spelledOut(QString operand)
{
    static const std::vector<std::pair<char32_t, QString>> ligatures = [] {
        std::vector<std::pair<char32_t, QString>> found;
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            char32_t out[2];
            if (JetText::sortFold(c, out) == 2)
                found.emplace_back(c, QString::fromUcs4(out, 2));
        }
        return found;
    }();
    for (const auto &[c, letters] : ligatures)
        operand = QStringLiteral("replace(") + operand
            + QStringLiteral(", U&'\\%1', '%2')").arg(uint(c), 4, 16, QLatin1Char('0')).arg(letters);
    return operand;
}

QString quoteString(const QString &text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) + QLatin1Char('\'');
}

bool isWord(const Token &token, const char *word)
{
    return token.kind == Token::Word && token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

int nextSolid(const QVector<Token> &tokens, int i)
{
    for (++i; i < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Space)
            return i;
    }
    return -1;
}

int previousSolid(const QVector<Token> &tokens, int i)
{
    for (--i; i >= 0; --i) {
        if (tokens[i].kind != Token::Space)
            return i;
    }
    return -1;
}

bool isSymbol(const Token &token, const char *symbol)
{
    return token.kind == Token::Symbol && token.text == QLatin1String(symbol);
}

int matchingOpen(const QVector<Token> &tokens, int close)
{
    for (int i = close - 1; i >= 0; --i) {
        if (isSymbol(tokens[i], "(") && tokens[i].depth == tokens[close].depth - 1)
            return i;
    }
    return -1;
}

int matchingClose(const QVector<Token> &tokens, int open)
{
    for (int i = open + 1; i < tokens.size(); ++i) {
        if (isSymbol(tokens[i], ")") && tokens[i].depth == tokens[open].depth + 1)
            return i;
    }
    return -1;
}

QString joined(const QVector<Token> &tokens, int from, int to)
{
    QString text;
    for (int i = from; i < to; ++i)
        text += tokens[i].text;
    return text.trimmed();
}

QString matchSql(const QString &operand, const QString &pattern, bool folded, char32_t escape, bool negated)
{
    const QString text = QLatin1Char('(') + operand + QStringLiteral(")::text");
    const QString test = (folded ? spelledOut(text) : text) + QStringLiteral(" ~ ")
        + quoteString(PgDialect::likeExpression(pattern, folded, escape));
    return negated ? QStringLiteral("NOT (") + test + QLatin1Char(')') : test;
}

QString patternNeeded()
{
    return QStringLiteral("Sur un catalogue tenu par un serveur, le motif de LIKE doit être un texte entre apostrophes.");
}

} // namespace

PgDialect::PgDialect(ColumnsOf columns)
    : m_columns(std::move(columns))
{
}

QString PgDialect::likeExpression(const QString &pattern, bool folded, char32_t escape)
{
    QByteArray utf8 = pattern.toUtf8();
    if (folded) {
        std::string key;
        JetText::appendFolded(key, utf8.constData(), int(utf8.size()));
        utf8 = QByteArray::fromStdString(key);
        escape = 0;
    }
    const JetText::Pattern compiled(utf8.constData(), int(utf8.size()), escape);
    const auto &tokens = compiled.tokens();
    QString regex = QStringLiteral("^");
    for (const auto &token : tokens) {
        switch (token.kind) {
        case JetText::Pattern::Token::AnyRun:
            regex += QStringLiteral(".*");
            break;
        case JetText::Pattern::Token::AnyOne:
            regex += QLatin1Char('.');
            break;
        case JetText::Pattern::Token::Digit:
            regex += QStringLiteral("[0-9]");
            break;
        case JetText::Pattern::Token::Set: {
            const CharSet members = setMembers(token);
            regex += bracket(folded ? preimage(members, sortChanges()) : members, token.negated);
            break;
        }
        case JetText::Pattern::Token::Literal:
            regex += bracket(literalMembers(token.ch, folded), false);
            break;
        }
    }
    return regex + QLatin1Char('$');
}

bool PgDialect::rewrite(QVector<Token> &tokens, const QString &table, QString *error) const
{
    // Names first: the server would fold a bare AUTEUR to auteur.
    const QStringList columns = m_columns(table);
    auto columnName = [&columns](const QString &name) -> QString {
        for (const QString &column : columns) {
            if (column.compare(name, Qt::CaseInsensitive) == 0)
                return column;
        }
        return {};
    };
    for (int i = 0; i < tokens.size(); ++i) {
        Token &token = tokens[i];
        if (token.kind != Token::Word && token.kind != Token::Identifier)
            continue;
        const int next = nextSolid(tokens, i);
        if (token.kind == Token::Word && next >= 0 && isSymbol(tokens[next], "("))
            continue; // a function
        const QStringList parts = token.kind == Token::Word ? token.value.split(QLatin1Char('.'))
                                                             : QStringList{token.value};
        const QString column = columnName(parts.last());
        if (column.isEmpty())
            continue;
        if (parts.size() == 2 && parts.first().compare(table, Qt::CaseInsensitive) == 0)
            token.text = Database::quoteName(table) + QLatin1Char('.') + Database::quoteName(column);
        else if (parts.size() == 1)
            token.text = Database::quoteName(column);
    }

    for (int i = 0; i < tokens.size(); ++i) {
        // ferulan_likefolded('pattern', operand)
        if (tokens[i].kind == Token::Word
            && tokens[i].text.compare(QLatin1String(JetSql::LikeFoldedFunction), Qt::CaseInsensitive) == 0) {
            const int open = nextSolid(tokens, i);
            if (open < 0 || !isSymbol(tokens[open], "("))
                continue;
            const int close = matchingClose(tokens, open);
            const int pattern = nextSolid(tokens, open);
            const int comma = pattern >= 0 ? nextSolid(tokens, pattern) : -1;
            if (close < 0 || pattern < 0 || tokens[pattern].kind != Token::String || comma < 0
                || !isSymbol(tokens[comma], ",")) {
                *error = patternNeeded();
                return false;
            }
            const QString operand = joined(tokens, comma + 1, close);
            Token replaced{Token::Symbol, matchSql(operand, tokens[pattern].value, true, 0, false), tokens[i].depth};
            tokens.erase(tokens.begin() + i, tokens.begin() + close + 1);
            tokens.insert(i, replaced);
            continue;
        }
        if (!isWord(tokens[i], "LIKE"))
            continue;
        // [NOT] LIKE 'pattern' [ESCAPE 'c'], after an operand: one token, or
        // a parenthesis with the function name before it.
        int left = previousSolid(tokens, i);
        bool negated = false;
        if (left >= 0 && isWord(tokens[left], "NOT")) {
            negated = true;
            left = previousSolid(tokens, left);
        }
        const int operandEnd = left + 1;
        if (left >= 0 && isSymbol(tokens[left], ")")) {
            left = matchingOpen(tokens, left);
            const int name = left >= 0 ? previousSolid(tokens, left) : -1;
            if (name >= 0 && tokens[name].kind == Token::Word && !isWord(tokens[name], "NOT")
                && !isWord(tokens[name], "AND") && !isWord(tokens[name], "OR"))
                left = name;
        }
        const int pattern = nextSolid(tokens, i);
        if (left < 0 || pattern < 0 || tokens[pattern].kind != Token::String) {
            *error = patternNeeded();
            return false;
        }
        int end = pattern;
        char32_t escape = 0;
        const int escapeWord = nextSolid(tokens, pattern);
        if (escapeWord >= 0 && isWord(tokens[escapeWord], "ESCAPE")) {
            const int escapeText = nextSolid(tokens, escapeWord);
            if (escapeText < 0 || tokens[escapeText].kind != Token::String || tokens[escapeText].value.size() != 1) {
                *error = QStringLiteral("ESCAPE expression must be a single character");
                return false;
            }
            escape = tokens[escapeText].value.at(0).unicode();
            end = escapeText;
        }
        const QString operand = joined(tokens, left, operandEnd);
        Token replaced{Token::Symbol, matchSql(operand, tokens[pattern].value, false, escape, negated),
                       tokens[left].depth};
        tokens.erase(tokens.begin() + left, tokens.begin() + end + 1);
        tokens.insert(left, replaced);
        i = left;
    }
    return true;
}
