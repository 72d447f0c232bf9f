#include "reminders/remindernotifier.h"

#include "text/win1250.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

ReminderNotifier::ReminderNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

QString ReminderNotifier::body(const Broadcast& broadcast, bool markup)
{
    const QString text =
        QStringLiteral("%1, %2\n%3")
            .arg(win1250ToUnicode(broadcast.station), broadcast.start.toString(u"HH:mm"),
                 win1250ToUnicode(broadcast.title));
    // A server that reads markup would take "&" or "<" in a title for some.
    return markup ? text.toHtmlEscaped() : text;
}

// The server is asked what it can first: whether it reads markup in the body.
void ReminderNotifier::notify(const Broadcast& broadcast)
{
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                            QStringLiteral("GetCapabilities"));
    auto* asked = new QDBusPendingCallWatcher(m_bus.asyncCall(ask, kAnswerTimeout), this);
    connect(asked, &QDBusPendingCallWatcher::finished, this, [this, asked, broadcast] {
        asked->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *asked;
        if (capabilities.isError())
            emit unanswered(broadcast);
        else
            show(broadcast, capabilities.value().contains(QStringLiteral("body-markup")));
    });
}

void ReminderNotifier::show(const Broadcast& broadcast, bool markup)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QStringList actions{kSnoozeAction, tr("Przypomnij za 5 min"), kDisarmAction,
                              tr("Wyłącz przypomnienie")};
    // Expiring never: a reminder stays until the user has seen it.
    call << QStringLiteral("ekranik") << uint(0) << QStringLiteral("ekranik") << summary()
         << body(broadcast, markup) << actions << QVariantMap{} << int(0);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kAnswerTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, broadcast] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            emit unanswered(broadcast);
        else
            m_shown.insert(reply.value(), broadcast);
    });
}

void ReminderNotifier::onActionInvoked(uint id, const QString& action)
{
    // Other notifications of this program (the tray's balloons) share the bus signal.
    const auto shown = m_shown.constFind(id);
    if (shown == m_shown.cend())
        return;
    const Broadcast broadcast = *shown;
    if (action == kSnoozeAction)
        emit snoozed(broadcast);
    else if (action == kDisarmAction)
        emit disarmed();
}

void ReminderNotifier::onNotificationClosed(uint id, uint)
{
    m_shown.remove(id);
}
