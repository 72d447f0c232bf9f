#pragma once

#include "display/widgetlook.h"

#include <QObject>

// The widget's look as the one value the program holds: the settings panel and the widget's
// drags change it, and the widget and the settings file follow every change.
class WidgetLookModel : public QObject {
    Q_OBJECT
public:
    explicit WidgetLookModel(const WidgetLook& look = WidgetLook(), QObject* parent = nullptr);

    const WidgetLook& look() const { return m_look; }
    // Takes the new look; only a look that differs is announced.
    void setLook(const WidgetLook& look);
    // The widget now stands at `topLeft`.
    void setPlace(QPoint topLeft);

signals:
    void changed(const WidgetLook& look);

private:
    WidgetLook m_look;
};
