#pragma once

#include "reminders/broadcast.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

// Shows a reminder as a desktop notification (org.freedesktop.Notifications on the session
// bus), with two actions: put it off five minutes, or disarm the reminder. Where no server
// answers, it says so and the reminder window shows the reminder instead.
class ReminderNotifier : public QObject {
    Q_OBJECT
public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    // The notification's title, the reminder window's.
    static QString summary() { return tr("ekranik - Przypomnienie"); }
    static inline const QString kSnoozeAction = QStringLiteral("snooze");
    static inline const QString kDisarmAction = QStringLiteral("disarm");
    // A server that has not answered in this time counts as none: the reminder must not wait
    // on a desktop that hangs (D-Bus itself would wait 25 s).
    static constexpr int kAnswerTimeout = 5000;

    // `bus` is the session bus, or in tests a private one.
    explicit ReminderNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Asks the server to show the reminder; unanswered() follows when none does.
    void notify(const Broadcast& broadcast);

    // The notification's text: the station, the start time and the title; escaped for a
    // server that reads markup in it.
    static QString body(const Broadcast& broadcast, bool markup = false);

signals:
    void unanswered(const Broadcast& broadcast);
    // "Przypomnij za 5 min" was chosen on the reminder of `broadcast`.
    void snoozed(const Broadcast& broadcast);
    // "Wyłącz przypomnienie" was chosen.
    void disarmed();

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void show(const Broadcast& broadcast, bool markup);
    // Calls the server about a broadcast; `answered` takes its answer, of D-Bus signature
    // `signature`. A server that answers otherwise, with an error or not in time, gives
    // unanswered().
    void call(const QDBusMessage& message, const char* signature, const Broadcast& broadcast,
              const std::function<void(const QDBusMessage&)>& answered);

    QDBusConnection m_bus;
    // The notifications on show, by the server's id.
    QHash<uint, Broadcast> m_shown;
};
