#pragma once

// Twips are 1/1440 inch; pixels follow the screen's logical resolution.
// Conversions to pixels round a half to the even neighbour.
namespace Twips {

int toPixels(double twips, double dotsPerInch);
double fromPixels(int pixels, double dotsPerInch);
// With the primary screen's logical DPI (96 when there is no screen).
int toPixels(double twips);
double fromPixels(int pixels);

// To the nearest whole number, a half to the even neighbour; clamped to the
// range of int (a non-number gives 0).
int roundHalfEven(double value);
// The logical horizontal resolution of the primary screen, 96 without one.
double screenDotsPerInch();

} // namespace Twips
