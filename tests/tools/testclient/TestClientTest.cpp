#include "TestClient.h"

#include "CommandLine.h"
#include "ExitCode.h"
#include "Request.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace torvane::testclient;

namespace {

/// A stand-in helper on a real Unix socket: accepts one connection, reads
/// `linesToRead` request lines, writes `answer`, then closes.
class FakeHelper {
public:
    FakeHelper(std::string answer, int linesToRead = 1)
        : m_answer(std::move(answer)), m_linesToRead(linesToRead) {
        char pattern[] = "/tmp/tvc-testclient-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        m_path = m_dir + "/helper.sock";
        m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.c_str(), sizeof(address.sun_path) - 1);
        EXPECT_EQ(::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(::listen(m_listener, 1), 0);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeHelper() {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
        std::filesystem::remove_all(m_dir);
    }

    const std::string& path() const { return m_path; }
    const std::string& dir() const { return m_dir; }
    /// What the client sent, once run() has returned.
    std::string received() {
        m_thread.join();
        m_thread = std::thread([] {});
        return m_received;
    }

private:
    void serve() {
        const int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0) {
            return;
        }
        char c = 0;
        int lines = 0;
        while (lines < m_linesToRead && ::read(fd, &c, 1) == 1) {
            m_received += c;
            lines += c == '\n' ? 1 : 0;
        }
        (void)::send(fd, m_answer.data(), m_answer.size(), MSG_NOSIGNAL);
        ::close(fd);
    }

