#pragma once

#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"
#include "tests/tools/testclient/HelperConnection.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::test {

/// A blocking client of the command socket that speaks in protocol messages,
/// over the test client program's connection. Every wait is bounded by a
/// generous guard so that a broken daemon fails a test instead of hanging
/// it; no test relies on the guard for timing.
class TestClient {
public:
    static constexpr std::chrono::seconds kGuard{60};

    explicit TestClient(const std::string& socketPath);

    bool connected() const { return m_connected; }

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
    testclient::HelperConnection m_connection;
    bool m_connected = false;
    std::int64_t m_nextID = 1;
};

} // namespace torvane::test
