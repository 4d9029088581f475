#include "TerminalProgress.h"

#include <cerrno>

namespace {

// Often enough to look alive, seldom enough to cost nothing.
constexpr qint64 RedrawEveryMs = 100;

} // namespace

TerminalProgress::TerminalProgress(const QString &label, qint64 total, int fd)
    : m_label(label)
    , m_total(total)
    , m_fd(fd)
    , m_terminal(::isatty(fd) == 1)
{
}

TerminalProgress::~TerminalProgress()
{
    clear();
}

void TerminalProgress::update(qint64 done)
{
    if (!m_terminal || (m_drawn && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < RedrawEveryMs))
        return;
    QString text = QStringLiteral("%1: %2").arg(m_label).arg(done);
    if (m_total > 0)
        text += QStringLiteral(" of %1 (%2%)").arg(m_total).arg(done * 100 / m_total);
    // Back to the start of the line, the new text, and away with what is left of the old.
    write("\r" + text.toLocal8Bit() + "\033[K");
    m_drawn = true;
    m_sinceDrawn.start();
}

void TerminalProgress::clear()
{
    if (!m_drawn)
        return;
    write("\r\033[K");
    m_drawn = false;
}

void TerminalProgress::write(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, std::size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return; // a progress line is not worth failing the command for
        data += written;
        left -= written;
    }
}
