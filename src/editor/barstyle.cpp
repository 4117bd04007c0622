#include "barstyle.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
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

namespace {

// FNV-1a over the values that a bar's look depends on.
class LookHash {
public:
    LookHash& operator<<(quint64 value)
    {
        for (int i = 0; i < 8; ++i) {
            mHash ^= (value >> (8 * i)) & 0xFF;
            mHash *= 0x100000001B3ULL;
        }
        return *this;
    }
    quint64 value() const { return mHash; }

private:
    quint64 mHash = 0xCBF29CE484222325ULL;
};

// The pixmap cache key of a bar's look: its size, range, position, state and colours. Empty
// when a brush of the palette is not a plain colour, since a texture cannot be told apart by its
// colour.
QString barKey(const QStyleOptionSlider& bar, qreal ratio)
{
    LookHash hash;
    hash << quint64(bar.rect.width()) << quint64(bar.rect.height()) << quint64(bar.orientation)
         << quint64(bar.minimum) << quint64(bar.maximum) << quint64(bar.sliderPosition)
         << quint64(bar.pageStep) << quint64(bar.upsideDown) << quint64(ratio * 1000)
         << quint64(bar.state) << quint64(bar.subControls) << quint64(bar.activeSubControls)
         << quint64(bar.direction);
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const QBrush& brush
                = bar.palette.brush(QPalette::ColorGroup(group), QPalette::ColorRole(role));
            if (brush.style() != Qt::SolidPattern && brush.style() != Qt::NoBrush)
                return {};
            hash << quint64(brush.color().rgba64());
        }
    }
    return QStringLiteral("rudimix-bar-") + QString::number(hash.value(), 16);
}

} // namespace

void ClassicBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
    QPainter* painter, const QWidget* widget) const
{
    // The editor has a hundred and more bars, most of them alike: drawing each one's arrows,
    // track and thumb anew was the largest part of painting the window.
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    const QString key = control == CC_ScrollBar && bar && !option->rect.isEmpty()
        ? barKey(*bar, ratio)
        : QString();
    if (key.isEmpty()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(option->rect.size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QStyleOptionSlider atOrigin = *bar;
        atOrigin.rect.moveTo(0, 0);
        QPainter p(&pixmap);
        QProxyStyle::drawComplexControl(control, &atOrigin, &p, widget);
        p.end();
        QPixmapCache::insert(key, pixmap);
    }
    painter->drawPixmap(option->rect.topLeft(), pixmap);
}
