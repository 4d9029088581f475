#pragma once

#include <cstdint>
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

    struct Token {
        enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind = Literal;
        char32_t ch = 0;                                  // Literal: folded character
        std::vector<std::pair<char32_t, char32_t>> ranges; // Set: ranges as written
        bool negated = false;
    };
    // Another engine's translation reads them, to mean exactly the same.
    const std::vector<Token> &tokens() const { return m_tokens; }
    // Whether one character matches a token other than AnyRun.
    static bool matchesOne(const Token &token, char32_t c);

private:
    // "*text*" with a plain ASCII text, by far the commonest pattern, found
    // by bytes; *decided is false when the text needs the long way.
    bool findsInfix(const char *utf8, int length, bool *decided) const;

    std::vector<Token> m_tokens;
    std::string m_infix; // lower case; empty unless the pattern is "*text*"
    // An infix of at most eight bytes as a word, with the bits that fold
    // its letters' case and those that count, for one comparison a place.
    std::uint64_t m_infixWord = 0;
    std::uint64_t m_infixFold = 0;
    std::uint64_t m_infixMask = 0;
};

// Appends the text with accents, letter case and ligatures folded away
// ("Œuvre" -> "oeuvre"), for matching that ignores them.
void appendFolded(std::string &key, const char *utf8, int length);

// Appends the sort key of a UTF-8 text: byte strings whose plain order is
// the French dictionary order (base letters first, then accents, then letter
// case), as the collator of the French locale gives it. The key holds no 0x00
// byte, so a terminator after it keeps a shorter text first.
void appendSortKey(std::string &key, const char *utf8, int length);
// The first count bytes of appendSortKey's key, from the primary level
// alone, for a cheap look at where a text falls. False when the text is too
// short for them or needs the collator.
bool sortKeyStart(const char *utf8, int length, unsigned char *out, int count);
// Builds the tables behind the sort keys now, rather than in the first
// query that needs them (they take some tens of milliseconds).
void prepareTables();
// The same key, always read through the collator (the slow path that
// appendSortKey takes for texts beyond Western European characters).
void appendCollatorSortKey(std::string &key, const char *utf8, int length);

char32_t foldCase(char32_t c);

// One character as appendFolded folds it: one character, or two for the
// ligatures spelled out (returns how many were written to out).
int sortFold(char32_t c, char32_t out[2]);

} // namespace JetText
