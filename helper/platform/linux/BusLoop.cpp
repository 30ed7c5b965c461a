#include "helper/platform/linux/BusLoop.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <systemd/sd-bus.h>

namespace torvane {

void runBusUntilStopped(sd_bus* bus, int stopFd) {
    for (;;) {
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0) {
            return; // the bus went away
        }
        if (processed > 0) {
            continue;
        }
        std::array<pollfd, 2> fds{{{sd_bus_get_fd(bus), 0, 0}, {stopFd, POLLIN, 0}}};
        const int events = sd_bus_get_events(bus);
        if (events < 0) {
            return;
        }
        fds[0].events = static_cast<short>(events);
        std::uint64_t usec = 0;
        int timeout = -1;
        if (sd_bus_get_timeout(bus, &usec) > 0 && usec != UINT64_MAX) {
            timeout = 1000; // pending internal work; look again soon
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
    }
}

} // namespace torvane
