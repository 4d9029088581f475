#pragma once

#include <string>
#include <vector>

// The text side of the engine's dialect, working on UTF-8 as the engine
// hands it over, so that matching a million rows makes no allocations.
namespace JetText {

// A LIKE pattern, compiled once per statement.
class Pattern {
public:
    explicit Pattern(const char *utf8, int length, char32_t escape = 0);
    bool matches(const char *utf8, int length) const;

private:
    struct Token {
        enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind = Literal;
        char32_t ch = 0;                                  // Literal: folded character
        std::vector<std::pair<char32_t, char32_t>> ranges; // Set: folded ranges
        bool negated = false;
    };
    bool matchesOne(const Token &token, char32_t c) const;
    // "*text*" with a plain ASCII text, by far the commonest pattern, found
    // by bytes; *decided is false when the text needs the long way.
    bool findsInfix(const char *utf8, int length, bool *decided) const;

    std::vector<Token> m_tokens;
    std::string m_infix; // lower case; empty unless the pattern is "*text*"
};

// Appends the sort key of a UTF-8 text: accents, letter case and ligatures
// folded away.
void appendSortKey(std::string &key, const char *utf8, int length);

char32_t foldCase(char32_t c);

} // namespace JetText
