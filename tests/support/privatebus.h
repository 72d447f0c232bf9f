#pragma once

#include <QDBusConnection>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

// A D-Bus session bus of the test's own (dbus-daemon), so that no desktop's notification server
// or other service is seen, nor started on demand (private-bus.conf). Each connect() is a
// connection of its own, as separate programs have.
class PrivateBus {
public:
    PrivateBus()
    {
        m_daemon.setStandardErrorFile(QProcess::nullDevice());
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") +
                            QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                            QStringLiteral("/private-bus.conf"),
                        QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (m_daemon.waitForReadyRead(10000))
            m_address = QString::fromLatin1(m_daemon.readLine().trimmed());
    }
    ~PrivateBus()
    {
        for (const QString& name : m_names)
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isValid() const { return !m_address.isEmpty(); }
    QDBusConnection connect(const QString& name)
    {
        m_names << name;
        return QDBusConnection::connectToBus(m_address, name);
    }

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};
