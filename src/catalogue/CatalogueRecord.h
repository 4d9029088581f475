#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// One row of the catalogue table: a row key the program never addresses,
// then eight fields whose position is also the grid column, the index of the
// form's text box and the order of the export.
namespace Catalogue {

inline constexpr int FieldCount = 9;

enum Field : int {
    RowKey = 0,
    PREFIXE = 1,
    LANGUE = 2,
    DOMAINE = 3,
    NUMERO = 4,
    AUTEUR = 5,
    EDITEUR = 6,
    TITRE = 7,
    ISBN = 8,
};

inline const QString TableName = QStringLiteral("Biblio");
// The value of the settings key EditFunction that grants editing.
inline const QString EditAccessCode = QStringLiteral("QUARZ Fendel Mosker");

// "PREFIXE" ... "ISBN" for positions 1 to 8; the row key's column name for 0.
QString fieldName(int position);

// The five sort keys and search fields, in the order the selectors list them.
const QStringList &sortFields();

// NUMERO admission: empty, or a number that rounds (half to even) into the
// 16-bit signed range. Blanks around it, a sign and a fraction after the given
// decimal separator are accepted.
bool isAdmissibleNumero(const QString &text, QChar decimalSeparator);

// The whole number a NUMERO text stands for, when it is admissible and not empty.
std::optional<int> numeroValue(const QString &text, QChar decimalSeparator);

} // namespace Catalogue
