#include "Torvane/ui/AppDelegate.h"
#include "Torvane/ui/ConfigWindow.h"
#include "Torvane/ui/PassphraseDialog.h"
#include "Torvane/ui/PasswordPromptDialog.h"
#include "Torvane/ui/ProfileEditorView.h"
#include "Torvane/ui/TrayMenu.h"
#include "tests/fakes/core/TrayTestBed.h"

#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using testing::runUntil;
using testing::settle;

class TrayAppLifecycleTest : public ::testing::Test {
protected:
    testing::TrayTestBed bed;
    testing::FakeHelperClient& helper = bed.helper;
    ConnectionManager& connection = bed.connection;
    ConfigWindowModel windowModel;
    std::vector<int> exits;
    int alerts = 0;
    int loginItemsShown = 0;
    bool chooseLoginItems = false;

    std::unique_ptr<AppDelegate> makeDelegate(bool trayAvailable) {
        auto delegate = std::make_unique<AppDelegate>(helper, connection, bed.store, windowModel,
                                                      trayAvailable);
        AppDelegate::Hooks hooks;
        hooks.helperFailureAlert = [this] {
            ++alerts;
            return chooseLoginItems;
        };
        hooks.openLoginItems = [this] {
            ++loginItemsShown;
        };
        hooks.terminate = [this](int code) {
            exits.push_back(code);
        };
        delegate->setHooks(hooks);
        return delegate;
    }
};

TEST_F(TrayAppLifecycleTest, StartUpSubscribesFetchesTheStatusAndConnectsMarkedProfiles) {
    VPNProfile marked = testing::profileNamed("Office");
    marked.connectOnLaunch = true;
    bed.store.add(marked);
    bed.store.add(testing::profileNamed("Lab"));
    VPNTunnelStatus other =
        testing::tunnelOf(testing::profileNamed("Elsewhere"), VPNConnState::connected);
    bed.helper.fetchedStatus.tunnels.push_back(other);

    auto delegate = makeDelegate(true);
    QSignalSpy finished(delegate.get(), &AppDelegate::startupFinished);
    delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(runUntil([&] { return finished.size() == 1; }));
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_EQ(helper.subscriptions(), 1);
    EXPECT_EQ(connection.status(), bed.helper.fetchedStatus);
    ASSERT_EQ(bed.helper.started().size(), 1u);
    EXPECT_EQ(bed.helper.started()[0].profile.id, marked.id);
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(delegate->configWindow(), nullptr);
}

TEST_F(TrayAppLifecycleTest, AnUnreachableDaemonEndsInTheAlertAndTermination) {
    helper.reachable = false;
    auto delegate = makeDelegate(true);
    delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(alerts, 1);
    EXPECT_EQ(loginItemsShown, 0);
    EXPECT_EQ(helper.subscriptions(), 0);
    EXPECT_NE(exits[0], 0);

    // "Show How to Enable" shows the way and still terminates.
    chooseLoginItems = true;
    exits.clear();
    delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }));
    EXPECT_EQ(loginItemsShown, 1);
}

TEST_F(TrayAppLifecycleTest, QuitIsImmediateWithoutTunnelsAndWaitsForTheStopOtherwise) {
    {
        auto delegate = makeDelegate(true);
        delegate->requestQuit();
        EXPECT_EQ(exits, std::vector<int>{0});
    }
    exits.clear();
    const auto office = bed.add("Office");
    VPNRuntimeStatus status;
    status.tunnels.push_back(testing::tunnelOf(office, VPNConnState::connected));
    connection.setStatus(status);

    auto delegate = makeDelegate(true);
    bed.helper.answerStopAll = false;
    delegate->requestQuit();
    delegate->requestQuit(); // a second Ctrl+Q while waiting changes nothing
    settle();
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(delegate->quitting());
}

TEST_F(TrayAppLifecycleTest, QuitWithATunnelEndsOnceTheDaemonHasStoppedIt) {
    const auto office = bed.add("Office");
    VPNRuntimeStatus status;
    status.tunnels.push_back(testing::tunnelOf(office, VPNConnState::connected));
    connection.setStatus(status);
    auto delegate = makeDelegate(true);
    delegate->requestQuit();
    ASSERT_TRUE(runUntil([&] { return !exits.empty(); }, 3000));
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(connection.logLines().back(), QStringLiteral("Disconnected"));
}

TEST_F(TrayAppLifecycleTest, WithoutATrayHostTheWindowOpensAtStartWithTheMenu) {
    auto delegate = makeDelegate(false);
    ConfigWindow* window = delegate->configWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    const auto menus = window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->menu(), delegate->trayMenu().menu());

    // Closing the only window is quitting.
    window->close();
    EXPECT_EQ(exits, std::vector<int>{0});
}

TEST_F(TrayAppLifecycleTest, QuitFromTheMenuAsksAboutUnsavedEditsFirst) {
    bed.add("Office");
    auto delegate = makeDelegate(true);
    delegate->openConfig(ConfigTab::connections);
    ConfigWindow* window = delegate->configWindow();
    window->select(bed.store.profiles()[0].id);
    auto answer = ConfigWindow::UnsavedAnswer::cancel;
    window->setAskUnsaved([&](const VPNProfile&) { return answer; });
    QTest::keyClicks(window->editor()->findChild<QLineEdit*>(QStringLiteral("nameLineEdit")),
                     QStringLiteral(" 2"));

    emit delegate->trayMenu().quitRequested();
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(window->isVisible());

    answer = ConfigWindow::UnsavedAnswer::save;
    emit delegate->trayMenu().quitRequested();
    EXPECT_EQ(exits, std::vector<int>{0});
    EXPECT_EQ(bed.store.profiles()[0].name, "Office 2");
}

TEST(PromptDialogTest, ThePasswordPromptAndTheImportPassphraseSayWhatTheyNeed) {
    PasswordPromptDialog prompt(testing::profileNamed("Branch <b>office</b>"),
                                QStringLiteral("Pre-shared Key"));
    EXPECT_EQ(prompt.secretLineEdit()->placeholderText(), QStringLiteral("Pre-shared Key"));
    EXPECT_EQ(prompt.secretLineEdit()->echoMode(), QLineEdit::Password);
    prompt.show();
    EXPECT_TRUE(runUntil([&] { return prompt.secretLineEdit()->hasFocus(); }, 1000));

    PassphraseDialog passphrase(QStringLiteral("Branch"));
    EXPECT_FALSE(passphrase.importButton()->isEnabled());
    passphrase.passphraseLineEdit()->setText(QStringLiteral("x"));
    EXPECT_TRUE(passphrase.importButton()->isEnabled());
    passphrase.passphraseLineEdit()->clear();
    EXPECT_FALSE(passphrase.importButton()->isEnabled());
}

} // namespace
} // namespace torvane
