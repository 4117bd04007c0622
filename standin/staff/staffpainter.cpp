#include "staffpainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

namespace standin::staff {

namespace {

    using sheet::Head;

    // A notehead's outline, one staff space to a unit, centred on 0.
    QPainterPath headPath(Head shape, bool hollow)
    {
        QPainterPath path;
        switch (shape) {
        case Head::Normal:
        case Head::Triangle:
        case Head::Diamond:
        case Head::Slash:
            break;
        case Head::X:
        case Head::CircledX:
            return path; // drawn with lines
        }
        if (shape == Head::Normal) {
            QPainterPath outer;
            outer.addEllipse(QPointF(0, 0), 0.66, 0.47);
            path = QTransform().rotate(-20).map(outer);
            if (hollow) {
                QPainterPath inner;
                inner.addEllipse(QPointF(0, 0), 0.5, 0.25);
                path.addPath(QTransform().rotate(-35).map(inner));
            }
        } else {
            QPolygonF outline;
            if (shape == Head::Triangle)
                outline << QPointF(-0.62, 0.45) << QPointF(0.62, 0.45) << QPointF(0, -0.55);
            else if (shape == Head::Diamond)
                outline << QPointF(0, -0.55) << QPointF(0.62, 0) << QPointF(0, 0.55)
                        << QPointF(-0.62, 0);
            else
                outline << QPointF(-0.72, 0.5) << QPointF(-0.2, 0.5) << QPointF(0.72, -0.5)
                        << QPointF(0.2, -0.5);
            path.addPolygon(outline);
            path.closeSubpath();
            if (hollow) {
                QPolygonF inner;
                for (const QPointF& p : outline)
                    inner << p * 0.55;
                path.addPolygon(inner);
                path.closeSubpath();
            }
        }
        path.setFillRule(Qt::OddEvenFill);
        return path;
    }

    // A stroke as the area it covers, so that every symbol is one filled shape.
    QPainterPath stroked(const QPainterPath& path, double width, Qt::PenCapStyle cap = Qt::FlatCap,
        Qt::PenJoinStyle join = Qt::MiterJoin)
    {
        QPainterPathStroker stroker;
        stroker.setWidth(width);
        stroker.setCapStyle(cap);
        stroker.setJoinStyle(join);
        return stroker.createStroke(path);
    }

    QPainterPath line(QPointF a, QPointF b)
    {
        QPainterPath path(a);
        path.lineTo(b);
        return path;
    }

    // A rest, one staff space to a unit, centred on 0.
    QPainterPath restPath(int type)
    {
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        if (type <= 2) {
            path.addRect(QRectF(-0.6, -0.25, 1.2, 0.5));
            const double y = type == 1 ? -0.25 : 0.25; // the line it hangs from or sits on
            return path.united(stroked(line({ -0.85, y }, { 0.85, y }), 0.12));
        }
        if (type == 4) {
            QPainterPath zigzag;
            zigzag.moveTo(-0.3, -1.45);
            zigzag.lineTo(0.3, -0.75);
            zigzag.lineTo(-0.2, -0.1);
            zigzag.lineTo(0.32, 0.55);
            zigzag.quadTo(-0.55, 0.25, -0.05, 1.3);
            return stroked(zigzag, 0.3);
        }
        const int count = type >= 64 ? 4 : type >= 32 ? 3 : type >= 16 ? 2 : 1;
        const double length = 1.4 + 0.8 * (count - 1);
        const QPointF top(0.35 + 0.2 * (count - 1), -0.7 - 0.4 * (count - 1));
        const QPointF bottom(top.x() - 0.3 * length, top.y() + length);
        path = stroked(line(top, bottom), 0.14);
        for (int k = 0; k < count; ++k) {
            const QPointF on = top + (bottom - top) * (0.8 * k / length);
            const QPointF blob(on.x() - 0.65, on.y() + 0.05);
            QPainterPath dot;
            dot.addEllipse(blob, 0.21, 0.21);
            QPainterPath hook(blob + QPointF(0, 0.15));
            hook.quadTo(on + QPointF(-0.25, 0.35), on);
            path = path.united(dot).united(stroked(hook, 0.12));
        }
        return path;
    }

    // Flags on a stem going up from its tip (mirrored for a stem going down), one space a unit.
    QPainterPath flagPath(int count, bool up, bool slashed)
    {
        QPainterPath path;
        for (int k = 0; k < count; ++k) {
            const double y = 0.75 * k;
            QPainterPath flag(QPointF(0, y));
            flag.cubicTo(0.05, y + 0.9, 1.15, y + 1.2, 0.8, y + 2.7);
            flag.cubicTo(0.9, y + 1.7, 0.35, y + 1.45, 0, y + 1.15);
            flag.closeSubpath();
            path = path.united(flag);
        }
        if (slashed)
            path = path.united(stroked(line({ -0.7, 1.9 }, { 1.0, 0.5 }), 0.16));
        return up ? path : QTransform::fromScale(1, -1).map(path);
    }

