#pragma once

#include "display/nextrow.h"
#include "update/pageprogramme.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTime>
#include <functional>
#include <optional>

class Form2;
class TrayIcon;

// The display mode and the publication step: a complete now-playing list goes to the desktop
// widget RadudoVorozu, or into a balloon at the tray icon. While the next programme is shown,
// the widget has it under each line, and the tray icon's tip has every line with what follows.
class Publisher : public QObject {
    Q_OBJECT
public:
    enum class Mode { Widget, Balloon };
    using Clock = std::function<QTime()>;

    static constexpr int kBalloonSeconds = 11;

    // `now` tells the time of day, for how far the programmes on air have run.
    Publisher(Form2* widget, TrayIcon* tray, Clock now = &QTime::currentTime,
              QObject* parent = nullptr);

    // Takes effect at the next publication; nothing changes on screen before.
    void setMode(Mode mode) { m_mode = mode; }
    Mode mode() const { return m_mode; }

    // The widget and the tip follow at once, with what the last publication had.
    void setShowsNext(bool shows);

    // The last step of a tick whose list is complete. clockText names the moment of the tick;
    // `next` holds what follows each line, in the order of the lines.
    void publish(const QList<QByteArray>& lines, const QString& clockText,
                 const QList<std::optional<NextUp>>& next = {});

private:
    // The second rows of the last publication at `now`; none while they are not shown.
    QList<std::optional<NextRow>> nextRows(QTime now) const;
    // The tip with every line and what follows it; the icon's own while nothing is shown.
    void showTip(const QList<std::optional<NextRow>>& rows);

    Form2* m_widget;
    TrayIcon* m_tray;
    Clock m_now;
    Mode m_mode = Mode::Widget;
    bool m_showsNext = false;
    // The last lines published, with what follows them.
    QList<QByteArray> m_lines;
    QList<std::optional<NextUp>> m_next;
    bool m_published = false;
    // The tip the icon had before the lines took it over.
    std::optional<QString> m_ownTip;
};
