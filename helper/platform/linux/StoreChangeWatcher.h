#pragma once

#include "shared/Expected.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace torvane {

/// The thread behind the Linux dynamic store's notifications: it waits for
/// rtnetlink route, address and link events and for inotify events on a
/// resolv.conf file (both the file itself, which catches in-place writes
/// even through a bind mount, and its folder, which catches a replaced
/// file), and calls one of two callbacks on its own thread; a file change
/// is reported once the file has been quiet for a moment. The callbacks
/// must be quick and must not destroy the watcher.
class StoreChangeWatcher {
public:
    struct Callbacks {
        std::function<void()> routingChanged;
        std::function<void()> resolvConfChanged;
    };

    /// Opens the sockets and starts the thread; the reason on failure.
    static Expected<std::unique_ptr<StoreChangeWatcher>, std::string>
    start(const std::string& resolvConfPath, Callbacks callbacks);

    /// Stops the thread and waits for it; no callback runs afterwards.
    ~StoreChangeWatcher();
    StoreChangeWatcher(const StoreChangeWatcher&) = delete;
    StoreChangeWatcher& operator=(const StoreChangeWatcher&) = delete;

private:
    struct Descriptors;
    StoreChangeWatcher(std::unique_ptr<Descriptors> descriptors, std::string resolvConfPath,
                       Callbacks callbacks);
    void run();
    /// Reads every pending inotify event; whether one concerns the file.
    bool drainResolvConfEvents();
    void watchFile();

    std::unique_ptr<Descriptors> m_fds;
    std::string m_path;
    std::string m_fileName;
    Callbacks m_callbacks;
    int m_fileWatch = -1;
    std::thread m_thread;
};

} // namespace torvane
