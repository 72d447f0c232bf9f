// A stand-in for a StatusNotifierItem desktop (the notification area of KDE Plasma, or GNOME
// with the AppIndicator extension), for the end-to-end tests. It owns
// org.kde.StatusNotifierWatcher on the session bus with a host registered, and
// org.freedesktop.Notifications, so that Qt hands the tray icon and its messages to D-Bus. It
// prints one line for each thing it learns on standard output:
//   registered SERVICE PATH      an item registered with the watcher
//   unregistered SERVICE         that item left the bus
//   notify SUMMARY|BODY          a desktop notification arrived
// and obeys one command per line on standard input, on the latest item:
//   show        prints what a host shows: "title T", "tooltip TITLE|TEXT", "iconname N",
//               "iconpixmap WxH" (the largest image), "menu PATH", then each menu entry as
//               "item LABEL", two more spaces for each submenu level, "-" for a separator,
//               " (off)" after a disabled entry, " (x)" after a checked one and " >" after a
//               submenu; then "end"
//   activate / context / secondary   a left click / the context menu / a middle click
//   click LABEL a choice of the menu entry with that label, as the host sends it
//   quit
#include "support/stdinlines.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QSize>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace {

// Reads an array of images as the item gives them, a(iiay) of ARGB32 pixels, and gives the size
// of the largest one that holds pixels of its size, not all of them zero.
QSize largestImage(const QDBusArgument& images)
{
    QSize best(0, 0);
    images.beginArray();
    while (!images.atEnd()) {
        int w = 0, h = 0;
        QByteArray bytes;
        images.beginStructure();
        images >> w >> h >> bytes;
        images.endStructure();
        if (w * h > best.width() * best.height() && bytes.size() == w * h * 4 &&
            bytes.count('\0') < bytes.size())
            best = QSize(w, h);
    }
    images.endArray();
    return best;
}

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

// One entry of a dbusmenu layout: (ia{sv}av), the children again in variants.
struct MenuNode {
    int id = 0;
    QVariantMap properties;
    QList<MenuNode> children;
};

MenuNode readNode(const QDBusArgument& argument)
{
    MenuNode node;
    argument.beginStructure();
    argument >> node.id >> node.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        node.children << readNode(child.variant().value<QDBusArgument>());
    }
    argument.endArray();
    argument.endStructure();
    return node;
}

QString label(const MenuNode& node)
{
    // dbusmenu marks a mnemonic with "_" and writes a real underscore twice.
    QString text = node.properties.value(QStringLiteral("label")).toString();
    text.replace(QLatin1String("__"), QStringLiteral("\x01"));
    text.remove(u'_');
    text.replace(u'\x01', u'_');
    return text;
}

void printNode(const MenuNode& node, int depth)
{
    for (const MenuNode& child : node.children) {
        if (child.properties.value(QStringLiteral("visible"), true).toBool() == false)
            continue;
        QString line = QStringLiteral("item ") + QString(depth * 2, u' ');
        if (child.properties.value(QStringLiteral("type")).toString() == QLatin1String("separator"))
            line += u'-';
        else
            line += label(child);
        if (!child.properties.value(QStringLiteral("enabled"), true).toBool())
            line += QStringLiteral(" (off)");
        if (child.properties.value(QStringLiteral("toggle-state")).toInt() == 1)
            line += QStringLiteral(" (x)");
        const bool submenu =
            child.properties.value(QStringLiteral("children-display")).toString() ==
            QLatin1String("submenu");
        if (submenu)
            line += QStringLiteral(" >");
        say(line);
        printNode(child, depth + 1);
    }
}

std::optional<int> findLabel(const MenuNode& node, const QString& wanted)
{
    for (const MenuNode& child : node.children) {
        if (label(child) == wanted)
            return child.id;
        if (const auto id = findLabel(child, wanted))
            return id;
    }
    return std::nullopt;
}

// The watcher a host keeps on the session bus; items register with it.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit Watcher(QDBusConnection bus) : m_bus(bus)
    {
        m_gone.setConnection(bus);
        m_gone.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&m_gone, &QDBusServiceWatcher::serviceUnregistered, this,
                [this](const QString& service) {
                    if (service != m_service)
                        return;
                    say(QStringLiteral("unregistered ") + service);
                    emit StatusNotifierItemUnregistered(service + m_path);
                });
    }

    QStringList items() const
    {
        return m_service.isEmpty() ? QStringList{} : QStringList{m_service + m_path};
    }
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QString service() const { return m_service; }
    QString path() const { return m_path; }

