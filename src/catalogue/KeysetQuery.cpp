#include "KeysetQuery.h"

#include "JetText.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Type tags: missing and empty values first, then numbers, then text.
constexpr char TagEmpty = 1;
constexpr char TagNumber = 2;
constexpr char TagText = 3;
constexpr char TagBlob = 4;

// A double whose big-endian bytes compare as the numbers do.
void appendNumber(std::string &out, double value)
{
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits & 0x8000000000000000ull) ? ~bits : (bits | 0x8000000000000000ull);
    for (int shift = 56; shift >= 0; shift -= 8)
        out += char((bits >> shift) & 0xFF);
}

void appendText(std::string &out, QByteArrayView text)
{
    if (text.isEmpty()) {
        out += TagEmpty;
        return;
    }
    out += TagText;
    JetText::appendSortKey(out, text.data(), int(text.size()));
    out += '\0'; // a shorter text sorts before its longer neighbours
}

void turnDown(std::string &out, std::size_t from)
{
    for (std::size_t i = from; i < out.size(); ++i)
        out[i] = char(~static_cast<unsigned char>(out[i]));
}

void appendTerm(std::string &out, const Statement &row, int column, bool descending)
{
    const std::size_t start = out.size();
    switch (row.type(column)) {
    case Statement::Type::Integer:
    case Statement::Type::Real:
        out += TagNumber;
        appendNumber(out, row.real(column));
        break;
    case Statement::Type::Text:
        appendText(out, row.utf8(column));
        break;
    case Statement::Type::Blob: {
        const QByteArrayView bytes = row.bytes(column);
        out += TagBlob;
        out.append(bytes.data(), std::size_t(bytes.size()));
        out += '\0';
        break;
    }
    case Statement::Type::Null:
        out += TagEmpty;
    }
    if (descending)
        turnDown(out, start);
}

// A row's sort string as the sort sees it. Row keys that fit in 32 bits
// (nearly always) are kept here, and no list of keys beside the entries is
// needed; the sort string's length and the rest of it past the first
// sixteen bytes are in the arena.
struct Entry {
    std::uint64_t prefix[2]; // the first sixteen bytes, big-endian, for quick comparisons
    std::uint32_t where;     // a length up to 16 (nothing in the arena), else the arena's position
    std::uint32_t row;       // the row's key, or its index among the keys when they do not all fit
};
static_assert(sizeof(Entry) == 24, "entries are the sort's largest part");

std::uint64_t prefixOf(const std::string &bytes, std::size_t from)
{
    unsigned char eight[8] = {};
    if (from < bytes.size())
        std::memcpy(eight, bytes.data() + from, std::min<std::size_t>(8, bytes.size() - from));
    return qFromBigEndian<quint64>(eight);
}

// A sort string past the entry's prefix: its whole length and its bytes
// after the sixteenth.
struct Tail {
    std::uint32_t length;
    const char *bytes;
};

// The sort strings longer than sixteen bytes, past those sixteen, each
// after its length (one byte, or 255 and four bytes): most names and titles
// need a few bytes. One block addressed by 32-bit positions; large enough to
// be mapped apart by the allocator, it grows by remapping its pages rather
// than copying them, and pages never written cost no memory.
class Arena {
public:
    static constexpr std::size_t InEntry = 16;
    // Positions below this are the lengths of strings kept whole in their entry.
    static constexpr std::uint32_t FirstPosition = InEntry + 1;

    Arena() = default;
    ~Arena() { release(); }
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;

    // False when memory runs out or the arena would pass four gigabytes.
    bool add(const std::string &bytes, std::uint32_t row, Entry &entry)
    {
        if (bytes.size() > UINT32_MAX)
            return false;
        entry = {{prefixOf(bytes, 0), prefixOf(bytes, 8)}, std::uint32_t(bytes.size()), row};
        if (bytes.size() <= InEntry)
            return true;
        const std::size_t tail = bytes.size() - InEntry;
        const std::size_t header = tail < 255 ? 1 : 5;
        if (!reserve(header + tail))
            return false;
        entry.where = std::uint32_t(m_used);
        char *at = m_bytes + m_used;
        m_used += header + tail;
        if (header == 1) {
            *at = char(tail);
        } else {
            *at = char(255);
            const std::uint32_t length = std::uint32_t(bytes.size());
            std::memcpy(at + 1, &length, sizeof length);
        }
        std::memcpy(at + header, bytes.data() + InEntry, tail);
        return true;
    }

