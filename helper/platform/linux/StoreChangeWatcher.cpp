#include "helper/platform/linux/StoreChangeWatcher.h"

#include "helper/platform/linux/NetlinkSocket.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/rtnetlink.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <utility>

namespace torvane {

namespace {

constexpr std::uint32_t kFolderEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;
constexpr std::uint32_t kFileEvents = IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

// A resolv.conf change is reported once the file has been quiet this long.
// Our own write's notice would otherwise be read back at the very moment a
// DHCP client truncates the file for its in-place rewrite: the empty file
// would pass for the network's new DNS and our override would be written
// into the middle of the client's write.
constexpr std::chrono::milliseconds kResolvConfSettle{150};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

struct StoreChangeWatcher::Descriptors {
    netlink::NetlinkSocket netlink;
    FileDescriptor inotify;
    FileDescriptor stop;
};

Expected<std::unique_ptr<StoreChangeWatcher>, std::string>
StoreChangeWatcher::start(const std::string& resolvConfPath, Callbacks callbacks) {
    auto netlinkSocket =
        netlink::NetlinkSocket::open(RTMGRP_IPV4_ROUTE | RTMGRP_IPV4_IFADDR | RTMGRP_LINK);
    if (!netlinkSocket) {
        return Unexpected{std::string("cannot open the netlink socket: ") +
                          std::strerror(netlinkSocket.error().code)};
    }
    FileDescriptor inotify(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (inotify.get() < 0) {
        return Unexpected{systemError("cannot start inotify")};
    }
    const auto slash = resolvConfPath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : resolvConfPath.substr(0, slash));
    if (::inotify_add_watch(inotify.get(), folder.c_str(), kFolderEvents) < 0) {
        return Unexpected{systemError("cannot watch " + folder)};
    }
    FileDescriptor stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (stop.get() < 0) {
        return Unexpected{systemError("cannot create an eventfd")};
    }
    auto fds = std::unique_ptr<Descriptors>(new Descriptors{std::move(*netlinkSocket),
                                                            FileDescriptor(inotify.release()),
                                                            FileDescriptor(stop.release())});
    return std::unique_ptr<StoreChangeWatcher>(
        new StoreChangeWatcher(std::move(fds), resolvConfPath, std::move(callbacks)));
}

StoreChangeWatcher::StoreChangeWatcher(std::unique_ptr<Descriptors> descriptors,
                                       std::string resolvConfPath, Callbacks callbacks)
    : m_fds(std::move(descriptors)), m_path(std::move(resolvConfPath)),
      m_callbacks(std::move(callbacks)) {
    const auto slash = m_path.rfind('/');
    m_fileName = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    watchFile();
    m_thread = std::thread([this] { run(); });
}

StoreChangeWatcher::~StoreChangeWatcher() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_fds->stop.get(), &one, sizeof one);
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void StoreChangeWatcher::watchFile() {
    // Re-adding an existing watch returns the same descriptor; a file that
    // is missing right now is watched again after the next folder event.
    m_fileWatch = ::inotify_add_watch(m_fds->inotify.get(), m_path.c_str(), kFileEvents);
}

void StoreChangeWatcher::run() {
    using Clock = std::chrono::steady_clock;
    std::array<pollfd, 3> polls{{{m_fds->netlink.fd(), POLLIN, 0},
                                 {m_fds->inotify.get(), POLLIN, 0},
                                 {m_fds->stop.get(), POLLIN, 0}}};
    std::optional<Clock::time_point> resolvConfDue;
    for (;;) {
        int timeout = -1;
        if (resolvConfDue) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*resolvConfDue - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        const int ready = ::poll(polls.data(), polls.size(), timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (polls[2].revents != 0) {
            return;
        }
        if (polls[0].revents != 0) {
            // An overrun (ENOBUFS) loses events, so it counts as a change too.
            (void)m_fds->netlink.receive([](const nlmsghdr&) {});
            m_callbacks.routingChanged();
        }
        if (polls[1].revents != 0 && drainResolvConfEvents()) {
            watchFile();
            resolvConfDue = Clock::now() + kResolvConfSettle;
        }
        if (resolvConfDue && Clock::now() >= *resolvConfDue) {
            resolvConfDue.reset();
            m_callbacks.resolvConfChanged();
        }
    }
}

bool StoreChangeWatcher::drainResolvConfEvents() {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    bool changed = false;
    for (;;) {
        const auto length = ::read(m_fds->inotify.get(), buffer.data(), buffer.size());
        if (length <= 0) {
            return changed;
        }
        for (std::size_t offset = 0; offset < static_cast<std::size_t>(length);) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
            offset += sizeof(inotify_event) + event->len;
            if (event->wd == m_fileWatch) {
                changed = changed || (event->mask & kFileEvents) != 0;
            } else if (event->len > 0 && m_fileName == event->name) {
                changed = true;
            }
        }
    }
}

} // namespace torvane
