#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

class QIODevice;

// Comma-separated values as RFC 4180 has them, in UTF-8: a field holding the
// separator, a quote or a line break is quoted, its quotes doubled. Both
// sides stream one record at a time, so a file of any size takes little
// memory.
namespace CsvFile {

// The byte order mark spreadsheet programs look for to read UTF-8.
inline constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

class Reader {
public:
    // Reads from device, which stays the caller's. A byte order mark at the
    // start is skipped. The separator is told by the first record (the
    // header row): ',' or ';', whichever it holds outside quotes; a row
    // holding both is refused, a row holding neither is one column.
    explicit Reader(QIODevice *device);

    // The next record; false at the end of the data or on malformed input
    // (errorString() then says where). Every record must have as many
    // fields as the first.
    bool next(QStringList *fields);

    char separator() const { return m_separator; }
    // The line of the file where the last record read starts, from 1.
    qint64 line() const { return m_recordLine; }
    // Empty unless the input was malformed or could not be read: "line N,
    // column C: what".
    const QString &errorString() const { return m_error; }

private:
    bool fill();
    int peek() { return m_pos < m_buffer.size() ? uchar(m_buffer.at(m_pos)) : refillAndPeek(); }
    int refillAndPeek();
    bool detectSeparator();
    bool fail(qint64 line, int column, const QString &what);
    bool takeField(QStringList *fields, int column);

    QIODevice *m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    bool m_started = false;
    char m_separator = ',';
    qint64 m_line = 1;
    qint64 m_recordLine = 0;
    int m_width = -1;
    QByteArray m_field;
    // Field by field, and a leading U+FEFF of a field is text like any other.
    QStringDecoder m_decoder{QStringDecoder::Utf8,
                             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    QString m_error;
};

class Writer {
public:
    // Writes to device, which stays the caller's; separator is ',' or ';'.
    explicit Writer(QIODevice *device, char separator = ',');
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    bool writeByteOrderMark();
    // One record, ended by CR LF. Fields with a ',' or a ';', a quote, a
    // line break or blanks at either end are quoted; quoteAll quotes every
    // field (a header row, so that no program takes its first name for
    // something else).
    bool write(const QStringList &fields, bool quoteAll = false);
    // The same with fields already in UTF-8, as a database gives them.
    bool write(const QList<QByteArrayView> &utf8Fields);
    // Hands what is buffered to the device; nothing is handed over without it.
    bool flush();
    const QString &errorString() const { return m_error; }

private:
    void append(QByteArrayView utf8, bool quote);
    bool endRecord();

    QIODevice *m_device;
    char m_separator;
    QByteArray m_buffer;
    QString m_error;
};

} // namespace CsvFile
