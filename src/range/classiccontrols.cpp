#include "classiccontrols.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

// ---- WrapButton ----

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

// ---- CaptionFrame ----

CaptionFrame::CaptionFrame(const QString& title, QWidget* parent)
    : QGroupBox(title, parent)
{
}

QRect CaptionFrame::edgeRect() const
{
    return rect().adjusted(0, fontMetrics().height() / 2, -1, -1);
}

QRect CaptionFrame::captionRect() const
{
    const QFontMetrics metrics = fontMetrics();
    return QRect(6, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
}

void CaptionFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // An etched edge: a dark line with a light one inside and below it.
    const QRect edge = edgeRect();
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(edge.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(edge.adjusted(1, 1, 0, 0));

    const QRect caption = captionRect();
    painter.fillRect(caption, palette().window());
    style()->drawItemText(
        &painter, caption, Qt::AlignCenter, palette(), isEnabled(), title(), QPalette::WindowText);
}

// ---- CompactStyle ----

CompactStyle::CompactStyle(const QString& base)
    : QProxyStyle(base)
{
}

QRect CompactStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
    SubControl sub, const QWidget* widget) const
{
    if (control != CC_ComboBox)
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const QRect box = option->rect;
    const int frame = 2;
    QRect part;
    switch (sub) {
    case SC_ComboBoxArrow:
        part = QRect(box.right() - kArrowWidth - frame + 1, box.top() + frame, kArrowWidth,
            box.height() - 2 * frame);
        break;
    case SC_ComboBoxEditField:
        part = QRect(box.left() + frame, box.top() + frame, box.width() - kArrowWidth - 2 * frame,
            box.height() - 2 * frame);
        break;
    default:
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
    return visualRect(option->direction, box, part);
}

int CompactStyle::pixelMetric(
    PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_RadioButtonLabelSpacing)
        return kLabelSpacing;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
