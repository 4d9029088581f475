#include "JetText.h"

#include "util/Utf8.h"

#include <QChar>
#include <QtEndian>
#include <QtAlgorithms>
#include <QString>

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>
#include <array>
#include <cstdint>
#include <memory>

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

// Folding for the Latin letters a French catalogue holds, computed once:
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

// ---------------------------------------------------------------------------
// French order.
//
// A sort key here is three levels, each a run of bytes: the base letters
// (primary), then the accents (secondary), then letter case and variants
// (tertiary), the levels parted by 0x01, as the collator of the French
// locale orders text. Its weights come from the collator's own collation
// elements, renumbered into one byte for the characters of Western European
// text, so that the common case is one table look-up per character; any text
// holding another character is read element by element through the
// collator, into the same key format, so keys of both kinds compare with
// each other. On the two lower levels nearly every weight is the common one:
// runs of it are counted instead of written, and the trailing run dropped.
// ---------------------------------------------------------------------------

namespace {

constexpr std::uint32_t CommonWeight = 0x0500; // secondary and tertiary, as the collator counts them
constexpr char LevelSeparator = '\x01';
// The weights of a level that occur in Western European text have slots
// 2 i + 1 in their order; slot 2 i stands for any other weight between the
// known ones, and is followed by five bytes of its value.
constexpr std::size_t MaxKnownWeights = 125;
constexpr unsigned SlotBase = 3;
// A lower-level weight is written with the run of common weights before it
// (the trailing run is dropped): one byte for a short run, counting down
// since more commons before a weight sort first; a longer run is LongRun,
// then run bytes counting down from 0xFF, each full one followed by
// RunGoesOn, then the weight's slot.
constexpr char LongRun = '\x02';
constexpr unsigned MaxRun = 250;
constexpr char RunGoesOn = '\x02';

class WeightCodes {
public:
    void assign(std::vector<std::uint32_t> weights)
    {
        std::sort(weights.begin(), weights.end());
        weights.erase(std::unique(weights.begin(), weights.end()), weights.end());
        m_known = std::move(weights);
        m_slots = unsigned(2 * m_known.size() + 1);
        m_shortRuns = (256 - SlotBase) / m_slots;
    }
    std::size_t size() const { return m_known.size(); }
    unsigned slotCount() const { return m_slots; }
    unsigned shortRuns() const { return m_shortRuns; }

    unsigned slot(std::uint32_t weight) const
    {
        const auto it = std::lower_bound(m_known.begin(), m_known.end(), weight);
        const auto rank = unsigned(it - m_known.begin());
        return (it != m_known.end() && *it == weight) ? 2 * rank + 1 : 2 * rank;
    }

    template <typename Out>
    static void appendValue(Out &out, std::uint32_t weight)
    {
        out += char(2 + (weight >> 28));
        for (int shift = 21; shift >= 0; shift -= 7)
            out += char(2 + ((weight >> shift) & 0x7F));
    }

    void appendPrimary(std::string &out, std::uint32_t weight) const
    {
        const unsigned s = slot(weight);
        out += char(SlotBase + s);
        if (s % 2 == 0)
            appendValue(out, weight);
    }

private:
    std::vector<std::uint32_t> m_known;
    unsigned m_slots = 1;
    unsigned m_shortRuns = 1;
};

// Writes a weight of a lower level (by its slot) after the run of common
// weights before it, and starts a new run.
template <typename Out>
void writeLower(Out &out, unsigned &run, unsigned slot, const WeightCodes &codes)
{
    if (run < codes.shortRuns()) {
        out += char(SlotBase + (codes.shortRuns() - 1 - run) * codes.slotCount() + slot);
    } else {
        out += LongRun;
        unsigned rest = run - codes.shortRuns();
        while (rest > MaxRun) {
            out += char(0xFF - MaxRun);
            out += RunGoesOn;
            rest -= MaxRun + 1;
        }
        out += char(0xFF - rest);
        out += char(SlotBase + slot);
    }
    run = 0;
}

// Bytes written through a cursor into room reserved beforehand.
struct Cursor {
    char *at;
    void operator+=(char c) { *at++ = c; }
};

// A lower level being written: runs of the common weight are counted.
struct Level {
    std::string bytes;
    unsigned run = 0;

