// The app's core on the real daemon client, against a daemon on a real
// socket that goes away under it and comes back.

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/ui/TrayIcon.h"
#include "Torvane/ui/TrayMenu.h"
#include "shared/managed/ManagedProfileJson.h"
#include "tests/fakes/core/HelperTestBed.h"
#include "tests/fakes/core/TrayTestBed.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using protocol::HelperCall;
using testing::runUntil;
using testing::settle;

/// The state line, and the profile row as "(off) " when disabled plus its text.
std::pair<QString, QString> stateAndRow(QMenu& menu, int rowIndex = 2) {
    const auto actions = menu.actions();
    QAction* row = actions.at(rowIndex);
    return {actions.at(0)->text(), (row->isEnabled() ? "" : "(off) ") + row->text()};
}

bool hasItem(QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return true;
        }
    }
    return false;
}

TEST(HelperReconnectTest, ALostDaemonIsShownUnreachableAndReachedAgainWithoutTheUser) {
    testing::HelperTestBed helperBed;
    testing::TrayTestBed app; // its store; its fake client stays unused
    const VPNProfile office = app.add("Office");
    VPNRuntimeStatus before;
    before.tunnels.push_back(testing::tunnelOf(office, VPNConnState::connected));
    helperBed.daemon.setStatusData(encodeRuntimeStatus(before));
    helperBed.daemon.listen();

    ConnectionManager connection(helperBed.helper(), app.store);
    TrayMenu menu(connection, app.store);
    TrayIcon icon(connection, menu);
    const auto tooltip = [&] {
        return icon.systemTrayIcon().toolTip();
    };

    // Start-up, as the app does it once the daemon answered.
    helperBed.helper().subscribe({});
    connection.refreshStatus();
    ASSERT_TRUE(helperBed.daemon.waitForCount(HelperCall::subscribe, 1));
    ASSERT_TRUE(runUntil([&] { return connection.status() == before; }));
    settle();
    EXPECT_EQ(stateAndRow(*menu.menu()),
              std::make_pair(QStringLiteral("Connected: Office"), QStringLiteral("✓ Office")));
    EXPECT_EQ(tooltip(), QStringLiteral("Torvane — Connected: Office"));

    EXPECT_TRUE(helperBed.daemon.waitForCount(HelperCall::managedProfiles, 1));
    // The daemon goes away (crash, upgrade, restart): no stale "Connected".
    helperBed.daemon.stopListening();
    ASSERT_TRUE(runUntil([&] { return !connection.helperReachable(); }));
    settle();
    const QString unreachable = QString::fromUtf8(ConnectionManager::kHelperUnreachableText);
    EXPECT_EQ(stateAndRow(*menu.menu()),
              std::make_pair(unreachable, QStringLiteral("(off) Office")));
    EXPECT_FALSE(hasItem(*menu.menu(), QStringLiteral("Disconnect All")));
    EXPECT_FALSE(connection.hasActiveTunnel());
    EXPECT_EQ(tooltip(), QStringLiteral("Torvane — ") + unreachable);

    // Attempts fail while nothing listens (each one starts a probe's time
    // limit), and the daemon comes back with another status.
    ASSERT_TRUE(runUntil([&] { return helperBed.clock->startedTimers().size() >= 1; }, 10'000));
    EXPECT_FALSE(connection.helperReachable());
    VPNRuntimeStatus after = before;
    after.tunnels[0].assignedVIP = "10.99.0.7";
    helperBed.daemon.setStatusData(encodeRuntimeStatus(after));
    // Restarted, it has read an administrator's profile.
    ManagedProfile managed;
    managed.profile = testing::profileNamed("Head office");
    helperBed.daemon.setManagedData(encodeManagedProfiles({managed}));
    helperBed.daemon.listen();

    ASSERT_TRUE(runUntil([&] { return connection.helperReachable(); }, 30'000));
    ASSERT_TRUE(runUntil([&] { return connection.managedProfiles().size() == 1; }));
    settle();
    EXPECT_EQ(connection.status(), after);
    EXPECT_EQ(helperBed.daemon.count(HelperCall::managedProfiles), 2);
    EXPECT_EQ(stateAndRow(*menu.menu(), 3),
              std::make_pair(QStringLiteral("Connected: Office (10.99.0.7)"),
                             QStringLiteral("Head office")));
    EXPECT_EQ(stateAndRow(*menu.menu(), 5),
              std::make_pair(QStringLiteral("Connected: Office (10.99.0.7)"),
                             QStringLiteral("✓ Office")));
    EXPECT_EQ(tooltip(), QStringLiteral("Torvane — Connected: Office (10.99.0.7)"));
    EXPECT_EQ(helperBed.daemon.count(HelperCall::subscribe), 2);
    EXPECT_EQ(helperBed.daemon.count(HelperCall::status), 2);
    // Only the socket: nothing registered, so nobody was asked to authorize.
    EXPECT_THAT(helperBed.registry->calls(), ::testing::IsEmpty());
    EXPECT_THAT(helperBed.logContaining("Torvane: Helper: reconnected"), ::testing::SizeIs(1));

    // Stopping the daemon on purpose is not a loss.
    connection.quitAndStopHelper();
    ASSERT_TRUE(helperBed.daemon.waitForCount(HelperCall::terminate, 1));
    ASSERT_TRUE(runUntil([&] { return connection.status() == VPNRuntimeStatus{}; }));
    settle();
    EXPECT_TRUE(connection.helperReachable());
}

} // namespace
} // namespace torvane
