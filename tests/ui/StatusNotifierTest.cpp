#include "Torvane/ui/TrayIcon.h"
#include "Torvane/ui/TrayMenu.h"
#include "tests/fakes/core/TrayTestBed.h"
#include "tests/ui/PrivateSessionBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using testing::PrivateSessionBus;
using testing::runUntil;

/// The desktop's StatusNotifierWatcher (what KDE, and GNOME with the
/// AppIndicator extension, run): says a host shows items and records the
/// items that register.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        // An object path instead of a bus name means the caller's connection.
        const QString item =
            service.startsWith(QLatin1Char('/')) ? message.service() + service : service;
        {
            QMutexLocker lock(&m_mutex);
            m_items.append(item);
        }
        emit StatusNotifierItemRegistered(item);
    }
    void RegisterStatusNotifierHost(const QString&) { emit StatusNotifierHostRegistered(); }

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

/// The item answers on this thread, so calls to it must not block it.
QDBusMessage callAndWait(QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCall pending = bus.asyncCall(call);
    runUntil([&] { return pending.isFinished(); }, 10000);
    return pending.reply();
}

/// The labels of a dbusmenu layout, depth first.
void collectLabels(const QDBusArgument& node, QStringList& labels) {
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    labels.append(properties.value(QStringLiteral("label")).toString());
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        collectLabels(child.variant().value<QDBusArgument>(), labels);
    }
    node.endArray();
    node.endStructure();
}

// Qt shows the tray icon as a StatusNotifierItem once a watcher with a host
// is on the session bus; the host then draws the menu from the item's
// exported dbusmenu.
TEST(StatusNotifierTest, TrayIconRegistersWithTheWatcherAndExportsItsMenu) {
    // The offscreen platform has no D-Bus tray; ctest runs this test once
    // more under xvfb-run with the xcb platform.
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        GTEST_SKIP() << "needs the xcb platform";
    }
    PrivateSessionBus bus;
    if (bus.address().isEmpty()) {
        GTEST_SKIP() << "needs dbus-daemon";
    }
    // Qt looks for the watcher on the session bus when the first tray icon
    // is made.
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    QThread watcherThread;
    FakeWatcher watcher;
    QDBusConnection watcherBus =
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("watcher"));
    ASSERT_TRUE(watcherBus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    ASSERT_TRUE(watcherBus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                          QDBusConnection::ExportAllSlots |
                                              QDBusConnection::ExportAllSignals |
                                              QDBusConnection::ExportAllProperties));
    // Registered first: the bus adds helpers to the object, which must move
    // with it.
    watcher.moveToThread(&watcherThread);
    watcherThread.start();
    // Back to this thread before the end, on every path: the bus relays the
    // object's signals, its destruction's too, only from the object's thread.
    const auto stopWatcher = qScopeGuard([&] {
        QMetaObject::invokeMethod(
            &watcher, [&] { watcher.moveToThread(QCoreApplication::instance()->thread()); },
            Qt::BlockingQueuedConnection);
        watcherThread.quit();
        watcherThread.wait();
    });

    testing::TrayTestBed bed;
    TrayMenu menu(bed.connection, bed.store);
    TrayIcon icon(bed.connection, menu);
    icon.show();
    ASSERT_TRUE(runUntil([&] { return !watcher.items().isEmpty(); }, 10000));
    const QString item = watcher.items().first();
    // Qt registers its connection's unique name.
    ASSERT_FALSE(item.isEmpty());

    QDBusMessage get = QDBusMessage::createMethodCall(
        item, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Menu");
    const QDBusMessage menuReply = callAndWait(watcherBus, get);
    ASSERT_EQ(menuReply.type(), QDBusMessage::ReplyMessage)
        << menuReply.errorMessage().toStdString();
    const QString menuPath =
        menuReply.arguments().at(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());

    QDBusMessage getLayout = QDBusMessage::createMethodCall(
        item, menuPath, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("GetLayout"));
    getLayout << 0 << -1 << QStringList();
    const QDBusMessage layout = callAndWait(watcherBus, getLayout);
    ASSERT_EQ(layout.type(), QDBusMessage::ReplyMessage) << layout.errorMessage().toStdString();
    ASSERT_EQ(layout.arguments().size(), 2);
    QStringList labels;
    collectLabels(layout.arguments().at(1).value<QDBusArgument>(), labels);
    for (const char* label : {"Disconnected", "Configuration…", "About Torvane", "Quit Torvane"}) {
        EXPECT_TRUE(labels.contains(QString::fromUtf8(label)))
            << label << " not in " << labels.join(QStringLiteral(" | ")).toStdString();
    }

    QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
}

} // namespace
} // namespace torvane

#include "StatusNotifierTest.moc"
