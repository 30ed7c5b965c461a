#include "helper/platform/linux/LogindPowerEvents.h"

#include "helper/platform/linux/BusLoop.h"

#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>

namespace torvane {
namespace {

std::string busError(const char* what, int code) {
    return std::string(what) + ": " + std::strerror(-code);
}

class LogindPowerEvents final : public PowerEvents {
public:
    LogindPowerEvents(sd_bus* bus, int stopFd, PowerMessageHandler handler)
        : m_bus(bus), m_stopFd(stopFd), m_handler(std::move(handler)) {}

    ~LogindPowerEvents() override {
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(m_stopFd, &one, sizeof one);
            m_thread.join();
        }
        sd_bus_slot_unref(m_slot);
        sd_bus_flush_close_unref(m_bus);
        ::close(m_stopFd);
    }

    LogindPowerEvents(const LogindPowerEvents&) = delete;
    LogindPowerEvents& operator=(const LogindPowerEvents&) = delete;

    int subscribe() {
        // Only logind's own signal counts: the bus resolves the well-known
        // sender name to whoever owns it.
        return sd_bus_match_signal(m_bus, &m_slot, "org.freedesktop.login1",
                                   "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                   "PrepareForSleep", &LogindPowerEvents::onSignal, this);
    }

    void startThread() {
        m_thread = std::thread([this] { run(); });
    }

private:
    static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error* /*error*/) {
        auto* self = static_cast<LogindPowerEvents*>(userdata);
        int sleeping = 0;
        if (sd_bus_message_read(message, "b", &sleeping) < 0) {
            return 0; // a malformed signal is ignored
        }
        self->m_handler(sleeping != 0 ? PowerMessage::systemWillSleep
                                      : PowerMessage::systemHasPoweredOn);
        return 0;
    }

    void run() {
        // Returns when the bus goes away; sleep and wake pass unnoticed.
        runBusUntilStopped(m_bus, m_stopFd);
    }

    sd_bus* m_bus;
    sd_bus_slot* m_slot = nullptr;
    int m_stopFd;
    PowerMessageHandler m_handler;
    std::thread m_thread;
};

} // namespace

Expected<std::unique_ptr<PowerEvents>, std::string>
openLogindPowerEvents(PowerMessageHandler handler) {
    sd_bus* bus = nullptr;
    const int opened = sd_bus_open_system(&bus);
    if (opened < 0) {
        return Unexpected{busError("cannot connect to the system bus", opened)};
    }
    const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd < 0) {
        sd_bus_flush_close_unref(bus);
        return Unexpected{std::string("eventfd: ") + std::strerror(errno)};
    }
    auto events = std::make_unique<LogindPowerEvents>(bus, stopFd, std::move(handler));
    const int subscribed = events->subscribe();
    if (subscribed < 0) {
        return Unexpected{busError("cannot subscribe to PrepareForSleep", subscribed)};
    }
    events->startThread();
    return std::unique_ptr<PowerEvents>(std::move(events));
}

} // namespace torvane
