#include "JetText.h"

#include "util/Utf8.h"

#include <QChar>
#include <QString>

#include <array>

namespace {

using Utf8::next;

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Sort folding for the Latin letters a French catalogue holds, computed once:
// each character to its base letter in lower case ("É" -> "e"). Ligatures
// are spelled out.
constexpr char32_t SortTableSize = 0x250;

struct SortTable {
    std::array<char32_t, SortTableSize> base{};

    SortTable()
    {
        for (char32_t c = 0; c < SortTableSize; ++c) {
            const QString decomposed = QString(QChar(char16_t(c))).normalized(QString::NormalizationForm_D);
            base[c] = QChar::toCaseFolded(decomposed.isEmpty() ? c : char32_t(decomposed.at(0).unicode()));
        }
    }
};

const SortTable &sortTable()
{
    static const SortTable table;
    return table;
}

} // namespace

namespace JetText {

char32_t foldCase(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

Pattern::Pattern(const char *utf8, int length, char32_t escape)
{
    std::vector<char32_t> chars;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + length;
    while (p < end)
        chars.push_back(next(p, end));

    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        Token token;
        token.kind = Token::Literal;
        if (escape != 0 && c == escape && i + 1 < chars.size()) {
            token.ch = foldCase(chars[++i]);
        } else if (c == '*') {
            // Runs of '*' are one '*'.
            if (!m_tokens.empty() && m_tokens.back().kind == Token::AnyRun)
                continue;
            token.kind = Token::AnyRun;
        } else if (c == '?') {
            token.kind = Token::AnyOne;
        } else if (c == '#') {
            token.kind = Token::Digit;
        } else if (c == '[') {
            // Find the closing bracket; without one the '[' stands for itself.
            std::size_t close = i + 1;
            if (close < chars.size() && chars[close] == '!')
                ++close;
            // A ']' right at the start of a set is a member, not the end.
            if (close < chars.size() && chars[close] == ']' && close > i + 1)
                ++close;
            while (close < chars.size() && chars[close] != ']')
                ++close;
            if (close >= chars.size()) {
                token.ch = '[';
            } else {
                std::size_t k = i + 1;
                if (chars[k] == '!') {
                    token.negated = true;
                    ++k;
                }
                if (k == close && !token.negated) {
                    // "[]" matches the empty text: nothing to add.
                    i = close;
                    continue;
                }
                token.kind = Token::Set;
                for (; k < close; ++k) {
                    char32_t lo = chars[k];
                    char32_t hi = lo;
                    if (k + 2 < close && chars[k + 1] == '-') {
                        hi = chars[k + 2];
                        k += 2;
                    }
                    token.ranges.emplace_back(lo, hi);
                }
                i = close;
            }
        } else {
            token.ch = foldCase(c);
        }
        m_tokens.push_back(std::move(token));
    }

    if (m_tokens.size() >= 3 && m_tokens.front().kind == Token::AnyRun && m_tokens.back().kind == Token::AnyRun) {
        std::string infix;
        for (std::size_t i = 1; i + 1 < m_tokens.size(); ++i) {
            const Token &token = m_tokens[i];
            if (token.kind != Token::Literal || token.ch >= 0x80) {
                infix.clear();
                break;
            }
            infix += char(token.ch);
        }
        m_infix = std::move(infix);
    }
}

bool Pattern::findsInfix(const char *utf8, int length, bool *decided) const
{
    // Other characters never fold to the ASCII of the text sought, and their
    // bytes never equal it, except two that fold to ASCII letters (the long
    // s, the Kelvin sign) and overlong forms of ASCII: those go the long way.
    const auto *text = reinterpret_cast<const unsigned char *>(utf8);
    for (int i = 0; i < length; ++i) {
        const unsigned char b = text[i];
        if (b < 0x80)
            continue;
        const unsigned char second = i + 1 < length ? text[i + 1] : 0;
        const unsigned char third = i + 2 < length ? text[i + 2] : 0;
        if (b == 0xC0 || b == 0xC1 || (b == 0xC5 && second == 0xBF) || (b == 0xE0 && second < 0xA0)
            || (b == 0xF0 && second < 0x90) || (b == 0xE2 && second == 0x84 && third == 0xAA)) {
            *decided = false;
            return false;
        }
    }
    *decided = true;
    const int size = int(m_infix.size());
    const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); };
    for (int start = 0; start + size <= length; ++start) {
        if (lower(text[start]) != m_infix[0])
            continue;
        int k = 1;
        while (k < size && lower(text[start + k]) == m_infix[std::size_t(k)])
            ++k;
        if (k == size)
            return true;
    }
    return false;
}

bool Pattern::matchesOne(const Token &token, char32_t c) const
{
    switch (token.kind) {
    case Token::Literal:
        return foldCase(c) == token.ch;
    case Token::AnyOne:
        return true;
    case Token::Digit:
        return c >= '0' && c <= '9';
    case Token::Set: {
        const char32_t folded = foldCase(c);
        bool in = false;
        for (const auto &[lo, hi] : token.ranges) {
            if ((c >= lo && c <= hi) || (folded >= foldCase(lo) && folded <= foldCase(hi))) {
                in = true;
                break;
            }
        }
        return in != token.negated;
    }
    case Token::AnyRun:
        break;
    }
    return false;
}

bool Pattern::matches(const char *utf8, int length) const
{
    if (!m_infix.empty()) {
        bool decided = false;
        const bool found = findsInfix(utf8, length, &decided);
        if (decided)
            return found;
    }
    // Greedy matching that falls back to the last '*': linear for the
    // patterns the program builds ("*text*").
    const auto *t = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = t + length;
    std::size_t p = 0;
    std::size_t starToken = std::size_t(-1);
    const unsigned char *starText = nullptr;

    while (t < end) {
        if (p < m_tokens.size() && m_tokens[p].kind == Token::AnyRun) {
            starToken = p++;
            starText = t;
            continue;
        }
        const unsigned char *after = t;
        const char32_t c = next(after, end);
        if (p < m_tokens.size() && matchesOne(m_tokens[p], c)) {
            ++p;
            t = after;
            continue;
        }
        if (starToken == std::size_t(-1))
            return false;
        p = starToken + 1;
        next(starText, end);
        t = starText;
    }
    while (p < m_tokens.size() && m_tokens[p].kind == Token::AnyRun)
        ++p;
    return p == m_tokens.size();
}

void appendSortKey(std::string &key, const char *utf8, int length)
{
    const SortTable &table = sortTable();
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + length;
    while (p < end) {
        if (*p < 0x80) {
            const char c = char(*p++);
            key += (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
            continue;
        }
        const char32_t c = next(p, end);
        switch (c) {
        case U'œ':
        case U'Œ':
            key += "oe";
            continue;
        case U'æ':
        case U'Æ':
            key += "ae";
            continue;
        case U'ß':
            key += "ss";
            continue;
        default:
            break;
        }
        appendUtf8(key, c < SortTableSize ? table.base[c] : QChar::toCaseFolded(c));
    }
}

} // namespace JetText
