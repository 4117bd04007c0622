#pragma once

#include <QIcon>
#include <QPixmap>

// The editor's pictures, kept as resources (XPM text under resources/).
namespace pictures {
QPixmap glyphSheet(); // 75 x 96, monochrome: notes, rests, grace note, triplet and quintuplet
QPixmap testPicture();
QPixmap setupPicture();
QPixmap rangePicture();
QIcon windowIcon();
} // namespace pictures
