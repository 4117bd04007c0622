// Build-time tool: writes the program's icon as PNG files, each drawn at its own size: a
// picture (XPM, PNG) only at the size it was drawn at, a drawing (SVG) rendered at any size.
// Usage: rudimix_icontool <source> <size> <out.png> [<source> <size> <out.png> ...]
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

namespace {

QImage drawn(const QString& source, int size, QString& error)
{
    if (source.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgRenderer drawing(source);
        if (!drawing.isValid()) {
            error = QStringLiteral("cannot read the drawing");
            return {};
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawing.render(&painter);
        painter.end();
        return image.convertToFormat(QImage::Format_ARGB32);
    }
    const QImage picture(source);
    if (picture.isNull()) {
        error = QStringLiteral("cannot read the picture");
        return {};
    }
    // A picture scaled up would only show its pixels doubled.
    if (picture.size() != QSize(size, size)) {
        error = QStringLiteral("is %1 x %2 pixels, not %3 x %3")
                    .arg(picture.width())
                    .arg(picture.height())
                    .arg(size);
        return {};
    }
    return picture.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4 || (argc - 1) % 3 != 0) {
        std::fprintf(stderr,
            "Usage: %s <source> <size> <out.png> [<source> <size> <out.png> ...]\n", argv[0]);
        return 2;
    }
    for (int i = 1; i + 2 < argc; i += 3) {
        const QString source = QString::fromLocal8Bit(argv[i]);
        const int size = QByteArray(argv[i + 1]).toInt();
        QString error = QStringLiteral("no size");
        const QImage image = size > 0 ? drawn(source, size, error) : QImage();
        if (image.isNull()) {
            std::fprintf(stderr, "%s: %s: %s\n", argv[0], argv[i], qPrintable(error));
            return 1;
        }
        if (!image.save(QString::fromLocal8Bit(argv[i + 2]), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[i + 2]);
            return 1;
        }
    }
    return 0;
}
