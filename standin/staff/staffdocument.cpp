#include "staffdocument.h"

#include "staffpainter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>

namespace standin::staff {

namespace {

    // So much of a long RAW line is printed; the rest is counted.
    constexpr int kShownRaw = 4000;

    QString shownRaw(const std::string& raw)
    {
        const QString text = QString::fromStdString(raw);
        if (text.size() <= kShownRaw)
            return text;
        return text.left(kShownRaw)
            + QStringLiteral("\u2026 (%1 characters more)").arg(text.size() - kShownRaw);
    }

} // namespace

Document layoutDocument(const sheet::Sheet& sheet, double width)
{
    Document document;
    const double sp = kDefaultSpace;
    Items& header = document.header;
    const double margin = 1.5 * sp;
    double y = 2.2 * sp;
    header.texts.push_back({ QPointF(width / 2, y),
        QString::fromStdString(sheet.title.empty() ? "new-rud" : sheet.title), TextStyle::Title });
    y += 3.2 * sp;
    // The tempo, as the staff writes it: a quarter note "= 100".
    QString tempo = QStringLiteral("= %1").arg(sheet.tempo);
    if (!sheet.tempoText.empty())
        tempo += QStringLiteral("  (") + QString::fromStdString(sheet.tempoText) + u')';
    if (sheet.repeats > 1)
        tempo += QStringLiteral(", played %1 times").arg(sheet.repeats);
    const double tempoWidth
        = QFontMetricsF(textFont(TextStyle::Tempo, sp)).horizontalAdvance(tempo);
    const double left = width / 2 - (tempoWidth + 1.5 * sp) / 2;
    header.heads.push_back(
        { QPointF(left + 0.5 * sp, y + 0.45 * sp), sheet::Head::Normal, false, 0.75 });
    const double stem = left + (0.5 + 0.62 * 0.75 - 0.05) * sp;
    header.lines.push_back({ QLineF(stem, y + 0.45 * sp, stem, y - 1.95 * sp), 0.12 * sp });
    header.texts.push_back({ QPointF(left + 1.5 * sp, y), tempo, TextStyle::Tempo, -1 });
    y += 2.2 * sp;
    // The RAW line of each section, once.
    const QFontMetricsF raw(textFont(TextStyle::Raw, sp));
    const double wrap = width - 2 * margin;
    QStringList shown;
    for (const sheet::Section& section : sheet.sections) {
        const QString text = shownRaw(section.raw);
        if (shown.contains(text))
            continue;
        shown.append(text);
        header.texts.push_back({ QPointF(margin, y), text, TextStyle::Raw, -1, false, wrap });
        y += raw.boundingRect(QRectF(0, 0, wrap, 1e9), wrapFlags(TextStyle::Raw), text).height()
            + 0.4 * sp;
    }
    document.headerHeight = y + 0.8 * sp;
    document.staff = layoutStaff(sheet, width, sp);
    return document;
}

std::vector<Page> paginate(const Document& document, double pageHeight)
{
    std::vector<Page> pages;
    const auto& systems = document.staff.systems;
    Page page { 0, 0, 0, true, false };
    double room = pageHeight - document.headerHeight;
    for (std::size_t i = 0; i < systems.size(); ++i) {
        const double bottom = systems[i].bottom - page.offset;
        if (page.count > 0 && bottom > room) {
            pages.push_back(page);
            page = { int(i), 0, systems[i].top, false, false };
            room = pageHeight;
        }
        ++page.count;
    }
    const double legendBottom = document.staff.height - page.offset;
    if (!document.staff.legend.texts.empty() && page.count > 0 && legendBottom > room) {
        pages.push_back(page);
        const double top = systems.empty() ? 0 : systems.back().bottom;
        page = { int(systems.size()), 0, top, false, false };
    }
    page.legend = true;
    pages.push_back(page);
    return pages;
}

void paintPage(QPainter& painter, const Document& document, const Page& page)
{
    const double sp = document.staff.space;
    const PaintStyle style;
    if (page.header)
        paintItems(painter, document.header, sp, style);
    painter.save();
    painter.translate(0, (page.header ? document.headerHeight : 0) - page.offset);
    for (int i = page.first; i < page.first + page.count; ++i)
        paintItems(painter, document.staff.systems[std::size_t(i)].items, sp, style);
    if (page.legend)
        paintItems(painter, document.staff.legend, sp, style);
    painter.restore();
}

bool paintPages(const sheet::Sheet& sheet, QPagedPaintDevice& device)
{
    const Document document = layoutDocument(sheet);
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double scale = double(device.width()) / kDocumentWidth;
    const std::vector<Page> pages = paginate(document, double(device.height()) / scale);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && !device.newPage())
            return false;
        painter.save();
        painter.scale(scale, scale);
        paintPage(painter, document, pages[i]);
        painter.restore();
    }
    return painter.end();
}

bool writePdf(const sheet::Sheet& sheet, QIODevice& device)
{
    {
        QPdfWriter writer(&device);
        writer.setTitle(QString::fromStdString(sheet.title));
        writer.setCreator(QStringLiteral("TAMBRIX.EXE"));
        writer.setResolution(600);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
            QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        if (!paintPages(sheet, writer))
            return false;
    }
    return true;
}

bool writeSvg(const sheet::Sheet& sheet, QIODevice& device)
{
    const Document document = layoutDocument(sheet);
    const Page whole { 0, int(document.staff.systems.size()), 0, true, true };
    const int height = int(std::ceil(document.headerHeight + document.staff.height));
    QSvgGenerator generator;
    generator.setOutputDevice(&device);
    generator.setSize(QSize(int(kDocumentWidth), height));
    generator.setViewBox(QRectF(0, 0, kDocumentWidth, height));
    generator.setTitle(QString::fromStdString(sheet.title));
    generator.setDescription(QStringLiteral("The drum staff of %1, written by TAMBRIX.EXE")
                                 .arg(QString::fromStdString(sheet.title)));
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    painter.fillRect(QRectF(0, 0, kDocumentWidth, height), Qt::white);
    paintPage(painter, document, whole);
    return painter.end();
}

} // namespace standin::staff
