#include "NetlinkSocket.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <libmnl/libmnl.h>
#include <utility>
#include <vector>

namespace torvane::netlink {

namespace {

// Dumps arrive in datagrams of up to a page or so each; 32 KiB holds any of
// them (the kernel never splits one message across datagrams).
constexpr std::size_t kReceiveBufferSize = 32768;
constexpr int kDumpAttempts = 3;

int forwardMessage(const nlmsghdr* message, void* data) {
    (*static_cast<const MessageHandler*>(data))(*message);
    return MNL_CB_OK;
}

/// Whether a datagram holds the message that closes a dump.
bool endsDump(const char* data, std::size_t length) {
    const auto* message = reinterpret_cast<const nlmsghdr*>(data);
    std::size_t remaining = length;
    while (message != nullptr && messageFits(message, remaining)) {
        if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
            return true;
        }
        message = nextMessage(message, remaining);
    }
    return false;
}

} // namespace

std::string NetlinkError::describe() const {
    return operation + ": " + std::strerror(code);
}

Expected<NetlinkSocket, NetlinkError> NetlinkSocket::open(unsigned groups) {
    mnl_socket* socket = mnl_socket_open2(NETLINK_ROUTE, SOCK_CLOEXEC);
    if (socket == nullptr) {
        return Unexpected{NetlinkError{errno, "opening a netlink socket"}};
    }
    if (mnl_socket_bind(socket, groups, MNL_SOCKET_AUTOPID) < 0) {
        const int code = errno;
        mnl_socket_close(socket);
        return Unexpected{NetlinkError{code, "binding a netlink socket"}};
    }
    return NetlinkSocket(socket);
}

NetlinkSocket::NetlinkSocket(mnl_socket* socket)
    : m_socket(socket), m_portId(mnl_socket_get_portid(socket)),
      m_sequence(static_cast<std::uint32_t>(std::time(nullptr))) {}

NetlinkSocket::NetlinkSocket(NetlinkSocket&& other) noexcept
    : m_socket(std::exchange(other.m_socket, nullptr)), m_portId(other.m_portId),
      m_sequence(other.m_sequence) {}

NetlinkSocket& NetlinkSocket::operator=(NetlinkSocket&& other) noexcept {
    if (this != &other) {
        if (m_socket != nullptr) {
            mnl_socket_close(m_socket);
        }
        m_socket = std::exchange(other.m_socket, nullptr);
        m_portId = other.m_portId;
        m_sequence = other.m_sequence;
    }
    return *this;
}

NetlinkSocket::~NetlinkSocket() {
    if (m_socket != nullptr) {
        mnl_socket_close(m_socket);
    }
}

int NetlinkSocket::fd() const {
    return mnl_socket_get_fd(m_socket);
}

NetlinkResult NetlinkSocket::transact(NetlinkRequest request, const MessageHandler& onMessage,
                                      const char* operation) {
    const bool dump =
        (reinterpret_cast<const nlmsghdr*>(request.data())->nlmsg_flags & NLM_F_DUMP) != 0;
    for (int attempt = 1;; ++attempt) {
        auto result = runOnce(request, onMessage, operation);
        if (result || !dump || result.error().code != EINTR || attempt == kDumpAttempts) {
            return result;
        }
    }
}

NetlinkResult NetlinkSocket::runOnce(NetlinkRequest& request, const MessageHandler& onMessage,
                                     const char* operation) {
    auto* message = reinterpret_cast<nlmsghdr*>(request.data());
    message->nlmsg_seq = ++m_sequence;
    message->nlmsg_pid = 0;
    if (mnl_socket_sendto(m_socket, request.data(), request.size()) < 0) {
        return Unexpected{NetlinkError{errno, operation}};
    }
    // A retried dump must not hand the caller a second copy of what the
    // interrupted one delivered, so messages are held back until it ends.
    std::vector<std::vector<char>> held;
    const MessageHandler hold = [&held](const nlmsghdr& reply) {
        const auto* bytes = reinterpret_cast<const char*>(&reply);
        held.emplace_back(bytes, bytes + reply.nlmsg_len);
    };
    const bool dump = (message->nlmsg_flags & NLM_F_DUMP) != 0;
    bool interrupted = false;
    std::vector<char> buffer(kReceiveBufferSize);
    for (;;) {
        const ssize_t received = mnl_socket_recvfrom(m_socket, buffer.data(), buffer.size());
        if (received < 0) {
            return Unexpected{NetlinkError{errno, operation}};
        }
        const auto length = static_cast<std::size_t>(received);
        if (interrupted) {
            // The rest of an interrupted dump is read and dropped, so that
            // the retry starts on an empty socket.
            if (endsDump(buffer.data(), length)) {
                break;
            }
            continue;
        }
        errno = 0;
        const int status = mnl_cb_run(buffer.data(), length, message->nlmsg_seq, m_portId,
                                      forwardMessage, const_cast<MessageHandler*>(&hold));
        if (status == MNL_CB_ERROR) {
            const int code = errno != 0 ? errno : EPROTO;
            if (code == EINTR && dump) {
                interrupted = true;
                if (endsDump(buffer.data(), length)) {
                    break;
                }
                continue;
            }
            return Unexpected{NetlinkError{code, operation}};
        }
        if (status == MNL_CB_STOP) {
            break;
        }
    }
    if (interrupted) {
        return Unexpected{NetlinkError{EINTR, operation}};
    }
    for (const auto& copy : held) {
        onMessage(*reinterpret_cast<const nlmsghdr*>(copy.data()));
    }
    return std::monostate{};
}

NetlinkResult NetlinkSocket::receive(const MessageHandler& onMessage) {
    std::vector<char> buffer(kReceiveBufferSize);
    const ssize_t received = mnl_socket_recvfrom(m_socket, buffer.data(), buffer.size());
    if (received < 0) {
        return Unexpected{NetlinkError{errno, "reading netlink notifications"}};
    }
    const int status = mnl_cb_run(buffer.data(), static_cast<std::size_t>(received), 0, 0,
                                  forwardMessage, const_cast<MessageHandler*>(&onMessage));
    if (status == MNL_CB_ERROR) {
        return Unexpected{
            NetlinkError{errno != 0 ? errno : EPROTO, "reading netlink notifications"}};
    }
    return std::monostate{};
}

} // namespace torvane::netlink
