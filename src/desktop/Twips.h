#pragma once

#include <QFont>
#include <QRect>

namespace torvane {

// Window geometry is designed in twips: 15 twips to a pixel.
constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(double twips)
{
    return int(twips / kTwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}
inline double pixelsToTwips(int pixels)
{
    return double(pixels) * kTwipsPerPixel;
}

// A designed rectangle (left, top, width, height in twips) in pixels.
inline QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// The system sans-serif font at a designed point size and weight.
QFont sansFont(double pointSize, bool bold);

} // namespace torvane
