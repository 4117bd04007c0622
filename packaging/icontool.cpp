// Build-time tool: writes the program's picture as PNG files of the sizes asked for, scaled
// pixel for pixel so that the drawing stays crisp.
// Usage: rudimix_icontool <picture.xpm> <size> <out.png> [<size> <out.png> ...]
#include <QImage>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(
            stderr, "Usage: %s <picture> <size> <out.png> [<size> <out.png> ...]\n", argv[0]);
        return 2;
    }
    const QImage picture(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull()) {
        std::fprintf(stderr, "%s: cannot read the picture %s\n", argv[0], argv[1]);
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        const int size = QByteArray(argv[i]).toInt();
        const QImage scaled = picture.convertToFormat(QImage::Format_ARGB32)
                                  .scaled(size, size, Qt::KeepAspectRatio, Qt::FastTransformation);
        if (size <= 0 || !scaled.save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
