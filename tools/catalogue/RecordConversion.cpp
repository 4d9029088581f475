#include "RecordConversion.h"

#include "catalogue/CodeTables.h"

#include <QRegularExpression>

namespace RecordConversion {

namespace {

bool isPlainInteger(const QString &text)
{
    const QString t = text.trimmed();
    int i = (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (i == t.size())
        return false;
    for (; i < t.size(); ++i) {
        if (t.at(i) < QLatin1Char('0') || t.at(i) > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

QString quoted(const QString &text, int maxLength)
{
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    // Other control characters (a binary file read as text) would garble the terminal.
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control)
            c = QChar(0xFFFD);
    }
    if (shown.size() > maxLength)
        shown = shown.left(maxLength - 1) + QChar(0x2026);
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QVariant wholeNumber(const QString &text)
{
    if (!isPlainInteger(text) || text.trimmed() != text)
        return QVariant();
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? QVariant(value) : QVariant();
}

QVariant exactNumero(const QString &text, bool *valid)
{
    *valid = true;
    if (text.isEmpty())
        return QVariant();
    const QVariant whole = wholeNumber(text);
    if (!whole.isNull())
        return whole;
    static const QRegularExpression decimal(QStringLiteral("^[-+]?[0-9]+(\\.[0-9]+)?([eE][-+]?[0-9]+)?$"));
    bool ok = false;
    const double value = decimal.match(text).hasMatch() ? text.toDouble(&ok) : 0.0;
    *valid = ok && qIsFinite(value);
    return *valid ? QVariant(value) : QVariant();
}

QVariant numero(const QString &text, QString *problem)
{
    problem->clear();
    if (text.isEmpty())
        return QVariant();
    std::optional<int> value = Catalogue::numeroValue(text, QLatin1Char('.'));
    if (!value)
        value = Catalogue::numeroValue(text, QLatin1Char(','));
    if (value) {
        if (!isPlainInteger(text) || text.trimmed() != text)
            *problem = QStringLiteral("NUMERO %1 taken as %2").arg(quoted(text)).arg(*value);
        return qint64(*value);
    }
    if (isPlainInteger(text)) {
        bool ok = false;
        const qint64 number = text.trimmed().toLongLong(&ok);
        if (ok) {
            *problem = QStringLiteral("NUMERO %1 is outside -32768 to 32767; kept, but the program refuses it "
                                      "when the record is edited")
                           .arg(number);
            return number;
        }
    }
    *problem = QStringLiteral("NUMERO %1 is not a whole number; left empty").arg(quoted(text));
    return QVariant();
}

QString letterForLabel(const CodeTable &table, const QString &label)
{
    for (const CodeEntry &entry : table.entries()) {
        if (entry.label == label)
            return QString(entry.letter);
    }
    // A file that went through a spreadsheet may have lost the blank at the
    // end of a label or changed its letter case.
    const QString loose = label.trimmed();
    if (loose.isEmpty())
        return QString();
    for (const CodeEntry &entry : table.entries()) {
        if (entry.label.trimmed().compare(loose, Qt::CaseInsensitive) == 0)
            return QString(entry.letter);
    }
    if (const CodeEntry *entry = table.entryForText(loose))
        return QString(entry->letter);
    return QString();
}

} // namespace RecordConversion
