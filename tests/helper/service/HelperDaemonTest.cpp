// The command service end to end: a real HelperDaemon on a Unix socket in a
// temporary folder, real clients, and a fake engine with its own queue.
#include "helper/service/HelperDaemon.h"

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"
#include "tests/fakes/service/FakeTunnelEngine.h"
#include "tests/helper/platform/linux/TestSupport.h"
#include "tests/helper/service/TestClient.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace torvane::test {
namespace {

using protocol::HelperCall;
using protocol::Reply;

protocol::Request call(HelperCall c) {
    protocol::Request request;
    request.call = c;
    return request;
}

Reply commandReply(std::int64_t code, std::string message) {
    return protocol::CommandReply{code, std::move(message)};
}

protocol::Request startRequest(const std::string& configData, const std::string& secrets) {
    auto request = call(HelperCall::start);
    request.configData = configData;
    request.secrets = secrets;
    return request;
}

/// Waits, within the guard, until `condition` holds.
template <class F> bool eventually(F condition) {
    const auto deadline = std::chrono::steady_clock::now() + TestClient::kGuard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// The daemon trusting this test program, so its requests are served.
class HelperDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_UNLESS_SELF_TRUSTABLE();
        HelperOptions options;
        options.socketPath = (m_dir.path() / "run" / "helper.sock").string();
        options.trustedClients = {selfExecutable()};
        m_socketPath = options.socketPath;
        m_daemon = std::make_unique<HelperDaemon>(m_engine, options);
        ASSERT_TRUE(m_daemon->listen());
        m_thread = std::thread([this] { m_daemon->run(); });
    }

    void TearDown() override {
        if (m_daemon) {
            m_daemon->stop();
            m_thread.join();
            m_daemon.reset();
        }
    }

    std::unique_ptr<TestClient> connect() {
        auto client = std::make_unique<TestClient>(m_socketPath);
        EXPECT_TRUE(client->connected());
        return client;
    }

    /// A request the daemon answers itself, so that its reply shows that
    /// everything sent to this client before has already been written.
    void expectNextIsVersionReply(TestClient& client) {
        const auto id = client.send(call(HelperCall::getVersion));
        EXPECT_EQ(client.replyTo(id, HelperCall::getVersion),
                  Reply{protocol::VersionReply{"0.1.1"}});
    }

    LogCapture m_log;
    TempDir m_dir;
    FakeTunnelEngine m_engine;
    std::string m_socketPath;
    std::unique_ptr<HelperDaemon> m_daemon;
    std::thread m_thread;
};

TEST_F(HelperDaemonTest, UndecodableStartRepliesMinusTwoAndLeavesTheEngineAlone) {
    auto client = connect();

    const std::string badProfile = R"({"authMethod":"carrier-pigeon"})";
    auto id = client->send(startRequest(badProfile, encodeSecrets({})));
    EXPECT_EQ(
        client->replyTo(id, HelperCall::start),
        commandReply(-2, "Invalid configuration: " + decodeProfile(badProfile).error().message));

    const std::string badSecrets = R"({"xauthPassword":"only one of two"})";
    id = client->send(startRequest(encodeProfile(VPNProfile{}), badSecrets));
    EXPECT_EQ(
        client->replyTo(id, HelperCall::start),
        commandReply(-2, "Invalid configuration: " + decodeSecrets(badSecrets).error().message));

    id = client->send(startRequest("not json at all", "{}"));
    const auto reply = client->replyTo(id, HelperCall::start);
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::get<protocol::CommandReply>(*reply).code, -2);

    EXPECT_TRUE(m_engine.calls().empty());
}

