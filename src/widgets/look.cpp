#include "widgets/look.h"

#include <QFile>
#include <QFontDatabase>

QFont LayoutFont(const QString& family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void InstallFontFallbacks()
{
    // Wine ships a free Tahoma with the same metrics; Debian keeps it outside fontconfig's path.
    if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        for (const char* file :
             {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
            if (QFile::exists(QString::fromLatin1(file)))
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
    }
    // Liberation Sans has Arial's widths, which are within a few per cent of Trebuchet MS,
    // Tahoma and Segoe UI at these small sizes; DejaVu Sans descends from Bitstream Vera, which
    // was drawn to Verdana's wide proportions.
    const QStringList narrow{QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                             QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("Trebuchet MS"), narrow);
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), narrow);
    QFont::insertSubstitutions(QStringLiteral("Segoe UI"), narrow);
    QFont::insertSubstitutions(QStringLiteral("Verdana"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
}
