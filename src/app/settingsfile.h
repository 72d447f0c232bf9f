#pragma once

#include "display/publisher.h"
#include "display/widgetlook.h"

#include <QByteArray>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <optional>

// What the program remembers beyond the station files, in ekranik.conf: the desktop widget's
// place and look, the update frequency, the display mode, an armed reminder keyword and the
// listings sources its own portal serves.
// Reading never fails: a missing or broken file gives the defaults, a value out of range the
// default of that one setting, each with a line in the log. Every change is written at once.
class SettingsFile : public QObject {
    Q_OBJECT
public:
    explicit SettingsFile(const QString& path, QObject* parent = nullptr);

    // ekranik/ekranik.conf in the user's XDG config folder.
    static QString standardPath();

    // The widget's look and place; no place when none was kept.
    WidgetLook widgetLook() const;
    // A keyword of the tray menu's frequencies; empty when none was picked.
    QString frequency() const;
    Publisher::Mode displayMode() const;
    // Windows-1250, as the reminder search compares it; empty when none is armed.
    QByteArray reminderKeyword() const;
    // When the reminder reminds: 0 when the programme is on, else the minutes before it starts.
    int reminderMinutesBefore() const;
    // XMLTV listings, each a file (an absolute path) or an http/https address; empty when none
    // were given.
    QStringList sources() const;

    // A look without a place leaves the kept place as it is.
    void setWidgetLook(const WidgetLook& look);
    void setFrequency(const QString& keyword);
    void setDisplayMode(Publisher::Mode mode);
    void setReminderKeyword(const QByteArray& keyword);
    void setReminderMinutesBefore(int minutes);
    // A file named relative to the current folder is kept as an absolute path: the program and
    // its portal may work in another one. Empty sources are dropped.
    void setSources(const QStringList& sources);

private:
    // The text of `key`; nothing when it is missing, or not one piece of text (then said in the
    // log).
    std::optional<QString> text(const char* key) const;
    std::optional<QPoint> widgetPlace() const;
    void refuse(const char* key, const QString& value) const;
    void write();

    QSettings m_settings;
    bool m_writeFailed = false;
};
