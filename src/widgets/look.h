#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

// The program's accent colours and its layout fonts.

// Grey-green of titles and outer frames, RGB(102, 110, 105).
inline const QColor kAccent{102, 110, 105};
// Cream of inner frames, RGB(255, 251, 240).
inline const QColor kCream{255, 251, 240};

// A layout font: the named face at a character height in pixels, the way the windows were laid
// out. Where the face is missing, the fallbacks of installFontFallbacks() stand in for it.
QFont layoutFont(const QString& family, int pixelSize, bool bold = false);

// A label of the layouts: text at (x, y) in the given font and colour, sized to its text.
QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, const QFont& font,
                  const QColor& colour);

// Gives a control its layout name as its object name, by which tests and handlers find it.
template <class Control> Control* named(Control* control, const char* name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

// The colour of a widget's text.
void setTextColour(QWidget* widget, const QColor& colour);

// A solid background behind the widget and in its input fields.
void setBackground(QWidget* widget, const QColor& colour);

// Places a top-level window at the centre of the primary screen's work area.
void centreOnDesktop(QWidget* window);

// Registers metrically close stand-ins for the Windows faces the layouts name (Trebuchet MS,
// Verdana, Tahoma, Segoe UI), for systems that lack them. Call once after the application
// object exists.
void installFontFallbacks();
