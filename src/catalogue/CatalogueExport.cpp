#include "CatalogueExport.h"

#include "CodeTables.h"
#include "ForwardRecordset.h"
#include "util/Library.h"
#include "util/Windows1252.h"

#include <QDir>
#include <QSaveFile>
#include <QVariant>

namespace {

// A record line holding this has seven empty fields in a row: it says
// nothing worth keeping (an all-empty record gives exactly this).
const QString EmptyRun = QStringLiteral(";;;;;;;;;;;;;;");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// Numbers in plain decimal form, never in exponent notation.
QString plainNumber(double value)
{
    QString text = QString::number(value, 'f', 15);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString fieldText(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return plainNumber(value.toDouble());
    default:
        return value.toString();
    }
}

QString recordLine(const ForwardRecordset &rs, const QString &separator)
{
    QString line;
    const int last = rs.fieldCount() - 1;
    for (int i = 1; i <= last; ++i) {
        QString s = fieldText(rs.field(i));
        if (s.contains(QLatin1Char(';')))
            s = Library::StrReplace(s, QStringLiteral(";"), QStringLiteral(":"));
        if (i == 1)
            s = PrefixIs(s);
        else if (i == 2)
            s = LangueIs(s);
        else if (i == 3)
            s = DomaineIs(s);
        line += s;
        line += separator;
    }
    // The cut is the width of the program's own separator, whatever is passed.
    return Library::StrDropRight(line, qMin(2, int(line.size())));
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

    auto writeLine = [&file](const QString &line) {
        QByteArray bytes = Windows1252::encode(line);
        bytes += LineEnd;
        return file.write(bytes) == bytes.size();
    };

    if (!writeLine(QString::fromLatin1(Header)))
        return fail(fileError(path, file.errorString()));

    while (!rs.isEOF()) {
        const QString line = recordLine(rs, separator);
        if (!line.contains(EmptyRun) && !writeLine(line))
            return fail(fileError(path, file.errorString()));
        if (!rs.MoveNext())
            return fail(rs.lastError().text);
    }

    if (!file.commit())
        return fail(fileError(path, file.errorString()));
    return true;
}

} // namespace CatalogueExport
