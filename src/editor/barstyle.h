#pragma once

#include <QPalette>
#include <QProxyStyle>

// The scroll bars of the editor: the plain 3-D look (raised arrow buttons and thumb on a
// dithered track), with arrows small enough for the 10-pixel column bars.
class ClassicBarStyle : public QProxyStyle {
    Q_OBJECT

public:
    ClassicBarStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget = nullptr) const override;
    // A scroll bar is drawn once for each look (size, range, position, state and colours) and
    // then copied from the pixmap cache.
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
        QPainter* painter, const QWidget* widget = nullptr) const override;

    // One style object for every bar, living as long as the application.
    static QStyle* shared();
    // Grey face, white highlight and dark shadows, whatever the desktop's colours.
    static QPalette palette(const QPalette& base);
};
