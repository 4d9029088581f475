#include "KeysetQuery.h"

#include "JetText.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

namespace {

// A row that may be among the ends: its whole sort string and its key.
// Rows compare by string, then by key, exactly as the whole order has them.
struct Candidate {
    std::string sort;
    qint64 key = 0;
};

bool before(const Candidate &a, const Candidate &b)
{
    const int order = a.sort.compare(b.sort);
    return order < 0 || (order == 0 && a.key < b.key);
}

bool after(const Candidate &a, const Candidate &b)
{
    return before(b, a);
}

// The first eight bytes of a sort string, zero-padded and big-endian: their
// order agrees with the strings' wherever they differ.
std::uint64_t leadOf(const std::string &sort)
{
    std::uint64_t lead = 0;
    for (std::size_t i = 0; i < 8; ++i)
        lead = (lead << 8) | (i < sort.size() ? static_cast<unsigned char>(sort[i]) : 0u);
    return lead;
}

// The same eight bytes of a text's sort string when it is the first term,
// read cheaply from its primary weights when the text is long enough; false
// when only the whole string tells.
bool textLead(const char *utf8, int length, bool descending, std::uint64_t &lead)
{
    unsigned char start[8];
    start[0] = 3; // the tag of a text in the sort string
    if (!JetText::sortKeyStart(utf8, length, start + 1, 7))
        return false;
    lead = 0;
    for (const unsigned char byte : start)
        lead = (lead << 8) | (descending ? static_cast<unsigned char>(~byte) : byte);
    return true;
}

bool cheapLead(const Statement &row, const JetSql::OrderTerm &term, std::uint64_t &lead)
{
    if (row.type(1) != Statement::Type::Text)
        return false;
    const QByteArrayView text = row.utf8(1);
    return textLead(text.data(), int(text.size()), term.descending, lead);
}

// A bounded heap of the best rows seen so far by `better`; its top is the
// worst of them, and its lead the bar a newcomer's lead must reach.
template <bool (*Better)(const Candidate &, const Candidate &)>
class Best {
public:
    explicit Best(std::size_t size)
        : m_size(size)
    {
    }

    bool full() const { return m_rows.size() >= m_size; }
    std::uint64_t bar() const { return m_bar; }

    void offer(const Candidate &row)
    {
        if (m_size == 0)
            return;
        if (!full()) {
            m_rows.push_back(row);
            std::push_heap(m_rows.begin(), m_rows.end(), Better);
        } else if (Better(row, m_rows.front())) {
            std::pop_heap(m_rows.begin(), m_rows.end(), Better);
            m_rows.back() = row;
            std::push_heap(m_rows.begin(), m_rows.end(), Better);
        } else {
            return;
        }
        if (full())
            m_bar = leadOf(m_rows.front().sort);
    }

    const std::vector<Candidate> &rows() const { return m_rows; }

    // The rows, best first.
    std::vector<qint64> keys()
    {
        std::sort_heap(m_rows.begin(), m_rows.end(), Better);
        std::vector<qint64> keys;
        keys.reserve(m_rows.size());
        for (const Candidate &row : m_rows)
            keys.push_back(row.key);
        return keys;
    }

private:
    std::size_t m_size;
    std::vector<Candidate> m_rows;
    std::uint64_t m_bar = 0;
};

// The rows of one range of keys (bounds: engine SQL, empty for all), as one
// connection reads them: every row while they are few, then the ends only.
// Where the engine can, it asks the gatherer about each row's first term in
// its own loop, and only the rows that may be among the ends come out.
class Gatherer : public RowFilter {
public:
    Gatherer(const JetSql::Select &select, const QString &bounds, std::size_t rows, std::size_t wholeAtMost)
        : m_select(select)
        , m_bounds(bounds)
        , m_first(rows)
        , m_last(rows)
        , m_wholeAtMost(wholeAtMost)
    {
    }

    bool keep(Statement::Type type, const char *utf8, int length, double number) override
    {
        ++m_count;
        if (keepsAll())
            return true;
        const bool descending = m_select.terms.front().descending;
        std::uint64_t lead = 0;
        if (type == Statement::Type::Real)
            lead = KeysetQuery::numberLead(number, descending);
        else if (type != Statement::Type::Text || !textLead(utf8, length, descending, lead))
            return true;
        return mayBeFirst(lead) || mayBeLast(lead);
    }

    bool read(Database &db, const QStringList &columns, const QString &key, DataError &error,
              ProgressObserver *progress, qint64 progressRows);
    std::size_t count() const { return m_count; }
    bool keepsAll() const { return m_count <= m_wholeAtMost; }

    // Everything gathered by another range, as if read here.
    void take(Gatherer &other)
    {
        m_count += other.m_count;
        if (keepsAll() && other.keepsAll()) {
            m_all.insert(m_all.end(), other.m_all.begin(), other.m_all.end());
            return;
        }
        spill();
        for (const Candidate &row : other.m_all)
            offer(row);
        for (const Candidate &row : other.m_first.rows())
            m_first.offer(row);
        for (const Candidate &row : other.m_last.rows())
            m_last.offer(row);
    }

    void finish(KeysetQuery::Ends &out)
    {
        out.count = m_count;
        out.complete = keepsAll();
        if (out.complete) {
            std::sort(m_all.begin(), m_all.end(), before);
            out.first.clear();
            out.first.reserve(m_all.size());
            for (const Candidate &row : m_all)
                out.first.push_back(row.key);
            out.last.clear();
            return;
        }
        out.first = m_first.keys();
        out.last = m_last.keys();
        std::reverse(out.last.begin(), out.last.end());
    }

private:
    bool mayBeFirst(std::uint64_t lead) const { return !m_first.full() || lead <= m_first.bar(); }
    bool mayBeLast(std::uint64_t lead) const { return !m_last.full() || lead >= m_last.bar(); }