    void clear()
    {
        bytes.clear();
        run = 0;
    }
};

// The collation elements of one character in the common set: at most three,
// each weight already coded (0: ignorable at that level; primary: slot +
// SlotBase; lower levels: 1 common, else slot + 2).
struct FastChar {
    bool known = false;
    bool plain = false; // one element, common secondary and tertiary: most letters
    unsigned char count = 0;
    unsigned char primary[3] = {};
    unsigned char secondary[3] = {};
    unsigned char tertiary[3] = {};
    unsigned char leads = 0; // the primary weights that are not zero, in lead
    unsigned char lead[3] = {};
};

// The high bit of each of eight bytes.
constexpr std::uint64_t HighBits = 0x8080808080808080ull;

// Whether a text is plain ASCII, read eight bytes at a time.
bool plainAscii(const unsigned char *p, const unsigned char *end)
{
    for (; end - p >= 8; p += 8) {
        if (qFromLittleEndian<quint64>(p) & HighBits)
            return false;
    }
    for (; p < end; ++p) {
        if (*p & 0x80)
            return false;
    }
    return true;
}

// The high bit of every byte of eight that starts a character of two bytes or
// more (11xxxxxx), but for 0xC3, which starts U+00C0 to U+00FF.
std::uint64_t leadsBeyondLatin1(std::uint64_t word)
{
    constexpr std::uint64_t Low = 0x7F7F7F7F7F7F7F7Full;
    const std::uint64_t leads = word & (word << 1) & HighBits;
    const std::uint64_t c3 = word ^ 0xC3C3C3C3C3C3C3C3ull;
    const std::uint64_t notC3 = (((c3 & Low) + Low) | c3) & HighBits;
    return leads & notC3;
}

// Whether eight bytes (byte k in bits 8k to 8k + 7), from the start of a
// character, are whole characters of ASCII and of U+00C0 to U+00FF only: every
// lead byte is 0xC3 and followed here by its one continuation byte, and no
// other byte has its high bit set.
bool latinWord(std::uint64_t word)
{
    const std::uint64_t leads = word & (word << 1) & HighBits;           // 11xxxxxx
    const std::uint64_t continuations = word & ~(word << 1) & HighBits; // 10xxxxxx
    return leadsBeyondLatin1(word) == 0 && continuations == (leads << 8) && (leads >> 56) == 0;
}

struct Element {
    std::uint32_t primary;
    std::uint32_t secondary;
    std::uint32_t tertiary;
};

// One collator and one element iterator per thread: sorts may run on
// several, and opening an iterator costs more than reading a short text.
struct French {
    std::unique_ptr<UCollator, void (*)(UCollator *)> collator{nullptr, ucol_close};
    std::unique_ptr<UCollationElements, void (*)(UCollationElements *)> elements{nullptr, ucol_closeElements};

    French()
    {
        UErrorCode status = U_ZERO_ERROR;
        collator.reset(ucol_open("fr", &status));
        if (U_SUCCESS(status))
            elements.reset(ucol_openElements(collator.get(), nullptr, 0, &status));
        if (U_FAILURE(status))
            elements.reset();
    }
};

French &french()
{
    thread_local French french;
    return french;
}

UCollationElements *elementsOf(const char16_t *text, int length)
{
    French &french = ::french();
    if (!french.elements)
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    ucol_setText(french.elements.get(), reinterpret_cast<const UChar *>(text), length, &status);
    return U_SUCCESS(status) ? french.elements.get() : nullptr;
}

// The collation elements of a text, each put back together from the one or
// two 32-bit halves the iterator gives. Returns false when the collator is
// missing.
template <typename Visit>
bool forEachElement(const char16_t *text, int length, Visit visit)
{
    UCollationElements *elements = elementsOf(text, length);
    if (!elements)
        return false;
    UErrorCode status = U_ZERO_ERROR;
    auto isContinuation = [](std::int32_t half) { return (half & 0xC0) == 0xC0; };
    std::int32_t half = ucol_next(elements, &status);
    while (half != UCOL_NULLORDER && U_SUCCESS(status)) {
        const auto first = std::uint32_t(half);
        Element element{first & 0xFFFF0000u, ((first >> 8) & 0xFF) << 8, (first & 0xFF) << 8};
        half = ucol_next(elements, &status);
        if (half != UCOL_NULLORDER && isContinuation(half)) {
            const auto second = std::uint32_t(half);
            element.primary |= second >> 16;
            element.secondary |= (second >> 8) & 0xFF;
            element.tertiary |= second & 0x3F;
            half = ucol_next(elements, &status);
        }
        // The case bits take no part in a tertiary comparison.
        element.tertiary &= 0x3F3F;
        visit(element);
    }
    return U_SUCCESS(status);
}

// Characters beyond Latin Extended-A that French text often holds.
constexpr char32_t FastLimit = 0x180;
constexpr std::array<char32_t, 9> FastExtras = {U'\u2013', U'\u2014', U'\u2018', U'\u2019', U'\u201C',
                                                U'\u201D', U'\u2026', U'\u2030', U'\u20AC'};

struct FrenchTables {
    WeightCodes primaries;
    WeightCodes secondaries;
    WeightCodes tertiaries;
    std::array<FastChar, FastLimit> fast{};
    std::array<FastChar, FastExtras.size()> extras{};
    bool usable = false;
    bool asciiKnown = false; // every ASCII character reads from the table
    bool latinLettersKnown = false; // and every one from U+00C0 to U+00FF

