#pragma once
// Twips to pixels: 1440 twips an inch, so 15 twips a pixel at 96 dpi, scaled
// with the screen's logical dpi.

#include <QRect>
#include <cmath>

#include "controls/control_description.h"

inline int TwipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

inline QRect TwipsToPixels(const TwipsRect& r, double logicalDpi) {
    return {TwipsToPixels(r.left, logicalDpi), TwipsToPixels(r.top, logicalDpi),
            TwipsToPixels(r.width, logicalDpi), TwipsToPixels(r.height, logicalDpi)};
}