    std::string m_answer;
    int m_linesToRead;
    std::string m_dir;
    std::string m_path;
    int m_listener = -1;
    std::string m_received;
    std::thread m_thread;
};

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result runClient(const std::vector<std::string>& arguments) {
    const auto options = parseCommandLine(arguments);
    EXPECT_TRUE(options.hasValue()) << (options ? "" : options.error());
    if (!options) {
        return {-1, {}, {}};
    }
    std::ostringstream out;
    std::ostringstream err;
    TestClient client(out, err);
    const int status = client.run(*options);
    return {status, out.str(), err.str()};
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(TestClient, PrintsCallbacksThatComeBeforeTheReplyAndMatchesTheReplyById) {
    FakeHelper helper(R"({"callback":"logLine:","line":"initiating\nIKE_SA"})"
                      "\n"
                      R"({"callback":"statusChanged:","data":"eyJ0dW5uZWxzIjpbXX0="})"
                      "\n"
                      R"j({"id":1,"reply":[0,"Connected (10.99.0.1)"]})j"
                      "\n");
    const std::string profile = helper.dir() + "/p.json";
    const std::string secrets = helper.dir() + "/s.json";
    writeFile(profile, "{\"name\":\"a\\/b\"}\n");
    writeFile(secrets, R"({"xauthPassword":"x","privateKeyPEM":""})");

    const auto result = runClient({"--socket", helper.path(), "start", profile, secrets});

    EXPECT_EQ(result.status, exitOk) << result.err;
    EXPECT_EQ(result.out, "callback logLine initiating\\nIKE_SA\n"
                          "callback statusChanged {\"tunnels\":[]}\n"
                          "reply start 0 Connected (10.99.0.1)\n");
    // The files travel byte for byte.
    const std::string sent = helper.received();
    const auto request = torvane::protocol::parseRequest(sent.substr(0, sent.size() - 1));
    ASSERT_TRUE(request.hasValue()) << sent;
    EXPECT_EQ(request->call, torvane::protocol::HelperCall::start);
    EXPECT_EQ(request->configData, "{\"name\":\"a\\/b\"}\n");
    EXPECT_EQ(request->secrets, R"({"xauthPassword":"x","privateKeyPEM":""})");
}

TEST(TestClient, HelperFaultsAreReportedWithTheirOwnExitStatus) {
    struct Case {
        const char* name;
        std::string answer;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"closed before replying", "", exitClosed, "closed\n"},
        {"reply to another request", "{\"id\":7,\"reply\":[0,\"Disconnected\"]}\n",
         exitProtocolError, ""},
        {"reply of the wrong shape", "{\"id\":1,\"reply\":[\"0.1.1\"]}\n", exitProtocolError, ""},
        {"not JSON", "hello\n", exitProtocolError, ""},
        {"line cut by the close", "{\"id\":1,\"reply\":[0,", exitClosed, "closed\n"},
    };
    for (const auto& c : cases) {
        FakeHelper helper(c.answer);
        const auto result = runClient({"--socket", helper.path(), "--timeout", "30", "stop-all"});
        EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
        EXPECT_EQ(result.out, c.out) << c.name;
        if (c.status != exitOk) {
            EXPECT_FALSE(result.err.empty()) << c.name;
        }
    }
}

TEST(TestClient, SubscribeListensUntilTheAwaitedTextOrTheHelperCloses) {
    const std::string status = R"({"callback":"statusChanged:","data":"eyJ0dW5uZWxzIjpbXX0="})"
                               "\n";
    {
        FakeHelper helper("{\"id\":1,\"reply\":[true]}\n" + status);
        const auto result = runClient(
            {"--socket", helper.path(), "subscribe", "--seconds", "30", "--until", "tunnels"});
        EXPECT_EQ(result.status, exitOk) << result.err;
        EXPECT_EQ(result.out, "reply subscribe true\ncallback statusChanged {\"tunnels\":[]}\n");
    }
    {
        // The close ends the listening; "closed" is what the test waited for.
        FakeHelper helper("{\"id\":1,\"reply\":[true]}\n");
        const auto result = runClient(
            {"--socket", helper.path(), "subscribe", "--seconds", "30", "--until", "closed"});
        EXPECT_EQ(result.status, exitOk) << result.err;
        EXPECT_EQ(result.out, "reply subscribe true\nclosed\n");
    }
    {
        FakeHelper helper("{\"id\":1,\"reply\":[true]}\n");
        const auto result = runClient(
            {"--socket", helper.path(), "subscribe", "--seconds", "30", "--until", "connected"});
        EXPECT_EQ(result.status, exitClosed);
    }
}

TEST(TestClient, RawSendsLinesAsTheyAreAndWaitsForOneReplyEach) {
    FakeHelper helper("{\"id\":2,\"reply\":[\"0.1.1\"]}\n{\"id\":3,\"reply\":[]}\n", 2);
    const auto result =
        runClient({"--socket", helper.path(), "raw", R"({"id":2,"call":"getVersionWithReply:"})",
                   R"({"id":3,"call":"setPrioritiesWithProfileIDs:reply:"})"});
    EXPECT_EQ(result.status, exitOk) << result.err;
    EXPECT_EQ(result.out, "reply raw [\"0.1.1\"]\nreply raw []\n");
    EXPECT_EQ(helper.received(), "{\"id\":2,\"call\":\"getVersionWithReply:\"}\n"
                                 "{\"id\":3,\"call\":\"setPrioritiesWithProfileIDs:reply:\"}\n");
}

TEST(TestClient, NoHelperListeningIsAConnectionFailure) {
    const auto result = runClient({"--socket", "/nonexistent/tvc/helper.sock", "version"});
    EXPECT_EQ(result.status, exitConnectFailed);
    EXPECT_NE(result.err.find("cannot connect"), std::string::npos);
}

TEST(TestClientCommandLine, RejectsWhatWouldSendAMeaninglessRequest) {
    EXPECT_FALSE(parseCommandLine({}).hasValue());
    EXPECT_FALSE(parseCommandLine({"start", "only-one.json"}).hasValue());
    EXPECT_FALSE(parseCommandLine({"stop"}).hasValue());
    EXPECT_FALSE(parseCommandLine({"--timeout", "soon", "status"}).hasValue());
    EXPECT_FALSE(parseCommandLine({"--timeout", "-1", "status"}).hasValue());
    EXPECT_FALSE(parseCommandLine({"launch"}).hasValue());
    EXPECT_FALSE(parseCommandLine({"status", "--seconds", "3"}).hasValue());

    const auto priorities = parseCommandLine({"priorities"});
    ASSERT_TRUE(priorities.hasValue());
    EXPECT_TRUE(priorities->operands.empty());
    const auto subscribe = parseCommandLine({"--socket", "/s", "subscribe", "--seconds", "1.5"});
    ASSERT_TRUE(subscribe.hasValue());
    EXPECT_EQ(subscribe->socketPath, "/s");
    EXPECT_DOUBLE_EQ(subscribe->listenSeconds, 1.5);
}