    FrenchTables()
    {
        // The elements of every candidate, alone.
        std::vector<char32_t> candidates;
        for (char32_t c = 0; c < FastLimit; ++c)
            candidates.push_back(c);
        candidates.insert(candidates.end(), FastExtras.begin(), FastExtras.end());
        std::vector<std::vector<Element>> elements(candidates.size());
        std::vector<std::uint32_t> p, s, t;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const char16_t unit = char16_t(candidates[i]);
            if (!forEachElement(&unit, 1, [&](const Element &e) { elements[i].push_back(e); }))
                return;
            for (const Element &e : elements[i]) {
                if (e.primary)
                    p.push_back(e.primary);
                if (e.secondary && e.secondary != CommonWeight)
                    s.push_back(e.secondary);
                if (e.tertiary && e.tertiary != CommonWeight)
                    t.push_back(e.tertiary);
            }
        }
        primaries.assign(p);
        secondaries.assign(s);
        tertiaries.assign(t);
        // More weights than one-byte codes: every text goes through the
        // collator, slower but still right.
        if (primaries.size() > MaxKnownWeights || secondaries.size() > MaxKnownWeights
            || tertiaries.size() > MaxKnownWeights) {
            primaries.assign({});
            secondaries.assign({});
            tertiaries.assign({});
            usable = true;
            return;
        }

