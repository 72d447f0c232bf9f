#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A stand-in for the desktop's notification server (org.freedesktop.Notifications): it keeps
// every notification it is asked to show, and plays the user choosing one of its actions.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        uint id;
        QString appName;
        QString summary;
        QString body;
        QStringList actions; // key, label, key, label ...
        int expireTimeout;
    };

    // Serves on `bus` until destroyed; false from isServing() when the name was taken.
    explicit NotificationServer(QDBusConnection bus) : m_bus(std::move(bus))
    {
        m_serving = m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                         QDBusConnection::ExportAllSlots |
                                             QDBusConnection::ExportAllSignals) &&
                    m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~NotificationServer() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        m_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }

    bool isServing() const { return m_serving; }
    // What the server says it can; "body-markup" makes it read markup in the body.
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};
    const QList<Shown>& shown() const { return m_shown; }

    // The user chose the action `key` on notification `id`: the server says so, and closes it
    // (reason 2: dismissed by the user).
    void invoke(uint id, const QString& key)
    {
        emit ActionInvoked(id, key);
        emit NotificationClosed(id, 2);
    }

public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&,
                int expireTimeout)
    {
        m_shown.append({++m_lastId, appName, summary, body, actions, expireTimeout});
        return m_lastId;
    }
    QStringList GetCapabilities() { return capabilities; }
    void CloseNotification(uint id) { emit NotificationClosed(id, 3); }

signals:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    bool m_serving = false;
    QList<Shown> m_shown;
    uint m_lastId = 0;
};
