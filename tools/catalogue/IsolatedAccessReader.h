#pragma once

#include "AccessReader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <sys/types.h>

// Reads one table of an Access file in a child process: a damaged file can
// make the Access library crash, loop or grow without bound, and none of
// that may reach the tool. The child runs under a memory limit, with its
// output capped, and is stopped when it makes no progress; any of these
// ends the reading with a "damaged Access file" error.
class IsolatedAccessReader : public AccessRow {
public:
    struct Limits {
        quint64 memoryBytes = quint64(1) << 30;
        int idleMilliseconds = 30000;
        qint64 outputBytes = 256 * 1024; // the library's warnings, and 1 KB more per row
    };

    IsolatedAccessReader() = default;
    ~IsolatedAccessReader() override;
    IsolatedAccessReader(const IsolatedAccessReader &) = delete;
    IsolatedAccessReader &operator=(const IsolatedAccessReader &) = delete;

    // Starts the child on path's table and waits for its columns.
    bool open(const QString &path, const QString &table);

    const QString &formatName() const { return m_format; }
    const QString &tableName() const { return m_table; }
    const QVector<AccessReader::Column> &columns() const { return m_columns; }
    qint64 declaredRowCount() const { return m_declaredRows; }

    // Moves to the next row; false at the end or on failure (then
    // errorString() is set and the child is gone).
    bool next();
    QString text(int column) const override;
    bool wasCut(int column) const override;

    const QString &errorString() const { return m_error; }

private:
    enum class Frame : char { Header = 'H', Row = 'R', Error = 'E', End = 'Z' };

    bool receive(Frame *type, QByteArray *payload);
    bool damaged(const QString &why);
    bool fail(const QString &text);
    void stopChild();
    void readOutput();
    QString childEnding(int status) const;

    Limits m_limits;
    QString m_path;
    pid_t m_child = -1;
    int m_data = -1;
    int m_output = -1;
    QByteArray m_buffer;
    QByteArray m_said; // the start of what the library printed
    qint64 m_outputSize = 0;
    qint64 m_rows = 0;

    QString m_format;
    QString m_table;
    QVector<AccessReader::Column> m_columns;
    qint64 m_declaredRows = 0;
    QStringList m_texts;
    QVector<bool> m_cut;
    QString m_error;
};
