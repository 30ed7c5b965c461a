#include "tests/tools/testclient/HelperConnection.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace torvane::testclient {

HelperConnection::~HelperConnection() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<std::string> HelperConnection::connect(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        return "socket path is empty or too long: " + path;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return std::string("socket: ") + std::strerror(errno);
    }
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        return "cannot connect to " + path + ": " + std::strerror(error);
    }
    return std::nullopt;
}

bool HelperConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        // MSG_NOSIGNAL: a helper that closed the connection must not kill us
        // with SIGPIPE; we report it instead.
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_lastError = std::strerror(errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

HelperConnection::Event HelperConnection::next(Clock::time_point deadline) {
    std::array<char, 65536> buffer{};
    while (true) {
        if (auto line = m_framer.nextLine()) {
            return {Event::Kind::line, std::move(*line)};
        }
        if (m_framer.overflowed()) {
            return {Event::Kind::failed, "the helper sent a line longer than the protocol allows"};
        }
        if (m_eof) {
            return {Event::Kind::closed, {}};
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return {Event::Kind::timedOut, {}};
        }
        pollfd fd{m_fd, POLLIN, 0};
        const int ready =
            ::poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {Event::Kind::failed, std::string("poll: ") + std::strerror(errno)};
        }
        if (ready == 0) {
            continue;
        }
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            if (errno == ECONNRESET) {
                m_eof = true;
                continue;
            }
            return {Event::Kind::failed, std::string("recv: ") + std::strerror(errno)};
        }
        if (n == 0) {
            m_eof = true;
            continue;
        }
        m_framer.append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
}

} // namespace torvane::testclient
