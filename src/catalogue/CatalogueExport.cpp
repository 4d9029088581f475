#include "CatalogueExport.h"

#include "CodeTables.h"
#include "ForwardRecordset.h"
#include "JetSql.h"
#include "KeysetQuery.h"
#include "Progress.h"
#include "util/Library.h"
#include "util/Windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>
#include <unistd.h>

namespace {

// A record line with fourteen semicolons in a row has seven empty fields in
// a row: it says nothing worth keeping (an all-empty record gives exactly
// this). Fields never hold a semicolon, so the run is made of separators.
bool hasEmptyRun(std::string_view line)
{
    // Such a run covers one of the bytes at every fourteenth place: only
    // those are looked at, and the runs through them measured.
    constexpr std::size_t Run = 14;
    for (std::size_t at = Run - 1; at < line.size(); at += Run) {
        if (line[at] != ';')
            continue;
        std::size_t first = at;
        while (first > 0 && line[first - 1] == ';')
            --first;
        std::size_t end = at + 1;
        while (end < line.size() && line[end] == ';' && end - first < Run)
            ++end;
        if (end - first >= Run)
            return true;
    }
    return false;
}

// The label of a code field's text, in the code page's bytes.
QByteArray codeLabel(int position, QByteArrayView utf8)
{
    QString text = QString::fromUtf8(utf8);
    if (text.contains(QLatin1Char(';')))
        text = Library::StrReplace(text, QStringLiteral(";"), QStringLiteral(":"));
    return Windows1252::encode(position == 1 ? PrefixIs(text) : position == 2 ? LangueIs(text) : DomaineIs(text));
}

// Code fields nearly always hold one letter: their labels are worked out
// once per letter, and only other texts go the long way.
class CodeLabels {
public:
    // Valid until the next call.
    std::string_view of(int position, QByteArrayView utf8)
    {
        if (utf8.size() != 1 || static_cast<unsigned char>(utf8.front()) >= 0x80) {
            m_other = codeLabel(position, utf8).toStdString();
            return m_other;
        }
        auto &slot = m_single[position - 1][static_cast<unsigned char>(utf8.front())];
        if (!slot)
            slot = codeLabel(position, utf8).toStdString();
        return *slot;
    }

private:
    std::optional<std::string> m_single[3][128];
    std::string m_other;
};

// Records as the bytes of their lines.
class LineMaker {
public:
    explicit LineMaker(std::string separator) : m_separator(std::move(separator)) {}

    // The line of a record with its end: fields 1 to last, each given by
    // fieldAt as UTF-8. Valid until the next call. The long fields go from
    // UTF-8 straight into the code page.
    template <typename FieldAt>
    std::string_view line(int last, FieldAt fieldAt)
    {
        std::size_t used = 0;
        for (int i = 1; i <= last; ++i) {
            const QByteArrayView value = fieldAt(i);
            if (i <= 3) {
                const std::string_view label = m_labels.of(i, value);
                std::memcpy(room(used, label.size()), label.data(), label.size());
                used += label.size();
            } else {
                char *at = room(used, std::size_t(value.size()));
                used = std::size_t(Windows1252::fromUtf8(at, value, ';', ':') - m_buffer.data());
            }
            std::memcpy(room(used, m_separator.size()), m_separator.data(), m_separator.size());
            used += m_separator.size();
        }
        // The cut is the width of the program's own separator, whatever is passed.
        used -= std::min<std::size_t>(2, used);
        std::memcpy(room(used, 2), "\r\n", 2);
        return std::string_view(m_buffer.data(), used + 2);
    }

private:
    // Where size more bytes go after the used ones; the buffer only grows.
    char *room(std::size_t used, std::size_t size)
    {
        if (used + size > m_buffer.size())
            m_buffer.resize(std::max(2 * m_buffer.size(), used + size));
        return m_buffer.data() + used;
    }