    Tail tailOf(const Entry &entry) const
    {
        if (entry.where < FirstPosition)
            return {entry.where, nullptr};
        const char *at = m_bytes + entry.where;
        if (static_cast<unsigned char>(*at) != 255)
            return {std::uint32_t(InEntry + static_cast<unsigned char>(*at)), at + 1};
        std::uint32_t length = 0;
        std::memcpy(&length, at + 1, sizeof length);
        return {length, at + 5};
    }

    void release()
    {
        std::free(m_bytes);
        m_bytes = nullptr;
        m_used = FirstPosition;
        m_capacity = 0;
    }

private:
    static constexpr std::uint64_t Limit = std::uint64_t(1) << 32;

    bool reserve(std::size_t size)
    {
        const std::uint64_t needed = std::uint64_t(m_used) + size;
        if (needed <= m_capacity)
            return true;
        if (needed > Limit)
            return false;
        const std::uint64_t capacity =
            std::min(Limit, std::max({needed, std::uint64_t(m_capacity) + m_capacity / 2, std::uint64_t(1) << 20}));
        char *bytes = static_cast<char *>(std::realloc(m_bytes, std::size_t(capacity)));
        if (!bytes)
            return false;
        m_bytes = bytes;
        m_capacity = std::size_t(capacity);
        return true;
    }

    char *m_bytes = nullptr;
    std::size_t m_used = FirstPosition;
    std::size_t m_capacity = 0;
};

// The row keys of the entries: in the entries themselves while every key
// fits in 32 bits, else in a list the entries point into.
class RowKeys {
public:
    static bool fits(qint64 key) { return key >= 0 && key <= qint64(UINT32_MAX); }

    // The entry's row field for key, moving the keys into the list the
    // first time one does not fit.
    std::uint32_t add(qint64 key, std::vector<Entry> &entries)
    {
        if (m_inEntries && fits(key))
            return std::uint32_t(key);
        if (m_inEntries) {
            m_inEntries = false;
            m_keys.reserve(entries.capacity());
            for (Entry &entry : entries) {
                m_keys.push_back(entry.row);
                entry.row = std::uint32_t(m_keys.size() - 1);
            }
        }
        m_keys.push_back(key);
        return std::uint32_t(m_keys.size() - 1);
    }

    qint64 of(const Entry &entry) const { return m_inEntries ? qint64(entry.row) : m_keys[entry.row]; }

private:
    bool m_inEntries = true;
    std::vector<qint64> m_keys;
};

// The entries made for texts met before in one set of rows, numbered in
// the order they were first met. A catalogue's authors and publishers, and
// the titles of its copies, come back again and again: a text seen before
// costs a look-up instead of its sort string, and its entries share their
// bytes in the arena, so that ties between equal texts are settled without
// reading them. Holds a bounded number of texts.
class SeenTexts {
public:
    static constexpr std::uint32_t None = UINT32_MAX;

