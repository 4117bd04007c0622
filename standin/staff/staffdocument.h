#pragma once

#include "stafflayout.h"

#include <vector>

class QIODevice;
class QPagedPaintDevice;
class QPainter;

// The sheet as a document to print or keep: the title and the tempo at the top, the RAW line of
// each section in small type under them, then the staff as the practice window draws it; on A4
// pages (PDF, or the printer's pages) or as one picture (SVG).
namespace standin::staff {

// The width a document is laid out at, in staff pixels (a staff space is kDefaultSpace of them):
// about 1.7 mm to a space across an A4 page's 180 mm.
inline constexpr double kDocumentWidth = 840;

struct Document {
    Items header;
    double headerHeight = 0;
    StaffLayout staff;
};

Document layoutDocument(const sheet::Sheet& sheet, double width = kDocumentWidth);

// A page: the lines of the staff on it (first, count), where it begins in the staff's layout, and
// whether the header or the legend are on it.
struct Page {
    int first = 0;
    int count = 0;
    double offset = 0;
    bool header = false;
    bool legend = false;
};

// The pages for a page height (in the document's units); at least one.
std::vector<Page> paginate(const Document& document, double pageHeight);

void paintPage(QPainter& painter, const Document& document, const Page& page);

// Paints the document on the device's pages at their width; false if the device cannot be
// painted on.
bool paintPages(const sheet::Sheet& sheet, QPagedPaintDevice& device);

// The document as a PDF (A4 portrait) and as an SVG picture, written into the device as they are
// drawn; false if they cannot be.
bool writePdf(const sheet::Sheet& sheet, QIODevice& device);
bool writeSvg(const sheet::Sheet& sheet, QIODevice& device);

} // namespace standin::staff
