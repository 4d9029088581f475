#include "LeadingNumber.h"

#include <QByteArray>

#include <cmath>

double LeadingNumber(const QString &text)
{
    const int size = int(text.size());
    int i = 0;
    while (i < size && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;

    QByteArray number;
    if (i < size && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        number += char(text.at(i++).unicode());

    bool anyDigit = false;
    auto takeDigits = [&] {
        // Only ASCII digits: other scripts' digits are not numbers in this file.
        while (i < size && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
            number += char(text.at(i++).unicode());
            anyDigit = true;
        }
    };
    takeDigits();
    if (i < size && text.at(i) == QLatin1Char('.')) {
        number += '.';
        ++i;
        takeDigits();
    }
    if (!anyDigit)
        return 0.0;

    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}
