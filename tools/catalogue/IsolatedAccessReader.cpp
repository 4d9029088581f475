#include "IsolatedAccessReader.h"

#include "CatalogueWriter.h"
#include "RecordConversion.h"

#include "util/Library.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QIODevice>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define FERULAN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FERULAN_UNDER_ASAN 1
#endif
#endif

namespace {

// No row of a catalogue comes near this; a longer frame means a garbled stream.
constexpr quint32 LargestFrame = 64u << 20;
constexpr int FrameHead = 5; // the type, then the length in four bytes

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

void sendFrame(int fd, char type, const QByteArray &payload)
{
    const quint32 size = quint32(payload.size());
    const char head[FrameHead] = {type, char(size & 0xFF), char((size >> 8) & 0xFF), char((size >> 16) & 0xFF),
                                  char(size >> 24)};
    if (!writeAll(fd, head, sizeof head) || !writeAll(fd, payload.constData(), std::size_t(payload.size())))
        ::_exit(3);
}

// The child: reads the table and sends it frame by frame, then ends without
// running any of the parent's clean-up.
[[noreturn]] void runChild(int data, int output, const QString &path, const QString &table, quint64 memory)
{
    ::dup2(output, STDOUT_FILENO);
    ::dup2(output, STDERR_FILENO);
    ::close(output);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // An interruption from the terminal reaches the whole group: the parent
    // takes it and ends the child itself.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGPIPE, SIG_DFL);
    const struct rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
#ifndef FERULAN_UNDER_ASAN
    const struct rlimit space = {rlim_t(memory), rlim_t(memory)};
    ::setrlimit(RLIMIT_AS, &space);
#else
    Q_UNUSED(memory);
#endif

    AccessReader reader;
    if (!reader.open(path) || !reader.openTable(table)) {
        QByteArray payload;
        QDataStream stream(&payload, QIODevice::WriteOnly);
        stream << reader.errorString();
        sendFrame(data, 'E', payload);
        ::_exit(0);
    }
    QByteArray payload;
    {
        QDataStream stream(&payload, QIODevice::WriteOnly);
        stream << reader.formatName() << reader.tableName() << qint32(reader.columns().size());
        for (const AccessReader::Column &column : reader.columns())
            stream << column.name << qint32(column.kind) << column.typeName;
        stream << qint64(reader.declaredRowCount());
    }
    sendFrame(data, 'H', payload);
    const int count = int(reader.columns().size());
    while (reader.next()) {
        payload.clear();
        QDataStream stream(&payload, QIODevice::WriteOnly);
        for (int i = 0; i < count; ++i)
            stream << reader.text(i) << reader.wasCut(i);
        sendFrame(data, 'R', payload);
    }
    sendFrame(data, 'Z', QByteArray());
    ::_exit(0);
}

} // namespace

IsolatedAccessReader::~IsolatedAccessReader()
{
    stopChild();
}

bool IsolatedAccessReader::fail(const QString &text)
{
    stopChild();
    m_error = text;
    return false;
}

bool IsolatedAccessReader::damaged(const QString &why)
{
    return fail(QStringLiteral("damaged Access file %1: %2").arg(m_path, why));
}