    QPainterPath signPath(Items::SignKind kind)
    {
        switch (kind) {
        case Items::SignKind::Accent: {
            QPainterPath wedge(QPointF(-0.65, -0.38));
            wedge.lineTo(0.65, 0);
            wedge.lineTo(-0.65, 0.38);
            return stroked(wedge, 0.16);
        }
        case Items::SignKind::Open: {
            QPainterPath circle;
            circle.addEllipse(QPointF(0, 0), 0.33, 0.33);
            return stroked(circle, 0.14);
        }
        case Items::SignKind::ParenLeft:
        case Items::SignKind::ParenRight: {
            const double side = kind == Items::SignKind::ParenLeft ? 1 : -1;
            QPainterPath arc(QPointF(0.12 * side, -0.65));
            arc.quadTo(-0.3 * side, 0, 0.12 * side, 0.65);
            return stroked(arc, 0.12);
        }
        case Items::SignKind::Triangle:
            break;
        }
        return headPath(Head::Triangle, false);
    }

    // The symbols of one painting as filled shapes at their size, their curves flattened once
    // (most of a staff's painting time went into flattening them again for every note).
    class Glyphs {
    public:
        // detail: device pixels to a pixel of the staff, so that a page is flattened finely.
        Glyphs(double space, double detail)
            : mSpace(space)
            , mDetail(std::max(1.0, detail))
        {
        }
        const QPainterPath& head(Head shape, bool hollow, double scale)
        {
            return find(int(shape) * 2 + int(hollow), scale, mSpace * scale,
                [&] { return headPath(shape, hollow); });
        }
        // The circle of a circled x.
        const QPainterPath& ring(double scale)
        {
            return find(20, scale, mSpace * scale, [] {
                QPainterPath circle;
                circle.addEllipse(QPointF(0, 0), 0.72, 0.72);
                return stroked(circle, 0.11);
            });
        }
        // The two strokes of an x.
        const QPainterPath& cross(double scale)
        {
            return find(21, scale, mSpace * scale, [] {
                return stroked(line({ -0.5, -0.5 }, { 0.5, 0.5 }), 0.17)
                    .united(stroked(line({ -0.5, 0.5 }, { 0.5, -0.5 }), 0.17));
            });
        }
        // A dot of a radius in pixels.
        const QPainterPath& dot(double radius)
        {
            return find(22, radius, radius, [] {
                QPainterPath path;
                path.addEllipse(QPointF(0, 0), 1, 1);
                return path;
            });
        }
        const QPainterPath& rest(int type)
        {
            return find(100 + type, 1, mSpace, [&] { return restPath(type); });
        }
        const QPainterPath& flag(const Items::Flag& f)
        {
            return find(200 + 4 * f.count + 2 * int(f.up) + int(f.slashed), f.scale,
                mSpace * f.scale, [&] { return flagPath(f.count, f.up, f.slashed); });
        }
        const QPainterPath& sign(const Items::Sign& s)
        {
            return find(
                300 + int(s.kind), s.scale, mSpace * s.scale, [&] { return signPath(s.kind); });
        }

    private:
        template <typename Make>
        const QPainterPath& find(int kind, double size, double unit, const Make& make)
        {
            for (const Glyph& g : mGlyphs)
                if (g.kind == kind && g.size == size)
                    return g.path;
            const QPainterPath shape = make();
            const double fine = unit * mDetail;
            QPainterPath flat;
            flat.setFillRule(shape.fillRule());
            const QTransform back = QTransform::fromScale(1 / mDetail, 1 / mDetail);
            for (const QPolygonF& polygon :
                shape.toSubpathPolygons(QTransform::fromScale(fine, fine)))
                flat.addPolygon(back.map(polygon));
            mGlyphs.push_back({ kind, size, flat });
            return mGlyphs.back().path;
        }

        struct Glyph {
            int kind;
            double size;
            QPainterPath path;
        };
        double mSpace;
        double mDetail;
        std::deque<Glyph> mGlyphs; // references to its shapes stay valid
    };

    void fill(QPainter& painter, const QPainterPath& shape, QPointF at, const QColor& colour)
    {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPath(shape.translated(at));
    }

    void drawHead(QPainter& painter, const Items::Head& h, const QColor& colour, Glyphs& glyphs)
    {
        if (h.shape == Head::X || h.shape == Head::CircledX)
            fill(painter, glyphs.cross(h.scale), h.at, colour);
        else
            fill(painter, glyphs.head(h.shape, h.hollow, h.scale), h.at, colour);
        if (h.shape == Head::CircledX)
            fill(painter, glyphs.ring(h.scale), h.at, colour);
    }

