#include "twips.h"

#include <QWidget>
#include <cmath>

namespace quillon {

double twipsPerPixelX(const QWidget* w)
{
    const int dpi = w ? w->logicalDpiX() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

double twipsPerPixelY(const QWidget* w)
{
    const int dpi = w ? w->logicalDpiY() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

int toPixelsX(int twips, double tppX)
{
    return static_cast<int>(std::lround(twips / tppX));
}

int toPixelsY(int twips, double tppY)
{
    return static_cast<int>(std::lround(twips / tppY));
}

QRect toPixels(const TwipRect& r, double tppX, double tppY)
{
    return QRect(toPixelsX(r.left, tppX), toPixelsY(r.top, tppY),
                 std::max(0, toPixelsX(r.width, tppX)), std::max(0, toPixelsY(r.height, tppY)));
}

} // namespace quillon
