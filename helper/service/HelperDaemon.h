#pragma once

#include "helper/engine/TunnelEngine.h"
#include "helper/platform/linux/DescriptorReserve.h"
#include "helper/platform/linux/DirectoryWatch.h"
#include "helper/platform/linux/SocketActivation.h"
#include "helper/service/CommandService.h"
#include "helper/service/HelperOptions.h"
#include "helper/service/ManagedProfiles.h"
#include "helper/service/ThrottledLog.h"
#include "shared/Expected.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/local/stream_protocol.hpp>
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>

namespace torvane {

/// The daemon's process-level shell around the command service: the main
/// loop, the listening socket and SIGTERM.
///
/// SIGTERM is received on the main loop (asio::signal_set), never acted on
/// inside a signal handler: it logs "SIGTERM — tearing down VPN", runs the
/// engine's teardownAll(true) directly on the main loop (the engine's queue
/// may be busy with the very work being abandoned; a start in progress is
/// cut short) and ends run() with status 0, after the replies still queued
/// for clients have gone out. terminateWithReply: ends the same way: 0.2 s after its reply the
/// daemon sends SIGTERM to itself.
///
/// Clients of users other than root are authorized through polkit.
///
/// A few spare file descriptors are held in reserve. When accept finds the
/// process out of descriptors, the spares are let go: a connection from root
/// is still taken and served (anyone else is turned away while the shortage
/// lasts), and before every command that may tear down, and before the
/// SIGTERM teardown, they are let go too, so that charon, swanctl and the
/// netlink and nftables calls have descriptors to work with.
///
/// The engine must outlive the daemon object, and must no longer call its
/// callbacks once the daemon is destroyed.
class HelperDaemon {
public:
    /// Delay between the reply to terminateWithReply: and SIGTERM, so that
    /// the reply reaches the client first.
    static constexpr std::chrono::milliseconds kTerminateDelay{200};
    /// How long the shutdown waits for the last replies to be written.
    static constexpr std::chrono::milliseconds kLastWritesLimit{1000};
    /// Enough for a teardown's child programs, pipes and sockets.
    static constexpr std::size_t kSpareDescriptors = 8;

    /// Holds SIGTERM (and SIGHUP) back in the calling thread and in every thread it
    /// starts from then on. The daemon's first act, before anything that
    /// takes time (the journal's restore, the power-event registration): a
    /// SIGTERM then waits, pending, until run() can act on it, and leads to
    /// the usual teardown instead of ending the process with nothing undone.
    /// run() takes it back once its own handling is in place, on the thread
    /// that calls run(). Children start with an empty signal mask whatever
    /// the daemon's threads block.
    static void holdTerminationSignal();

    HelperDaemon(TunnelEngine& engine, HelperOptions options);
    ~HelperDaemon();

    HelperDaemon(const HelperDaemon&) = delete;
    HelperDaemon& operator=(const HelperDaemon&) = delete;

    /// Takes the socket from systemd or creates it. run() does this itself
    /// when it has not been done; calling it first lets the caller know the
    /// socket is ready before the loop runs. Returns the error text.
    Expected<ListeningSocket, std::string> listen();

    /// Runs the main loop until SIGTERM (returns 0) or stop() (returns 0
    /// without teardown). Returns 1, after logging why, when the socket
    /// cannot be set up. A SIGTERM held back since holdTerminationSignal is
    /// acted on as soon as the loop runs.
    int run();

    /// Ends run() without teardown. Thread-safe.
    void stop();

    CommandService& helper() { return *m_helper; }
    ManagedProfiles& managedProfiles() { return m_managed; }
    /// The first managed profile kept connected at all times; none: the
    /// daemon may exit when asked.
    const ManagedProfile* alwaysOnProfile() const;

private:
    void acceptNext();
    /// `tookSpare`: accepting needed a descriptor of the reserve.
    void accepted(int fd, bool tookSpare);
    void onSignal(const asio::error_code& error);
    void awaitReload();
    void scheduleTermination();
    void shutdown();

    TunnelEngine& m_engine;
    HelperOptions m_options;
    asio::io_context m_io;
    asio::signal_set m_signals;
    asio::signal_set m_reloadSignal;
    ManagedProfiles m_managed;
    /// Reads the managed profiles again when the config dir changes.
    DirectoryWatch m_configWatch;
    asio::steady_timer m_terminateTimer;
    asio::steady_timer m_acceptRetryTimer;
    std::optional<asio::local::stream_protocol::acceptor> m_acceptor;
    ListeningSocket m_socket;
    DescriptorReserve m_reserve{kSpareDescriptors};
    /// Commands that may tear down and have not been answered yet; the spares
    /// stay released meanwhile. Shared with the replies, which may come after
    /// the daemon is gone.
    std::shared_ptr<std::atomic<int>> m_teardowns = std::make_shared<std::atomic<int>>(0);
    ThrottledLog m_shortageLog;
    std::shared_ptr<CommandService> m_helper;
    bool m_shutDown = false;
};

} // namespace torvane
