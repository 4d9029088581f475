#pragma once

#include <QElapsedTimer>
#include <QString>

#include <unistd.h>

// A progress line for a long command, redrawn in place a few times a second
// on a terminal. When the stream is not a terminal (a pipe, a file, a log)
// it writes nothing at all, so output that is read by programs stays clean.
class TerminalProgress {
public:
    // total: what update() counts towards; 0 when unknown.
    TerminalProgress(const QString &label, qint64 total, int fd = STDERR_FILENO);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    void update(qint64 done);
    // Takes the line away, before other text goes to the terminal; the next
    // update draws it again.
    void clear();
    bool active() const { return m_terminal; }

private:
    void write(const QByteArray &bytes);

    QString m_label;
    qint64 m_total;
    int m_fd;
    bool m_terminal;
    bool m_drawn = false;
    QElapsedTimer m_sinceDrawn;
};
