#pragma once

#include "Expected.h"
#include "Helper.h"
#include "HelperOptions.h"
#include "SocketActivation.h"
#include "TunnelEngine.h"

#include <chrono>
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
/// may be busy with the very work being abandoned) and ends run() with
/// status 0. terminateWithReply: ends the same way: 0.2 s after its reply the
/// daemon sends SIGTERM to itself.
///
/// The engine must outlive the daemon object, and must no longer call its
/// callbacks once the daemon is destroyed.
class HelperDaemon {
public:
    /// Delay between the reply to terminateWithReply: and SIGTERM, so that
    /// the reply reaches the client first.
    static constexpr std::chrono::milliseconds kTerminateDelay{200};

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
    /// cannot be set up.
    int run();

    /// Ends run() without teardown. Thread-safe.
    void stop();

    Helper& helper() { return *m_helper; }

private:
    void acceptNext();
    void onSignal(const asio::error_code& error);
    void scheduleTermination();
    void shutdown();

    TunnelEngine& m_engine;
    HelperOptions m_options;
    asio::io_context m_io;
    asio::signal_set m_signals;
    asio::steady_timer m_terminateTimer;
    asio::steady_timer m_acceptRetryTimer;
    std::optional<asio::local::stream_protocol::acceptor> m_acceptor;
    ListeningSocket m_socket;
    std::shared_ptr<Helper> m_helper;
    bool m_shutDown = false;
};

} // namespace torvane
