#include "Isbn.h"

namespace Isbn {

QString normalised(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char('-') && !c.isSpace())
            result += c.toUpper();
    }
    return result;
}

Check check(const QString &text)
{
    Check result;
    const QString digits = normalised(text);
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    auto allDigits = [&](int count) {
        for (int i = 0; i < count; ++i) {
            if (!isDigit(digits.at(i)))
                return false;
        }
        return true;
    };
    if (digits.size() == 10 && allDigits(9) && (isDigit(digits.at(9)) || digits.at(9) == QLatin1Char('X'))) {
        // Weights 10 down to 2; the check digit makes the sum a multiple of 11.
        int sum = 0;
        for (int i = 0; i < 9; ++i)
            sum += (digits.at(i).unicode() - '0') * (10 - i);
        const int check = (11 - sum % 11) % 11;
        result.expected = check == 10 ? QLatin1Char('X') : QChar(u'0' + check);
    } else if (digits.size() == 13 && allDigits(13)
               && (digits.startsWith(QLatin1String("978")) || digits.startsWith(QLatin1String("979")))) {
        // Weights 1 and 3 in turn; the check digit makes the sum a multiple of 10.
        int sum = 0;
        for (int i = 0; i < 12; ++i)
            sum += (digits.at(i).unicode() - '0') * (i % 2 == 0 ? 1 : 3);
        result.expected = QChar(u'0' + (10 - sum % 10) % 10);
    } else {
        return result;
    }
    result.shaped = true;
    result.correct = digits.back() == result.expected;
    return result;
}

} // namespace Isbn