    static std::uint64_t hashOf(QByteArrayView text)
    {
        constexpr std::uint64_t Mix = 0xff51afd7ed558ccdull;
        std::uint64_t hash = 0x9e3779b97f4a7c15ull ^ std::uint64_t(text.size());
        const char *at = text.data();
        for (qsizetype left = text.size(); left > 0; left -= 8, at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, at, std::size_t(std::min<qsizetype>(left, 8)));
            hash = (hash ^ word) * Mix;
            hash ^= hash >> 32;
        }
        hash *= Mix;
        return hash ^ (hash >> 29);
    }

    // The number of text, or None if it is not known.
    std::uint32_t find(QByteArrayView text, std::uint64_t hash)
    {
        // Empty texts cost nothing to sort: they do not show whether
        // looking texts up pays.
        const bool counts = !text.isEmpty();
        m_lookups += counts;
        if (m_slots.empty())
            return None;
        const std::uint64_t tag = hash >> 32;
        for (std::size_t slot = hash & (m_slots.size() - 1);; slot = (slot + 1) & (m_slots.size() - 1)) {
            const std::uint64_t held = m_slots[slot];
            if (held == 0)
                return None;
            if (held >> 32 != tag)
                continue;
            const std::uint32_t number = std::uint32_t(held) - 1;
            const Seen &seen = m_seen[number];
            if (seen.length == std::size_t(text.size())
                && (seen.length == 0 || std::memcmp(m_texts.data() + seen.at, text.data(), seen.length) == 0)) {
                m_found += counts;
                return number;
            }
        }
    }

    // The entry made for a text, without a row (0).
    const Entry &entry(std::uint32_t number) const { return m_seen[number].entry; }
    std::size_t count() const { return m_seen.size(); }

    // False once the texts are seen to come back too rarely to pay for
    // looking them up.
    bool worthIt() const { return m_lookups < FairTrial || m_found >= m_lookups / 4; }
    bool hasRoomFor(QByteArrayView text) const
    {
        return m_seen.size() < MostTexts && m_texts.size() + std::size_t(text.size()) <= MostBytes;
    }
    static bool fits(QByteArrayView text) { return std::size_t(text.size()) <= LongestText; }

    // The number given to a new text that fits and has room.
    std::uint32_t remember(QByteArrayView text, std::uint64_t hash, const Entry &entry)
    {
        if (2 * (m_seen.size() + 1) > m_slots.size())
            grow();
        m_seen.push_back({std::uint32_t(m_texts.size()), std::uint32_t(text.size()), entry});
        if (!text.isEmpty())
            m_texts.append(text.data(), std::size_t(text.size()));
        place(hash, m_seen.size());
        return std::uint32_t(m_seen.size() - 1);
    }

    // Starts again with the rows that follow.
    void forget()
    {
        m_lookups = 0;
        m_found = 0;
        m_seen.clear();
        m_texts.clear();
        std::fill(m_slots.begin(), m_slots.end(), 0);
    }

    // Keeps the entries only: no text will be looked up any more.
    void stopLooking()
    {
        std::vector<std::uint64_t>().swap(m_slots);
        std::string().swap(m_texts);
    }

    void release()
    {
        stopLooking();
        std::vector<Seen>().swap(m_seen);
    }

private:
    static constexpr std::size_t MostTexts = std::size_t(1) << 17;
    static constexpr std::size_t MostBytes = std::size_t(1) << 23;
    static constexpr std::size_t LongestText = 1024;
    static constexpr std::size_t FairTrial = std::size_t(1) << 14;

    struct Seen {
        std::uint32_t at;
        std::uint32_t length;
        Entry entry;
    };

    void place(std::uint64_t hash, std::size_t number)
    {
        std::size_t slot = hash & (m_slots.size() - 1);
        while (m_slots[slot] != 0)
            slot = (slot + 1) & (m_slots.size() - 1);
        m_slots[slot] = (hash >> 32 << 32) | number;
    }

    void grow()
    {
        if (m_slots.empty()) {
            // Room never written costs nothing, and the texts never move.
            m_seen.reserve(MostTexts);
            m_texts.reserve(MostBytes);
        }
        m_slots.assign(std::max<std::size_t>(4096, 2 * m_slots.size()), 0);
        for (std::size_t i = 0; i < m_seen.size(); ++i) {
            const Seen &seen = m_seen[i];
            place(hashOf(QByteArrayView(m_texts.data() + seen.at, qsizetype(seen.length))), i + 1);
        }
    }

    std::vector<std::uint64_t> m_slots; // the hash's upper half, then 1 + the text's number; 0 when free
    std::vector<Seen> m_seen;
    std::string m_texts;
    std::size_t m_lookups = 0;
    std::size_t m_found = 0;
};

