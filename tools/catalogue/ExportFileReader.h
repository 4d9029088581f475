#pragma once

#include "RecordValues.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Reads back the text file the program exports on leaving ("biblio.txt"):
// a header line, then one line per record with ";;" between the fields and
// the code letters spelled out as labels. A value holding a line break
// splits its record over several lines; they are joined again where the
// separators show where the record goes on.
class ExportFileReader {
public:
    static const QString &headerLine();

    // The record and the line of the file where it starts.
    using Consumer = std::function<bool(const RecordValues &values, qint64 line)>;

    // Reads a whole file's bytes. Each line is Windows-1252 unless it is
    // valid UTF-8 (a file saved again by an editor); a file that mixes both
    // gets a remark naming the Windows-1252 lines. Lines end in CR LF; a file without
    // any CR LF is taken as having plain LF line ends. Stops with false when
    // the header is missing or the consumer returns false.
    bool read(const QByteArray &bytes, ImportReport &report, const Consumer &consumer);

    qint64 recordCount() const { return m_records; }
    // "UTF-8", "Windows-1252", or both when the lines mix them.
    QString encodingName() const;
    const QString &errorString() const { return m_error; }

private:
    bool takeRecord(const QString &text, qint64 line, ImportReport &report, const Consumer &consumer);

    qint64 m_records = 0;
    qint64 m_utf8Lines = 0;
    qint64 m_cp1252Lines = 0;
    bool m_bom = false;
    QString m_error;
};

// Whether the bytes are well-formed UTF-8.
bool isValidUtf8(const char *data, qsizetype size);
