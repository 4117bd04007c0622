#include "cellcheckbox.h"

#include <QImage>
#include <QPainter>
#include <QtMath>

namespace {

// The tick inside the 7 x 7 well of the indicator, one text row per pixel row.
constexpr const char* kTick[7] = {
    "......#",
    ".....##",
    "#...###",
    "##.###.",
    "#####..",
    ".###...",
    "..#....",
};

constexpr int kLast = CellCheckBox::kIndicator - 1;

// The sunken indicator at (0, 0): the well white, or grey while pressed or disabled; the tick
// black, or grey when disabled.
void drawIndicator(QPainter& p, bool grey, bool ticked, bool enabled)
{
    const QColor shadow(128, 128, 128);
    const QColor darkShadow(64, 64, 64);
    const QColor face(192, 192, 192);
    const QColor light(255, 255, 255);
    const QColor midLight(223, 223, 223);

    // Sunken frame: two lines dark on top and left, light on bottom and right.
    p.setPen(shadow);
    p.drawLine(0, 0, kLast - 1, 0);
    p.drawLine(0, 0, 0, kLast - 1);
    p.setPen(light);
    p.drawLine(0, kLast, kLast, kLast);
    p.drawLine(kLast, 0, kLast, kLast);
    p.setPen(darkShadow);
    p.drawLine(1, 1, kLast - 2, 1);
    p.drawLine(1, 1, 1, kLast - 2);
    p.setPen(midLight);
    p.drawLine(1, kLast - 1, kLast - 1, kLast - 1);
    p.drawLine(kLast - 1, 1, kLast - 1, kLast - 1);

    p.fillRect(
        2, 2, CellCheckBox::kIndicator - 4, CellCheckBox::kIndicator - 4, grey ? face : light);

    if (ticked) {
        p.setPen(enabled ? QColor(Qt::black) : shadow);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 7; ++col)
                if (kTick[row][col] == '#')
                    p.drawPoint(2 + col, 2 + row);
    }
}

// The indicator in each of its looks is drawn once and then copied: a window of 64 columns has
// 448 of these boxes, and drawing every frame line and tick pixel anew for each of them was the
// largest part of painting the window.
const QImage& indicatorImage(bool grey, bool ticked, bool enabled, qreal ratio)
{
    static QImage images[2][2][2];
    QImage& image = images[grey][ticked][enabled];
    if (image.isNull() || image.devicePixelRatio() != ratio) {
        const int side = qCeil(CellCheckBox::kIndicator * ratio);
        image = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter p(&image);
        drawIndicator(p, grey, ticked, enabled);
    }
    return image;
}

} // namespace

CellCheckBox::CellCheckBox(QWidget* parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
}

QSize CellCheckBox::sizeHint() const
{
    return { kIndicator, kIndicator + 4 };
}

bool CellCheckBox::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

void CellCheckBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int x = (width() - kIndicator) / 2;
    const int y = (height() - kIndicator) / 2;
    const bool grey = !isEnabled() || isDown();
    p.drawImage(x, y, indicatorImage(grey, isChecked(), isEnabled(), devicePixelRatio()));

    // Focus: a dotted line in the free row under the indicator.
    if (hasFocus() && y + kIndicator < height()) {
        QPen dots(palette().color(QPalette::WindowText));
        dots.setStyle(Qt::DotLine);
        p.setPen(dots);
        p.drawLine(x, height() - 1, x + kLast, height() - 1);
    }
}