    std::string m_separator;
    CodeLabels m_labels;
    std::string m_buffer;
};

QString fileError(const QString &path, const QString &reason)
{
    return QStringLiteral("%1 : %2").arg(QDir::toNativeSeparators(path), reason);
}

// Writes all of the bytes, through interruptions; false with errno set.
bool writeAll(int fd, const char *data, std::size_t left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

bool writeAll(int fd, const std::string &bytes)
{
    return writeAll(fd, bytes.data(), bytes.size());
}

// A new file written beside the target and renamed over it once complete,
// so a failure part-way leaves the previous export whole. The rename
// replaces the name itself: a symbolic link there is replaced, and the file
// it pointed to is left alone. Every failure keeps the system's reason.
class ReplacingFile {
public:
    explicit ReplacingFile(QString path) : m_path(std::move(path)) {}
    ~ReplacingFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_temporary.isEmpty())
            ::unlink(QFile::encodeName(m_temporary).constData());
    }
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    bool open()
    {
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            const QString candidate = QStringLiteral("%1.%2").arg(m_path).arg(
                QRandomGenerator::global()->generate() & 0xFFFFFF, 6, 36, QLatin1Char('0'));
            m_fd = ::open(QFile::encodeName(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0)
                m_temporary = candidate;
            else if (errno != EEXIST)
                return fail(errno);
        }
        if (m_fd < 0)
            return fail(EEXIST);
        // The new export keeps the permissions of the one it replaces.
        struct stat old;
        if (::lstat(QFile::encodeName(m_path).constData(), &old) == 0 && S_ISREG(old.st_mode))
            ::fchmod(m_fd, old.st_mode & 07777);
        return true;
    }

    bool write(const char *data, std::size_t size)
    {
        // Large pieces go to the file as they are, past the buffer.
        if (size >= BufferBytes)
            return flush() && (writeAll(m_fd, data, size) || fail(errno));
        m_buffer.append(data, size);
        return m_buffer.size() < BufferBytes || flush();
    }

    // Copies what fd holds from its start to its end.
    bool writeFrom(int fd, QString *reason)
    {
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            *reason = Library::SystemErrorText(errno);
            return false;
        }
        char chunk[BufferBytes];
        for (;;) {
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                *reason = Library::SystemErrorText(errno);
                return false;
            }
            if (got == 0)
                return true;
            if (!write(chunk, std::size_t(got))) {
                *reason = m_error;
                return false;
            }
        }
    }

    bool commit()
    {
        if (!flush())
            return false;
        if (::fsync(m_fd) != 0)
            return fail(errno);
        const int closed = ::close(m_fd);
        m_fd = -1;
        if (closed != 0)
            return fail(errno);
        if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_path).constData()) != 0)
            return fail(errno);
        m_temporary.clear();
        return true;
    }

    const QString &errorString() const { return m_error; }

private:
    bool flush()
    {
        if (!writeAll(m_fd, m_buffer))
            return fail(errno);
        m_buffer.clear();
        return true;
    }

    // Named after the export the user knows, not the temporary file.
    bool fail(int error)
    {
        m_error = fileError(m_path, Library::SystemErrorText(error));
        return false;
    }

    static constexpr std::size_t BufferBytes = 1 << 16;

    QString m_path;
    QString m_temporary;
    int m_fd = -1;
    std::string m_buffer;
    QString m_error;
};

// Opens the export file and writes its header line.
bool startExport(ReplacingFile &file)
{
    const std::string header = std::string(CatalogueExport::Header) + "\r\n";
    return file.open() && file.write(header.data(), header.size());
}

// How often the row loop reports, in rows.
constexpr qint64 ReportEveryRows = 2048;

QString cancelledText(const QString &path)
{
    return QStringLiteral("Exportation annulée : %1 est resté tel quel.").arg(QDir::toNativeSeparators(path));
}

CatalogueExport::Outcome writeRows(ForwardRecordset &rs, const QString &separator, const QString &path,
                                   QString *error, ProgressReport *report)
{
    using CatalogueExport::Outcome;
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return Outcome::Failed;
    };

    ReplacingFile file(path);
    if (!startExport(file))
        return fail(file.errorString());

    LineMaker lines(Windows1252::encode(separator).toStdString());
    qint64 rows = 0;
    while (!rs.isEOF()) {
        if (report && ++rows % ReportEveryRows == 0 && !report->report(rows)) {
            if (error)
                *error = cancelledText(path);
            return Outcome::Cancelled;
        }
        const std::string_view line = lines.line(rs.fieldCount() - 1, [&rs](int i) { return rs.fieldUtf8(i); });
        if (!hasEmptyRun(line) && !file.write(line.data(), line.size()))
            return fail(file.errorString());
        if (!rs.MoveNext())
            return fail(rs.lastError().text);
    }
    if (!file.commit())
        return fail(file.errorString());
    return Outcome::Written;
}

