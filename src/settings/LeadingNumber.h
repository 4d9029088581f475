#pragma once

#include <QString>

// The number at the start of a text, the way the stored geometry values are
// read: leading blanks skipped, an optional sign, digits, an optional "." and
// fraction; reading stops at the first other character. "12abc" gives 12,
// "abc" gives 0, " -3.5x" gives -3.5. No number, or one too large to hold,
// gives 0.
double LeadingNumber(const QString &text);
