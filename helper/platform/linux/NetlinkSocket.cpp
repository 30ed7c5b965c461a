#include "helper/platform/linux/NetlinkSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <libmnl/libmnl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <utility>
#include <vector>

namespace torvane::netlink {

namespace {

// Dumps arrive in datagrams of up to a page or so each; 32 KiB holds any of
// them (the kernel never splits one message across datagrams).
constexpr std::size_t kReceiveBufferSize = 32768;
constexpr int kDumpAttempts = 3;
// Requests of a batch in flight at once. Each acknowledgement takes a buffer
// of its own in the socket's receive queue; a window this size stays well
// inside even the default queue, so none is dropped for want of room.
constexpr std::size_t kBatchWindow = 128;

/// A read that timed out reports what the caller asked for.
int readError(int code) {
    return code == EAGAIN || code == EWOULDBLOCK ? ETIMEDOUT : code;
}

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
            return Unexpected{NetlinkError{readError(errno), operation}};
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

void NetlinkSocket::setTimeLimit(std::chrono::milliseconds limit) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    timeval wait{};
    wait.tv_sec = static_cast<time_t>(seconds.count());
    wait.tv_usec = static_cast<suseconds_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(limit - seconds).count());
    ::setsockopt(fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
}

std::vector<NetlinkResult> NetlinkSocket::transactBatch(std::vector<NetlinkRequest> requests,
                                                        const char* operation) {
    std::vector<NetlinkResult> results(requests.size(), NetlinkResult{std::monostate{}});
    // Refusals then come back as the error alone, not with a copy of the
    // request, so more of them fit in the receive queue.
    const int on = 1;
    ::setsockopt(fd(), SOL_NETLINK, NETLINK_CAP_ACK, &on, sizeof on);
    std::vector<char> buffer(kReceiveBufferSize);
    for (std::size_t start = 0; start < requests.size(); start += kBatchWindow) {
        const std::size_t count = std::min(kBatchWindow, requests.size() - start);
        const std::uint32_t first = m_sequence + 1;
        std::vector<char> batch;
        for (std::size_t i = start; i < start + count; ++i) {
            auto* message = reinterpret_cast<nlmsghdr*>(requests[i].data());
            message->nlmsg_seq = ++m_sequence;
            message->nlmsg_pid = 0;
            message->nlmsg_flags |= NLM_F_ACK;
            batch.insert(batch.end(), requests[i].begin(), requests[i].end());
            batch.resize(NLMSG_ALIGN(batch.size()), 0);
        }
        std::vector<bool> answered(count, false);
        std::size_t pending = count;
        int failure = 0;
        if (mnl_socket_sendto(m_socket, batch.data(), batch.size()) < 0) {
            failure = errno;
        }
        while (failure == 0 && pending > 0) {
            const ssize_t received = mnl_socket_recvfrom(m_socket, buffer.data(), buffer.size());
            if (received < 0) {
                failure = readError(errno);
                break;
            }
            auto remaining = static_cast<std::size_t>(received);
            const auto* message = reinterpret_cast<const nlmsghdr*>(buffer.data());
            while (message != nullptr && messageFits(message, remaining)) {
                const std::uint32_t slot = message->nlmsg_seq - first;
                if (message->nlmsg_type == NLMSG_ERROR && slot < count && !answered[slot] &&
                    message->nlmsg_len >= NLMSG_LENGTH(sizeof(int))) {
                    int error = 0;
                    std::memcpy(&error, NLMSG_DATA(message), sizeof error);
                    if (error != 0) {
                        results[start + slot] = Unexpected{NetlinkError{-error, operation}};
                    }
                    answered[slot] = true;
                    --pending;
                }
                message = nextMessage(message, remaining);
            }
        }
        if (failure != 0) {
            for (std::size_t slot = 0; slot < count; ++slot) {
                if (!answered[slot]) {
                    results[start + slot] = Unexpected{NetlinkError{failure, operation}};
                }
            }
        }
    }
    return results;
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
