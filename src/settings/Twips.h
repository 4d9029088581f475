#pragma once

// Twips are 1/1440 inch; pixels follow the screen's logical resolution.
namespace Twips {

int toPixels(double twips, double dotsPerInch);
double fromPixels(int pixels, double dotsPerInch);
// With the primary screen's logical DPI (96 when there is no screen).
int toPixels(double twips);
double fromPixels(int pixels);

} // namespace Twips