public slots:
    // An item names its own service (its path is then /StatusNotifierItem), or only a path
    // on the caller's connection.
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message)
    {
        if (serviceOrPath.startsWith(u'/')) {
            m_service = message.service();
            m_path = serviceOrPath;
        } else {
            m_service = serviceOrPath;
            m_path = QStringLiteral("/StatusNotifierItem");
        }
        m_gone.addWatchedService(m_service);
        m_gone.addWatchedService(message.service());
        say(QStringLiteral("registered %1 %2").arg(m_service, m_path));
        emit StatusNotifierItemRegistered(m_service + m_path);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    QDBusConnection m_bus;
    QDBusServiceWatcher m_gone;
    QString m_service;
    QString m_path;
};

// The desktop's notification server: it records what it is asked to show.
class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        say(QStringLiteral("notify %1|%2").arg(summary, body));
        return ++m_last;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    void CloseNotification(uint) {}
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("ekranik");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("snihost");
    }

private:
    uint m_last = 0;
};

class Host {
public:
    Host(QDBusConnection bus, const Watcher& watcher) : m_bus(bus), m_watcher(watcher) {}

    QVariant itemProperty(const QString& name) const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            m_watcher.service(), m_watcher.path(),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << kItemInterface << name;
        const QDBusMessage reply = m_bus.call(get);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    QString menuPath() const
    {
        return itemProperty(QStringLiteral("Menu")).value<QDBusObjectPath>().path();
    }

    std::optional<MenuNode> layout() const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            m_watcher.service(), menuPath(), kMenuInterface, QStringLiteral("GetLayout"));
        get << 0 << -1 << QStringList{};
        const QDBusMessage reply = m_bus.call(get);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
            return std::nullopt;
        return readNode(reply.arguments().at(1).value<QDBusArgument>());
    }

    void show() const
    {
        say(QStringLiteral("title ") + itemProperty(QStringLiteral("Title")).toString());
        // ToolTip: (sa(iiay)ss), icon name, icon images, title, text.
        const auto tip = itemProperty(QStringLiteral("ToolTip")).value<QDBusArgument>();
        QString tipIcon, tipTitle, tipText;
        tip.beginStructure();
        tip >> tipIcon;
        largestImage(tip);
        tip >> tipTitle >> tipText;
        tip.endStructure();
        say(QStringLiteral("tooltip %1|%2").arg(tipTitle, tipText));
        say(QStringLiteral("iconname ") + itemProperty(QStringLiteral("IconName")).toString());
        // IconPixmap: a(iiay), ARGB32 images.
        const auto pixmaps = itemProperty(QStringLiteral("IconPixmap")).value<QDBusArgument>();
        const QSize best = largestImage(pixmaps);
        say(QStringLiteral("iconpixmap %1x%2").arg(best.width()).arg(best.height()));
        say(QStringLiteral("menu ") + menuPath());
        if (const auto root = layout())
            printNode(*root, 0);
        say(QStringLiteral("end"));
    }

    void callItem(const QString& method) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(m_watcher.service(), m_watcher.path(),
                                                           kItemInterface, method);
        call << 100 << 100;
        m_bus.call(call, QDBus::NoBlock);
    }

    void click(const QString& wanted) const
    {
        const auto root = layout();
        const auto id = root ? findLabel(*root, wanted) : std::nullopt;
        if (!id) {
            say(QStringLiteral("no item ") + wanted);
            return;
        }
        QDBusMessage event = QDBusMessage::createMethodCall(
            m_watcher.service(), menuPath(), kMenuInterface, QStringLiteral("Event"));
        event << *id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0)) << 0u;
        m_bus.call(event, QDBus::NoBlock);
    }

private:
    QDBusConnection m_bus;
    const Watcher& m_watcher;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "snihost: no session bus\n");
        return 1;
    }

    Watcher watcher(bus);
    Notifications notifications;
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                          QDBusConnection::ExportAllProperties;
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher, exported) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                            exported) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "snihost: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    say(QStringLiteral("ready"));

    const Host host(bus, watcher);
    takeCommandsFromStdin(&app, [&](const QString& line) {
        if (line == QLatin1String("quit")) {
            QCoreApplication::quit();
        } else if (watcher.service().isEmpty()) {
            say(QStringLiteral("no item yet"));
        } else if (line == QLatin1String("show")) {
            host.show();
        } else if (line == QLatin1String("activate")) {
            host.callItem(QStringLiteral("Activate"));
        } else if (line == QLatin1String("context")) {
            host.callItem(QStringLiteral("ContextMenu"));
        } else if (line == QLatin1String("secondary")) {
            host.callItem(QStringLiteral("SecondaryActivate"));
        } else if (line.startsWith(QLatin1String("click "))) {
            host.click(line.mid(6));
        }
    });
    return app.exec();
}

#include "snihost.moc"
