#pragma once

#include "LineFramer.h"
#include "Request.h"
#include "ServerMessage.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::test {

/// A blocking client of the command socket. Every wait is bounded by a
/// generous guard so that a broken daemon fails a test instead of hanging
/// it; no test relies on the guard for timing.
class TestClient {
public:
    static constexpr std::chrono::seconds kGuard{60};

    explicit TestClient(const std::string& socketPath);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connected() const { return m_fd >= 0; }

    /// Writes raw bytes; errors (the daemon closed on us) are ignored.
    void sendRaw(std::string_view bytes);
    /// Shuts down the sending side only: the daemon sees the end of the
    /// requests, and replies can still be read.
    void halfClose();
    /// Sends `request` with the next id and returns that id.
    std::int64_t send(protocol::Request request);

    /// The next message; nothing on EOF or a line that does not parse.
    std::optional<protocol::ServerMessage> next();
    /// The next message, which must be the reply to `id`, decoded as `call`.
    std::optional<protocol::Reply> replyTo(std::int64_t id, protocol::HelperCall call);
    /// The next message, which must be a callback.
    std::optional<protocol::Callback> callback();
    /// True when the daemon closes the connection before sending anything
    /// more (or, with `discard`, after whatever it still sends).
    bool closedByDaemon(bool discard = false);

private:
    /// Reads more bytes: 1 when some arrived, 0 when the daemon closed the
    /// connection, -1 when the guard ran out.
    int fill(bool keep);

    int m_fd = -1;
    std::int64_t m_nextID = 1;
    protocol::LineFramer m_framer;
};

} // namespace torvane::test