        auto levelCode = [](const WeightCodes &codes, std::uint32_t weight) -> unsigned char {
            return weight == 0 ? 0 : weight == CommonWeight ? 1 : static_cast<unsigned char>(codes.slot(weight) + 2);
        };
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            FastChar fc;
            fc.known = elements[i].size() <= 3;
            for (const Element &e : elements[i]) {
                if (!fc.known)
                    break;
                fc.primary[fc.count] = e.primary ? static_cast<unsigned char>(SlotBase + primaries.slot(e.primary)) : 0;
                fc.secondary[fc.count] = levelCode(secondaries, e.secondary);
                fc.tertiary[fc.count] = levelCode(tertiaries, e.tertiary);
                ++fc.count;
            }
            fc.plain = fc.count == 1 && fc.primary[0] != 0 && fc.secondary[0] == 1 && fc.tertiary[0] == 1;
            for (unsigned k = 0; k < fc.count; ++k) {
                if (fc.primary[k])
                    fc.lead[fc.leads++] = fc.primary[k];
            }
            const char32_t c = candidates[i];
            (c < FastLimit ? fast[c] : extras[i - FastLimit]) = fc;
        }
        // A contraction of the collator's ("L·") weighs its characters
        // together: a text that holds one goes through the collator. Setting
        // aside every character but the first of each is enough, and keeps
        // "L" on the fast path.
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<USet, void (*)(USet *)> contractions(uset_openEmpty(), uset_close);
        ucol_getContractionsAndExpansions(french().collator.get(), contractions.get(), nullptr, true, &status);
        if (U_SUCCESS(status)) {
            const std::int32_t items = uset_getItemCount(contractions.get());
            UChar text[64];
            for (std::int32_t item = 0; item < items; ++item) {
                UChar32 start = 0, end = 0;
                status = U_ZERO_ERROR;
                const std::int32_t length = uset_getItem(contractions.get(), item, &start, &end, text, 64, &status);
                if (U_FAILURE(status) || length <= 0)
                    continue;
                bool allCommon = true;
                for (std::int32_t k = 0; k < length; ++k)
                    allCommon = allCommon && entry(text[k]) && entry(text[k])->known;
                if (allCommon) {
                    for (std::int32_t k = 1; k < length; ++k)
                        entry(text[k])->known = false;
                }
            }
        }
        usable = true;
        asciiKnown = std::all_of(fast.begin(), fast.begin() + 0x80, [](const FastChar &fc) { return fc.known; });
        latinLettersKnown = std::all_of(fast.begin() + 0xC0, fast.begin() + 0x100, [](const FastChar &fc) { return fc.known; });
    }

    const FastChar *fastChar(char32_t c) const
    {
        const FastChar *fc = entryOf(*this, c);
        return fc && fc->known ? fc : nullptr;
    }

    FastChar *entry(char32_t c) { return entryOf(*this, c); }

    // The table's entry for a character, const or not as the tables are.
    template <typename Tables>
    static auto entryOf(Tables &tables, char32_t c) -> decltype(&tables.fast[0])
    {
        if (c < FastLimit)
            return &tables.fast[c];
        for (std::size_t i = 0; i < FastExtras.size(); ++i) {
            if (FastExtras[i] == c)
                return &tables.extras[i];
        }
        return nullptr;
    }
};

const FrenchTables &frenchTables()
{
    static const FrenchTables tables;
    return tables;
}

// Writes the levels after the primary weights; levels with nothing but
// common weights are left out, which sorts them first, as they should.
void finishKey(std::string &key, const char *secondary, std::size_t secondaryLength, const char *tertiary,
               std::size_t tertiaryLength)
{
    if (secondaryLength == 0 && tertiaryLength == 0)
        return;
    key += LevelSeparator;
    key.append(secondary, secondaryLength);
    if (tertiaryLength == 0)
        return;
    key += LevelSeparator;
    key.append(tertiary, tertiaryLength);
}

void appendCollatorKey(std::string &key, const FrenchTables &tables, const char *utf8, int length)
{
    thread_local std::u16string text;
    text.resize(std::size_t(length) + 1);
    std::int32_t units = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar *>(text.data()), std::int32_t(text.size()), &units, utf8, length,
                         0xFFFD, nullptr, &status);
    thread_local Level secondary;
    thread_local Level tertiary;
    secondary.clear();
    tertiary.clear();
    const std::size_t start = key.size();
    auto addLevel = [](Level &level, const WeightCodes &codes, std::uint32_t weight) {
        if (weight == 0)
            return;
        if (weight == CommonWeight) {
            ++level.run;
            return;
        }
        const unsigned slot = codes.slot(weight);
        writeLower(level.bytes, level.run, slot, codes);
        if (slot % 2 == 0)
            WeightCodes::appendValue(level.bytes, weight);
    };
    const bool read = U_SUCCESS(status) && forEachElement(text.data(), units, [&](const Element &e) {
        if (e.primary)
            tables.primaries.appendPrimary(key, e.primary);
        addLevel(secondary, tables.secondaries, e.secondary);
        addLevel(tertiary, tables.tertiaries, e.tertiary);
    });
    if (!read) {
        key.resize(start);
        JetText::appendFolded(key, utf8, length);
        return;
    }
    finishKey(key, secondary.bytes.data(), secondary.bytes.size(), tertiary.bytes.data(), tertiary.bytes.size());
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
    if (!m_infix.empty() && m_infix.size() <= 8) {
        unsigned char word[8] = {}, fold[8] = {}, mask[8] = {};
        for (std::size_t k = 0; k < m_infix.size(); ++k) {
            word[k] = static_cast<unsigned char>(m_infix[k]);
            fold[k] = (word[k] >= 'a' && word[k] <= 'z') ? 0x20 : 0;
            mask[k] = 0xFF;
        }
        std::memcpy(&m_infixWord, word, 8);
        std::memcpy(&m_infixFold, fold, 8);
        std::memcpy(&m_infixMask, mask, 8);
    }
}

