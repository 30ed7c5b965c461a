#include "Torvane/ui/DesktopNotifier.h"

#include "Torvane/ui/ConfigWindow.h"
#include "Torvane/ui/ConfigWindowModel.h"
#include "tests/fakes/core/TrayTestBed.h"
#include "tests/ui/PrivateSessionBus.h"

#include <vector>

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using testing::PrivateSessionBus;
using testing::runUntil;
using testing::settle;
using testing::tunnelOf;

/// The desktop's notification service: records every Notify and answers
/// with a fresh id.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString appName;
        uint replacesID;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
    };
    std::vector<Call> calls;

public slots:
    uint Notify(const QString& appName, uint replacesID, const QString& icon,
                const QString& summary, const QString& body, const QStringList&,
                const QVariantMap& hints, int) {
        calls.push_back({appName, replacesID, icon, summary, body, hints});
        return 100 + static_cast<uint>(calls.size());
    }
};

// The life of one tunnel beside one that was up before the app started:
// one notification per state change, each replacing the tunnel's last one,
// and nothing while the user has turned notifications off.
TEST(DesktopNotifierTest, OneNotificationPerTunnelStateChange) {
    PrivateSessionBus bus;
    if (bus.address().isEmpty()) {
        GTEST_SKIP() << "needs dbus-daemon";
    }
    FakeNotifications service;
    QDBusConnection serviceBus =
        QDBusConnection::connectToBus(bus.address(), QStringLiteral("notifications"));
    ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                          &service, QDBusConnection::ExportAllSlots));
    QDBusConnection appBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("app"));

    testing::TrayTestBed bed;
    const VPNProfile office = bed.add("Office");
    const VPNProfile lab = bed.add("Lab");
    DesktopNotifier notifier(bed.connection, bed.store.settings(), appBus);
    VPNRuntimeStatus status;
    status.tunnels = {tunnelOf(office, VPNConnState::connected),
                      tunnelOf(lab, VPNConnState::connecting)};
    // Office was up before the app started: the start-up fetch is quiet.
    bed.connection.setStatus(status);
    notifier.start();

    // Waits for the next call and for its reply to reach the notifier (a
    // round trip on the app's connection queues it behind the reply).
    const auto change = [&](VPNConnState state, const char* message = nullptr) {
        status.tunnels[1].state = state;
        status.tunnels[1].message = message ? std::optional<std::string>(message) : std::nullopt;
        bed.connection.setStatus(status);
    };
    const auto next = [&]() -> const FakeNotifications::Call& {
        const std::size_t seen = service.calls.size();
        EXPECT_TRUE(runUntil([&] { return service.calls.size() > seen; }));
        appBus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"));
        settle();
        return service.calls.back();
    };

    status.tunnels[1].assignedVIP = "10.99.0.2";
    change(VPNConnState::connected);
    const auto connected = next();
    EXPECT_EQ(connected.appName, QStringLiteral("Torvane"));
    EXPECT_EQ(connected.icon, QStringLiteral("torvane"));
    EXPECT_EQ(connected.summary, QStringLiteral("Connected: Lab"));
    EXPECT_EQ(connected.body, QStringLiteral("Virtual address 10.99.0.2"));
    EXPECT_EQ(connected.replacesID, 0U);

    // A new message in the same state is no state change.
    change(VPNConnState::connected, "Rekeyed");
    change(VPNConnState::reconnecting, "Peer not answering");
    const auto reconnecting = next();
    EXPECT_EQ(service.calls.size(), 2U);
    EXPECT_EQ(reconnecting.summary, QStringLiteral("Reconnecting: Lab"));
    EXPECT_EQ(reconnecting.replacesID, 101U);

    change(VPNConnState::error, "Authentication failed");
    const auto failed = next();
    EXPECT_EQ(failed.summary, QStringLiteral("Connection failed: Lab"));
    EXPECT_EQ(failed.body, QStringLiteral("Authentication failed"));
    EXPECT_EQ(failed.replacesID, 102U);
    EXPECT_EQ(failed.hints.value(QStringLiteral("urgency")).toInt(), 2);

    status.killSwitchHolding = true;
    bed.connection.setStatus(status);
    const auto holding = next();
    EXPECT_EQ(holding.summary, QString::fromUtf8(ConnectionManager::kKillSwitchHoldingText));
    EXPECT_EQ(holding.replacesID, 0U);

    // Off in the configuration window: no calls. On again: only what changes
    // from then on.
    ConfigWindowModel windowModel;
    TrafficHistory traffic(bed.connection);
    ConfigWindow window(bed.connection, bed.store, windowModel, traffic);
    ASSERT_TRUE(window.notificationsBox()->isChecked());
    window.notificationsBox()->click();
    EXPECT_FALSE(DesktopNotifier::isEnabled(bed.store.settings()));
    change(VPNConnState::connecting);
    change(VPNConnState::connected);
    window.notificationsBox()->click();
    change(VPNConnState::reconnecting);
    EXPECT_EQ(next().summary, QStringLiteral("Reconnecting: Lab"));
    EXPECT_EQ(service.calls.size(), 5U);

    QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("app"));
}

} // namespace
} // namespace torvane

#include "DesktopNotifierTest.moc"
