#include "helper/engine/ViciSession.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace torvane {
namespace {

// charon's own limit for one message is far below this; a larger length is
// garbage on the socket.
constexpr std::uint32_t maxPacket = 512 * 1024;

} // namespace

Expected<ViciSession, std::string> ViciSession::open(const std::string& uri, Deadline deadline,
                                                     int interruptFd) {
    constexpr std::string_view scheme = "unix://";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (!uri.starts_with(scheme) || uri.size() - scheme.size() >= sizeof(address.sun_path)) {
        return Unexpected{"unusable VICI address " + uri};
    }
    std::memcpy(address.sun_path, uri.data() + scheme.size(), uri.size() - scheme.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return Unexpected{std::string("VICI socket: ") + std::strerror(errno)};
    }
    // A local stream connect completes or fails at once.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        return Unexpected{"cannot connect to " + uri + ": " + std::strerror(error)};
    }
    return ViciSession(fd, deadline, interruptFd);
}

ViciSession::ViciSession(ViciSession&& other) noexcept
    : m_fd(other.m_fd), m_deadline(other.m_deadline), m_interruptFd(other.m_interruptFd) {
    other.m_fd = -1;
}

ViciSession::~ViciSession() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::optional<std::string> ViciSession::wait(short events) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return "timed out waiting for charon";
        }
        pollfd fds[2] = {{m_fd, events, 0}, {m_interruptFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_interruptFd >= 0 ? 2 : 1,
                                 static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            return std::string("poll: ") + std::strerror(errno);
        }
        if (ready > 0 && m_interruptFd >= 0 && (fds[1].revents & POLLIN)) {
            return "interrupted: the helper is stopping";
        }
        if (ready > 0 && fds[0].revents != 0) {
            return std::nullopt;
        }
    }
}

Expected<bool, std::string> ViciSession::send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (auto error = wait(POLLOUT)) {
            return Unexpected{*error};
        }
        const ssize_t n =
            ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return Unexpected{std::string("VICI write: ") + std::strerror(errno)};
        }
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

Expected<ViciReceived, std::string> ViciSession::receive() {
    auto readExactly = [this](std::size_t length) -> Expected<std::string, std::string> {
        std::string bytes(length, '\0');
        std::size_t got = 0;
        while (got < length) {
            if (auto error = wait(POLLIN)) {
                return Unexpected{*error};
            }
            const ssize_t n = ::recv(m_fd, bytes.data() + got, length - got, MSG_DONTWAIT);
            if (n == 0) {
                return Unexpected{std::string("charon closed the VICI connection")};
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return Unexpected{std::string("VICI read: ") + std::strerror(errno)};
            }
            got += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        return bytes;
    };
    const auto header = readExactly(4);
    if (!header) {
        return Unexpected{header.error()};
    }
    std::uint32_t length = 0;
    for (char c : *header) {
        length = length << 8 | static_cast<std::uint8_t>(c);
    }
    if (length == 0 || length > maxPacket) {
        return Unexpected{"VICI packet of " + std::to_string(length) + " bytes"};
    }
    const auto body = readExactly(length);
    if (!body) {
        return Unexpected{body.error()};
    }
    return decodeViciPacket(*body);
}

Expected<bool, std::string> ViciSession::subscribe(const std::string& event) {
    const auto packet = encodeViciPacket(ViciPacket::eventRegister, event);
    if (!packet) {
        return Unexpected{packet.error()};
    }
    if (auto sent = send(*packet); !sent) {
        return sent;
    }
    for (;;) {
        const auto reply = receive();
        if (!reply) {
            return Unexpected{reply.error()};
        }
        if (reply->type == ViciPacket::eventConfirm) {
            return true;
        }
        if (reply->type == ViciPacket::eventUnknown) {
            return Unexpected{"charon knows no event " + event};
        }
        // Events of an earlier subscription may arrive first.
    }
}

Expected<ViciMessage, std::string>
ViciSession::call(const std::string& command, const ViciMessage& request,
                  const std::function<void(const ViciReceived&)>& onEvent) {
    const auto packet = encodeViciPacket(ViciPacket::commandRequest, command, request);
    if (!packet) {
        return Unexpected{packet.error()};
    }
    if (auto sent = send(*packet); !sent) {
        return Unexpected{sent.error()};
    }
    for (;;) {
        auto reply = receive();
        if (!reply) {
            return Unexpected{reply.error()};
        }
        switch (reply->type) {
        case ViciPacket::event:
            if (onEvent) {
                onEvent(*reply);
            }
            break;
        case ViciPacket::commandResponse:
            return std::move(reply->message);
        case ViciPacket::commandUnknown:
            return Unexpected{"charon knows no command " + command};
        default:
            return Unexpected{std::string("unexpected VICI packet")};
        }
    }
}

} // namespace torvane
