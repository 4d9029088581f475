#include "Twips.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <climits>
#include <cmath>

namespace Twips {

namespace {

constexpr double TwipsPerInch = 1440.0;
constexpr double DefaultDotsPerInch = 96.0;

double usable(double dotsPerInch)
{
    return std::isfinite(dotsPerInch) && dotsPerInch > 0 ? dotsPerInch : DefaultDotsPerInch;
}

} // namespace

int roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    if (value <= double(INT_MIN))
        return INT_MIN;
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return int(whole);
}

int toPixels(double twips, double dotsPerInch)
{
    return roundHalfEven(twips * usable(dotsPerInch) / TwipsPerInch);
}

double fromPixels(int pixels, double dotsPerInch)
{
    return pixels * TwipsPerInch / usable(dotsPerInch);
}

double screenDotsPerInch()
{
    // Without a GUI application (tools, core tests) there is no screen.
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return DefaultDotsPerInch;
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? usable(screen->logicalDotsPerInchX()) : DefaultDotsPerInch;
}

int toPixels(double twips)
{
    return toPixels(twips, screenDotsPerInch());
}

double fromPixels(int pixels)
{
    return fromPixels(pixels, screenDotsPerInch());
}

} // namespace Twips
