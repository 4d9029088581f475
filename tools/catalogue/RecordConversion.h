#pragma once

#include "RecordValues.h"

#include <QString>

class CodeTable;

// Turning source texts into catalogue values, shared by the importers.
namespace RecordConversion {

// A NUMERO text: an admissible one becomes its whole number; a whole number
// outside the admitted range is kept, since it is a number, but noted; any
// other text leaves the field empty. problem says what was not taken as it
// is, and stays empty otherwise. A '.' or a ',' may separate a fraction.
QVariant numero(const QString &text, QString *problem);

// A whole number written plainly (a sign, digits, nothing else) that fits
// the row key's range; null otherwise.
QVariant wholeNumber(const QString &text);

// NUMERO as a CSV file holds it: a whole number, a number with a '.' before
// its decimals (as the catalogue may store one), or nothing. Any other text
// leaves valid false, with nothing guessed.
QVariant exactNumero(const QString &text, bool *valid);

// The code letter of an export label: the label itself, the label with its
// blanks or letter case changed, or the bare letter. Empty when none fits.
QString letterForLabel(const CodeTable &table, const QString &label);

// "\"text\"", shortened for a message.
QString quoted(const QString &text, int maxLength = 40);

} // namespace RecordConversion
