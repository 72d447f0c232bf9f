#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class Form2;
class TrayIcon;

// The display mode and the publication step: a complete now-playing list goes to the desktop
// widget RadudoVorozu, or into a balloon at the tray icon.
class Publisher : public QObject {
    Q_OBJECT
public:
    enum class Mode { Widget, Balloon };

    static constexpr int kBalloonSeconds = 11;

    Publisher(Form2* widget, TrayIcon* tray, QObject* parent = nullptr);

    // Takes effect at the next publication; nothing changes on screen before.
    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }

    // The last step of a tick whose list is complete. clockText names the moment of the tick.
    void publish(const QList<QByteArray>& lines, const QString& clockText);

private:
    Form2* m_widget;
    TrayIcon* m_tray;
    Mode m_mode = Mode::Widget;
};
