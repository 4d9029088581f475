#include "CatalogueExport.h"

#include "CodeTables.h"
#include "ForwardRecordset.h"
#include "util/Library.h"
#include "util/Windows1252.h"

#include <QDir>
#include <QSaveFile>
#include <QVariant>

#include <algorithm>

namespace {

// A record line with fourteen semicolons in a row has seven empty fields in
// a row: it says nothing worth keeping (an all-empty record gives exactly
// this). Fields never hold a semicolon, so the run is made of separators.
bool hasEmptyRun(const QByteArray &line)
{
    int run = 0;
    for (const char c : line) {
        run = c == ';' ? run + 1 : 0;
        if (run == 14)
            return true;
    }
    return false;
}
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// The code fields are short: their labels come from the text as a whole.
QString codeText(QByteArrayView utf8)
{
    QString s = QString::fromUtf8(utf8);
    if (s.contains(QLatin1Char(';')))
        s = Library::StrReplace(s, QStringLiteral(";"), QStringLiteral(":"));
    return s;
}

// One record as the bytes of its line, without the line end. The long
// fields go from the engine's UTF-8 straight into the code page.
void recordLine(const ForwardRecordset &rs, const QByteArray &separator, QByteArray &line)
{
    line.clear();
    const int last = rs.fieldCount() - 1;
    for (int i = 1; i <= last; ++i) {
        const QByteArrayView value = rs.fieldUtf8(i);
        if (i <= 3) {
            const QString text = codeText(value);
            line += Windows1252::encode(i == 1 ? PrefixIs(text) : i == 2 ? LangueIs(text) : DomaineIs(text));
        } else {
            const qsizetype start = line.size();
            Windows1252::appendFromUtf8(line, value);
            std::replace(line.begin() + start, line.end(), ';', ':');
        }
        line += separator;
    }
    // The cut is the width of the program's own separator, whatever is passed.
    line.chop(qMin<qsizetype>(2, line.size()));
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

    const QByteArray header = QByteArray(Header) + LineEnd;
    if (file.write(header) != header.size())
        return fail(fileError(path, file.errorString()));

    const QByteArray separatorBytes = Windows1252::encode(separator);
    QByteArray line;
    while (!rs.isEOF()) {
        recordLine(rs, separatorBytes, line);
        if (!hasEmptyRun(line)) {
            line += LineEnd;
            if (file.write(line) != line.size())
                return fail(fileError(path, file.errorString()));
        }
        if (!rs.MoveNext())
            return fail(rs.lastError().text);
    }

    if (!file.commit())
        return fail(fileError(path, file.errorString()));
    return true;
}

} // namespace CatalogueExport
