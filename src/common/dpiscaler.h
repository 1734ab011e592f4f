#pragma once

#include <QtGlobal>

// Scales pixel sizes for high-DPI screens: factor 1.0 below 1.1 × 96 dpi,
// 1.25 from there on, 0 when there is no screen at all.
class DpiScaler
{
public:
    int scale(int px) const;

    // The factor for a screen of the given logical dots per inch.
    static double factorFor(qreal logicalDpi);
    // The factor for the first screen, 0 when there is none.
    static double currentFactor();
};
