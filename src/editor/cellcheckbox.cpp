#include "cellcheckbox.h"

#include <QPainter>

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
    const int last = kIndicator - 1;

    const QColor shadow(128, 128, 128);
    const QColor darkShadow(64, 64, 64);
    const QColor face(192, 192, 192);
    const QColor light(255, 255, 255);
    const QColor midLight(223, 223, 223);

    // Sunken frame: two lines dark on top and left, light on bottom and right.
    p.setPen(shadow);
    p.drawLine(x, y, x + last - 1, y);
    p.drawLine(x, y, x, y + last - 1);
    p.setPen(light);
    p.drawLine(x, y + last, x + last, y + last);
    p.drawLine(x + last, y, x + last, y + last);
    p.setPen(darkShadow);
    p.drawLine(x + 1, y + 1, x + last - 2, y + 1);
    p.drawLine(x + 1, y + 1, x + 1, y + last - 2);
    p.setPen(midLight);
    p.drawLine(x + 1, y + last - 1, x + last - 1, y + last - 1);
    p.drawLine(x + last - 1, y + 1, x + last - 1, y + last - 1);

    // The well: white, grey while pressed or disabled.
    const bool grey = !isEnabled() || isDown();
    p.fillRect(x + 2, y + 2, kIndicator - 4, kIndicator - 4, grey ? face : light);

    if (isChecked()) {
        p.setPen(isEnabled() ? QColor(Qt::black) : shadow);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 7; ++col)
                if (kTick[row][col] == '#')
                    p.drawPoint(x + 2 + col, y + 2 + row);
    }

    // Focus: a dotted line in the free row under the indicator.
    if (hasFocus() && y + kIndicator < height()) {
        QPen dots(palette().color(QPalette::WindowText));
        dots.setStyle(Qt::DotLine);
        p.setPen(dots);
        p.drawLine(x, height() - 1, x + last, height() - 1);
    }
}
