#include "KeysetQuery.h"

#include "JetText.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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
    std::uint64_t prefix = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        prefix = (prefix << 8) | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u);
    return prefix;
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

// The entries made for texts met before in one set of rows. A catalogue's
// authors and publishers, and the titles of its copies, come back again
// and again: a text seen before costs a look-up instead of its sort string,
// and its entries share their bytes in the arena, so that ties between
// equal texts are settled without reading them. Holds a bounded number of
// texts; when full, it starts again with the rows that follow.
class SeenTexts {
public:
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

    // False once the texts are seen to come back too rarely to pay for
    // looking them up.
    bool worthIt() const { return m_worthIt; }

    // The entry made for text, its row aside, or null if it is not known.
    const Entry *find(QByteArrayView text, std::uint64_t hash)
    {
        ++m_lookups;
        if (m_slots.empty())
            return nullptr;
        const std::uint64_t tag = hash >> 32;
        for (std::size_t slot = hash & (m_slots.size() - 1);; slot = (slot + 1) & (m_slots.size() - 1)) {
            const std::uint64_t held = m_slots[slot];
            if (held == 0)
                return nullptr;
            if (held >> 32 != tag)
                continue;
            const Seen &seen = m_seen[std::uint32_t(held) - 1];
            if (seen.length == std::size_t(text.size())
                && (seen.length == 0 || std::memcmp(m_texts.data() + seen.at, text.data(), seen.length) == 0)) {
                ++m_found;
                return &seen.entry;
            }
        }
    }

    void remember(QByteArrayView text, std::uint64_t hash, const Entry &entry)
    {
        if (std::size_t(text.size()) > LongestText)
            return;
        // Most texts new: a catalogue of distinct values.
        if (m_lookups >= FairTrial && m_found < m_lookups / 4) {
            m_worthIt = false;
            release();
            return;
        }
        if (m_seen.size() >= MostTexts || m_texts.size() + std::size_t(text.size()) > MostBytes) {
            m_lookups = 0;
            m_found = 0;
            m_seen.clear();
            m_texts.clear();
            std::fill(m_slots.begin(), m_slots.end(), 0);
        }
        if (2 * (m_seen.size() + 1) > m_slots.size())
            grow();
        m_seen.push_back({std::uint32_t(m_texts.size()), std::uint32_t(text.size()), entry});
        m_texts.append(text.data(), std::size_t(text.size()));
        place(hash, m_seen.size());
    }

    void release()
    {
        std::vector<std::uint64_t>().swap(m_slots);
        std::vector<Seen>().swap(m_seen);
        std::string().swap(m_texts);
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

    std::vector<std::uint64_t> m_slots; // the hash's upper half, then 1 + the index in m_seen; 0 when free
    std::vector<Seen> m_seen;
    std::string m_texts;
    std::size_t m_lookups = 0;
    std::size_t m_found = 0;
    bool m_worthIt = true;
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
struct SortedRows {
    std::vector<Entry> entries;
    Arena arena;
    RowKeys rowKeys;
    SeenTexts seen;

    Side side() const { return {arena, rowKeys}; }

    // One row: its key in column 0, its ORDER BY values from column 1 on.
    bool add(const Statement &row, const QVector<JetSql::OrderTerm> &terms, std::string &sortKey, DataError &error)
    {
        if (entries.size() >= UINT32_MAX) {
            error = outOfMemory();
            return false;
        }
        const std::uint32_t key = rowKeys.add(row.int64(0), entries);
        Entry &entry = entries.emplace_back();
        // A single text term goes by the texts seen before; empty texts cost
        // nothing to sort.
        const QByteArrayView text = seen.worthIt() && terms.size() == 1 && row.type(1) == Statement::Type::Text
                                        ? row.utf8(1) : QByteArrayView();
        sortKey.clear();
        if (text.isEmpty()) {
            KeysetQuery::appendSortString(sortKey, row, 1, terms);
            return place(sortKey, key, entry, error);
        }
        const std::uint64_t hash = SeenTexts::hashOf(text);
        if (const Entry *known = seen.find(text, hash)) {
            entry = *known;
            entry.row = key;
            return true;
        }
        appendText(sortKey, text);
        if (terms.front().descending)
            turnDown(sortKey, 0);
        if (!place(sortKey, key, entry, error))
            return false;
        seen.remember(text, hash, entry);
        return true;
    }

    bool place(const std::string &sortKey, std::uint32_t key, Entry &entry, DataError &error)
    {
        if (arena.add(sortKey, key, entry))
            return true;
        error = outOfMemory();
        return false;
    }

    // Once the rows are read, only the entries and the arena are needed.
    void doneReading() { seen.release(); }

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
        entries.reserve(std::min<std::size_t>(expected, 1 << 21));
        std::string sortKey;
        if (!eachRow(db, *query, error, [&](std::size_t) { return add(*query, terms, sortKey, error); }))
            return false;
        doneReading();
        if (!stillWanted(db, error))
            return false;
        std::sort(entries.begin(), entries.end(), EntryOrder{side()});
        return true;
    }
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
    // upper), so that the arenas are given back before the keys are made.
    const std::vector<Entry> &a = lower.entries;
    const std::vector<Entry> &b = upper.entries;
    const std::size_t rows = a.size() + b.size();
    std::vector<std::uint64_t> fromUpper((rows + 63) / 64, 0);
    std::size_t i = 0;
    std::size_t j = 0;
    for (; i < a.size() && j < b.size(); ) {
        if (before(b[j], upper.side(), a[i], lower.side())) {
            const std::size_t out = i + j;
            fromUpper[out / 64] |= std::uint64_t(1) << (out % 64);
            ++j;
        } else {
            ++i;
        }
    }
    for (std::size_t out = i + j; j < b.size(); ++j, ++out)
        fromUpper[out / 64] |= std::uint64_t(1) << (out % 64);
    lower.arena.release();
    upper.arena.release();
    keys.clear();
    keys.shrink_to_fit();
    keys.resize(rows);
    i = 0;
    j = 0;
    for (std::size_t out = 0; out < rows; ++out)
        keys[out] = (fromUpper[out / 64] >> (out % 64)) & 1 ? upper.rowKeys.of(b[j++]) : lower.rowKeys.of(a[i++]);
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
        sorted.entries.reserve(expected);
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
            return sorted.add(*query, select.terms, sortKey, error);
        found.push_back(query->int64(0));
        return true;
    });
    if (!read)
        return false;
    sorted.doneReading();

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
    sortIntoKeys(sorted.entries, sorted.arena, sorted.rowKeys, EntryOrder{sorted.side()}, keys);
    return true;
}

} // namespace KeysetQuery
