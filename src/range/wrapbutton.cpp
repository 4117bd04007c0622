#include "wrapbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

WrapButton::WrapButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
}

QRect WrapButton::captionRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void WrapButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect box = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown())
        box.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
            style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    style()->drawItemText(&painter, box, Qt::AlignCenter | Qt::TextWordWrap, option.palette,
        isEnabled(), caption, QPalette::ButtonText);
}