// Where the rest of an entry's sort string and its key are found.
struct Side {
    const Arena &arena;
    const RowKeys &rowKeys;
};

// Whether a comes before b: by their sort strings, then by their keys. The
// prefixes decide nearly always, and equal texts share their place in the
// arena: both inline. The rest is worked out apart.
bool tiedBefore(const Entry &a, const Side &sa, const Entry &b, const Side &sb);

inline bool before(const Entry &a, const Side &sa, const Entry &b, const Side &sb)
{
    if (a.prefix[0] != b.prefix[0])
        return a.prefix[0] < b.prefix[0];
    if (a.prefix[1] != b.prefix[1])
        return a.prefix[1] < b.prefix[1];
    // Equal lengths up to sixteen, or the same place in the same arena.
    if (a.where == b.where && (a.where < Arena::FirstPosition || &sa.arena == &sb.arena))
        return sa.rowKeys.of(a) < sb.rowKeys.of(b);
    return tiedBefore(a, sa, b, sb);
}

// Equal prefixes, and sort strings that may differ past them.
bool tiedBefore(const Entry &a, const Side &sa, const Entry &b, const Side &sb)
{
    const Tail ta = sa.arena.tailOf(a);
    const Tail tb = sb.arena.tailOf(b);
    const std::uint32_t common = std::min(ta.length, tb.length);
    if (common > Arena::InEntry) {
        const int order = std::memcmp(ta.bytes, tb.bytes, common - Arena::InEntry);
        if (order != 0)
            return order < 0;
    }
    if (ta.length != tb.length)
        return ta.length < tb.length;
    return sa.rowKeys.of(a) < sb.rowKeys.of(b);
}

// The order of the entries of one set.
struct EntryOrder {
    Side side;

    bool operator()(const Entry &a, const Entry &b) const { return before(a, side, b, side); }
};

// Below this many rows a second thread costs more than it saves.
constexpr std::size_t ParallelSortRows = 50000;

// Sorts the entries and gives their keys in order. Two halves are sorted on
// two cores, then merged; the merge only notes which half each place takes
// from, so that the arena is given back before the keys are made.
void sortIntoKeys(std::vector<Entry> &entries, Arena &arena, const RowKeys &rowKeys, EntryOrder less,
                  std::vector<qint64> &keys)
{
    const std::size_t rows = entries.size();
    if (rows < ParallelSortRows || std::thread::hardware_concurrency() < 2) {
        std::sort(entries.begin(), entries.end(), less);
        arena.release();
        keys.resize(rows);
        for (std::size_t i = 0; i < rows; ++i)
            keys[i] = rowKeys.of(entries[i]);
        return;
    }
    const auto middle = entries.begin() + std::ptrdiff_t(rows / 2);
    std::thread first;
    try {
        first = std::thread([&] { std::sort(entries.begin(), middle, less); });
    } catch (const std::system_error &) {
        std::sort(entries.begin(), middle, less); // no thread to be had: one core it is
    }
    std::sort(middle, entries.end(), less);
    if (first.joinable())
        first.join();
    // No two entries are equal (the row key decides last): the merged
    // order is the one a single sort gives. A set bit: the second half.
    std::vector<std::uint64_t> fromSecond((rows + 63) / 64, 0);
    auto a = entries.begin();
    auto b = middle;
    for (std::size_t out = 0; a != middle && b != entries.end(); ++out) {
        if (less(*b, *a)) {
            fromSecond[out / 64] |= std::uint64_t(1) << (out % 64);
            ++b;
        } else {
            ++a;
        }
    }
    // What remains comes from one half only.
    if (b != entries.end()) {
        for (std::size_t out = std::size_t(a - entries.begin()) + std::size_t(b - middle); out < rows; ++out)
            fromSecond[out / 64] |= std::uint64_t(1) << (out % 64);
    }
    arena.release();
    keys.resize(rows);
    a = entries.begin();
    b = middle;
    for (std::size_t out = 0; out < rows; ++out)
        keys[out] = rowKeys.of((fromSecond[out / 64] >> (out % 64)) & 1 ? *b++ : *a++);
}