bool Pattern::findsInfix(const char *utf8, int length, bool *decided) const
{
    // Other characters never fold to the ASCII of the text sought, and their
    // bytes never equal it, except two that fold to ASCII letters (the long
    // s, the Kelvin sign) and overlong forms of ASCII: those go the long way.
    const auto *text = reinterpret_cast<const unsigned char *>(utf8);
    for (int i = 0; i < length;) {
        // Eight bytes at a time, those that may start one of the above: bytes
        // from 0xC0 on, but for 0xC3, which starts the accented letters of
        // Latin-1 (plain ASCII needs no look at all).
        if (i + 8 <= length && leadsBeyondLatin1(qFromLittleEndian<quint64>(text + i)) == 0) {
            i += 8;
            continue;
        }
        for (const int stop = std::min(length, i + 8); i < stop; ++i) {
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
    }
    *decided = true;
    const int size = int(m_infix.size());
    int start = 0;
    if (m_infixMask != 0) {
        // ASCII letters fold to lower case by their 0x20 bit, and no other
        // byte folds to one that way.
        // Eight places at a time, the places whose byte is the first sought
        // (in either case) found together; only those are compared.
        const auto first = static_cast<unsigned char>(m_infix[0]);
        const std::uint64_t firstBytes = 0x0101010101010101ull * first;
        const std::uint64_t firstFold = (first >= 'a' && first <= 'z') ? 0x2020202020202020ull : 0;
        for (; start + 15 <= length; start += 8) {
            const std::uint64_t differ = (qFromLittleEndian<quint64>(text + start) | firstFold) ^ firstBytes;
            // A high bit in every byte that is zero (and maybe in some above one).
            std::uint64_t places = (differ - 0x0101010101010101ull) & ~differ & 0x8080808080808080ull;
            for (; places != 0; places &= places - 1) {
                const int at = start + qCountTrailingZeroBits(places) / 8;
                std::uint64_t word = 0;
                std::memcpy(&word, text + at, 8);
                if (((word | m_infixFold) & m_infixMask) == m_infixWord)
                    return true;
            }
        }
        for (; start + 8 <= length; ++start) {
            std::uint64_t word = 0;
            std::memcpy(&word, text + start, 8);
            if (((word | m_infixFold) & m_infixMask) == m_infixWord)
                return true;
        }
    }
    const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : char(c); };
    for (; start + size <= length; ++start) {
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

bool Pattern::matchesOne(const Token &token, char32_t c)
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

int sortFold(char32_t c, char32_t out[2])
{
    switch (c) {
    case U'œ':
    case U'Œ':
        out[0] = 'o';
        out[1] = 'e';
        return 2;
    case U'æ':
    case U'Æ':
        out[0] = 'a';
        out[1] = 'e';
        return 2;
    case U'ß':
        out[0] = out[1] = 's';
        return 2;
    default:
        break;
    }
    if (c < 0x80)
        out[0] = (c >= 'A' && c <= 'Z') ? c + 32 : c;
    else
        out[0] = c < SortTableSize ? sortTable().base[c] : QChar::toCaseFolded(c);
    return 1;
}

void appendFolded(std::string &key, const char *utf8, int length)
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


void appendSortKey(std::string &key, const char *utf8, int length)
{
    const FrenchTables &tables = frenchTables();
    if (!tables.usable) {
        appendFolded(key, utf8, length);
        return;
    }
    // The three levels are written side by side, then joined and appended
    // at once. At most three elements a byte of text, each at most one
    // primary byte and two bytes on each lower level; long runs add two
    // bytes for every MaxRun elements.
    const std::size_t primaryRoom = 3 * std::size_t(length) + 1;
    const std::size_t lowerRoom = 7 * std::size_t(length) + 4;
    char shortText[768];
    std::string longText;
    char *buffer = shortText;
    if (primaryRoom + 2 * lowerRoom > sizeof shortText) {
        longText.resize(primaryRoom + 2 * lowerRoom);
        buffer = longText.data();
    }
    char *const lowerStart = buffer + primaryRoom;
    char *const tertiaryStart = lowerStart + lowerRoom;
    Cursor primary{buffer};
    Cursor secondary{lowerStart};
    Cursor tertiary{tertiaryStart};
    unsigned secondaryRun = 0;
    unsigned tertiaryRun = 0;
    auto addLower = [](Cursor &level, unsigned &run, unsigned char code, const WeightCodes &codes) {
        if (code == 1)
            ++run;
        else if (code != 0)
            writeLower(level, run, code - 2u, codes);
    };

    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + length;
    while (p < end) {
        const FastChar *fc = nullptr;
        if (*p < 0x80) {
            fc = &tables.fast[*p++];
            if (fc->plain) {
                primary += char(fc->primary[0]);
                ++secondaryRun;
                ++tertiaryRun;
                continue;
            }
            if (!fc->known)
                fc = nullptr;
        } else {
            fc = tables.fastChar(next(p, end));
        }
        if (!fc) {
            appendCollatorKey(key, tables, utf8, length);
            return;
        }
        if (fc->count == 1 && fc->primary[0]) {
            // A capital or an accented letter: one element.
            primary += char(fc->primary[0]);
            addLower(secondary, secondaryRun, fc->secondary[0], tables.secondaries);
            addLower(tertiary, tertiaryRun, fc->tertiary[0], tables.tertiaries);
            continue;
        }
        for (unsigned k = 0; k < fc->count; ++k) {
            if (fc->primary[k])
                primary += char(fc->primary[k]);
            addLower(secondary, secondaryRun, fc->secondary[k], tables.secondaries);
            addLower(tertiary, tertiaryRun, fc->tertiary[k], tables.tertiaries);
        }
    }
    // Levels with nothing but common weights are left out, which sorts them
    // first, as they should.
    const auto secondaryLength = std::size_t(secondary.at - lowerStart);
    const auto tertiaryLength = std::size_t(tertiary.at - tertiaryStart);
    // A few bytes each: a loop costs less than a call.
    if (secondaryLength != 0 || tertiaryLength != 0) {
        primary += LevelSeparator;
        for (std::size_t i = 0; i < secondaryLength; ++i)
            primary += lowerStart[i];
        if (tertiaryLength != 0) {
            primary += LevelSeparator;
            for (std::size_t i = 0; i < tertiaryLength; ++i)
                primary += tertiaryStart[i];
        }
    }
    key.append(buffer, std::size_t(primary.at - buffer));
}

bool sortKeyStart(const char *utf8, int length, unsigned char *out, int count)
{
    const FrenchTables &tables = frenchTables();
    int written = 0;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    const auto *end = p + length;
    // Plain ASCII, the usual text: once it is known to be all of it, only
    // the characters that give the bytes wanted are read.
    const bool ascii = tables.asciiKnown && plainAscii(p, end);
    while (p < end && written < count) {
        const FastChar *fc = *p < 0x80 ? &tables.fast[*p++] : tables.fastChar(next(p, end));
        if (!fc || !fc->known)
            return false;
        const int n = std::min(int(fc->leads), count - written);
        for (int k = 0; k < n; ++k)
            out[written + k] = fc->lead[k];
        written += n;
    }
    if (!tables.usable || written < count)
        return false;
    if (ascii)
        return true;
    // Past the bytes wanted only the characters' being known matters, for
    // one further on that needs the collator changes the key from its first
    // byte. Plain ASCII is, and mostly Latin-1 letters too, eight bytes at a time.
    while (p < end) {
        if (tables.asciiKnown && end - p >= 8) {
            const std::uint64_t word = qFromLittleEndian<quint64>(p);
            if (tables.latinLettersKnown ? latinWord(word) : (word & HighBits) == 0) {
                p += 8;
                continue;
            }
        }
        const FastChar *fc = *p < 0x80 ? &tables.fast[*p++] : tables.fastChar(next(p, end));
        if (!fc || !fc->known)
            return false;
    }
    return true;
}

void prepareTables()
{
    frenchTables();
}

void appendCollatorSortKey(std::string &key, const char *utf8, int length)
{
    const FrenchTables &tables = frenchTables();
    if (!tables.usable) {
        appendFolded(key, utf8, length);
        return;
    }
    appendCollatorKey(key, tables, utf8, length);
}

} // namespace JetText
