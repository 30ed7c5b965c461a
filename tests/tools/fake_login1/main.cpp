// torvane-fake-login1: stands in for logind on a private system bus (the one
// DBUS_SYSTEM_BUS_ADDRESS names). It owns org.freedesktop.login1 and, for
// each line on standard input, emits the Manager's PrepareForSleep signal:
// "sleep" sends true, "wake" sends false. It prints "ready" once it owns the
// name and "emitted sleep|wake" after each signal has been flushed.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <systemd/sd-bus.h>

int main() {
    sd_bus* bus = nullptr;
    int status = sd_bus_open_system(&bus);
    if (status < 0) {
        std::fprintf(stderr, "fake-login1: cannot connect to the system bus: %s\n",
                     std::strerror(-status));
        return 1;
    }
    status = sd_bus_request_name(bus, "org.freedesktop.login1", 0);
    if (status < 0) {
        std::fprintf(stderr, "fake-login1: cannot own org.freedesktop.login1: %s\n",
                     std::strerror(-status));
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line != "sleep" && line != "wake") {
            std::fprintf(stderr, "fake-login1: unknown command '%s'\n", line.c_str());
            continue;
        }
        const int sleeping = line == "sleep" ? 1 : 0;
        status =
            sd_bus_emit_signal(bus, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                               "PrepareForSleep", "b", sleeping);
        if (status >= 0) {
            status = sd_bus_flush(bus);
        }
        if (status < 0) {
            std::fprintf(stderr, "fake-login1: cannot emit: %s\n", std::strerror(-status));
            return 1;
        }
        std::cout << "emitted " << line << std::endl;
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
