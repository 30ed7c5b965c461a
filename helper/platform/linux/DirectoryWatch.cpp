#include "helper/platform/linux/DirectoryWatch.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace torvane {

namespace {

// Attribute changes count: the reader refuses files by owner and mode.
constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                  IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                  IN_ONLYDIR;

} // namespace

DirectoryWatch::DirectoryWatch(asio::io_context& io, std::string directory,
                               std::vector<std::string> subdirectories,
                               std::function<void()> onChange)
    : m_directory(std::move(directory)), m_subdirectories(std::move(subdirectories)),
      m_onChange(std::move(onChange)), m_inotify(io), m_settleTimer(io) {}

DirectoryWatch::~DirectoryWatch() {
    stop();
}

void DirectoryWatch::stop() {
    *m_alive = false;
    asio::error_code ignored;
    m_settleTimer.cancel();
    m_inotify.close(ignored);
}

std::string DirectoryWatch::start() {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        return std::string("inotify: ") + std::strerror(errno);
    }
    m_inotify.assign(fd);
    if (::inotify_add_watch(fd, m_directory.c_str(), kEvents) < 0) {
        const int error = errno;
        asio::error_code ignored;
        m_inotify.close(ignored);
        return m_directory + ": " + std::strerror(error);
    }
    watchSubdirectories();
    readNext();
    return {};
}

void DirectoryWatch::watchSubdirectories() {
    // Adding a watch again for a path already watched only updates it; a
    // subdirectory that is not there yet fails, and the parent's event for
    // its creation brings us back here.
    for (const auto& name : m_subdirectories) {
        ::inotify_add_watch(m_inotify.native_handle(), (m_directory + "/" + name).c_str(), kEvents);
    }
}

void DirectoryWatch::readNext() {
    m_inotify.async_wait(
        asio::posix::stream_descriptor::wait_read,
        [this, alive = m_alive](const asio::error_code& error) {
            if (error || !*alive) {
                return;
            }
            // The events only say "look again": they are
            // drained, not decoded.
            alignas(inotify_event) std::array<char, 4096> buffer{};
            while (::read(m_inotify.native_handle(), buffer.data(), buffer.size()) > 0) {
            }
            watchSubdirectories();
            settle();
            readNext();
        });
}

void DirectoryWatch::settle() {
    m_settleTimer.expires_after(kSettleTime);
    m_settleTimer.async_wait([this, alive = m_alive](const asio::error_code& error) {
        if (!error && *alive) {
            m_onChange();
        }
    });
}

} // namespace torvane
