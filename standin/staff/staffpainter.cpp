#include "staffpainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
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

    // The filled noteheads of one painting as polygons at their size, flattened once (most of a
    // staff's painting time went into flattening their curves again for every note).
    class Glyphs {
    public:
        // detail: device pixels to a pixel of the staff, so that a page is flattened finely.
        Glyphs(double space, double detail)
            : mSpace(space)
            , mDetail(std::max(1.0, detail))
        {
        }
        const QPolygonF& operator()(Head shape, bool hollow, double scale)
        {
            return find(
                int(shape) * 2 + hollow, scale, [&] { return headPath(shape, hollow); },
                mSpace * scale);
        }
        // The circle of a circled x (one space to a unit), and a dot of a radius in pixels.
        const QPolygonF& ring(double scale)
        {
            return find(
                -1, scale,
                [] {
                    QPainterPath path;
                    path.addEllipse(QPointF(0, 0), 0.775, 0.775);
                    path.addEllipse(QPointF(0, 0), 0.665, 0.665);
                    path.setFillRule(Qt::OddEvenFill);
                    return path;
                },
                mSpace * scale);
        }
        const QPolygonF& dot(double radius)
        {
            return find(
                -2, radius,
                [] {
                    QPainterPath path;
                    path.addEllipse(QPointF(0, 0), 1, 1);
                    return path;
                },
                radius);
        }

    private:
        template <typename Make>
        const QPolygonF& find(int kind, double size, const Make& make, double unit)
        {
            for (const Glyph& g : mGlyphs)
                if (g.kind == kind && g.size == size)
                    return g.polygon;
            const QPolygonF fine
                = QTransform::fromScale(unit * mDetail, unit * mDetail).map(make()).toFillPolygon();
            mGlyphs.push_back(
                { kind, size, QTransform::fromScale(1 / mDetail, 1 / mDetail).map(fine) });
            return mGlyphs.back().polygon;
        }

        struct Glyph {
            int kind;
            double size;
            QPolygonF polygon;
        };
        double mSpace;
        double mDetail;
        std::vector<Glyph> mGlyphs;
    };

    void drawHead(
        QPainter& painter, const Items::Head& h, double sp, const QColor& colour, Glyphs& glyphs)
    {
        if (h.shape != Head::X && h.shape != Head::CircledX) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawPolygon(
                glyphs(h.shape, h.hollow, h.scale).translated(h.at), Qt::OddEvenFill);
            return;
        }
        const double u = sp * h.scale;
        painter.save();
        painter.translate(h.at);
        painter.scale(u, u);
        {
            QPen pen(colour, 0.17);
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawLine(QPointF(-0.5, -0.5), QPointF(0.5, 0.5));
            painter.drawLine(QPointF(-0.5, 0.5), QPointF(0.5, -0.5));
        }
        painter.restore();
        if (h.shape == Head::CircledX) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawPolygon(glyphs.ring(h.scale).translated(h.at), Qt::OddEvenFill);
        }
    }

    void drawRest(QPainter& painter, const Items::Rest& r, double sp, const QColor& colour)
    {
        painter.save();
        painter.translate(r.at);
        painter.scale(sp, sp);
        if (r.type <= 2) {
            painter.fillRect(QRectF(-0.6, -0.25, 1.2, 0.5), colour);
            QPen pen(colour, 0.12);
            painter.setPen(pen);
            const double y = r.type == 1 ? -0.25 : 0.25; // the line it hangs from or sits on
            painter.drawLine(QPointF(-0.85, y), QPointF(0.85, y));
        } else if (r.type == 4) {
            QPen pen(colour, 0.3);
            pen.setJoinStyle(Qt::MiterJoin);
            pen.setCapStyle(Qt::FlatCap);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            QPainterPath path;
            path.moveTo(-0.3, -1.45);
            path.lineTo(0.3, -0.75);
            path.lineTo(-0.2, -0.1);
            path.lineTo(0.32, 0.55);
            path.quadTo(-0.55, 0.25, -0.05, 1.3);
            painter.drawPath(path);
        } else {
            const int count = r.type >= 64 ? 4 : r.type >= 32 ? 3 : r.type >= 16 ? 2 : 1;
            const double length = 1.4 + 0.8 * (count - 1);
            const QPointF top(0.35 + 0.2 * (count - 1), -0.7 - 0.4 * (count - 1));
            const QPointF bottom(top.x() - 0.3 * length, top.y() + length);
            painter.setPen(QPen(colour, 0.14));
            painter.drawLine(top, bottom);
            painter.setBrush(colour);
            for (int k = 0; k < count; ++k) {
                const QPointF on = top + (bottom - top) * (0.8 * k / length);
                const QPointF blob(on.x() - 0.65, on.y() + 0.05);
                painter.setPen(Qt::NoPen);
                painter.drawEllipse(blob, 0.21, 0.21);
                painter.setPen(QPen(colour, 0.12));
                QPainterPath hook;
                hook.moveTo(blob + QPointF(0, 0.15));
                hook.quadTo(on + QPointF(-0.25, 0.35), on);
                painter.setBrush(Qt::NoBrush);
                painter.drawPath(hook);
                painter.setBrush(colour);
            }
        }
        painter.restore();
    }

    void drawFlag(QPainter& painter, const Items::Flag& f, double sp, const QColor& colour)
    {
        const double u = sp * f.scale;
        painter.save();
        painter.translate(f.tip);
        painter.scale(u, f.up ? u : -u);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        for (int k = 0; k < f.count; ++k) {
            const double y = 0.75 * k;
            QPainterPath path;
            path.moveTo(0, y);
            path.cubicTo(0.05, y + 0.9, 1.15, y + 1.2, 0.8, y + 2.7);
            path.cubicTo(0.9, y + 1.7, 0.35, y + 1.45, 0, y + 1.15);
            path.closeSubpath();
            painter.drawPath(path);
        }
        if (f.slashed) {
            painter.setPen(QPen(colour, 0.16));
            painter.drawLine(QPointF(-0.7, 1.9), QPointF(1.0, 0.5));
        }
        painter.restore();
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

    void drawSign(QPainter& painter, const Items::Sign& s, double sp, const QColor& colour)
    {
        painter.save();
        painter.translate(s.at);
        const double u = sp * s.scale;
        painter.scale(u, u);
        painter.setBrush(Qt::NoBrush);
        switch (s.kind) {
        case Items::SignKind::Accent: {
            QPen pen(colour, 0.16);
            pen.setJoinStyle(Qt::MiterJoin);
            painter.setPen(pen);
            const QPointF wedge[] = { { -0.65, -0.38 }, { 0.65, 0 }, { -0.65, 0.38 } };
            painter.drawPolyline(wedge, 3);
            break;
        }
        case Items::SignKind::Open:
            painter.setPen(QPen(colour, 0.14));
            painter.drawEllipse(QPointF(0, 0), 0.33, 0.33);
            break;
        case Items::SignKind::ParenLeft:
        case Items::SignKind::ParenRight: {
            const double side = s.kind == Items::SignKind::ParenLeft ? 1 : -1;
            QPainterPath arc;
            arc.moveTo(0.12 * side, -0.65);
            arc.quadTo(-0.3 * side, 0, 0.12 * side, 0.65);
            painter.setPen(QPen(colour, 0.12));
            painter.drawPath(arc);
            break;
        }
        case Items::SignKind::Triangle:
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawPath(headPath(Head::Triangle, false));
            break;
        }
        painter.restore();
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

void paintItems(QPainter& painter, const Items& items, double space, const PaintStyle& style)
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
    Glyphs glyphs(space, std::sqrt(std::abs(painter.worldTransform().determinant())));
    for (const Items::Head& h : items.heads)
        drawHead(painter, h, space, colour(h.owner), glyphs);
    for (const Items::Rest& r : items.rests)
        drawRest(painter, r, space, colour(r.owner));
    for (const Items::Flag& f : items.flags)
        drawFlag(painter, f, space, colour(f.owner));
    painter.setPen(Qt::NoPen);
    for (const Items::Dot& d : items.dots) {
        painter.setBrush(colour(d.owner));
        painter.drawPolygon(glyphs.dot(d.radius).translated(d.at));
    }
    for (const Items::Curve& c : items.curves)
        drawCurve(painter, c, space, colour(c.owner));
    for (const Items::Sign& s : items.signs)
        drawSign(painter, s, space, colour(s.owner));
    Fonts fonts(space);
    for (const Items::Text& t : items.texts)
        drawText(painter, t, space, colour(t.owner), fonts);
}

void paintStaff(
    QPainter& painter, const StaffLayout& layout, const PaintStyle& style, const QRectF& visible)
{
    for (const System& system : layout.systems) {
        if (visible.isNull() || (system.bottom >= visible.top() && system.top <= visible.bottom()))
            paintItems(painter, system.items, layout.space, style);
    }
    paintItems(painter, layout.legend, layout.space, style);
}

} // namespace standin::staff
