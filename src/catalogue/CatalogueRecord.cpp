#include "CatalogueRecord.h"

#include <array>

namespace Catalogue {

QString fieldName(int position)
{
    static const std::array<QString, FieldCount> names = {
        QStringLiteral("ID"),      QStringLiteral("PREFIXE"), QStringLiteral("LANGUE"),
        QStringLiteral("DOMAINE"), QStringLiteral("NUMERO"),  QStringLiteral("AUTEUR"),
        QStringLiteral("EDITEUR"), QStringLiteral("TITRE"),   QStringLiteral("ISBN"),
    };
    return position >= 0 && position < FieldCount ? names[std::size_t(position)] : QString();
}

const QStringList &sortFields()
{
    static const QStringList fields = {
        QStringLiteral("NUMERO"), QStringLiteral("AUTEUR"), QStringLiteral("EDITEUR"),
        QStringLiteral("TITRE"),  QStringLiteral("ISBN"),
    };
    return fields;
}

std::optional<int> numeroValue(const QString &text, QChar decimalSeparator)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    // Whole part, kept small: anything past six digits is out of range anyway.
    qint64 whole = 0;
    int digits = 0;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i, ++digits)
        whole = std::min<qint64>(whole * 10 + (t[i].unicode() - '0'), 1000000);

    // Fraction: only its first digit and whether anything non-zero follows
    // matter for rounding half to even.
    int firstFraction = 0;
    bool restNonZero = false;
    if (i < t.size() && t[i] == decimalSeparator) {
        ++i;
        bool first = true;
        for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i, ++digits) {
            const int d = t[i].unicode() - '0';
            if (first)
                firstFraction = d;
            else if (d != 0)
                restNonZero = true;
            first = false;
        }
    }
    if (digits == 0 || i != t.size())
        return std::nullopt;

    if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 == 1)))
        ++whole;
    const qint64 value = negative ? -whole : whole;
    if (value < -32768 || value > 32767)
        return std::nullopt;
    return int(value);
}

bool isAdmissibleNumero(const QString &text, QChar decimalSeparator)
{
    return text.isEmpty() || numeroValue(text, decimalSeparator).has_value();
}

} // namespace Catalogue
