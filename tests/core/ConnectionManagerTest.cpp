#include "Torvane/core/ConnectionManager.h"

#include "tests/fakes/core/TrayTestBed.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using testing::profileNamed;
using testing::runUntil;

VPNTunnelStatus tunnel(const VPNProfile& profile, VPNConnState state,
                       std::optional<std::string> vip = std::nullopt) {
    VPNTunnelStatus status = testing::tunnelOf(profile, state);
    status.assignedVIP = std::move(vip);
    return status;
}

/// The core tests have no widget main: the first one makes the application.
struct Application {
    Application() {
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "core";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv); // lives for the whole test run
        }
    }
};

class ConnectionManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        bed.connection.setPasswordPrompt([this](const VPNProfile&, const QString& label) {
            prompts.push_back(label);
            return answer;
        });
    }

    bool idle() {
        return runUntil([this] { return !bed.connection.busy(); });
    }

    Application application;
    testing::TrayTestBed bed;
    testing::FakeHelperClient& helper = bed.helper;
    ProfileStore* store = &bed.store;
    ConnectionManager* manager = &bed.connection;
    QStringList prompts;
    std::optional<std::string> answer;
};

TEST_F(ConnectionManagerTest, SecondConnectWhileBusyIsDroppedAndPriorityIsStorePosition) {
    store->add(profileNamed("First", VPNAuthMethod::psk));
    const VPNProfile second = store->add(profileNamed("Second", VPNAuthMethod::psk));

    std::optional<HelperResult> reply;
    EXPECT_TRUE(manager->connect(second, {"psk", ""}, [&](HelperResult r) { reply = r; }));
    EXPECT_TRUE(manager->busy());
    EXPECT_FALSE(manager->connect(second, {"psk", ""}));
    ASSERT_TRUE(runUntil([&] { return reply.has_value(); }));
    EXPECT_FALSE(manager->busy());

    const auto started = helper.started();
    ASSERT_EQ(started.size(), 1U);
    EXPECT_EQ(started[0].profile.priority, 1);
    EXPECT_EQ(started[0].secrets.xauthPassword, "psk");
    EXPECT_TRUE(manager->logLines().isEmpty()) << "success is reported by the daemon's own lines";

    helper.startResult = {1, "Tunnel did not establish"};
    VPNProfile unknown = profileNamed("Not stored", VPNAuthMethod::psk);
    unknown.priority = 7;
    manager->connect(unknown, {"psk", ""});
    ASSERT_TRUE(idle());
    EXPECT_EQ(helper.started().back().profile.priority, 0);
    EXPECT_EQ(manager->logLines(), QStringList{"Connect failed: Tunnel did not establish"});
}

TEST_F(ConnectionManagerTest, OnlyPasswordAndKeyMethodsPromptAndOnlyWhenNothingIsStored) {
    for (const auto method : {VPNAuthMethod::certificate, VPNAuthMethod::eapTLS}) {
        const VPNProfile profile = store->add(profileNamed("cert", method));
        store->saveSecrets({"", "KEY"}, profile.id);
        const auto resolved = manager->resolveSecrets(profile);
        ASSERT_TRUE(resolved.has_value());
        EXPECT_EQ(*resolved, (VPNSecrets{"", "KEY"}));
    }
    EXPECT_TRUE(prompts.isEmpty());

    const VPNProfile xauth = store->add(profileNamed("xauth", VPNAuthMethod::xauth));
    store->saveSecrets({"", "RSA KEY"}, xauth.id);
    EXPECT_FALSE(manager->resolveSecrets(xauth).has_value()) << "cancel";
    answer = "";
    EXPECT_FALSE(manager->resolveSecrets(xauth).has_value()) << "empty field";
    answer = "typed";
    EXPECT_EQ(manager->resolveSecrets(xauth), (VPNSecrets{"typed", "RSA KEY"}));
    EXPECT_EQ(store->secrets(xauth.id).xauthPassword, "") << "typed passwords are not stored";
    EXPECT_EQ(prompts, QStringList(3, "XAuth Password"));

    const VPNProfile psk = store->add(profileNamed("psk", VPNAuthMethod::pskMutual));
    manager->resolveSecrets(psk);
    EXPECT_EQ(prompts.last(), "Pre-shared Key");
    const VPNProfile eap = store->add(profileNamed("eap", VPNAuthMethod::eapMSCHAPv2));
    store->saveSecrets({"stored", ""}, eap.id);
    EXPECT_EQ(manager->resolveSecrets(eap)->xauthPassword, "stored");
    EXPECT_EQ(prompts.size(), 4);
}

