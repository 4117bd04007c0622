#pragma once

#include <QFont>
#include <QRect>

// The measures and typefaces of the classic dialogs: places given in twips, and the faces
// "MS Sans Serif" and "Courier New", for which Debian's metric-compatible Liberation faces
// stand in where the originals are missing.
namespace classic {

inline constexpr int kTwipsPerPixel = 15; // at 96 dots per inch

constexpr QRect twips(int left, int top, int width, int height)
{
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
        height / kTwipsPerPixel);
}

QFont sansFont(qreal points, bool bold = false);
QFont fixedFont(qreal points);

} // namespace classic
