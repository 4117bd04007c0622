#include "classicui.h"

#include <QStringList>

namespace classic {

QFont sansFont(qreal points, bool bold)
{
    QFont font;
    font.setFamilies({ QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
        QStringLiteral("Arial"), QStringLiteral("DejaVu Sans") });
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont fixedFont(qreal points)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Courier New"), QStringLiteral("Liberation Mono") });
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(points);
    return font;
}

} // namespace classic
