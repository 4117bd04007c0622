#pragma once

#include <QPushButton>

// A push button whose caption wraps onto as many lines as its box needs, as the classic
// command buttons do; text() stays the caption as given.
class WrapButton : public QPushButton {
public:
    explicit WrapButton(const QString& text, QWidget* parent = nullptr);

    // Where the caption is drawn inside the button.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
