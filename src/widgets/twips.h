#pragma once
// The main window is laid out in twips (1/1440 inch); widgets take pixels.
#include <QRect>

class QWidget;

namespace quillon {

struct TwipRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const TwipRect&) const = default;
};

// Twips per pixel of the screen the widget is on (15 at 96 dpi).
double twipsPerPixelX(const QWidget* w);
double twipsPerPixelY(const QWidget* w);

QRect toPixels(const TwipRect& r, double tppX, double tppY);
int toPixelsX(int twips, double tppX);
int toPixelsY(int twips, double tppY);

} // namespace quillon
