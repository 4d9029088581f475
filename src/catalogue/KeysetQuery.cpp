#include "KeysetQuery.h"

#include "JetText.h"

#include <algorithm>
#include <cstdint>
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

void appendTerm(std::string &out, const Statement &row, int column, bool descending)
{
    const std::size_t start = out.size();
    switch (row.type(column)) {
    case Statement::Type::Integer:
    case Statement::Type::Real:
        out += TagNumber;
        appendNumber(out, row.real(column));
        break;
    case Statement::Type::Text: {
        const QByteArrayView text = row.utf8(column);
        if (text.isEmpty()) {
            out += TagEmpty;
            break;
        }
        out += TagText;
        JetText::appendSortKey(out, text.data(), int(text.size()));
        out += '\0'; // a shorter text sorts before its longer neighbours
        break;
    }
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
    if (descending) {
        for (std::size_t i = start; i < out.size(); ++i)
            out[i] = char(~static_cast<unsigned char>(out[i]));
    }
}

struct Entry {
    std::uint64_t prefix[2]; // the first sixteen bytes, big-endian, for quick comparisons
    std::uint32_t block;  // where the whole string lies in the arena
    std::uint32_t offset;
    std::uint32_t length;
    std::uint32_t row;    // index of the row's key
};

std::uint64_t prefixOf(const std::string &bytes, std::size_t from)
{
    std::uint64_t prefix = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        prefix = (prefix << 8) | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u);
    return prefix;
}

// The sort strings beyond their first sixteen bytes, which the entries hold
// already: most names and titles need nothing more. In blocks that are
// filled and never moved, so that the arena grows without copying itself or
// reserving twice its size.
class Arena {
public:
    static constexpr std::size_t BlockSize = 1 << 20;
    static constexpr std::size_t InEntry = 16;

    Entry add(const std::string &bytes, std::uint32_t row)
    {
        const std::size_t tail = bytes.size() > InEntry ? bytes.size() - InEntry : 0;
        if (tail > 0 && (m_blocks.empty() || m_blocks.back().size() + tail > m_blocks.back().capacity())) {
            m_blocks.emplace_back();
            m_blocks.back().reserve(std::max(BlockSize, tail));
        }
        const std::uint32_t block = tail > 0 ? std::uint32_t(m_blocks.size() - 1) : 0;
        const Entry entry{{prefixOf(bytes, 0), prefixOf(bytes, 8)}, block,
                          tail > 0 ? std::uint32_t(m_blocks.back().size()) : 0, std::uint32_t(bytes.size()), row};
        if (tail > 0)
            m_blocks.back().append(bytes, InEntry, tail);
        return entry;
    }

    // The bytes after the first sixteen (valid when the string is longer).
    const char *tailOf(const Entry &entry) const { return m_blocks[entry.block].data() + entry.offset; }

private:
    std::vector<std::string> m_blocks;
};

// Below this many rows a second thread costs more than it saves.
constexpr std::size_t ParallelSortRows = 50000;

// Sorts the two halves on two cores, then merges them straight into the
// row keys, so that no second copy of the entries is needed.
template <typename Less>
void sortIntoKeys(std::vector<Entry> &entries, const std::vector<qint64> &found, Less less, std::vector<qint64> &keys)
{
    keys.assign(entries.size(), 0);
    if (entries.size() < ParallelSortRows || std::thread::hardware_concurrency() < 2) {
        std::sort(entries.begin(), entries.end(), less);
        for (std::size_t i = 0; i < entries.size(); ++i)
            keys[i] = found[entries[i].row];
        return;
    }
    const auto middle = entries.begin() + std::ptrdiff_t(entries.size() / 2);
    std::thread first;
    try {
        first = std::thread([&] { std::sort(entries.begin(), middle, less); });
    } catch (const std::system_error &) {
        std::sort(entries.begin(), middle, less); // no thread to be had: one core it is
    }
    std::sort(middle, entries.end(), less);
    if (first.joinable())
        first.join();
    auto a = entries.begin();
    auto b = middle;
    std::size_t out = 0;
    // No two entries are equal (the row key decides last): the merged
    // order is the one a single sort gives.
    while (a != middle && b != entries.end())
        keys[out++] = found[(less(*b, *a) ? *b++ : *a++).row];
    for (; a != middle; ++a)
        keys[out++] = found[a->row];
    for (; b != entries.end(); ++b)
        keys[out++] = found[b->row];
}

// Reports come from the row loop this often, and from the engine between.
constexpr std::size_t ReportEveryRows = 4096;

} // namespace

namespace KeysetQuery {

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
#ifdef __GLIBC__
    // The scratch space of a sort is a few large blocks: given back to the
    // system as soon as freed, rather than kept by the allocator for good.
    static const bool fixedThreshold = mallopt(M_MMAP_THRESHOLD, 256 * 1024) == 1;
    Q_UNUSED(fixedThreshold);
#endif
    auto query = db.prepare(JetSql::selectKeysAndTerms(select, columns, key));
    if (!query) {
        error = db.lastError();
        return false;
    }
    const int terms = int(select.terms.size());
    const qint64 tableRows = rowsAtMost(db, select.table, key);
    // Room reserved but never touched costs no memory.
    std::vector<qint64> found;
    found.reserve(std::size_t(std::min<qint64>(tableRows, 1 << 22)));
    std::vector<Entry> entries;
    if (terms > 0)
        entries.reserve(found.capacity());
    Arena arena;
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

    for (;;) {
        const Statement::Step step = query->step();
        if (step == Statement::Step::Done)
            break;
        if (step == Statement::Step::Error) {
            error = db.lastError();
            return false;
        }
        found.push_back(query->int64(0));
        if (progress && found.size() % ReportEveryRows == 0)
            report.report(std::max<qint64>(query->rowsScanned(), qint64(found.size())));
        if (terms == 0)
            continue;
        sortKey.clear();
        appendSortString(sortKey, *query, 1, select.terms);
        entries.push_back(arena.add(sortKey, std::uint32_t(found.size() - 1)));
    }

    if (terms == 0) {
        // Without ORDER BY, the rows come in the order of their keys.
        std::sort(found.begin(), found.end());
        keys = std::move(found);
        return true;
    }

    // Stopped once the rows are read: ordering them would be wasted.
    if (const auto &stillWanted = db.activity(); stillWanted && !stillWanted()) {
        error = {DataErrors::Cancelled, QStringLiteral("Opération interrompue à la demande de l'utilisateur.")};
        return false;
    }
    report.report(tableRows);
    sortIntoKeys(entries, found, [&](const Entry &a, const Entry &b) {
        if (a.prefix[0] != b.prefix[0])
            return a.prefix[0] < b.prefix[0];
        if (a.prefix[1] != b.prefix[1])
            return a.prefix[1] < b.prefix[1];
        // Equal prefixes: the first sixteen bytes (or all of the shorter) agree.
        const std::uint32_t common = std::min(a.length, b.length);
        if (common > 16) {
            const int order = std::memcmp(arena.tailOf(a), arena.tailOf(b), common - 16);
            if (order != 0)
                return order < 0;
        }
        if (a.length != b.length)
            return a.length < b.length;
        return found[a.row] < found[b.row];
    }, keys);
    return true;
}

} // namespace KeysetQuery
