#include "tests/fakes/core/FakeDaemon.h"

#include "shared/VPNRuntimeStatus.h"
#include "shared/protocol/LineFramer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace torvane::testing {

using protocol::HelperCall;

FakeDaemon::FakeDaemon(std::string socketPath)
    : m_socketPath(std::move(socketPath)), m_statusData(encodeRuntimeStatus(VPNRuntimeStatus{})) {}

FakeDaemon::~FakeDaemon() {
    stopListening();
    std::vector<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_mutex);
        connections = m_connections;
    }
    for (const auto& connection : connections) {
        if (connection->reader.joinable()) {
            connection->reader.join();
        }
        ::close(connection->fd);
    }
}

void FakeDaemon::listen() {
    m_listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, m_socketPath.c_str(), sizeof(address.sun_path) - 1);
    ::unlink(m_socketPath.c_str());
    if (::bind(m_listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_listenFd, 16) != 0 || ::pipe2(m_wakeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("fake daemon cannot listen: ") + std::strerror(errno));
    }
    m_acceptor = std::thread([this] { acceptLoop(); });
}

void FakeDaemon::stopListening() {
    if (m_acceptor.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFds[1], &wake, 1);
        m_acceptor.join();
        ::close(m_listenFd);
        ::close(m_wakeFds[0]);
        ::close(m_wakeFds[1]);
        ::unlink(m_socketPath.c_str());
    }
    dropConnections();
}

void FakeDaemon::dropConnections() {
    std::lock_guard lock(m_mutex);
    closeConnections(m_connections);
}

void FakeDaemon::closeConnections(const std::vector<std::shared_ptr<Connection>>& connections) {
    for (const auto& connection : connections) {
        if (connection->open) {
            connection->open = false;
            ::shutdown(connection->fd, SHUT_RDWR);
        }
    }
}

void FakeDaemon::acceptLoop() {
    while (true) {
        std::array<pollfd, 2> fds{{{m_listenFd, POLLIN, 0}, {m_wakeFds[0], POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            continue;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        std::lock_guard lock(m_mutex);
        m_connections.push_back(connection);
        connection->reader = std::thread([this, connection] { serve(connection); });
    }
}

void FakeDaemon::write(Connection& connection, const std::string& line) {
    std::lock_guard lock(connection.writeMutex);
    [[maybe_unused]] const auto sent =
        ::send(connection.fd, line.data(), line.size(), MSG_NOSIGNAL);
}

void FakeDaemon::serve(const std::shared_ptr<Connection>& connection) {
    protocol::LineFramer framer;
    std::array<char, 65536> buffer{};
    while (true) {
        const ssize_t n = ::recv(connection->fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            return;
        }
        framer.append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        while (auto line = framer.nextLine()) {
            const auto request = protocol::parseRequest(*line);
            if (!request) {
                ::shutdown(connection->fd, SHUT_RDWR);
                return;
            }
            protocol::Reply reply = protocol::EmptyReply{};
            bool hold = false;
            bool terminate = false;
            // Exiting ends the connections of this daemon process only; one
            // made after the reply reaches the next process.
            std::vector<std::shared_ptr<Connection>> ending;
            {
                std::lock_guard lock(m_mutex);
                m_received.push_back(request->call);
                m_changed.notify_all();
                if (m_dropNext.erase(request->call) > 0) {
                    connection->open = false;
                    ::shutdown(connection->fd, SHUT_RDWR);
                    return;
                }
                switch (request->call) {
                case HelperCall::getVersion:
                    reply = protocol::VersionReply{"0.1.1"};
                    break;
                case HelperCall::subscribe:
                    reply = protocol::SubscribeReply{true};
                    break;
                case HelperCall::status:
                    reply = protocol::StatusReply{m_statusData};
                    break;
                case HelperCall::leakCheck:
                    reply = protocol::LeakCheckReply{"[]"};
                    break;
                case HelperCall::managedProfiles:
                    reply = protocol::ManagedProfilesReply{m_managedData};
                    break;
                case HelperCall::start:
                case HelperCall::stop:
                case HelperCall::stopAll:
                case HelperCall::forceKillAll: {
                    auto& queued = m_commandReplies[request->call];
                    reply = queued.empty() ? protocol::CommandReply{0, "OK"} : queued.front();
                    if (!queued.empty()) {
                        queued.pop_front();
                    }
                    break;
                }
                case HelperCall::setPriorities:
                    break;
                case HelperCall::terminate:
                    terminate = !m_ignoreTerminate;
                    ending = m_connections;
                    break;
                }
                hold = m_held.contains(request->call);
                if (const auto refusal = m_refusals.find(request->call);
                    refusal != m_refusals.end()) {
                    reply = protocol::ErrorReply{refusal->second};
                }
            }
            const auto encoded = protocol::encodeReply(request->id, reply);
            if (hold) {
                std::lock_guard lock(m_mutex);
                m_heldReplies.emplace_back(connection, *encoded);
                continue;
            }
            write(*connection, *encoded);
            if (terminate) {
                std::lock_guard lock(m_mutex);
                closeConnections(ending);
            }
        }
    }
}

void FakeDaemon::queueCommandReply(HelperCall call, protocol::CommandReply reply) {
    std::lock_guard lock(m_mutex);
    m_commandReplies[call].push_back(std::move(reply));
}

void FakeDaemon::setStatusData(std::string data) {
    std::lock_guard lock(m_mutex);
    m_statusData = std::move(data);
}

void FakeDaemon::setManagedData(std::string data) {
    std::lock_guard lock(m_mutex);
    m_managedData = std::move(data);
}

void FakeDaemon::setIgnoreTerminate(bool ignore) {
    std::lock_guard lock(m_mutex);
    m_ignoreTerminate = ignore;
}

void FakeDaemon::holdReplies(HelperCall call) {
    std::lock_guard lock(m_mutex);
    m_held.insert(call);
}

void FakeDaemon::releaseHeld() {
    std::vector<std::pair<std::shared_ptr<Connection>, std::string>> held;
    {
        std::lock_guard lock(m_mutex);
        m_held.clear();
        held.swap(m_heldReplies);
    }
    for (auto& [connection, line] : held) {
        write(*connection, line);
    }
}

void FakeDaemon::refuse(HelperCall call, std::string message) {
    std::lock_guard lock(m_mutex);
    m_refusals[call] = std::move(message);
}

void FakeDaemon::dropOnNext(HelperCall call) {
    std::lock_guard lock(m_mutex);
    m_dropNext.insert(call);
}

void FakeDaemon::sendToAll(const std::string& line) {
    std::vector<std::shared_ptr<Connection>> open;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& connection : m_connections) {
            if (connection->open) {
                open.push_back(connection);
            }
        }
    }
    for (const auto& connection : open) {
        write(*connection, line.ends_with('\n') ? line : line + "\n");
    }
}

std::vector<HelperCall> FakeDaemon::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

int FakeDaemon::count(HelperCall call) const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count(m_received.begin(), m_received.end(), call));
}

bool FakeDaemon::waitForCount(HelperCall call, int times, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] {
        return std::count(m_received.begin(), m_received.end(), call) >= times;
    });
}

} // namespace torvane::testing
