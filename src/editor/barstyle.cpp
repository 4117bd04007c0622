#include "barstyle.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

ClassicBarStyle::ClassicBarStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows")))
{
}

QStyle* ClassicBarStyle::shared()
{
    static QPointer<QStyle> style = [] {
        auto* made = new ClassicBarStyle;
        made->setParent(qApp);
        return made;
    }();
    return style;
}

QPalette ClassicBarStyle::palette(const QPalette& base)
{
    QPalette colours = base;
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive }) {
        colours.setColor(group, QPalette::Button, QColor(192, 192, 192));
        colours.setColor(group, QPalette::Light, QColor(255, 255, 255));
        colours.setColor(group, QPalette::Midlight, QColor(223, 223, 223));
        colours.setColor(group, QPalette::Dark, QColor(128, 128, 128));
        colours.setColor(group, QPalette::Shadow, QColor(0, 0, 0));
        colours.setColor(group, QPalette::ButtonText, QColor(0, 0, 0));
    }
    colours.setColor(QPalette::Disabled, QPalette::Button, QColor(192, 192, 192));
    colours.setColor(QPalette::Disabled, QPalette::Light, QColor(224, 224, 224));
    colours.setColor(QPalette::Disabled, QPalette::Midlight, QColor(223, 223, 223));
    colours.setColor(QPalette::Disabled, QPalette::Dark, QColor(128, 128, 128));
    colours.setColor(QPalette::Disabled, QPalette::Shadow, QColor(64, 64, 64));
    colours.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    return colours;
}

void ClassicBarStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
    QPainter* painter, const QWidget* widget) const
{
    const bool arrow = element == PE_IndicatorArrowUp || element == PE_IndicatorArrowDown
        || element == PE_IndicatorArrowLeft || element == PE_IndicatorArrowRight;
    if (!arrow) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // A solid triangle, 5 pixels across its base, in the middle of the button.
    const QRect r = option->rect;
    const QPoint c = r.center();
    const bool sunken = option->state & State_Sunken;
    const int shift = sunken ? 1 : 0;
    QPolygon triangle;
    switch (element) {
    case PE_IndicatorArrowUp:
        triangle << QPoint(c.x() - 2, c.y() + 1) << QPoint(c.x() + 2, c.y() + 1)
                 << QPoint(c.x(), c.y() - 1);
        break;
    case PE_IndicatorArrowDown:
        triangle << QPoint(c.x() - 2, c.y() - 1) << QPoint(c.x() + 2, c.y() - 1)
                 << QPoint(c.x(), c.y() + 1);
        break;
    case PE_IndicatorArrowLeft:
        triangle << QPoint(c.x() + 1, c.y() - 2) << QPoint(c.x() + 1, c.y() + 2)
                 << QPoint(c.x() - 1, c.y());
        break;
    default:
        triangle << QPoint(c.x() - 1, c.y() - 2) << QPoint(c.x() - 1, c.y() + 2)
                 << QPoint(c.x() + 1, c.y());
        break;
    }
    triangle.translate(shift, shift);
    painter->save();
    const QColor ink = (option->state & State_Enabled)
        ? option->palette.color(QPalette::Active, QPalette::ButtonText)
        : option->palette.color(QPalette::Disabled, QPalette::ButtonText);
    painter->setPen(ink);
    painter->setBrush(ink);
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->drawPolygon(triangle);
    painter->restore();
}

void ClassicBarStyle::drawControl(ControlElement element, const QStyleOption* option,
    QPainter* painter, const QWidget* widget) const
{
    // A disabled column keeps its values and shows them greyed: its thumb stays drawn, in the
    // disabled colours, where the plain style would leave only the track.
    if (element == CE_ScrollBarSlider && !(option->state & State_Enabled)) {
        QStyleOptionButton thumb;
        thumb.QStyleOption::operator=(*option);
        thumb.state |= State_Enabled | State_Raised;
        baseStyle()->drawPrimitive(PE_PanelButtonBevel, &thumb, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}
