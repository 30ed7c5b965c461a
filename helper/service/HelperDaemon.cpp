#include "helper/service/HelperDaemon.h"

#include "helper/platform/linux/PolkitAuthority.h"
#include "helper/platform/linux/SystemLog.h"
#include "shared/managed/ManagedProfileJson.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/post.hpp>

namespace torvane {

namespace {

void setTerminationSignalBlocked(bool blocked) {
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    // A reload asked for before the loop runs would otherwise end the
    // process (SIGHUP's default); held, it is acted on once run() starts.
    sigaddset(&terminate, SIGHUP);
    ::pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &terminate, nullptr);
}

} // namespace

void HelperDaemon::holdTerminationSignal() {
    setTerminationSignalBlocked(true);
}

HelperDaemon::HelperDaemon(TunnelEngine& engine, HelperOptions options)
    : m_engine(engine), m_options(std::move(options)), m_signals(m_io, SIGTERM),
      m_reloadSignal(m_io, SIGHUP),
      m_managed(m_options.configDir, [](const std::string& line) { systemLog(line); }),
      m_configWatch(m_io, m_options.configDir, {"profiles.d", "secrets.d"},
                    [this] {
                        systemLog("config dir changed — reading the managed profiles again");
                        m_managed.reload();
                    }),
      m_terminateTimer(m_io), m_acceptRetryTimer(m_io) {
    CommandService::Settings settings;
    settings.trustedClients = m_options.trustedClients;
    settings.onTerminate = [this]() -> std::optional<std::string> {
        // The daemon goes away when its clients are done with it, except
        // while it keeps an administrator's profile connected.
        if (const auto* managed = alwaysOnProfile()) {
            const auto reason = "terminate declined: always-on profile '" + managed->profile.name +
                                "' stays connected";
            systemLog(reason);
            return reason;
        }
        scheduleTermination();
        return std::nullopt;
    };
    settings.authorizer = makePolkitAuthority(
        [this](std::function<void()> work) { asio::post(m_io, std::move(work)); },
        [](const std::string& line) { systemLog(line); });
    settings.beforeTeardown = [this] {
        ++*m_teardowns;
        m_reserve.release();
    };
    settings.afterTeardown = [teardowns = m_teardowns] {
        --*teardowns;
    };
    settings.managedProfiles = [this] {
        return encodeManagedProfiles(m_managed.profiles());
    };
    settings.keptConnected = [this](std::string_view profileID) -> std::optional<std::string> {
        const auto id = Uuid::parse(profileID);
        for (const ManagedProfile& managed : m_managed.profiles()) {
            if (id && managed.profile.id == *id &&
                (managed.alwaysOn || !managed.userMayDisconnect)) {
                return managed.profile.name;
            }
        }
        return std::nullopt;
    };
    m_helper = CommandService::create(m_engine, std::move(settings));
    m_managed.setOnChange([this] { m_engine.setManagedProfiles(m_managed.profiles()); });
}

const ManagedProfile* HelperDaemon::alwaysOnProfile() const {
    for (const ManagedProfile& managed : m_managed.profiles()) {
        if (managed.alwaysOn) {
            return &managed;
        }
    }
    return nullptr;
}

HelperDaemon::~HelperDaemon() {
    shutdown();
}

Expected<ListeningSocket, std::string> HelperDaemon::listen() {
    if (m_acceptor) {
        return m_socket;
    }
    auto socket = acquireListeningSocket(m_options.socketPath);
    if (!socket) {
        return Unexpected{socket.error()};
    }
    asio::error_code error;
    m_acceptor.emplace(m_io);
    m_acceptor->assign(asio::local::stream_protocol(), socket->fd, error);
    if (error) {
        m_acceptor.reset();
        ::close(socket->fd);
        removeSocketFile(*socket);
        return Unexpected{"cannot use the listening socket: " + error.message()};
    }
    m_acceptor->non_blocking(true, error);
    m_socket = *socket;
    return m_socket;
}

int HelperDaemon::run() {
    if (auto listening = listen(); !listening) {
        systemLog("cannot listen for clients: " + listening.error());
        return 1;
    }
    m_signals.async_wait([this](const asio::error_code& error, int) { onSignal(error); });
    m_managed.reload();
    awaitReload();
    if (const std::string error = m_configWatch.start(); !error.empty()) {
        systemLog("managed profiles: changes are not watched (reload with SIGHUP) — " + error);
    }
    // The handler has been in place since construction; a SIGTERM held back
    // until now arrives here and waits in the loop like any other.
    setTerminationSignalBlocked(false);
    acceptNext();
    m_io.run();
    shutdown();
    return 0;
}

