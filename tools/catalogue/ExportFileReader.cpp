#include "ExportFileReader.h"

#include "RecordConversion.h"

#include "catalogue/CatalogueExport.h"
#include "catalogue/CodeTables.h"
#include "util/Windows1252.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString Separator = QStringLiteral(";;");
constexpr int FieldsPerRecord = 8;

// A value can hold a line break only from AUTEUR on: labels and numbers
// never do. So the first piece of a split record already shows the four
// separators after PREFIXE, LANGUE, DOMAINE and NUMERO.
constexpr int SeparatorsBeforeFreeText = 4;

// Separators from the left, not overlapping: ";;;;" is two of them with an
// empty field between.
int separatorCount(const QString &line)
{
    int count = 0;
    for (qsizetype at = line.indexOf(Separator); at >= 0; at = line.indexOf(Separator, at + Separator.size()))
        ++count;
    return count;
}

} // namespace

const QString &ExportFileReader::headerLine()
{
    static const QString header = QString::fromLatin1(CatalogueExport::Header);
    return header;
}

bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int follow = 0;
        char32_t value = 0;
        char32_t minimum = 0;
        if ((c & 0xE0) == 0xC0) {
            follow = 1;
            value = c & 0x1F;
            minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            follow = 2;
            value = c & 0x0F;
            minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            follow = 3;
            value = c & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (end - p <= follow)
            return false;
        for (int i = 1; i <= follow; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        p += follow + 1;
    }
    return true;
}

bool ExportFileReader::read(const QByteArray &bytes, ImportReport &report, const Consumer &consumer)
{
    m_records = 0;
    m_error.clear();
    report.setUnit(QStringLiteral("line"));

    m_utf8Lines = m_cp1252Lines = 0;
    qsizetype start = 0;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        start = 3;
    m_bom = start == 3;

    const QByteArray lineEnd = bytes.indexOf("\r\n", start) >= 0 ? QByteArray("\r\n") : QByteArray("\n");
    const QString joint = QString::fromLatin1(lineEnd);
    // Each line in its own encoding: a file edited by hand may mix lines
    // saved as UTF-8 with the export's own Windows-1252 ones. French text in
    // Windows-1252 is practically never valid UTF-8.
    QList<qint64> cp1252Lines;
    auto decode = [&](const QByteArray &line, qint64 number) {
        const bool nonAscii = std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; });
        if (!nonAscii)
            return QString::fromLatin1(line);
        if (isValidUtf8(line.constData(), line.size())) {
            ++m_utf8Lines;
            return QString::fromUtf8(line);
        }
        ++m_cp1252Lines;
        if (cp1252Lines.size() < 10)
            cp1252Lines << number;
        return Windows1252::decode(line);
    };

    qint64 lineNumber = 0;
    QString pending;        // the pieces of a split record so far
    qint64 pendingLine = 0; // where it started
    int pendingSeparators = 0;
    bool headerSeen = false;

    qsizetype position = start;
    while (position < bytes.size()) {
        qsizetype endOfLine = bytes.indexOf(lineEnd, position);
        const bool last = endOfLine < 0;
        if (last)
            endOfLine = bytes.size();
        ++lineNumber;
        const QString line = decode(bytes.mid(position, endOfLine - position), lineNumber);
        position = last ? bytes.size() : endOfLine + lineEnd.size();

        if (!headerSeen) {
            if (line != headerLine()) {
                m_error = QStringLiteral("the first line is not the header of an export file (%1)")
                              .arg(RecordConversion::quoted(line, 70));
                return false;
            }
            headerSeen = true;
            continue;
        }

        const int separators = separatorCount(line);
        if (!pending.isNull()) {
            if (pendingSeparators + separators <= FieldsPerRecord - 1) {
                pending += joint + line;
                pendingSeparators += separators;
                if (pendingSeparators == FieldsPerRecord - 1) {
                    if (!takeRecord(pending, pendingLine, report, consumer))
                        return false;
                    pending = QString();
                }
                continue;
            }
            report.addRow(pendingLine, QStringLiteral("an incomplete record (%1 fields of 8) is left out: %2")
                                           .arg(pendingSeparators + 1)
                                           .arg(RecordConversion::quoted(pending, 60)));
            pending = QString();
        }

        if (separators == FieldsPerRecord - 1) {
            if (!takeRecord(line, lineNumber, report, consumer))
                return false;
        } else if (separators > FieldsPerRecord - 1) {
            report.addRow(lineNumber, QStringLiteral("%1 fields where a record has 8; left out: %2")
                                          .arg(separators + 1)
                                          .arg(RecordConversion::quoted(line, 60)));
        } else if (separators >= SeparatorsBeforeFreeText) {
            pending = line;
            pendingLine = lineNumber;
            pendingSeparators = separators;
        } else if (!line.isEmpty()) {
            report.addRow(lineNumber, QStringLiteral("not a record; left out: %1")
                                          .arg(RecordConversion::quoted(line, 60)));
        }
        // An empty line between records carries nothing.
    }
    if (!pending.isNull()) {
        report.addRow(pendingLine, QStringLiteral("an incomplete record (%1 fields of 8) is left out: %2")
                                       .arg(pendingSeparators + 1)
                                       .arg(RecordConversion::quoted(pending, 60)));
    }
    if (!headerSeen) {
        m_error = QStringLiteral("the file is empty; an export file starts with its header line");
        return false;
    }
    if (m_utf8Lines > 0 && m_cp1252Lines > 0) {
        QStringList numbers;
        for (const qint64 number : cp1252Lines)
            numbers << QString::number(number);
        if (m_cp1252Lines > cp1252Lines.size())
            numbers << QStringLiteral("...");
        report.addNote(QStringLiteral("the file mixes encodings: of the lines with accents, %1 were read as UTF-8 "
                                      "and %2 as Windows-1252 (line %3); check the accents of the latter")
                           .arg(m_utf8Lines)
                           .arg(m_cp1252Lines)
                           .arg(numbers.join(QStringLiteral(", "))));
    }
    return true;
}

