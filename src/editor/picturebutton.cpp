#include "picturebutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

PictureButton::PictureButton(const QString& caption, const QPixmap& picture, QWidget* parent)
    : QAbstractButton(parent)
    , mPicture(picture)
{
    setText(caption);
    setFocusPolicy(Qt::StrongFocus);
}

QSize PictureButton::sizeHint() const
{
    return { 55, 59 };
}

void PictureButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    option.initFrom(this);
    option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
    p.drawPrimitive(QStyle::PE_PanelButtonCommand, option);

    // A pressed button shifts its contents by one pixel, as a pushed 3-D button does.
    const int shift = isDown() ? 1 : 0;
    const QFontMetrics metrics = fontMetrics();
    const int textHeight = metrics.height();
    const int gap = 2;
    const int contentHeight = mPicture.height() + gap + textHeight;
    const int top = (height() - contentHeight) / 2 + shift;

    QPixmap shown = mPicture;
    if (!isEnabled() && !shown.isNull())
        shown = style()->generatedIconPixmap(QIcon::Disabled, mPicture, &option);
    p.drawPixmap((width() - mPicture.width()) / 2 + shift, top, shown);

    const QRect textRect(shift, top + mPicture.height() + gap, width(), textHeight);
    p.drawItemText(textRect, Qt::AlignHCenter | Qt::AlignVCenter, palette(), isEnabled(), text(),
        QPalette::ButtonText);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