// An export ordered by a column of few values (the domain) needs no sort:
// one pass over the rows in the order of their keys puts each line into the
// bucket of its sort string, and the buckets, in the order of their
// strings, make the file. Equal strings keep the order of the row keys, as
// the engine's ordering does. Each bucket keeps a little in memory and the
// rest in an unnamed file beside the export.
class Buckets {
public:
    // More buckets than this: the order has too many values for the method.
    static constexpr std::size_t MaxBuckets = 64;

    explicit Buckets(QString folder) : m_folder(std::move(folder)) {}
    ~Buckets()
    {
        for (auto &[key, bucket] : m_buckets) {
            if (bucket.fd >= 0)
                ::close(bucket.fd);
        }
    }
    Buckets(const Buckets &) = delete;
    Buckets &operator=(const Buckets &) = delete;

    bool tooMany() const { return m_buckets.size() > MaxBuckets; }

    struct Bucket {
        std::string pending;
        int fd = -1;
        qint64 lines = 0;
    };

    // The bucket of a row's ORDER BY values, found from the values as they
    // are, and from their sort string only the first time. Other threads
    // may fill the buckets found before meanwhile.
    Bucket *bucketOf(const Statement &row, int firstTerm, const QVector<JetSql::OrderTerm> &terms)
    {
        m_values.clear();
        for (int term = 0; term < terms.size(); ++term) {
            const int column = firstTerm + term;
            const Statement::Type type = row.type(column);
            m_values += char(type);
            if (type == Statement::Type::Integer || type == Statement::Type::Real) {
                const double value = row.real(column);
                m_values.append(reinterpret_cast<const char *>(&value), sizeof value);
            } else if (type == Statement::Type::Text || type == Statement::Type::Blob) {
                const QByteArrayView bytes = type == Statement::Type::Text ? row.utf8(column) : row.bytes(column);
                const std::uint32_t size = std::uint32_t(bytes.size());
                m_values.append(reinterpret_cast<const char *>(&size), sizeof size);
                m_values.append(bytes.data(), std::size_t(bytes.size()));
            }
        }
        auto known = m_byValues.find(m_values);
        if (known == m_byValues.end()) {
            std::string sortString;
            KeysetQuery::appendSortString(sortString, row, firstTerm, terms);
            Bucket *bucket = &m_buckets[sortString];
            // A few spellings per bucket at most are remembered.
            if (m_byValues.size() >= 8 * MaxBuckets)
                m_byValues.clear();
            known = m_byValues.emplace(m_values, bucket).first;
        }
        return known->second;
    }

    bool add(Bucket &bucket, std::string_view line)
    {
        bucket.pending += line;
        ++bucket.lines;
        return bucket.pending.size() < KeptBytes || spill(bucket);
    }

    // Writes the buckets in order; rowsWritten hears of each bucket's end.
    template <typename Written>
    bool writeTo(ReplacingFile &file, Written rowsWritten)
    {
        qint64 rows = 0;
        for (auto &[key, bucket] : m_buckets) {
            if (bucket.fd >= 0 && !file.writeFrom(bucket.fd, &m_error))
                return false;
            if (!file.write(bucket.pending.data(), bucket.pending.size())) {
                m_error = file.errorString();
                return false;
            }
            bucket.pending = {};
            rows += bucket.lines;
            if (!rowsWritten(rows))
                return false;
        }
        return true;
    }

    const QString &errorString() const { return m_error; }

private:
    static constexpr std::size_t KeptBytes = 1 << 18;

