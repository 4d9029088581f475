#include "CsvFile.h"

#include <QIODevice>

namespace CsvFile {

namespace {

constexpr qint64 ChunkBytes = 1 << 16;
// How far the separator is looked for when the header row has no end.
constexpr qsizetype HeaderScanBytes = 1 << 20;

} // namespace

Reader::Reader(QIODevice *device) : m_device(device) {}

bool Reader::fail(qint64 line, int column, const QString &what)
{
    m_error = column > 0 ? QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(what)
                         : QStringLiteral("line %1: %2").arg(line).arg(what);
    return false;
}

// Appends the next chunk of the device to the buffer; false at the end or
// on a read error (then m_error is set).
bool Reader::fill()
{
    if (m_atEnd)
        return false;
    const qsizetype kept = m_buffer.size();
    m_buffer.resize(kept + ChunkBytes);
    const qint64 got = m_device->read(m_buffer.data() + kept, ChunkBytes);
    m_buffer.resize(kept + qMax<qint64>(got, 0));
    if (got < 0)
        m_error = QStringLiteral("cannot read: %1").arg(m_device->errorString());
    m_atEnd = got <= 0;
    return got > 0;
}

int Reader::refillAndPeek()
{
    // The bytes before m_pos are taken already.
    m_buffer.clear();
    m_pos = 0;
    return fill() ? uchar(m_buffer.at(0)) : -1;
}

bool Reader::detectSeparator()
{
    bool quoted = false;
    qsizetype commas = 0, semicolons = 0;
    for (qsizetype i = m_pos;; ++i) {
        if (i == m_buffer.size() && (i - m_pos >= HeaderScanBytes || !fill()))
            break;
        const char c = m_buffer.at(i);
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\r' || c == '\n')
            break;
        else if (c == ',')
            ++commas;
        else if (c == ';')
            ++semicolons;
    }
    if (!m_error.isEmpty())
        return false;
    if (commas > 0 && semicolons > 0)
        return fail(1, 0, QStringLiteral("the header row holds both \",\" and \";\" outside quotes; which of them "
                                         "separates the fields cannot be told"));
    m_separator = semicolons > 0 ? ';' : ',';
    return true;
}

bool Reader::takeField(QStringList *fields, int column)
{
    QString text = m_decoder.decode(m_field);
    if (m_decoder.hasError())
        return fail(m_line, column, QStringLiteral("the text is not UTF-8 (save the file as \"CSV UTF-8\")"));
    fields->append(std::move(text));
    return true;
}

bool Reader::next(QStringList *fields)
{
    fields->clear();
    if (!m_error.isEmpty())
        return false;
    if (!m_started) {
        m_started = true;
        while (m_buffer.size() < 3 && fill()) {
        }
        if (m_buffer.startsWith(ByteOrderMark))
            m_pos = 3;
        if (!detectSeparator())
            return false;
    }
    if (peek() < 0)
        return false;
    m_recordLine = m_line;
    for (int column = 1;; ++column) {
        m_field.clear();
        int c = peek();
        if (c == '"') {
            const qint64 opened = m_line;
            ++m_pos;
            for (;;) {
                c = peek();
                if (c < 0)
                    return m_error.isEmpty()
                        && fail(opened, column, QStringLiteral("the quote that opens this field is never closed"));
                ++m_pos;
                if (c == '"') {
                    if (peek() != '"')
                        break;
                    ++m_pos;
                } else if (c == '\n') {
                    ++m_line;
                }
                m_field.append(char(c));
            }
            c = peek();
            if (c >= 0 && c != m_separator && c != '\r' && c != '\n')
                return fail(m_line, column, QStringLiteral("text after the closing quote (a quote inside a quoted "
                                                           "field is written twice)"));
        } else {
            for (;;) {
                // The plain bytes of the buffer go over in one piece.
                const qsizetype start = m_pos;
                const char *data = m_buffer.constData();
                while (m_pos < m_buffer.size()) {
                    const char b = data[m_pos];
                    if (b == m_separator || b == '"' || b == '\r' || b == '\n')
                        break;
                    ++m_pos;
                }
                m_field.append(data + start, m_pos - start);
                c = peek();
                if (c == '"')
                    return fail(m_line, column, QStringLiteral("a quote inside a field that is not quoted (such a "
                                                               "field is put in quotes, its quotes written twice)"));
                if (c < 0 || c == m_separator || c == '\r' || c == '\n')
                    break;
            }
        }
        if (!m_error.isEmpty() || !takeField(fields, column))
            return false;
        if (c == m_separator) {
            ++m_pos;
            continue;
        }
        if (c == '\r') {
            ++m_pos;
            if (peek() != '\n')
                return fail(m_line, column, QStringLiteral("a carriage return alone in a field that is not quoted"));
        }
        if (c >= 0) {
            ++m_pos;
            ++m_line;
        }
        break;
    }
    if (m_width < 0)
        m_width = int(fields->size());
    else if (fields->size() != m_width)
        return fail(m_recordLine, 0, QStringLiteral("%1 fields where the header row has %2")
                                         .arg(fields->size())
                                         .arg(m_width));
    return true;
}

Writer::Writer(QIODevice *device, char separator) : m_device(device), m_separator(separator) {}

bool Writer::writeByteOrderMark()
{
    m_buffer.append(ByteOrderMark);
    return true;
}

void Writer::append(QByteArrayView utf8, bool quote)
{
    for (const char c : utf8) {
        if (quote)
            break;
        // Either separator: a reader that tells the separator by the header
        // must not find the other one outside quotes.
        quote = c == ',' || c == ';' || c == '"' || c == '\r' || c == '\n';
    }
    // Some readers trim blanks from fields that are not quoted.
    quote = quote
        || (!utf8.isEmpty() && (utf8.front() == ' ' || utf8.back() == ' ' || utf8.front() == '\t'
                                || utf8.back() == '\t'));
    if (!quote) {
        m_buffer.append(utf8);
        return;
    }
    m_buffer.append('"');
    for (const char c : utf8) {
        m_buffer.append(c);
        if (c == '"')
            m_buffer.append('"');
    }
    m_buffer.append('"');
}

bool Writer::endRecord()
{
    m_buffer.append("\r\n");
    return m_buffer.size() < ChunkBytes || flush();
}

bool Writer::write(const QStringList &fields, bool quoteAll)
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_buffer.append(m_separator);
        // A lone empty field is quoted, else its record would be an empty line.
        append(fields.at(i).toUtf8(), quoteAll || (fields.size() == 1 && fields.at(i).isEmpty()));
    }
    return endRecord();
}

bool Writer::write(const QList<QByteArrayView> &utf8Fields)
{
    for (qsizetype i = 0; i < utf8Fields.size(); ++i) {
        if (i > 0)
            m_buffer.append(m_separator);
        append(utf8Fields.at(i), utf8Fields.size() == 1 && utf8Fields.at(i).isEmpty());
    }
    return endRecord();
}

bool Writer::flush()
{
    if (m_buffer.isEmpty())
        return true;
    if (m_device->write(m_buffer) != m_buffer.size()) {
        m_error = m_device->errorString();
        return false;
    }
    m_buffer.clear();
    return true;
}

} // namespace CsvFile
