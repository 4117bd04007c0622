#pragma once

#include "stafflayout.h"

#include <QColor>
#include <QRectF>

class QPainter;

// Draws a laid-out staff with QPainter, on any device (a widget, an image, a PDF page, an SVG):
// the noteheads, rests, flags, accents and signs as drawn paths, the texts in the layout's fonts.
namespace standin::staff {

struct PaintStyle {
    QColor ink = Qt::black;
    QColor highlight = QColor(200, 40, 30);
    int highlighted = kNobody; // the owner drawn in the highlight colour
};

void paintItems(QPainter& painter, const Items& items, double space, const PaintStyle& style);

// The lines of the staff that cross the visible rectangle (all of them for a null one), then the
// legend.
void paintStaff(QPainter& painter, const StaffLayout& layout, const PaintStyle& style,
    const QRectF& visible = QRectF());

} // namespace standin::staff
