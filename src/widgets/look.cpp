#include "widgets/look.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

QFont layoutFont(const QString& family, int pixelSize, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, const QFont& font,
                  const QColor& colour)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    setTextColour(label, colour);
    label->move(x, y);
    label->adjustSize();
    return label;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void setBackground(QWidget* widget, const QColor& colour)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

void centreOnDesktop(QWidget* window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

void installFontFallbacks()
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