// The scratch space of a sort is a few large blocks: given back to the
// system as soon as freed, rather than kept by the allocator for good.
void mapLargeBlocksApart()
{
#ifdef __GLIBC__
    static const bool fixedThreshold = mallopt(M_MMAP_THRESHOLD, 256 * 1024) == 1;
    Q_UNUSED(fixedThreshold);
#endif
}

// Reports come from the row loop this often, and from the engine between.
constexpr std::size_t ReportEveryRows = 4096;

DataError outOfMemory()
{
    return {7, QStringLiteral("Mémoire insuffisante pour trier les enregistrements.")};
}

// Steps a statement through its rows, handing row() the count so far after
// each; false when a step fails (with the engine's error) or row() does.
template <typename Row>
bool eachRow(Database &db, Statement &query, DataError &error, Row &&row)
{
    for (std::size_t rows = 1;; ++rows) {
        const Statement::Step step = query.step();
        if (step == Statement::Step::Done)
            return true;
        if (step == Statement::Step::Error) {
            error = db.lastError();
            return false;
        }
        if (!row(rows))
            return false;
    }
}

// Once the rows are read: whether the connection's activity still wants
// them ordered (ordering them would be wasted otherwise).
bool stillWanted(Database &db, DataError &error)
{
    if (const auto &wanted = db.activity(); wanted && !wanted()) {
        error = {DataErrors::Cancelled, QStringLiteral("Opération interrompue à la demande de l'utilisateur.")};
        return false;
    }
    return true;
}

// The rows of one range of keys, read into sort entries and ordered.
//
// A single text term goes by the texts seen before. While every row's text
// is remembered and the keys come rising and fit in 32 bits (a table read
// in the order of its keys), a row is kept as no more than its text's
// number and its key: the texts alone are sorted, then the rows placed
// after them, those of equal texts in the order of their keys. Otherwise
// the rows become entries and are sorted one by one.
class SortedRows {
public:
    void expect(std::size_t rows, const QVector<JetSql::OrderTerm> &terms)
    {
        m_terms = terms;
        m_expected = rows;
        m_looking = m_grouped = terms.size() == 1;
        if (m_grouped)
            m_placed.reserve(rows);
        else
            m_entries.reserve(rows);
    }

    // One row: its key in column 0, its ORDER BY values from column 1 on.
    bool add(const Statement &row, std::string &sortKey, DataError &error)
    {
        if (size() >= UINT32_MAX) {
            error = outOfMemory();
            return false;
        }
        const qint64 key = row.int64(0);
        const Statement::Type type = m_looking ? row.type(1) : Statement::Type::Null;
        if (!m_looking || (type != Statement::Type::Text && type != Statement::Type::Null)) {
            // Numbers cost little to sort: no more looking up.
            ungroup();
            stopLooking();
            sortKey.clear();
            KeysetQuery::appendSortString(sortKey, row, 1, m_terms);
            return addNew(sortKey, key, error);
        }
        // A missing text sorts as an empty one.
        const QByteArrayView text = type == Statement::Type::Text ? row.utf8(1) : QByteArrayView();
        const std::uint64_t hash = SeenTexts::hashOf(text);
        std::uint32_t number = m_seen.find(text, hash);
        if (number == SeenTexts::None) {
            sortKey.clear();
            appendText(sortKey, text);
            if (m_terms.front().descending)
                turnDown(sortKey, 0);
            if (!m_seen.worthIt()) {
                ungroup();
                stopLooking();
                return addNew(sortKey, key, error);
            }
            if (!SeenTexts::fits(text)) {
                ungroup();
                return addNew(sortKey, key, error);
            }
            if (!m_seen.hasRoomFor(text)) {
                ungroup();
                m_seen.forget();
            }
            Entry entry;
            if (!make(sortKey, entry, error))
                return false;
            number = m_seen.remember(text, hash, entry);
        }
        if (m_grouped && RowKeys::fits(key) && (m_placed.empty() || key > m_placed.back().key)) {
            m_placed.push_back({number, std::uint32_t(key)});
            return true;
        }
        ungroup();
        addEntry(m_seen.entry(number), key);
        return true;
    }

