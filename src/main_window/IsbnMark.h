#pragma once

#include <QColor>
#include <QString>

class QLineEdit;

// How a wrong ISBN check digit shows, the same in the form and in the grid:
// a light red ground, dark red text and a tooltip naming the expected digit.
// The text itself is never touched: what the user typed is what is stored.
namespace IsbnMark {

// "Chiffre de contrôle attendu : 7" for a wrong check digit, else empty.
QString warning(const QString &text);

QColor background();
QColor foreground();

// Marks the box after its text, or takes the mark away and gives the box
// back its own tooltip and colours.
void apply(QLineEdit *box);

} // namespace IsbnMark
