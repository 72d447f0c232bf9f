#pragma once

#include <QColor>
#include <QPoint>
#include <optional>

// How the desktop widget RadudoVorozu looks and where it stands: what the settings panel edits,
// what a drag of the widget moves, and what the settings file keeps between runs. The defaults
// are the look of a first start.
struct WidgetLook {
    enum class Scheme { LightText, DarkText };

    bool clock = true;
    bool progressLine = true;
    bool compact = true; // the list scrolls; otherwise the widget is tall
    bool frame = false;
    bool keying = true;
    Scheme scheme = Scheme::LightText;
    // Chosen with the keying, from the scheme of that moment; no control shows it.
    QColor keyColor = Qt::black;
    // Where the user left the widget; nothing: its usual place.
    std::optional<QPoint> place;
    // Under each now-playing line, how far its programme has run and what comes next.
    bool next = false;

    bool operator==(const WidgetLook&) const = default;
};
