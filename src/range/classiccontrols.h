#pragma once

#include <QGroupBox>
#include <QProxyStyle>
#include <QPushButton>

// Widgets with the looks of the classic 3-D controls that the small dialogs were laid out with,
// so that captions and lists read well at those controls' sizes.

// A push button whose caption wraps onto as many lines as its box needs; text() stays the
// caption as given.
class WrapButton : public QPushButton {
public:
    explicit WrapButton(const QString& text, QWidget* parent = nullptr);

    // Where the caption is drawn inside the button.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A frame with its caption set into the top edge: the edge runs at half the caption's height,
// so the frame's children sit at the same places as in a classic frame.
class CaptionFrame : public QGroupBox {
public:
    explicit CaptionFrame(const QString& title, QWidget* parent = nullptr);

    // The etched edge of the frame.
    QRect edgeRect() const;
    // Where the caption is drawn.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A style for small controls: a drop-down list's arrow takes kArrowWidth pixels, so that a list
// a few characters wide still shows its text, and an option button's caption stands
// kLabelSpacing pixels from its round indicator, as on the classic controls.
class CompactStyle : public QProxyStyle {
public:
    static constexpr int kArrowWidth = 14;
    static constexpr int kLabelSpacing = 3;

    // Draws as the style named `base` does, apart from those two measures.
    explicit CompactStyle(const QString& base);

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
        const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
        const QWidget* widget = nullptr) const override;
};
