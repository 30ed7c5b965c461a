#include "tests/helper/service/TestClient.h"

#include <sys/socket.h>

namespace torvane::test {

using Event = testclient::HelperConnection::Event;

TestClient::TestClient(const std::string& socketPath) {
    m_connected = !m_connection.connect(socketPath);
}

void TestClient::sendRaw(std::string_view bytes) {
    m_connection.send(bytes);
}

void TestClient::halfClose() {
    ::shutdown(m_connection.fd(), SHUT_WR);
}

std::int64_t TestClient::send(protocol::Request request) {
    request.id = m_nextID++;
    if (auto line = protocol::encodeRequest(request)) {
        sendRaw(*line);
    }
    return request.id;
}

std::optional<protocol::ServerMessage> TestClient::next() {
    const auto event = m_connection.next(std::chrono::steady_clock::now() + kGuard);
    if (event.kind != Event::Kind::line) {
        return std::nullopt;
    }
    auto message = protocol::parseServerMessage(event.text);
    return message ? std::optional(std::move(*message)) : std::nullopt;
}

std::optional<protocol::Reply> TestClient::replyTo(std::int64_t id, protocol::HelperCall call) {
    const auto message = next();
    const auto* reply = message ? std::get_if<protocol::ReplyMessage>(&*message) : nullptr;
    if (!reply || reply->id != id) {
        return std::nullopt;
    }
    auto decoded = protocol::decodeReply(call, *reply);
    return decoded ? std::optional(std::move(*decoded)) : std::nullopt;
}

std::optional<protocol::Callback> TestClient::callback() {
    const auto message = next();
    if (!message || !std::holds_alternative<protocol::Callback>(*message)) {
        return std::nullopt;
    }
    return std::get<protocol::Callback>(*message);
}

bool TestClient::closedByDaemon(bool discard) {
    const auto deadline = std::chrono::steady_clock::now() + kGuard;
    for (;;) {
        const auto event = m_connection.next(deadline);
        if (event.kind != Event::Kind::line) {
            return event.kind == Event::Kind::closed;
        }
        if (!discard) {
            return false;
        }
    }
}

} // namespace torvane::test
