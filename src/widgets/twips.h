#pragma once

#include <QPaintDevice>
#include <QRect>
#include <QtMath>

namespace krt {

// Layouts of the product family are given in twips (1440 to the inch); on screen they become
// pixels at the device's logical resolution (15 twips a pixel at 96 dpi).
inline int twips(int value, const QPaintDevice *device)
{
    const int dpi = device ? device->logicalDpiX() : 96;
    return qRound(value * dpi / 1440.0);
}

inline QRect twipsRect(int left, int top, int width, int height, const QPaintDevice *device)
{
    return {twips(left, device), twips(top, device), twips(width, device), twips(height, device)};
}

} // namespace krt
