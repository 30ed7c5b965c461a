#include "helper/platform/linux/PolkitAuthority.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>

namespace torvane {
namespace {

constexpr const char* kService = "org.freedesktop.PolicyKit1";
constexpr const char* kPath = "/org/freedesktop/PolicyKit1/Authority";
constexpr const char* kInterface = "org.freedesktop.PolicyKit1.Authority";
/// CheckAuthorization's flag that lets polkit ask the user to authenticate.
constexpr std::uint32_t kAllowUserInteraction = 1;
constexpr const char* kNoAuthority = "no polkit authority is running, so only root may do this";

bool nameMissing(const char* errorName) {
    return errorName != nullptr &&
           (std::strcmp(errorName, SD_BUS_ERROR_SERVICE_UNKNOWN) == 0 ||
            std::strcmp(errorName, SD_BUS_ERROR_NAME_HAS_NO_OWNER) == 0 ||
            std::strcmp(errorName, "org.freedesktop.DBus.Error.Spawn.ServiceNotFound") == 0);
}

std::uint64_t monotonicMicroseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000U +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
}

class PolkitAuthority final : public Authorizer {
public:
    PolkitAuthority(PostToMainLoop post, std::function<void(const std::string&)> log, int wakeFd)
        : m_post(std::move(post)), m_log(std::move(log)), m_wakeFd(wakeFd) {
        m_thread = std::thread([this] { run(); });
    }

    ~PolkitAuthority() override {
        {
            std::lock_guard lock(m_queueLock);
            m_stopping = true;
        }
        wake();
        m_thread.join();
        closeBus();
        ::close(m_wakeFd);
    }

    PolkitAuthority(const PolkitAuthority&) = delete;
    PolkitAuthority& operator=(const PolkitAuthority&) = delete;

    Ticket check(const AuthorizationSubject& subject, AuthorizedAction action, Done done) override {
        Ticket ticket = 0;
        {
            std::lock_guard lock(m_queueLock);
            ticket = ++m_lastTicket;
            m_queue.push_back(Command{ticket, true, subject, action, std::move(done)});
        }
        wake();
        return ticket;
    }

    void cancel(Ticket ticket) override {
        {
            std::lock_guard lock(m_queueLock);
            m_queue.push_back(Command{ticket, false, {}, AuthorizedAction::connect, nullptr});
        }
        wake();
    }

private:
    struct Command {
        Ticket ticket = 0;
        /// A check; otherwise a cancellation.
        bool isCheck = true;
        AuthorizationSubject subject;
        AuthorizedAction action = AuthorizedAction::connect;
        Done done;
    };

    /// A check sent and not yet answered. Bus thread only.
    struct Pending {
        PolkitAuthority* owner = nullptr;
        Ticket ticket = 0;
        Done done;
    };

    void wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
    }

    void finish(Done done, AuthorizationResult result) {
        m_post([done = std::move(done), result = std::move(result)]() mutable {
            done(std::move(result));
        });
    }

    void noAuthority(const std::string& why) {
        if (!m_unavailableLogged) {
            m_unavailableLogged = true;
            m_log("polkit: no authorization authority (" + why +
                  ") — only root may start, stop or follow tunnels");
        }
    }

    static std::string cancellationID(Ticket ticket) { return "torvane-" + std::to_string(ticket); }

    // Everything below runs on the authority's thread.

    void run() {
        for (;;) {
            std::deque<Command> commands;
            {
                std::lock_guard lock(m_queueLock);
                if (m_stopping) {
                    return;
                }
                commands.swap(m_queue);
            }
            for (auto& command : commands) {
                if (command.isCheck) {
                    send(std::move(command));
                } else {
                    sendCancel(command.ticket);
                }
            }
            if (m_bus != nullptr) {
                const int processed = sd_bus_process(m_bus, nullptr);
                if (processed < 0) {
                    failPending("the system bus connection was lost");
                    closeBus();
                    continue;
                }
                if (processed > 0) {
                    continue;
                }
            }
            waitForWork();
        }
    }

