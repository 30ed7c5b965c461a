#include "helper/platform/linux/NetlinkLinkWatch.h"

#include "helper/platform/linux/NetlinkSocket.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace torvane {

namespace {

class NetlinkLinkWatch final : public LinkWatch {
public:
    NetlinkLinkWatch(netlink::NetlinkSocket socket, int stop, std::function<void()> onChange)
        : m_socket(std::move(socket)), m_stop(stop), m_onChange(std::move(onChange)),
          m_thread([this] { run(); }) {}

    ~NetlinkLinkWatch() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_stop, &one, sizeof one);
        m_thread.join();
        ::close(m_stop);
    }

    NetlinkLinkWatch(const NetlinkLinkWatch&) = delete;
    NetlinkLinkWatch& operator=(const NetlinkLinkWatch&) = delete;

private:
    void run() {
        std::array<pollfd, 2> polls{{{m_socket.fd(), POLLIN, 0}, {m_stop, POLLIN, 0}}};
        for (;;) {
            if (::poll(polls.data(), polls.size(), -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (polls[1].revents != 0) {
                return;
            }
            if (polls[0].revents != 0) {
                // An overrun (ENOBUFS) loses events, so it counts as a change.
                (void)m_socket.receive([](const nlmsghdr&) {});
                m_onChange();
            }
        }
    }

    netlink::NetlinkSocket m_socket;
    int m_stop;
    std::function<void()> m_onChange;
    std::thread m_thread; // last: starts once everything above is set
};

} // namespace

Expected<std::unique_ptr<LinkWatch>, std::string>
openNetlinkLinkWatch(std::function<void()> onChange) {
    auto socket = netlink::NetlinkSocket::open(RTMGRP_LINK);
    if (!socket) {
        return Unexpected{std::string("cannot open the netlink socket: ") +
                          std::strerror(socket.error().code)};
    }
    const int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop < 0) {
        return Unexpected{std::string("cannot create an eventfd: ") + std::strerror(errno)};
    }
    return std::unique_ptr<LinkWatch>(
        std::make_unique<NetlinkLinkWatch>(std::move(*socket), stop, std::move(onChange)));
}

} // namespace torvane