    bool read(Database &db, const QString &sql, const QVector<JetSql::OrderTerm> &terms, std::size_t expected,
              DataError &error)
    {
        auto query = db.prepare(sql);
        if (!query) {
            error = db.lastError();
            return false;
        }
        // Room reserved but never touched costs no memory; the largest key
        // may lie far beyond the number of rows.
        expect(std::min<std::size_t>(expected, 1 << 21), terms);
        std::string sortKey;
        if (!eachRow(db, *query, error, [&](std::size_t) { return add(*query, sortKey, error); }))
            return false;
        if (!stillWanted(db, error))
            return false;
        if (m_grouped)
            placeByText();
        else
            std::sort(m_entries.begin(), m_entries.end(), EntryOrder{side()});
        return true;
    }

    // Orders the rows read and gives their keys.
    void intoKeys(std::vector<qint64> &keys)
    {
        if (!m_grouped) {
            m_seen.release();
            sortIntoKeys(m_entries, m_arena, m_rowKeys, EntryOrder{side()}, keys);
            return;
        }
        placeByText();
        releaseBytes();
        keys.resize(m_placed.size());
        for (std::size_t i = 0; i < m_placed.size(); ++i)
            keys[i] = m_placed[i].key;
    }

    // Once ordered: the rows in order.
    std::size_t size() const { return m_grouped ? m_placed.size() : m_entries.size(); }
    Entry entryAt(std::size_t i) const
    {
        if (!m_grouped)
            return m_entries[i];
        Entry entry = m_seen.entry(m_placed[i].text);
        entry.row = m_placed[i].key;
        return entry;
    }
    qint64 keyAt(std::size_t i) const { return m_grouped ? qint64(m_placed[i].key) : m_rowKeys.of(m_entries[i]); }
    Side side() const { return {m_arena, m_rowKeys}; }

    // The sort strings, once the rows need comparing no more.
    void releaseBytes()
    {
        m_arena.release();
        if (!m_grouped)
            m_seen.release();
    }

private:
    struct Placed {
        std::uint32_t text;
        std::uint32_t key;
    };

    // An entry for a sort string, without a row; false when memory runs out.
    bool make(const std::string &sortKey, Entry &entry, DataError &error)
    {
        if (m_arena.add(sortKey, 0, entry))
            return true;
        error = outOfMemory();
        return false;
    }

    bool addNew(const std::string &sortKey, qint64 key, DataError &error)
    {
        Entry entry;
        if (!make(sortKey, entry, error))
            return false;
        addEntry(entry, key);
        return true;
    }

    void addEntry(const Entry &made, qint64 key)
    {
        const std::uint32_t row = m_rowKeys.add(key, m_entries);
        m_entries.push_back(made);
        m_entries.back().row = row;
    }

    void stopLooking()
    {
        if (!m_looking)
            return;
        m_looking = false;
        m_seen.release();
    }

    // From now on, rows are entries: those placed so far too.
    void ungroup()
    {
        if (!m_grouped)
            return;
        m_grouped = false;
        m_entries.reserve(m_expected);
        for (const Placed &placed : m_placed)
            addEntry(m_seen.entry(placed.text), placed.key);
        std::vector<Placed>().swap(m_placed);
    }

