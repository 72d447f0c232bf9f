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
    call(ask, "as", broadcast, [this, broadcast](const QDBusMessage& capabilities) {
        const QStringList can = capabilities.arguments().value(0).toStringList();
        show(broadcast, can.contains(QStringLiteral("body-markup")));
    });
}

void ReminderNotifier::call(const QDBusMessage& message, const char* signature,
                            const Broadcast& broadcast,
                            const std::function<void(const QDBusMessage&)>& answered)
{
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kAnswerTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, signature, broadcast, answered] {
                watcher->deleteLater();
                const QDBusMessage reply = watcher->reply();
                if (reply.type() == QDBusMessage::ReplyMessage &&
                    reply.signature() == QLatin1String(signature))
                    answered(reply);
                else
                    emit unanswered(broadcast);
            });
}

void ReminderNotifier::show(const Broadcast& broadcast, bool markup)
{
    QDBusMessage notification =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QStringList actions{kSnoozeAction, tr("Przypomnij za 5 min"), kDisarmAction,
                              tr("Wyłącz przypomnienie")};
    // Expiring never: a reminder stays until the user has seen it.
    notification << QStringLiteral("ekranik") << uint(0) << QStringLiteral("ekranik") << summary()
                 << body(broadcast, markup) << actions << QVariantMap{} << int(0);
    call(notification, "u", broadcast, [this, broadcast](const QDBusMessage& id) {
        m_shown.insert(id.arguments().value(0).toUInt(), broadcast);
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