void HelperDaemon::stop() {
    m_io.stop();
}

void HelperDaemon::acceptNext() {
    m_acceptor->async_wait(asio::socket_base::wait_read, [this](const asio::error_code& error) {
        if (error == asio::error::operation_aborted) {
            return;
        }
        if (error) {
            m_acceptRetryTimer.expires_after(std::chrono::milliseconds(100));
            m_acceptRetryTimer.async_wait([this](const asio::error_code& timerError) {
                if (!timerError) {
                    acceptNext();
                }
            });
            return;
        }
        // accept4 rather than asio's accept: the client's socket must be
        // close-on-exec from its first instant, or a child the engine starts
        // meanwhile would keep the connection open after we close it.
        const auto acceptOne = [this] {
            return ::accept4(m_acceptor->native_handle(), nullptr, nullptr,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
        };
        int fd = acceptOne();
        bool tookSpare = false;
        if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
            m_reserve.release();
            tookSpare = true;
            fd = acceptOne();
        }
        const int acceptError = errno;
        if (fd >= 0) {
            accepted(fd, tookSpare);
            acceptNext();
            return;
        }
        if (acceptError == EAGAIN || acceptError == EWOULDBLOCK || acceptError == ECONNABORTED ||
            acceptError == EINTR) {
            acceptNext();
            return;
        }
        // Out of descriptors even with the spares gone, or of memory: wait a
        // moment instead of spinning.
        m_shortageLog.write(std::string("cannot accept a connection: ") +
                            std::strerror(acceptError));
        m_acceptRetryTimer.expires_after(std::chrono::milliseconds(100));
        m_acceptRetryTimer.async_wait([this](const asio::error_code& timerError) {
            if (!timerError) {
                acceptNext();
            }
        });
    });
}

void HelperDaemon::accepted(int fd, bool tookSpare) {
    // The new connection may keep its descriptor only if every spare can be
    // held beside it; otherwise the daemon is short, and serves only root.
    // Spares released for a teardown stay free until it is done.
    bool shortOfDescriptors = tookSpare;
    if (!shortOfDescriptors && *m_teardowns == 0) {
        shortOfDescriptors = !m_reserve.refill();
    }
    asio::error_code assignError;
    asio::local::stream_protocol::socket socket(m_io);
    socket.assign(asio::local::stream_protocol(), fd, assignError);
    if (assignError) {
        ::close(fd);
    } else {
        // The trust check opens a few descriptors of its own for a moment;
        // the spares lend them, so that it never fails for want of one.
        m_reserve.release();
        m_helper->accept(std::move(socket), shortOfDescriptors);
    }
    if (*m_teardowns == 0) {
        m_reserve.refill();
    }
}

void HelperDaemon::onSignal(const asio::error_code& error) {
    if (error) {
        return;
    }
    systemLog("SIGTERM — tearing down VPN");
    m_reserve.release();
    m_engine.teardownAll(true);
    m_io.stop();
}

void HelperDaemon::awaitReload() {
    m_reloadSignal.async_wait([this](const asio::error_code& error, int) {
        if (error) {
            return;
        }
        systemLog("SIGHUP — reading the managed profiles again");
        m_managed.reload();
        // The directory may have been created since the start.
        if (!m_configWatch.watching() && m_configWatch.start().empty()) {
            systemLog("managed profiles: changes are watched from now on");
        }
        awaitReload();
    });
}

void HelperDaemon::scheduleTermination() {
    m_terminateTimer.expires_after(kTerminateDelay);
    m_terminateTimer.async_wait([](const asio::error_code& error) {
        if (!error) {
            ::kill(::getpid(), SIGTERM);
        }
    });
}

void HelperDaemon::shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    asio::error_code ignored;
    m_signals.cancel(ignored);
    m_reloadSignal.cancel(ignored);
    m_configWatch.stop();
    m_terminateTimer.cancel();
    m_acceptRetryTimer.cancel();
    if (m_acceptor) {
        m_acceptor->close(ignored);
        removeSocketFile(m_socket);
    }
    m_helper->closeAllConnections();
    // Let the last replies go out and the closes just posted finish, so that
    // every client sees its connection end now rather than at exit. A client
    // that does not read is not waited for long.
    m_io.restart();
    m_io.run_for(kLastWritesLimit);
}

} // namespace torvane
