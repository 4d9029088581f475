#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

// What the three dialogs share in appearance: places and sizes designed in
// twips, the classic small bold font and the light grey of the old forms.
namespace DialogLook {

inline const QColor LightGrey(192, 192, 192);

// A rectangle designed in twips, in the screen's pixels.
QRect twipsRect(int left, int top, int width, int height);
QSize twipsSize(int width, int height);

// The classic dialog font at this size, with fall-backs of similar width
// where it is not installed.
QFont classicFont(double points, bool bold);

// Paints the widget's background light grey (children inherit it).
void paintLightGrey(QWidget *widget);

// The toolkit's own texts (message box buttons, "details", standard
// dialogs) in French, whatever the system's language. False when Qt's
// French translation is not installed: they then stay in English.
bool useFrenchToolkitTexts();

// The compiled-in pictures live in a static library; this makes sure they
// are registered before a window asks for one. Cheap after the first call.
void loadPictures();

} // namespace DialogLook