    bool spill(Bucket &bucket)
    {
        if (bucket.fd < 0) {
            bucket.fd = ::open(QFile::encodeName(m_folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (bucket.fd < 0) {
                // A file system without unnamed files: the system's temporary folder.
                if (FILE *spare = std::tmpfile()) {
                    bucket.fd = ::dup(::fileno(spare));
                    std::fclose(spare);
                }
            }
            if (bucket.fd < 0)
                return fail(errno);
        }
        if (!writeAll(bucket.fd, bucket.pending))
            return fail(errno);
        bucket.pending.clear();
        return true;
    }

    bool fail(int error)
    {
        m_error = Library::SystemErrorText(error);
        return false;
    }

    QString m_folder;
    std::map<std::string, Bucket> m_buckets;
    std::unordered_map<std::string, Bucket *> m_byValues;
    std::string m_values;
    QString m_error;
};

// Rows on their way from the engine to the thread that makes their lines:
// each row's fields, copied (the engine's bytes last only until the next
// step), and its bucket.
struct RowBatch {
    static constexpr std::size_t FullBytes = 1 << 20;
    static constexpr std::size_t FullRows = 1 << 14;

    std::string bytes;
    std::vector<std::uint32_t> ends; // of each field in bytes, a row after the other
    std::vector<Buckets::Bucket *> buckets;

    bool full() const { return bytes.size() >= FullBytes || buckets.size() >= FullRows; }
    void clear()
    {
        bytes.clear();
        ends.clear();
        buckets.clear();
    }
};

// Makes the lines of the rows handed to it and adds them to their buckets,
// on a second core while the engine reads on; on the caller's when no
// thread can be had.
class LineWorker {
public:
    LineWorker(Buckets &buckets, std::string separator, int last)
        : m_buckets(buckets)
        , m_lines(std::move(separator))
        , m_last(last)
    {
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error &) {
        }
    }
    ~LineWorker()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        finish();
    }
    LineWorker(const LineWorker &) = delete;
    LineWorker &operator=(const LineWorker &) = delete;

    // Takes a batch and gives back an empty one, once the worker is ready
    // for it; false when a bucket failed.
    bool hand(RowBatch &batch)
    {
        if (!m_thread.joinable()) {
            m_failed = m_failed || !work(batch);
            batch.clear();
            return !m_failed;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_waiting || m_failed; });
        if (m_failed)
            return false;
        std::swap(batch, m_next);
        m_waiting = true;
        lock.unlock();
        m_changed.notify_all();
        batch.clear();
        return true;
    }

    // Waits until every row handed is in its bucket; false when a bucket failed.
    bool finish()
    {
        if (m_thread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_finished = true;
            }
            m_changed.notify_all();
            m_thread.join();
        }
        return !m_failed;
    }

private:
    void run()
    {
        RowBatch batch;
        for (;;) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_waiting || m_finished; });
            if (!m_waiting || m_stopped)
                return;
            std::swap(batch, m_next);
            m_waiting = false;
            lock.unlock();
            m_changed.notify_all();
            if (!work(batch)) {
                lock.lock();
                m_failed = true;
                lock.unlock();
                m_changed.notify_all();
                return;
            }
        }
    }

    bool work(const RowBatch &batch)
    {
        std::size_t field = 0; // the row's first in ends
        for (Buckets::Bucket *bucket : batch.buckets) {
            const std::uint32_t *ends = batch.ends.data() + field;
            const std::uint32_t rowStart = field == 0 ? 0 : batch.ends[field - 1];
            const std::string_view line = m_lines.line(m_last, [&](int i) {
                const std::uint32_t start = i == 1 ? rowStart : ends[i - 2];
                return QByteArrayView(batch.bytes.data() + start, qsizetype(ends[i - 1] - start));
            });
            field += std::size_t(m_last);
            if (!hasEmptyRun(line) && !m_buckets.add(*bucket, line))
                return false;
        }
        return true;
    }

    Buckets &m_buckets;
    LineMaker m_lines;
    const int m_last;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    RowBatch m_next;
    bool m_waiting = false;  // m_next holds rows to work on
    bool m_finished = false; // no more rows will come
    bool m_stopped = false;  // and those waiting are not wanted
    bool m_failed = false;
    std::thread m_thread;
};