TEST_F(ConnectionManagerTest, PushedStatusAndLinesReachTheManagerAndDriveTheStateText) {
    const VPNProfile a = profileNamed("Office", VPNAuthMethod::psk);
    const VPNProfile b = profileNamed("Lab", VPNAuthMethod::psk);
    const VPNProfile c = profileNamed("Home", VPNAuthMethod::psk);
    int changes = 0;
    QObject::connect(manager, &ConnectionManager::statusChanged, [&] { ++changes; });
    EXPECT_EQ(manager->stateText(), "Disconnected");

    VPNRuntimeStatus one{{tunnel(a, VPNConnState::connected, "10.99.0.1")}};
    helper.pushStatus(one);
    helper.pushStatus(one);
    helper.pushLog("charon started");
    ASSERT_TRUE(runUntil([&] { return manager->logLines().size() == 1; }));
    EXPECT_EQ(changes, 1) << "an equal snapshot does not notify";
    EXPECT_EQ(manager->stateText(), "Connected: Office (10.99.0.1)");
    EXPECT_TRUE(manager->hasActiveTunnel());

    manager->setStatus({{tunnel(a, VPNConnState::connected)}});
    EXPECT_EQ(manager->stateText(), "Connected: Office");
    manager->setStatus({{tunnel(a, VPNConnState::connected), tunnel(b, VPNConnState::connected),
                         tunnel(c, VPNConnState::connected)}});
    EXPECT_EQ(manager->stateText(), "Connected: 3 tunnels");
    manager->setStatus({{tunnel(a, VPNConnState::connected), tunnel(b, VPNConnState::connecting)}});
    EXPECT_EQ(manager->stateText(), "Connecting…");
    VPNTunnelStatus failed = tunnel(b, VPNConnState::error);
    failed.message = "Tunnel did not establish";
    manager->setStatus({{tunnel(a, VPNConnState::connected), failed}});
    EXPECT_EQ(manager->stateText(), "Tunnel did not establish");
    manager->setStatus({{tunnel(a, VPNConnState::disconnected)}});
    EXPECT_FALSE(manager->hasActiveTunnel());
}

TEST_F(ConnectionManagerTest, AutoConnectSkipsRunningTunnelsAndDeclinedPasswords) {
    auto marked = [](const std::string& name, VPNAuthMethod method) {
        VPNProfile profile = profileNamed(name, method);
        profile.connectOnLaunch = true;
        return profile;
    };
    const VPNProfile running = store->add(marked("Running", VPNAuthMethod::psk));
    store->add(profileNamed("Manual", VPNAuthMethod::certificate));
    store->add(marked("No password", VPNAuthMethod::xauth));
    const VPNProfile cert = store->add(marked("Cert", VPNAuthMethod::certificate));
    manager->setStatus({{tunnel(running, VPNConnState::connected)}});

    bool finished = false;
    manager->autoConnectOnLaunch([&] { finished = true; });
    ASSERT_TRUE(runUntil([&] { return finished; }));

    const auto started = helper.started();
    ASSERT_EQ(started.size(), 1U);
    EXPECT_EQ(started[0].profile.id, cert.id);
    EXPECT_EQ(started[0].profile.priority, 3);
    EXPECT_EQ(manager->logLines(),
              (QStringList{"Auto-connect skipped for 'No password' (no password provided)",
                           "Auto-connected 'Cert'"}));
    EXPECT_FALSE(manager->busy());
}

TEST_F(ConnectionManagerTest, DisconnectForQuitGivesUpAfterTheTimeLimit) {
    helper.answerStopAll = false;
    bool finished = false;
    QElapsedTimer timer;
    timer.start();
    manager->disconnectForQuit(0.2, [&] { finished = true; });
    ASSERT_TRUE(runUntil([&] { return finished; }, 3000));
    EXPECT_GE(timer.elapsed(), 190);
}

TEST_F(ConnectionManagerTest, AnswersArrivingAfterTheManagerIsGoneAreDropped) {
    const VPNProfile a = store->add(profileNamed("A", VPNAuthMethod::psk));
    auto gone = std::make_unique<ConnectionManager>(helper, *store);
    gone->connect(a, {"psk", ""}, [](HelperResult) { ADD_FAILURE() << "ran after deletion"; });
    helper.pushLog("late line");
    gone.reset();
    QCoreApplication::processEvents();
    runUntil([] { return false; }, 100);
}

} // namespace
} // namespace torvane