    void offer(const Candidate &row)
    {
        m_first.offer(row);
        m_last.offer(row);
    }

    // Past the rows kept whole: the ends take them.
    void spill()
    {
        for (const Candidate &row : m_all)
            offer(row);
        m_all = {};
    }

    const JetSql::Select &m_select;
    QString m_bounds;
    std::vector<Candidate> m_all;
    Best<before> m_first;
    Best<after> m_last;
    std::size_t m_wholeAtMost;
    std::size_t m_count = 0;
};

bool Gatherer::read(Database &db, const QStringList &columns, const QString &key, DataError &error,
                    ProgressObserver *progress, qint64 progressRows)
{
    const JetSql::OrderTerm &term = m_select.terms.front();
    QStringList where;
    if (!m_bounds.isEmpty())
        where << m_bounds;
    const std::optional<QString> filter =
        db.rowFilterTerm(m_select.table, m_select.condition, JetSql::termValue(term, columns));
    if (filter)
        where << *filter;
    else if (!m_select.condition.isEmpty())
        where << QLatin1Char('(') + m_select.condition + QLatin1Char(')');
    JetSql::Select range = m_select;
    range.condition = where.join(QLatin1String(" AND "));
    auto query = db.prepare(JetSql::selectKeysAndTerms(range, columns, key));
    if (!query) {
        error = db.lastError();
        return false;
    }
    struct FilterScope {
        Database &db;
        ~FilterScope() { db.setRowFilter(nullptr); }
    } scope{db};
    if (filter)
        db.setRowFilter(this);
    ProgressReport report(progress, progressRows);
    std::function<bool()> engineReport = db.activity();
    if (progress) {
        engineReport = [&report, &query] {
            report.report(query->rowsScanned());
            return true;
        };
    }
    const KeysetQuery::ActivityScope activity(db, std::move(engineReport));
    Candidate row;
    for (;;) {
        const Statement::Step step = query->step();
        if (step == Statement::Step::Done)
            return true;
        if (step == Statement::Step::Error) {
            error = db.lastError();
            return false;
        }
        if (!filter)
            ++m_count; // else counted by the filter
        if (progress && m_count % 4096 == 0)
            report.report(std::max<qint64>(query->rowsScanned(), qint64(m_count)));
        row.key = query->int64(0);
        row.sort.clear();
        if (keepsAll()) {
            KeysetQuery::appendSortString(row.sort, *query, 1, m_select.terms);
            m_all.push_back(row);
            continue;
        }
        if (!m_all.empty())
            spill();
        std::uint64_t lead = 0;
        if (!cheapLead(*query, term, lead)) {
            KeysetQuery::appendSortString(row.sort, *query, 1, m_select.terms);
            lead = leadOf(row.sort);
        }
        const bool maybeFirst = mayBeFirst(lead);
        const bool maybeLast = mayBeLast(lead);
        if (!maybeFirst && !maybeLast)
            continue;
        if (row.sort.empty())
            KeysetQuery::appendSortString(row.sort, *query, 1, m_select.terms);
        if (maybeFirst)
            m_first.offer(row);
        if (maybeLast)
            m_last.offer(row);
    }
}

} // namespace

namespace KeysetQuery {

bool ends(Database &db, const JetSql::Select &select, const QStringList &columns, const QString &key,
          const EndsTuning &tuning, Ends &out, DataError &error, ProgressObserver *progress)
{
    out.last.clear();
    if (select.terms.isEmpty()) {
        // Without an order, the keys' own: one pass gives them all.
        out.complete = run(db, select, columns, key, out.first, error, progress);
        out.count = out.first.size();
        return out.complete;
    }
    const std::size_t rows = tuning.rows;
    const std::size_t wholeAtMost = std::max(tuning.wholeAtMost, 2 * rows);
    const qint64 tableRows = rowsAtMost(db, select.table, key);

    if (tableRows >= tuning.splitFromRows && std::thread::hardware_concurrency() >= 2) {
        const qint64 middle = tableRows / 2;
        const QString lower = keyRange(key, middle, false);
        const QString upper = keyRange(key, middle, true);
        Gatherer other(select, upper, rows, wholeAtMost);
        DataError otherError;
        bool otherRead = false;
        std::thread second;
        try {
            second = std::thread([&] {
                Database own;
                otherRead = own.open(db.path(), Database::Mode::ReadOnly)
                    && other.read(own, columns, key, otherError, nullptr, 0);
            });
        } catch (const std::system_error &) {
        }
        if (second.joinable()) {
            Gatherer gatherer(select, lower, rows, wholeAtMost);
            const bool read = gatherer.read(db, columns, key, error, progress, middle);
            second.join();
            if (!read)
                return false;
            if (otherRead) {
                gatherer.take(other);
            } else {
                // A second connection that cannot read the file leaves its half to the first.
                Gatherer again(select, upper, rows, wholeAtMost);
                if (!again.read(db, columns, key, error, progress, tableRows - middle))
                    return false;
                gatherer.take(again);
            }
            gatherer.finish(out);
            return true;
        }
    }
    Gatherer gatherer(select, QString(), rows, wholeAtMost);
    if (!gatherer.read(db, columns, key, error, progress, tableRows))
        return false;
    gatherer.finish(out);
    return true;
}

} // namespace KeysetQuery