// The export through buckets; nothing when the order has too many values
// for them, and the caller orders through the engine instead.
std::optional<CatalogueExport::Outcome> writeBuckets(Database &db, const JetSql::Select &select,
                                                     const QString &separator, const QString &path, QString *error,
                                                     ProgressReport *report, qint64 tableRows)
{
    using CatalogueExport::Outcome;
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return Outcome::Failed;
    };
    const auto key = db.rowKey(select.table);
    if (!key)
        return fail(db.lastError().text);
    auto columns = db.prepare(QLatin1String("SELECT * FROM ") + Database::quoteName(select.table)
                              + QLatin1String(" LIMIT 0"));
    if (!columns)
        return fail(db.lastError().text);
    QStringList names;
    for (int i = 0; i < columns->columnCount(); ++i)
        names << columns->columnName(i);
    columns.reset();
    auto rows = db.prepare(JetSql::selectAllAndTerms(select, names, *key));
    if (!rows)
        return fail(db.lastError().text);

    ReplacingFile file(path);
    if (!startExport(file))
        return fail(file.errorString());

    Buckets buckets(QFileInfo(path).absolutePath());
    const auto bucketFailure = [&] { return fileError(path, buckets.errorString()); };
    const int last = int(names.size()) - 1;
    LineWorker worker(buckets, Windows1252::encode(separator).toStdString(), last);
    RowBatch batch;
    qint64 read = 0;
    for (;;) {
        const Statement::Step step = rows->step();
        if (step == Statement::Step::Done)
            break;
        if (step == Statement::Step::Error)
            return fail(db.lastError().text);
        if (report && ++read % ReportEveryRows == 0 && !report->report(read)) {
            if (error)
                *error = cancelledText(path);
            return Outcome::Cancelled;
        }
        batch.buckets.push_back(buckets.bucketOf(*rows, last + 1, select.terms));
        if (buckets.tooMany())
            return std::nullopt;
        for (int i = 1; i <= last; ++i) {
            const QByteArrayView value = rows->utf8(i);
            batch.bytes.append(value.data(), std::size_t(value.size()));
            batch.ends.push_back(std::uint32_t(batch.bytes.size()));
        }
        if (batch.full() && !worker.hand(batch))
            return fail(bucketFailure());
    }
    if (!worker.hand(batch) || !worker.finish())
        return fail(bucketFailure());
    rows.reset();

    bool cancelled = false;
    if (report)
        report->setOffset(tableRows);
    if (!buckets.writeTo(file, [&](qint64 written) {
            cancelled = report && !report->report(written);
            return !cancelled;
        })) {
        if (cancelled) {
            if (error)
                *error = cancelledText(path);
            return Outcome::Cancelled;
        }
        return fail(bucketFailure());
    }
    if (!file.commit())
        return fail(file.errorString());
    return Outcome::Written;
}

} // namespace

namespace CatalogueExport {

bool Export(ForwardRecordset &rs, const QString &separator, const QString &path, QString *error)
{
    return writeRows(rs, separator, path, error, nullptr) == Outcome::Written;
}

Outcome ExportQuery(Database &db, const QString &query, const QString &separator, const QString &path,
                    QString *error, ProgressObserver *progress)
{
    qint64 tableRows = 0;
    const auto select = JetSql::translate(query, nullptr, db.dialect());
    if (progress && select) {
        if (const auto key = db.rowKey(select->table))
            tableRows = KeysetQuery::rowsAtMost(db, select->table, *key);
    }
    ProgressReport report(progress, 2 * tableRows);
    if (select && !select->terms.isEmpty()) {
        if (const auto outcome = writeBuckets(db, *select, separator, path, error, progress ? &report : nullptr,
                                              tableRows))
            return *outcome;
    }
    ForwardRecordset rs;
    const auto seeking = [&report](qint64 rowsRead) { return report.report(rowsRead); };
    if (!rs.open(db, query, progress ? std::function<bool(qint64)>(seeking) : std::function<bool(qint64)>())) {
        const bool cancelled = rs.lastError().number == DataErrors::Cancelled;
        if (error)
            *error = cancelled ? cancelledText(path) : rs.lastError().text;
        return cancelled ? Outcome::Cancelled : Outcome::Failed;
    }
    report.setOffset(tableRows);
    return writeRows(rs, separator, path, error, progress ? &report : nullptr);
}

bool leavesOut(const QVector<QVariant> &row)
{
    QVector<QByteArray> utf8(row.size());
    for (int i = 1; i < row.size(); ++i) {
        if (!row[i].isNull())
            utf8[i] = row[i].toString().toUtf8();
    }
    LineMaker lines(";;");
    return hasEmptyRun(lines.line(int(row.size()) - 1, [&utf8](int i) { return QByteArrayView(utf8[i]); }));
}

} // namespace CatalogueExport