    void drawCurve(QPainter& painter, const Items::Curve& c, double sp, const QColor& colour)
    {
        const QPointF mid = (c.from + c.to) / 2;
        const double thickness = 0.16 * sp * (c.bend >= 0 ? 1 : -1);
        QPainterPath path;
        path.moveTo(c.from);
        path.quadTo(mid + QPointF(0, 2 * c.bend), c.to);
        path.quadTo(mid + QPointF(0, 2 * c.bend - 2 * thickness), c.from);
        painter.setPen(QPen(colour, 0.04 * sp));
        painter.setBrush(colour);
        painter.drawPath(path);
    }

    // The fonts of the text styles for one painting, made once.
    class Fonts {
    public:
        explicit Fonts(double space)
            : mSpace(space)
        {
        }
        const std::pair<QFont, QFontMetricsF>& operator[](TextStyle style)
        {
            auto& slot = mFonts[std::size_t(style)];
            if (!slot) {
                const QFont font = textFont(style, mSpace);
                slot.emplace(font, QFontMetricsF(font));
            }
            return *slot;
        }

    private:
        double mSpace;
        std::array<std::optional<std::pair<QFont, QFontMetricsF>>, 9> mFonts;
    };

    void drawText(
        QPainter& painter, const Items::Text& t, double sp, const QColor& colour, Fonts& fonts)
    {
        const auto& [font, metrics] = fonts[t.style];
        painter.setFont(font);
        painter.setPen(colour);
        if (t.wrap > 0) {
            painter.drawText(QRectF(t.at, QSizeF(t.wrap, 1e6)), wrapFlags(t.style), t.text);
            return;
        }
        const double width = metrics.horizontalAdvance(t.text);
        const double left = t.align < 0 ? t.at.x()
            : t.align > 0               ? t.at.x() - width
                                        : t.at.x() - width / 2;
        double baseline = t.at.y() + (metrics.ascent() - metrics.descent()) / 2;
        if (t.style == TextStyle::TimeSignature)
            baseline = t.at.y() + metrics.tightBoundingRect(t.text).height() / 2;
        if (t.boxed) {
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(colour, 0.12 * sp));
            const double pad = 0.35 * sp;
            painter.drawRect(QRectF(left - pad, t.at.y() - metrics.height() / 2 - pad / 2,
                width + 2 * pad, metrics.height() + pad));
            painter.setPen(colour);
        }
        painter.drawText(QPointF(left, baseline), t.text);
    }

} // namespace

namespace {

    void paintWith(QPainter& painter, const Items& items, double space, const PaintStyle& style,
        Glyphs& glyphs, Fonts& fonts)
    {
        auto colour = [&](int owner) {
            return owner != kNobody && owner == style.highlighted ? style.highlight : style.ink;
        };
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen;
        pen.setCapStyle(Qt::FlatCap);
        for (const Items::Line& l : items.lines) {
            pen.setColor(colour(l.owner));
            pen.setWidthF(l.width);
            painter.setPen(pen);
            painter.drawLine(l.line);
        }
        for (const Items::Head& h : items.heads)
            drawHead(painter, h, colour(h.owner), glyphs);
        for (const Items::Rest& r : items.rests)
            fill(painter, glyphs.rest(r.type), r.at, colour(r.owner));
        for (const Items::Flag& f : items.flags)
            fill(painter, glyphs.flag(f), f.tip, colour(f.owner));
        for (const Items::Dot& d : items.dots)
            fill(painter, glyphs.dot(d.radius), d.at, colour(d.owner));
        for (const Items::Curve& c : items.curves)
            drawCurve(painter, c, space, colour(c.owner));
        for (const Items::Sign& s : items.signs)
            fill(painter, glyphs.sign(s), s.at, colour(s.owner));
        for (const Items::Text& t : items.texts)
            drawText(painter, t, space, colour(t.owner), fonts);
    }

    double detailOf(const QPainter& painter)
    {
        return std::sqrt(std::abs(painter.worldTransform().determinant()));
    }

} // namespace

void paintItems(QPainter& painter, const Items& items, double space, const PaintStyle& style)
{
    Glyphs glyphs(space, detailOf(painter));
    Fonts fonts(space);
    paintWith(painter, items, space, style, glyphs, fonts);
}

void paintStaff(
    QPainter& painter, const StaffLayout& layout, const PaintStyle& style, const QRectF& visible)
{
    Glyphs glyphs(layout.space, detailOf(painter));
    Fonts fonts(layout.space);
    for (const System& system : layout.systems) {
        if (visible.isNull() || (system.bottom >= visible.top() && system.top <= visible.bottom()))
            paintWith(painter, system.items, layout.space, style, glyphs, fonts);
    }
    paintWith(painter, layout.legend, layout.space, style, glyphs, fonts);
}

} // namespace standin::staff
