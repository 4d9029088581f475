#pragma once

#include "settings/Twips.h"

#include <QRect>

// Places and sizes of the window's controls are designed in twips.
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(Twips::toPixels(left), Twips::toPixels(top), Twips::toPixels(width), Twips::toPixels(height));
}