    void waitForWork() {
        std::array<pollfd, 2> fds{{{m_wakeFd, POLLIN, 0}, {-1, 0, 0}}};
        int timeout = -1;
        if (m_bus != nullptr) {
            fds[1].fd = sd_bus_get_fd(m_bus);
            const int events = sd_bus_get_events(m_bus);
            fds[1].events = static_cast<short>(events > 0 ? events : 0);
            std::uint64_t until = 0;
            if (sd_bus_get_timeout(m_bus, &until) > 0 && until != UINT64_MAX) {
                const std::uint64_t now = monotonicMicroseconds();
                timeout = until <= now ? 0 : static_cast<int>((until - now + 999) / 1000);
            }
        }
        if (::poll(fds.data(), fds[1].fd >= 0 ? 2 : 1, timeout) > 0 &&
            (fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const auto read = ::read(m_wakeFd, &count, sizeof count);
        }
    }

    bool ensureBus() {
        if (m_bus != nullptr) {
            return true;
        }
        const int opened = sd_bus_open_system(&m_bus);
        if (opened < 0) {
            m_bus = nullptr;
            noAuthority(std::string("cannot connect to the system bus: ") + std::strerror(-opened));
            return false;
        }
        return true;
    }

    void closeBus() {
        if (m_bus != nullptr) {
            sd_bus_flush_close_unref(m_bus);
            m_bus = nullptr;
        }
    }

    void send(Command command) {
        if (!ensureBus()) {
            finish(std::move(command.done), {false, kNoAuthority});
            return;
        }
        sd_bus_message* message = nullptr;
        int status = sd_bus_message_new_method_call(m_bus, &message, kService, kPath, kInterface,
                                                    "CheckAuthorization");
        const std::string action(actionID(command.action));
        const std::string cancellation = cancellationID(command.ticket);
        if (status >= 0) {
            status = sd_bus_message_append(message, "(sa{sv})sa{ss}us", "unix-process", 3, "pid",
                                           "u", static_cast<std::uint32_t>(command.subject.pid),
                                           "start-time", "t", command.subject.startTime, "uid", "i",
                                           static_cast<std::int32_t>(command.subject.uid),
                                           action.c_str(), 0, kAllowUserInteraction,
                                           cancellation.c_str());
        }
        auto pending = std::make_unique<Pending>(Pending{this, command.ticket, nullptr});
        if (status >= 0) {
            const auto timeout =
                std::chrono::duration_cast<std::chrono::microseconds>(kPolkitCheckTimeout);
            status = sd_bus_call_async(m_bus, nullptr, message, &PolkitAuthority::onReply,
                                       pending.get(), static_cast<std::uint64_t>(timeout.count()));
        }
        sd_bus_message_unref(message);
        if (status < 0) {
            finish(std::move(command.done),
                   {false, std::string("asking polkit failed: ") + std::strerror(-status)});
            return;
        }
        pending->done = std::move(command.done);
        m_pending.emplace(command.ticket, std::move(pending));
    }

    void sendCancel(Ticket ticket) {
        if (m_bus == nullptr || !m_pending.contains(ticket)) {
            return;
        }
        // The check itself then ends with an error, which its owner drops.
        const std::string cancellation = cancellationID(ticket);
        sd_bus_call_method_async(m_bus, nullptr, kService, kPath, kInterface,
                                 "CancelCheckAuthorization", nullptr, nullptr, "s",
                                 cancellation.c_str());
    }

    void failPending(const std::string& why) {
        for (auto& [ticket, pending] : m_pending) {
            finish(std::move(pending->done), {false, "polkit failed: " + why});
        }
        m_pending.clear();
    }

    static int onReply(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
        auto* pending = static_cast<Pending*>(userdata);
        PolkitAuthority& self = *pending->owner;
        const auto found = self.m_pending.find(pending->ticket);
        if (found == self.m_pending.end()) {
            return 0;
        }
        const std::unique_ptr<Pending> owned = std::move(found->second);
        self.m_pending.erase(found);
        self.finish(std::move(owned->done), self.verdict(reply));
        return 0;
    }

    AuthorizationResult verdict(sd_bus_message* reply) {
        if (sd_bus_message_is_method_error(reply, nullptr) != 0) {
            const sd_bus_error* error = sd_bus_message_get_error(reply);
            const char* name = error != nullptr ? error->name : nullptr;
            const std::string text =
                error != nullptr && error->message != nullptr ? error->message : "unknown error";
            if (nameMissing(name)) {
                noAuthority(std::string(kService) + ": " + text);
                return {false, kNoAuthority};
            }
            if (name != nullptr && std::strcmp(name, SD_BUS_ERROR_NO_REPLY) == 0) {
                // Our own time limit, or the bus connection ended meanwhile.
                return {false, "polkit gave no answer (" + text + ")"};
            }
            if (name != nullptr &&
                std::strcmp(name, "org.freedesktop.PolicyKit1.Error.Cancelled") == 0) {
                return {false, "the authorization was cancelled"};
            }
            return {false, "polkit failed: " + text};
        }
        m_unavailableLogged = false;
        int authorized = 0;
        int challenge = 0;
        bool dismissed = false;
        if (sd_bus_message_enter_container(reply, 'r', "bba{ss}") < 0 ||
            sd_bus_message_read(reply, "bb", &authorized, &challenge) < 0 ||
            sd_bus_message_enter_container(reply, 'a', "{ss}") < 0) {
            return {false, "polkit sent an unreadable answer"};
        }
        const char* key = nullptr;
        const char* value = nullptr;
        while (sd_bus_message_read(reply, "{ss}", &key, &value) > 0) {
            dismissed = dismissed || (std::strcmp(key, "polkit.dismissed") == 0 &&
                                      std::strcmp(value, "true") == 0);
        }
        if (authorized != 0) {
            return {true, {}};
        }
        return {false, dismissed ? "the authentication dialog was dismissed" : "polkit refused it"};
    }

    PostToMainLoop m_post;
    std::function<void(const std::string&)> m_log;
    const int m_wakeFd;
    std::thread m_thread;

    std::mutex m_queueLock;
    std::deque<Command> m_queue;
    Ticket m_lastTicket = 0;
    bool m_stopping = false;

    // The authority's thread only.
    sd_bus* m_bus = nullptr;
    std::map<Ticket, std::unique_ptr<Pending>> m_pending;
    bool m_unavailableLogged = false;
};

} // namespace

std::shared_ptr<Authorizer> makePolkitAuthority(PostToMainLoop post,
                                                std::function<void(const std::string&)> log) {
    const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        // Without a way to wake its thread the authority cannot work; refuse
        // everyone but root, as where polkit is missing.
        log(std::string("polkit: cannot set up the authority: ") + std::strerror(errno) +
            " — only root may start, stop or follow tunnels");
        return nullptr;
    }
    return std::make_shared<PolkitAuthority>(std::move(post), std::move(log), wakeFd);
}

} // namespace torvane