    void placeByText()
    {
        m_seen.stopLooking();
        const std::size_t texts = m_seen.count();
        const EntryOrder less{side()};
        std::vector<std::uint32_t> inOrder(texts);
        std::iota(inOrder.begin(), inOrder.end(), 0u);
        std::sort(inOrder.begin(), inOrder.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return less(m_seen.entry(a), m_seen.entry(b)); });
        // Different texts may have the same sort string (an accent typed as
        // a letter of its own, or not): their rows mingle, by key. The
        // texts' entries carry no row, and equal strings compare equal.
        std::vector<std::uint32_t> rankOf(texts);
        std::uint32_t rank = 0;
        for (std::size_t i = 0; i < texts; ++i) {
            if (i > 0 && less(m_seen.entry(inOrder[i - 1]), m_seen.entry(inOrder[i])))
                ++rank;
            rankOf[inOrder[i]] = rank;
        }
        std::vector<std::size_t> next(std::size_t(rank) + 2, 0);
        for (const Placed &placed : m_placed)
            ++next[rankOf[placed.text] + 1];
        for (std::size_t i = 1; i < next.size(); ++i)
            next[i] += next[i - 1];
        std::vector<Placed> ordered(m_placed.size());
        for (const Placed &placed : m_placed)
            ordered[next[rankOf[placed.text]]++] = placed;
        m_placed.swap(ordered);
    }

    QVector<JetSql::OrderTerm> m_terms;
    std::size_t m_expected = 0;
    std::vector<Entry> m_entries;
    std::vector<Placed> m_placed;
    Arena m_arena;
    RowKeys m_rowKeys;
    SeenTexts m_seen;
    bool m_looking = false; // texts are looked up
    bool m_grouped = false; // rows are placed by their text's number
};

} // namespace

