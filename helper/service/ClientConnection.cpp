#include "helper/service/ClientConnection.h"

#include "helper/service/CommandService.h"

#include <poll.h>

#include <asio/post.hpp>
#include <asio/write.hpp>

namespace torvane {
namespace {

// Lines are written in batches of about this size, which keeps system calls
// few without holding much memory in flight.
constexpr std::size_t kWriteBatchBytes = 64 * 1024;

} // namespace

ClientConnection::ClientConnection(asio::local::stream_protocol::socket socket,
                                   std::weak_ptr<CommandService> helper, std::size_t maxQueuedBytes,
                                   std::chrono::milliseconds firstRequestLimit)
    : m_socket(std::move(socket)), m_helper(std::move(helper)), m_maxQueuedBytes(maxQueuedBytes),
      m_idleTimer(m_socket.get_executor()), m_firstRequestLimit(firstRequestLimit) {}

void ClientConnection::start() {
    // A connection that never asks for anything would hold its descriptor
    // and its place under the connection limits for good.
    m_idleTimer.expires_after(m_firstRequestLimit);
    m_idleTimer.async_wait([self = shared_from_this()](const asio::error_code& error) {
        if (!error && !self->m_inUse) {
            self->closeNow();
        }
    });
    readNext();
}

void ClientConnection::markInUse() {
    if (!m_inUse) {
        m_inUse = true;
        m_idleTimer.cancel();
    }
}

void ClientConnection::readNext() {
    m_socket.async_read_some(
        asio::buffer(m_readBuffer),
        [self = shared_from_this()](const asio::error_code& error, std::size_t length) {
            if (error == asio::error::eof && !self->peerHungUp()) {
                // The requests still in the framer are served first.
                self->m_endOfRequests = true;
            } else if (error) {
                self->closeNow();
                return;
            }
            self->handleReceived(std::string_view(self->m_readBuffer.data(), length));
        });
}

void ClientConnection::handleReceived(std::string_view bytes) {
    const auto helper = m_helper.lock();
    const auto next = helper ? helper->receive(shared_from_this(), m_framer, bytes)
                             : CommandService::ReadResult::close;
    switch (next) {
    case CommandService::ReadResult::close:
        closeNow();
        break;
    case CommandService::ReadResult::finish:
        finishRequests();
        break;
    case CommandService::ReadResult::more:
        if (m_endOfRequests) {
            finishRequests();
        } else if (!m_closed) {
            readNext();
        }
        break;
    case CommandService::ReadResult::paused:
        // No read is outstanding until resumeReading.
        watchForHangUp();
        break;
    }
}

void ClientConnection::finishRequests() {
    if (m_closed) {
        return;
    }
    const auto helper = m_helper.lock();
    if (!helper) {
        closeNow();
        return;
    }
    // A client that hangs up entirely while its last replies are pending
    // wants none of them.
    watchForHangUp();
    helper->finishConnection(*this);
}

bool ClientConnection::peerHungUp() {
    // A peer's shutdown(SHUT_WR) only ends our reading side; POLLHUP comes
    // when it has closed the socket (or shut both directions).
    pollfd entry{};
    entry.fd = m_socket.native_handle();
    entry.events = POLLOUT;
    return ::poll(&entry, 1, 0) < 0 || (entry.revents & (POLLHUP | POLLERR)) != 0;
}

void ClientConnection::watchForHangUp() {
    if (m_watchingHangUp) {
        return;
    }
    m_watchingHangUp = true;
    // Completes when the peer has closed its end (or the socket failed),
    // without taking any of the bytes still waiting to be read.
    m_socket.async_wait(asio::socket_base::wait_error,
                        [self = shared_from_this()](const asio::error_code& error) {
                            self->m_watchingHangUp = false;
                            if (!error) {
                                self->closeNow();
                            }
                        });
}

void ClientConnection::resumeReading() {
    asio::post(m_socket.get_executor(), [self = shared_from_this()] {
        if (!self->m_closed) {
            self->handleReceived({});
        }
    });
}

void ClientConnection::send(std::string line) {
    if (line.empty()) {
        return;
    }
    std::lock_guard lock(m_queueLock);
    if (!m_open) {
        return;
    }
    if (m_queuedBytes + line.size() > m_maxQueuedBytes) {
        // The client has stopped reading. Holding more for it would let one
        // stuck client grow the daemon without bound.
        m_open = false;
        m_queue.clear();
        asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->closeNow(); });
        return;
    }
    m_queuedBytes += line.size();
    m_queue.push_back(std::move(line));
    if (!m_writing) {
        m_writing = true;
        asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->writeNext(); });
    }
}

void ClientConnection::writeNext() {
    if (m_closed) {
        return;
    }
    m_inFlight.clear();
    {
        std::lock_guard lock(m_queueLock);
        while (!m_queue.empty() && m_inFlight.size() < kWriteBatchBytes) {
            m_inFlight += m_queue.front();
            m_queue.pop_front();
        }
        if (m_inFlight.empty()) {
            m_writing = false;
            if (m_closeWhenWritten) {
                asio::post(m_socket.get_executor(),
                           [self = shared_from_this()] { self->closeNow(); });
            }
            return;
        }
    }
    asio::async_write(m_socket, asio::buffer(m_inFlight),
                      [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                          if (error) {
                              self->closeNow();
                              return;
                          }
                          {
                              std::lock_guard lock(self->m_queueLock);
                              self->m_queuedBytes -= self->m_inFlight.size();
                          }
                          self->writeNext();
                      });
}

void ClientConnection::close() {
    {
        std::lock_guard lock(m_queueLock);
        m_open = false;
    }
    asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->closeNow(); });
}

void ClientConnection::closeAfterSending() {
    std::lock_guard lock(m_queueLock);
    m_open = false;
    m_closeWhenWritten = true;
    if (!m_writing) {
        asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->closeNow(); });
    }
}

void ClientConnection::closeNow() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_idleTimer.cancel();
    {
        std::lock_guard lock(m_queueLock);
        m_open = false;
        m_queue.clear();
    }
    asio::error_code ignored;
    m_socket.shutdown(asio::socket_base::shutdown_both, ignored);
    m_socket.close(ignored);
    if (const auto helper = m_helper.lock()) {
        helper->removeConnection(*this);
    }
}

} // namespace torvane
