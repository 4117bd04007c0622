#include "pictures.h"

// The resources live in a static library; they must be registered before the first use.
static void registerEditorResources()
{
    Q_INIT_RESOURCE(editor);
}

namespace pictures {

namespace {

    QPixmap load(const char* name)
    {
        static const bool registered = (registerEditorResources(), true);
        (void)registered;
        return QPixmap(QStringLiteral(":/editor/%1").arg(QLatin1String(name)));
    }

} // namespace

QPixmap glyphSheet()
{
    return load("glyphs.xpm");
}
QPixmap testPicture()
{
    return load("test.xpm");
}
QPixmap setupPicture()
{
    return load("setup.xpm");
}
QPixmap rangePicture()
{
    return load("range.xpm");
}
QIcon windowIcon()
{
    return QIcon(load("rudimix.xpm"));
}

} // namespace pictures