void IsolatedAccessReader::stopChild()
{
    if (m_child > 0) {
        ::kill(m_child, SIGKILL);
        while (::waitpid(m_child, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_child = -1;
    }
    for (int *fd : {&m_data, &m_output}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void IsolatedAccessReader::readOutput()
{
    char chunk[16384];
    for (;;) {
        const ssize_t got = ::read(m_output, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0 || errno != EAGAIN) {
                ::close(m_output);
                m_output = -1;
            }
            return;
        }
        m_outputSize += got;
        if (m_said.size() < 1024)
            m_said.append(chunk, qMin<qsizetype>(got, 1024 - m_said.size()));
    }
}

QString IsolatedAccessReader::childEnding(int status) const
{
    // Out of memory is told by the library's last words.
    const QStringList lines = QString::fromUtf8(m_said).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString said = lines.isEmpty() ? QString() : lines.first();
    bool outOfMemory = false;
    for (const QString &line : lines) {
        if (line.contains(QLatin1String("alloc"))) {
            outOfMemory = true;
            said = line;
            break;
        }
    }
    QString why;
    if (outOfMemory) {
        why = QStringLiteral("the Access library needed more than the %1 MB it may use").arg(m_limits.memoryBytes >> 20);
    } else if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        why = QStringLiteral("the Access library crashed (signal %1, %2)")
                  .arg(signal)
                  .arg(QString::fromLocal8Bit(::strsignal(signal)));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        why = QStringLiteral("the Access library gave up (status %1)").arg(WEXITSTATUS(status));
    } else {
        why = QStringLiteral("the Access library stopped part-way");
    }
    if (!said.isEmpty())
        why += QStringLiteral("; it said %1").arg(RecordConversion::quoted(said.trimmed(), 100));
    return why;
}

bool IsolatedAccessReader::receive(Frame *type, QByteArray *payload)
{
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    bool dataEnded = false;
    for (;;) {
        if (m_buffer.size() >= FrameHead) {
            const auto *head = reinterpret_cast<const unsigned char *>(m_buffer.constData());
            const quint32 size = quint32(head[1]) | quint32(head[2]) << 8 | quint32(head[3]) << 16
                | quint32(head[4]) << 24;
            if (size > LargestFrame)
                return damaged(QStringLiteral("the reader sent a row of %1 bytes").arg(size));
            if (m_buffer.size() >= FrameHead + qsizetype(size)) {
                *type = Frame(head[0]);
                *payload = m_buffer.mid(FrameHead, size);
                m_buffer.remove(0, FrameHead + size);
                return true;
            }
        }
        if (CatalogueWriter::stopRequested())
            return fail(QStringLiteral("interrupted"));
        if (dataEnded) {
            int status = 0;
            while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
            }
            m_child = -1;
            if (m_output >= 0)
                readOutput();
            return damaged(childEnding(status));
        }
        // A few warnings per row may be the file's; a stream of them without rows is a loop.
        if (m_outputSize > m_limits.outputBytes + m_rows * 1024) {
            return damaged(QStringLiteral("the Access library printed more than %1 KB of warnings; it said %2")
                               .arg(m_limits.outputBytes / 1024)
                               .arg(RecordConversion::quoted(
                                   QString::fromUtf8(m_said).section(QLatin1Char('\n'), 0, 0).trimmed(), 100)));
        }
        const qint64 left = m_limits.idleMilliseconds - sinceProgress.elapsed();
        if (left <= 0) {
            return damaged(QStringLiteral("the Access library made no progress for %1 s")
                               .arg(m_limits.idleMilliseconds / 1000.0));
        }
        struct pollfd fds[2] = {{m_data, POLLIN, 0}, {m_output, POLLIN, 0}};
        const int ready = ::poll(fds, m_output >= 0 ? 2 : 1, int(left));
        if (ready < 0 && errno != EINTR)
            return fail(QStringLiteral("cannot wait for the Access reader: %1").arg(Library::SystemErrorText(errno)));
        if (ready <= 0)
            continue;
        if (m_output >= 0 && fds[1].revents)
            readOutput();
        if (fds[0].revents) {
            char chunk[65536];
            const ssize_t got = ::read(m_data, chunk, sizeof chunk);
            if (got > 0) {
                m_buffer.append(chunk, got);
                sinceProgress.restart();
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                dataEnded = true;
            }
        }
    }
}

bool IsolatedAccessReader::open(const QString &path, const QString &table)
{
    stopChild();
    m_path = path;
    m_error.clear();
    m_buffer.clear();
    m_said.clear();
    m_outputSize = 0;
    m_rows = 0;
    m_columns.clear();

    int data[2], output[2];
    if (::pipe2(data, O_CLOEXEC) != 0)
        return fail(QStringLiteral("cannot start the Access reader: %1").arg(Library::SystemErrorText(errno)));
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(data[0]);
        ::close(data[1]);
        return fail(QStringLiteral("cannot start the Access reader: %1").arg(Library::SystemErrorText(errno)));
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(data[0]);
        ::close(output[0]);
        runChild(data[1], output[1], path, table, m_limits.memoryBytes);
    }
    ::close(data[1]);
    ::close(output[1]);
    m_data = data[0];
    m_output = output[0];
    if (child < 0)
        return fail(QStringLiteral("cannot start the Access reader: %1").arg(Library::SystemErrorText(errno)));
    m_child = child;
    ::fcntl(m_data, F_SETFL, O_NONBLOCK);
    ::fcntl(m_output, F_SETFL, O_NONBLOCK);

    Frame type;
    QByteArray payload;
    if (!receive(&type, &payload))
        return false;
    QDataStream stream(payload);
    if (type == Frame::Error) {
        QString text;
        stream >> text;
        return fail(text);
    }
    if (type != Frame::Header)
        return damaged(QStringLiteral("the reader sent no columns"));
    qint32 count = 0;
    stream >> m_format >> m_table >> count;
    for (qint32 i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        AccessReader::Column column;
        qint32 kind = 0;
        stream >> column.name >> kind >> column.typeName;
        column.kind = AccessReader::ColumnKind(kind);
        m_columns.append(column);
    }
    stream >> m_declaredRows;
    if (stream.status() != QDataStream::Ok)
        return damaged(QStringLiteral("the reader sent garbled columns"));
    return true;
}

bool IsolatedAccessReader::next()
{
    if (m_child < 0)
        return false;
    Frame type;
    QByteArray payload;
    if (!receive(&type, &payload))
        return false;
    if (type == Frame::End) {
        int status = 0;
        while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
        }
        m_child = -1;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return damaged(childEnding(status));
        stopChild();
        return false;
    }
    if (type != Frame::Row)
        return damaged(QStringLiteral("the reader sent no row"));
    QDataStream stream(payload);
    m_texts.resize(m_columns.size());
    m_cut.resize(m_columns.size());
    for (int i = 0; i < m_columns.size(); ++i) {
        bool cut = false;
        stream >> m_texts[i] >> cut;
        m_cut[i] = cut;
    }
    if (stream.status() != QDataStream::Ok)
        return damaged(QStringLiteral("the reader sent a garbled row"));
    ++m_rows;
    return true;
}

QString IsolatedAccessReader::text(int column) const
{
    return column >= 0 && column < m_texts.size() ? m_texts.at(column) : QString();
}

bool IsolatedAccessReader::wasCut(int column) const
{
    return column >= 0 && column < m_cut.size() && m_cut.at(column);
}
