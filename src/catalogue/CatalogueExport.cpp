#include "CatalogueExport.h"

#include "CodeTables.h"
#include "ForwardRecordset.h"
#include "util/Library.h"
#include "util/Windows1252.h"

#include <QDir>
#include <QSaveFile>
#include <QVariant>

#include <algorithm>
#include <optional>
#include <string>

namespace {

// A record line with fourteen semicolons in a row has seven empty fields in
// a row: it says nothing worth keeping (an all-empty record gives exactly
// this). Fields never hold a semicolon, so the run is made of separators.
bool hasEmptyRun(const std::string &line)
{
    int run = 0;
    for (const char c : line) {
        run = c == ';' ? run + 1 : 0;
        if (run == 14)
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
    void append(std::string &line, int position, QByteArrayView utf8)
    {
        if (utf8.size() != 1 || static_cast<unsigned char>(utf8.front()) >= 0x80) {
            const QByteArray label = codeLabel(position, utf8);
            line.append(label.constData(), std::size_t(label.size()));
            return;
        }
        auto &slot = m_single[position - 1][static_cast<unsigned char>(utf8.front())];
        if (!slot)
            slot = codeLabel(position, utf8).toStdString();
        line += *slot;
    }

private:
    std::optional<std::string> m_single[3][128];
};

// One record as the bytes of its line, without the line end: fields 1 to
// last, each given by fieldAt as UTF-8. The long fields go from UTF-8
// straight into the code page.
template <typename FieldAt>
void recordLine(int last, FieldAt fieldAt, const std::string &separator, CodeLabels &labels, std::string &line)
{
    line.clear();
    for (int i = 1; i <= last; ++i) {
        const QByteArrayView value = fieldAt(i);
        if (i <= 3) {
            labels.append(line, i, value);
        } else {
            const std::size_t start = line.size();
            Windows1252::appendFromUtf8(line, value);
            std::replace(line.begin() + std::ptrdiff_t(start), line.end(), ';', ':');
        }
        line += separator;
    }
    // The cut is the width of the program's own separator, whatever is passed.
    line.resize(line.size() - std::min<std::size_t>(2, line.size()));
}

QString fileError(const QString &path, const QString &reason)
{
    return QStringLiteral("%1 : %2").arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

namespace CatalogueExport {

bool Export(ForwardRecordset &rs, const QString &separator, const QString &path, QString *error)
{
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };

    // Written beside the target and renamed over it at the end, so a failure
    // part-way leaves the previous export whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(fileError(path, file.errorString()));

    const QByteArray header = QByteArray(Header) + "\r\n";
    if (file.write(header) != header.size())
        return fail(fileError(path, file.errorString()));

    const std::string separatorBytes = Windows1252::encode(separator).toStdString();
    CodeLabels labels;
    std::string line;
    while (!rs.isEOF()) {
        recordLine(
            rs.fieldCount() - 1, [&rs](int i) { return rs.fieldUtf8(i); }, separatorBytes, labels, line);
        if (!hasEmptyRun(line)) {
            line += "\r\n";
            if (file.write(line.data(), qint64(line.size())) != qint64(line.size()))
                return fail(fileError(path, file.errorString()));
        }
        if (!rs.MoveNext())
            return fail(rs.lastError().text);
    }

    // commit() renames even when its own last flush falls short (a full
    // disk): flush first, so that a short export keeps the old file.
    if (!file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(fileError(path, reason));
    }
    if (!file.commit())
        return fail(fileError(path, file.errorString()));
    return true;
}

bool leavesOut(const QVector<QVariant> &row)
{
    QVector<QByteArray> utf8(row.size());
    for (int i = 1; i < row.size(); ++i) {
        if (!row[i].isNull())
            utf8[i] = row[i].toString().toUtf8();
    }
    CodeLabels labels;
    std::string line;
    recordLine(int(row.size()) - 1, [&utf8](int i) { return QByteArrayView(utf8[i]); }, ";;", labels, line);
    return hasEmptyRun(line);
}

} // namespace CatalogueExport
