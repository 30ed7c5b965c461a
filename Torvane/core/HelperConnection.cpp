#include "Torvane/core/HelperConnection.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace torvane {

std::shared_ptr<HelperConnection> HelperConnection::open(const std::string& socketPath,
                                                         Handlers handlers) {
    std::string error;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
    } else if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path)) {
        error = "the helper's socket path is empty or too long: " + socketPath;
    } else {
        std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
        int result = 0;
        do {
            result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            error = "cannot connect to " + socketPath + ": " + std::strerror(errno);
        }
    }
    std::shared_ptr<HelperConnection> connection(
        new HelperConnection(fd, std::move(error), std::move(handlers)));
    // The reader keeps the connection alive until it has delivered the last
    // handler call, whoever else lets go of it meanwhile.
    connection->m_reader = std::thread([self = connection] { self->readLoop(); });
    return connection;
}

HelperConnection::HelperConnection(int fd, std::string connectError, Handlers handlers)
    : m_fd(fd), m_connectError(std::move(connectError)), m_handlers(std::move(handlers)) {}

HelperConnection::~HelperConnection() {
    if (m_reader.joinable()) {
        if (m_reader.get_id() == std::this_thread::get_id()) {
            // The reader itself let go of the last reference on its way out.
            m_reader.detach();
        } else {
            shutdownSocket();
            m_reader.join();
        }
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void HelperConnection::call(protocol::Request request, ReplyHandler onReply, ErrorHandler onError) {
    std::string line;
    {
        std::unique_lock lock(m_mutex);
        if (m_closed) {
            const std::string reason = m_closeReason;
            lock.unlock();
            onError(reason);
            return;
        }
        request.id = ++m_lastId;
        auto encoded = protocol::encodeRequest(request);
        if (!encoded) {
            lock.unlock();
            onError("cannot encode the request: " + encoded.error().message);
            return;
        }
        line = std::move(*encoded);
        m_pending.emplace(request.id,
                          PendingCall{request.call, std::move(onReply), std::move(onError)});
    }
    std::lock_guard writeLock(m_writeMutex);
    std::string_view rest = line;
    while (!rest.empty()) {
        // MSG_NOSIGNAL: a daemon that went away must not kill the app with
        // SIGPIPE; the reader sees the closed socket and fails the call.
        const ssize_t n = ::send(m_fd, rest.data(), rest.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            shutdownSocket();
            return;
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

void HelperConnection::retire() {
    {
        std::lock_guard lock(m_mutex);
        m_retired = true;
    }
    closeIfIdleAndRetired();
}

void HelperConnection::invalidate() {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_closing) {
            return;
        }
        m_closing = true;
        m_closeReason = "the connection was invalidated";
    }
    shutdownSocket();
}

void HelperConnection::waitUntilClosed() {
    if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id()) {
        m_reader.join();
    }
}

void HelperConnection::closeIfIdleAndRetired() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_retired || !m_pending.empty() || m_closed || m_closing) {
            return;
        }
        m_closing = true;
        m_closeReason = "the connection was closed";
    }
    shutdownSocket();
}

void HelperConnection::shutdownSocket() {
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_RDWR);
    }
}

void HelperConnection::readLoop() {
    if (!m_connectError.empty()) {
        finish(m_connectError);
        return;
    }
    std::array<char, 65536> buffer{};
    std::string reason;
    while (reason.empty()) {
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = errno;
            std::lock_guard lock(m_mutex);
            if (m_closing) {
                reason = m_closeReason;
            } else if (n == 0 || error == ECONNRESET) {
                reason = "the helper closed the connection";
            } else {
                reason = std::string("cannot read from the helper: ") + std::strerror(error);
            }
            break;
        }
        const bool fits =
            m_framer.append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        while (reason.empty()) {
            auto line = m_framer.nextLine();
            if (!line) {
                break;
            }
            if (auto bad = handleLine(*line)) {
                reason = std::move(*bad);
            }
        }
        if (reason.empty() && !fits) {
            reason = "the helper sent a line longer than the protocol allows";
        }
    }
    finish(reason);
}

std::optional<std::string> HelperConnection::handleLine(const std::string& line) {
    auto message = protocol::parseServerMessage(line);
    if (!message) {
        return "the helper sent a malformed message: " + message.error().message;
    }
    if (const auto* callback = std::get_if<protocol::Callback>(&*message)) {
        if (m_handlers.onCallback) {
            m_handlers.onCallback(*callback);
        }
        return std::nullopt;
    }
    const auto& reply = std::get<protocol::ReplyMessage>(*message);
    PendingCall pending;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_pending.find(reply.id);
        if (found == m_pending.end()) {
            return "the helper replied to request " + std::to_string(reply.id) +
                   ", which is not waiting for a reply";
        }
        pending = std::move(found->second);
        m_pending.erase(found);
    }
    auto decoded = protocol::decodeReply(pending.call, reply);
    if (!decoded) {
        std::string reason = "the helper sent a malformed reply: " + decoded.error().message;
        pending.onError(reason);
        return reason;
    }
    pending.onReply(*decoded);
    closeIfIdleAndRetired();
    return std::nullopt;
}

void HelperConnection::finish(const std::string& reason) {
    std::map<std::int64_t, PendingCall> pending;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_closeReason = reason;
        pending.swap(m_pending);
    }
    shutdownSocket();
    // The owner hears first, so that a caller woken by its error below
    // already finds the connection forgotten and gets a fresh one.
    if (m_handlers.onInvalidated) {
        m_handlers.onInvalidated(*this);
    }
    for (auto& [id, call] : pending) {
        call.onError(reason);
    }
}

} // namespace torvane