TEST_F(HelperDaemonTest, ABadLineOrAHalfCloseEndsOnlyItsOwnConnectionAfterItsReplies) {
    auto bystander = connect();
    const std::string profileID = "0F6A2B3C-4D5E-4F60-8172-8394A5B6C7D8";
    auto stop = call(HelperCall::stop);
    stop.profileID = profileID;
    // One answered by the service itself, one by the engine's queue: both
    // must reach the client before the connection goes.
    const auto expectRepliesThenClose = [&](TestClient& victim, std::int64_t statusID,
                                            std::int64_t stopID, const char* what) {
        EXPECT_TRUE(victim.replyTo(statusID, HelperCall::status)) << what;
        EXPECT_EQ(victim.replyTo(stopID, HelperCall::stop), commandReply(0, "Not connected"))
            << what;
        EXPECT_TRUE(victim.closedByDaemon()) << what;
        expectNextIsVersionReply(*bystander);
    };

    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        // Every refused line takes one of these two paths.
        {"malformed JSON", "{\"id\":1,\n"},
        {"line over 1 MiB", std::string(protocol::kMaxLineBytes + 1, ' ')},
    };
    for (const auto& c : cases) {
        auto victim = connect();
        const auto statusID = victim->send(call(HelperCall::status));
        const auto stopID = victim->send(stop);
        victim->sendRaw(c.bytes);
        expectRepliesThenClose(*victim, statusID, stopID, c.what);
    }

    auto leaving = connect();
    const auto statusID = leaving->send(call(HelperCall::status));
    const auto stopID = leaving->send(stop);
    leaving->halfClose();
    expectRepliesThenClose(*leaving, statusID, stopID, "half-close");

    const auto stops = m_engine.calls();
    EXPECT_EQ(stops.size(), std::size(cases) + 1);
    EXPECT_TRUE(std::all_of(stops.begin(), stops.end(),
                            [&](const std::string& c) { return c == "stop " + profileID; }));
}

TEST_F(HelperDaemonTest, AClientThatNeverReadsCannotStallTheEngine) {
    auto stuck = connect();
    auto bystander = connect();
    stuck->send(call(HelperCall::subscribe));
    ASSERT_TRUE(eventually([&] { return m_daemon->helper().subscriberCount() == 1; }));

    // Far more than the socket buffers and the connection's write queue hold.
    const std::string line(4096, 'x');
    auto emitted = std::async(std::launch::async, [&] {
        for (int i = 0; i < 3000; ++i) {
            m_engine.emitLog(line);
        }
    });
    ASSERT_EQ(emitted.wait_for(TestClient::kGuard), std::future_status::ready)
        << "the engine thread blocked on a client that does not read";

    EXPECT_TRUE(stuck->closedByDaemon(true));
    EXPECT_EQ(m_daemon->helper().subscriberCount(), 0U);
    expectNextIsVersionReply(*bystander);
}

TEST(HelperDaemonSignalTest, ASigtermBeforeTheDaemonIsReadyStillEndsInTheTeardown) {
    // In a child of its own: the signal must find no thread of an earlier
    // test that would take it.
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            HelperDaemon::holdTerminationSignal();
            ::kill(::getpid(), SIGTERM);
            FakeTunnelEngine engine;
            TempDir dir;
            HelperOptions options;
            options.socketPath = (dir.path() / "helper.sock").string();
            HelperDaemon daemon(engine, options);
            const int status = daemon.run();
            const bool toreDown = engine.calls() == std::vector<std::string>{"teardown true"};
            std::_Exit(status == 0 && toreDown ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

/// Socket descriptors open in process `pid`.
int openSockets(pid_t pid) {
    int count = 0;
    const auto folder = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        count += !error && target.string().rfind("socket:", 0) == 0;
    }
    return count;
}

pid_t spawnSleep() {
    pid_t pid = -1;
    char sleepProgram[] = "/bin/sleep";
    char seconds[] = "60";
    char* argv[] = {sleepProgram, seconds, nullptr};
    ::posix_spawn(&pid, sleepProgram, nullptr, nullptr, argv, environ);
    return pid;
}

TEST_F(HelperDaemonTest, ClientSocketsAreNotInheritedByChildPrograms) {
    const pid_t before = spawnSleep();
    auto client = connect();
    expectNextIsVersionReply(*client);
    const pid_t after = spawnSleep();
    ASSERT_GT(before, 0);
    ASSERT_GT(after, 0);

    // The engine starts charon and the tools while clients are connected;
    // an inherited client socket would outlive the connection in them.
    EXPECT_EQ(openSockets(after), openSockets(before));

    for (const pid_t pid : {before, after}) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

} // namespace
} // namespace torvane::test