namespace KeysetQuery {

bool runOnTwoCores(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
                   qint64 fromRows, std::vector<qint64> &keys, DataError &error,
                   const std::function<bool()> &stillWanted)
{
    mapLargeBlocksApart();
    const qint64 tableRows = rowsAtMost(db, select.table, key);
    if (select.terms.isEmpty() || tableRows < fromRows || db.isServer() || std::thread::hardware_concurrency() < 2)
        return run(db, select, columns, key, keys, error);
    const qint64 middle = tableRows / 2;
    auto half = [&](bool upper) {
        JetSql::Select range = select;
        const QString bounds = keyRange(key, middle, upper);
        range.condition = select.condition.isEmpty() ? bounds : bounds + QLatin1String(" AND (") + select.condition + QLatin1Char(')');
        return JetSql::selectKeysAndTerms(range, columns, key);
    };
    // Keys run up to tableRows: the upper half holds up to tableRows - middle + 1
    // rows, room for which is reserved, and never has to move as it grows.
    const QString lowerSql = half(false);
    const QString upperSql = half(true);
    SortedRows lower;
    SortedRows upper;
    DataError upperError;
    bool upperRead = false;
    std::thread second;
    try {
        second = std::thread([&] {
            Database own;
            if (!own.open(db.path(), Database::Mode::ReadOnly)) {
                upperError = own.lastError();
                return;
            }
            const ActivityScope activity(own, stillWanted);
            upperRead = upper.read(own, upperSql, select.terms, std::size_t(tableRows - middle + 1), upperError);
        });
    } catch (const std::system_error &) {
        return run(db, select, columns, key, keys, error);
    }
    const bool lowerRead = lower.read(db, lowerSql, select.terms, std::size_t(middle), error);
    second.join();
    if (!lowerRead)
        return false;
    if (!upperRead) {
        error = upperError;
        return false;
    }
    // Equal sort strings keep the order of the keys: the lower half's first.
    // The merge only notes which half each place takes from (a set bit: the
    // upper), so that the sort strings are given back before the keys are made.
    const std::size_t rows = lower.size() + upper.size();
    std::vector<std::uint64_t> fromUpper((rows + 63) / 64, 0);
    std::size_t i = 0;
    std::size_t j = 0;
    for (; i < lower.size() && j < upper.size(); ) {
        if (before(upper.entryAt(j), upper.side(), lower.entryAt(i), lower.side())) {
            const std::size_t out = i + j;
            fromUpper[out / 64] |= std::uint64_t(1) << (out % 64);
            ++j;
        } else {
            ++i;
        }
    }
    for (std::size_t out = i + j; j < upper.size(); ++j, ++out)
        fromUpper[out / 64] |= std::uint64_t(1) << (out % 64);
    lower.releaseBytes();
    upper.releaseBytes();
    keys.clear();
    keys.shrink_to_fit();
    keys.resize(rows);
    i = 0;
    j = 0;
    for (std::size_t out = 0; out < rows; ++out)
        keys[out] = (fromUpper[out / 64] >> (out % 64)) & 1 ? upper.keyAt(j++) : lower.keyAt(i++);
    return true;
}

void giveMemoryBack()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

ActivityScope::ActivityScope(Database &db, std::function<bool()> activity)
    : m_db(db)
    , m_previous(db.activity())
{
    m_db.setActivity(std::move(activity));
}

ActivityScope::~ActivityScope()
{
    m_db.setActivity(std::move(m_previous));
}

void appendSortString(std::string &out, const Statement &row, int firstColumn, const QVector<JetSql::OrderTerm> &terms)
{
    for (int term = 0; term < terms.size(); ++term)
        appendTerm(out, row, firstColumn + term, terms[term].descending);
}

QString keyRange(const QString &key, qint64 middle, bool upper)
{
    return key + QLatin1String(upper ? " >= " : " < ") + QString::number(middle);
}

std::uint64_t numberLead(double value, bool descending)
{
    std::string bytes(1, TagNumber);
    appendNumber(bytes, value);
    std::uint64_t lead = 0;
    for (std::size_t i = 0; i < 8; ++i)
        lead = (lead << 8) | static_cast<unsigned char>(bytes[i]);
    return descending ? ~lead : lead;
}

qint64 rowsAtMost(Database &db, const QString &table, const QString &key)
{
    auto query = db.prepare(QLatin1String("SELECT max(") + key + QLatin1String(") FROM ") + Database::quoteName(table));
    if (!query || query->step() != Statement::Step::Row)
        return 0;
    return std::max<qint64>(query->int64(0), 0);
}

bool run(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
         std::vector<qint64> &keys, DataError &error, ProgressObserver *progress)
{
    mapLargeBlocksApart();
    auto query = db.prepare(JetSql::selectKeysAndTerms(select, columns, key));
    if (!query) {
        error = db.lastError();
        return false;
    }
    const int terms = int(select.terms.size());
    const qint64 tableRows = rowsAtMost(db, select.table, key);
    // Room reserved but never touched costs no memory.
    const std::size_t expected = std::size_t(std::min<qint64>(tableRows, 1 << 22));
    std::vector<qint64> found; // without ORDER BY
    SortedRows sorted;
    if (terms > 0)
        sorted.expect(expected, select.terms);
    else
        found.reserve(expected);
    std::string sortKey;

    // Reading the rows, then ordering them, which takes about half as long
    // and cannot tell how far it is. A query that filters out most rows
    // spends its time inside the engine, which reports too.
    ProgressReport report(progress, terms > 0 ? tableRows + tableRows / 2 : tableRows);
    std::function<bool()> engineReport = db.activity();
    if (progress) {
        engineReport = [&report, &query] {
            report.report(query->rowsScanned());
            return true;
        };
    }
    const ActivityScope activity(db, std::move(engineReport));

    const bool read = eachRow(db, *query, error, [&](std::size_t rows) {
        if (progress && rows % ReportEveryRows == 0)
            report.report(std::max<qint64>(query->rowsScanned(), qint64(rows)));
        if (terms > 0)
            return sorted.add(*query, sortKey, error);
        found.push_back(query->int64(0));
        return true;
    });
    if (!read)
        return false;

    if (terms == 0) {
        // Without ORDER BY, the rows come in the order of their keys.
        std::sort(found.begin(), found.end());
        keys = std::move(found);
        return true;
    }

    if (!stillWanted(db, error))
        return false;
    report.report(tableRows);
    keys.clear();
    keys.shrink_to_fit();
    sorted.intoKeys(keys);
    return true;
}

} // namespace KeysetQuery
