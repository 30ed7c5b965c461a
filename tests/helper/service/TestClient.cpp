#include "TestClient.h"

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace torvane::test {

TestClient::TestClient(const std::string& socketPath) {
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

TestClient::~TestClient() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void TestClient::sendRaw(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TestClient::halfClose() {
    ::shutdown(m_fd, SHUT_WR);
}

std::int64_t TestClient::send(protocol::Request request) {
    request.id = m_nextID++;
    if (auto line = protocol::encodeRequest(request)) {
        sendRaw(*line);
    }
    return request.id;
}

int TestClient::fill(bool keep) {
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(std::chrono::milliseconds(kGuard).count())) <= 0) {
        return -1;
    }
    char buffer[65536];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n <= 0) {
        return 0;
    }
    if (keep) {
        m_framer.append(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    return 1;
}

std::optional<protocol::ServerMessage> TestClient::next() {
    for (;;) {
        if (auto line = m_framer.nextLine()) {
            auto message = protocol::parseServerMessage(*line);
            return message ? std::optional(std::move(*message)) : std::nullopt;
        }
        if (fill(true) <= 0) {
            return std::nullopt;
        }
    }
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
    for (;;) {
        if (!discard && m_framer.nextLine()) {
            return false;
        }
        if (const int result = fill(!discard); result <= 0) {
            return result == 0;
        }
    }
}

} // namespace torvane::test
