#include "Torvane/ui/TrayMenu.h"

#include "Torvane/ui/AboutPanel.h"
#include "Torvane/ui/StatusIcons.h"
#include "tests/fakes/core/TrayTestBed.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using testing::runUntil;
using testing::settle;

/// The menu as a user reads it: one entry per item, "-" for a separator,
/// a leading "(off) " for a disabled item.
std::vector<std::string> readMenu(QMenu& menu) {
    std::vector<std::string> items;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            items.push_back("-");
            continue;
        }
        // "&&" is how a menu shows a literal "&".
        const QString text = action->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
        items.push_back((action->isEnabled() ? "" : "(off) ") + text.toStdString());
    }
    return items;
}

QAction* item(QMenu& menu, QString text) {
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    for (QAction* action : menu.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

class TrayMenuTest : public ::testing::Test {
protected:
    testing::TrayTestBed bed;
    TrayMenu menu{bed.connection, bed.store};
};

TEST_F(TrayMenuTest, WithoutProfilesOffersToAddOneOnTheConnectionsTab) {
    EXPECT_THAT(readMenu(*menu.menu()),
                ElementsAre("(off) Disconnected", "-", "(off) No profiles configured",
                            "Add a Profile…", "Forcibly Stop & Kill All Torvane VPNs", "-",
                            "Configuration…", "Show Log…", "About Torvane", "-", "Quit Torvane",
                            "Quit Torvane & Stop Helper"));
    QSignalSpy opened(&menu, &TrayMenu::openConfigRequested);
    item(*menu.menu(), QStringLiteral("Add a Profile…"))->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.at(0).at(0).value<ConfigTab>(), ConfigTab::connections);

    item(*menu.menu(), QStringLiteral("Show Log…"))->trigger();
    EXPECT_EQ(opened.at(1).at(0).value<ConfigTab>(), ConfigTab::log);
}

TEST_F(TrayMenuTest, ProfileRowsCarryTheirTunnelStateAndDisconnectAllAppearsWithATunnel) {
    const auto office = bed.add("Office");
    const auto lab = bed.add("Lab");
    const auto home = bed.add("Home");
    const auto spare = bed.add("Spare");
    const auto gone = bed.add("Gone");
    bed.setStates({{office, VPNConnState::connected},
                   {lab, VPNConnState::reconnecting},
                   {home, VPNConnState::error},
                   {gone, VPNConnState::disconnected}});
    settle();
    EXPECT_THAT(readMenu(*menu.menu()),
                ElementsAre("(off) Error", "-", "✓ Office", "… Lab", "⚠ Home", "Spare", "Gone", "-",
                            "Disconnect All", "Forcibly Stop & Kill All Torvane VPNs", "-",
                            "Configuration…", "Show Log…", "About Torvane", "-", "Quit Torvane",
                            "Quit Torvane & Stop Helper"));
    EXPECT_EQ(StatusIcons::rowPrefix(VPNConnState::connecting), QStringLiteral("… "));

    bed.setStates({{gone, VPNConnState::disconnected}});
    bed.store.update([&] {
        VPNProfile renamed = gone;
        renamed.name = "R&D";
        return renamed;
    }());
    settle();
    EXPECT_EQ(item(*menu.menu(), QStringLiteral("Disconnect All")), nullptr);
    EXPECT_EQ(readMenu(*menu.menu())[0], "(off) Disconnected");
    EXPECT_NE(item(*menu.menu(), QStringLiteral("R&D")), nullptr);
}

TEST_F(TrayMenuTest, WhileACommandIsInFlightRowsAndDisconnectAllAreDisabledButForceKillIsNot) {
    const auto office = bed.add("Office");
    bed.setStates({{office, VPNConnState::connected}});
    bed.makeBusy();
    settle();
    EXPECT_THAT(readMenu(*menu.menu()),
                ElementsAre("(off) Connected: Office", "-", "(off) ✓ Office", "-",
                            "(off) Disconnect All", "Forcibly Stop & Kill All Torvane VPNs", "-",
                            "Configuration…", "Show Log…", "About Torvane", "-", "Quit Torvane",
                            "Quit Torvane & Stop Helper"));

    int asked = 0;
    menu.setConfirmForceKill([&] {
        ++asked;
        return asked > 1; // cancel first, confirm then
    });
    item(*menu.menu(), QStringLiteral("Forcibly Stop & Kill All Torvane VPNs"))->trigger();
    settle();
    EXPECT_FALSE(runUntil([&] { return bed.connection.logLines().size() > 0; }, 200));
    item(*menu.menu(), QStringLiteral("Forcibly Stop & Kill All Torvane VPNs"))->trigger();
    ASSERT_TRUE(runUntil([&] {
        return bed.connection.logLines().contains(
            QString::fromStdString(bed.helper.forceKillResult.message));
    }));
    EXPECT_EQ(asked, 2);
}

TEST_F(TrayMenuTest, ClickingARowInErrorConnectsAgainAndAConnectedRowDisconnects) {
    const auto broken = bed.add("Broken", VPNAuthMethod::xauth);
    const auto office = bed.add("Office");
    bed.setStates({{broken, VPNConnState::error}, {office, VPNConnState::connected}});
    std::vector<QString> asked;
    bed.connection.setPasswordPrompt([&](const VPNProfile&, const QString& label) {
        asked.push_back(label);
        return std::optional<std::string>("typed");
    });
    settle();

    item(*menu.menu(), QStringLiteral("⚠ Broken"))->trigger();
    ASSERT_TRUE(
        runUntil([&] { return bed.helper.started().size() == 1 && !bed.connection.busy(); }));
    ASSERT_EQ(bed.helper.started().size(), 1u);
    EXPECT_EQ(bed.helper.started()[0].profile.id, broken.id);
    EXPECT_EQ(bed.helper.started()[0].secrets.xauthPassword, "typed");
    EXPECT_THAT(asked, ElementsAre(QStringLiteral("XAuth Password")));
    EXPECT_TRUE(bed.helper.stopped().empty());

    settle();
    item(*menu.menu(), QStringLiteral("✓ Office"))->trigger();
    ASSERT_TRUE(runUntil([&] { return bed.helper.stopped().size() == 1; }));
    EXPECT_EQ(bed.helper.stopped()[0], office.id.upperText());
    EXPECT_EQ(bed.helper.started().size(), 1u);
}

TEST_F(TrayMenuTest, AHeldKillSwitchIsShownWithDisconnectAllAsTheWayOut) {
    bed.add("Office");
    VPNRuntimeStatus holding;
    holding.killSwitchHolding = true;
    bed.connection.setStatus(holding);
    settle();
    EXPECT_THAT(readMenu(*menu.menu()),
                ElementsAre("(off) Disconnected",
                            "(off) Kill switch holding: traffic blocked — Disconnect All lifts it",
                            "-", "Office", "-", "Disconnect All",
                            "Forcibly Stop & Kill All Torvane VPNs", "-", "Configuration…",
                            "Show Log…", "About Torvane", "-", "Quit Torvane",
                            "Quit Torvane & Stop Helper"));
    item(*menu.menu(), QStringLiteral("Disconnect All"))->trigger();
    EXPECT_TRUE(runUntil([&] {
        return bed.connection.logLines().contains(QStringLiteral("Disconnected"));
    })) << "Disconnect All sends stop-all";
}

TEST(TrayIconTest, TheLockFollowsTheAggregateState) {
    using StatusIcons::trayIconPath;
    EXPECT_EQ(trayIconPath(VPNConnState::disconnected), trayIconPath(VPNConnState::error));
    EXPECT_EQ(trayIconPath(VPNConnState::connecting), trayIconPath(VPNConnState::reconnecting));
    EXPECT_NE(trayIconPath(VPNConnState::connected), trayIconPath(VPNConnState::disconnected));
    EXPECT_NE(trayIconPath(VPNConnState::connected), trayIconPath(VPNConnState::connecting));
    // Held: blocked, whatever a tunnel beside it does.
    EXPECT_EQ(trayIconPath(VPNConnState::connected, true),
              trayIconPath(VPNConnState::disconnected, true));
    EXPECT_NE(trayIconPath(VPNConnState::disconnected, true),
              trayIconPath(VPNConnState::disconnected));
    EXPECT_FALSE(StatusIcons::trayIcon(VPNConnState::disconnected, true).pixmap(22, 22).isNull());
    for (auto state :
         {VPNConnState::disconnected, VPNConnState::connecting, VPNConnState::connected}) {
        // A missing resource gives a null pixmap, not an error.
        EXPECT_FALSE(StatusIcons::trayIcon(state).pixmap(22, 22).isNull());
    }
}

TEST(AboutPanelTest, ShowsTheVersionAndLinksToTheInstalledDocumentation) {
    AboutPanel panel;
    auto* version = panel.findChild<QLabel*>(QStringLiteral("versionLabel"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version [0-9]+\\.[0-9]+\\.[0-9]+$"))
                    .match(version->text())
                    .hasMatch())
        << version->text().toStdString();

    const QString credits = AboutPanel::credits();
    EXPECT_TRUE(credits.contains(QStringLiteral(
        "<a "
        "href=\"file:///usr/share/doc/torvane/README.md\">/usr/share/doc/torvane/README.md</a>")))
        << credits.toStdString();
    EXPECT_FALSE(credits.contains(QStringLiteral(".invalid")));
    auto* licence = panel.findChild<QLabel*>(QStringLiteral("licenceLabel"));
    ASSERT_NE(licence, nullptr);
    EXPECT_TRUE(licence->text().contains(
        QStringLiteral("href=\"file:///usr/share/doc/torvane/copyright\"")));

    // The application's own icon, present in the resources and not the
    // tray's connection state.
    EXPECT_FALSE(StatusIcons::named("torvane").pixmap(64, 64).isNull());
    EXPECT_NE(panel.windowIcon().pixmap(64, 64).toImage(),
              StatusIcons::trayIcon(VPNConnState::connected).pixmap(64, 64).toImage());
}

} // namespace
} // namespace torvane