bool ExportFileReader::takeRecord(const QString &text, qint64 line, ImportReport &report,
                                  const Consumer &consumer)
{
    const QStringList fields = text.split(Separator);
    RecordValues values;

    const struct {
        Catalogue::Field field;
        const CodeTable &table;
    } codes[] = {
        {Catalogue::PREFIXE, CodeTables::prefixe()},
        {Catalogue::LANGUE, CodeTables::langue()},
        {Catalogue::DOMAINE, CodeTables::domaine()},
    };
    for (const auto &code : codes) {
        const QString &label = fields.at(code.field - Catalogue::PREFIXE);
        const QString letter = RecordConversion::letterForLabel(code.table, label);
        if (letter.isEmpty() && !label.isEmpty()) {
            report.addRow(line, QStringLiteral("%1 %2 is none of its labels; left empty")
                                    .arg(code.table.fieldName(), RecordConversion::quoted(label)));
        }
        values.setText(code.field, letter);
    }

    QString problem;
    values[Catalogue::NUMERO] = RecordConversion::numero(fields.at(Catalogue::NUMERO - 1), &problem);
    if (!problem.isEmpty())
        report.addRow(line, problem);

    for (int position = Catalogue::AUTEUR; position <= Catalogue::ISBN; ++position)
        values.setText(Catalogue::Field(position), fields.at(position - 1));

    ++m_records;
    return consumer(values, line);
}

QString ExportFileReader::encodingName() const
{
    if (m_utf8Lines > 0 && m_cp1252Lines > 0)
        return QStringLiteral("UTF-8 and Windows-1252 lines");
    return m_utf8Lines > 0 || (m_bom && m_cp1252Lines == 0) ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1252");
}
