#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

namespace torvane {

/// Watches a directory and some of its subdirectories (inotify) for files
/// created, removed, moved or closed after writing, and calls the handler on
/// the given loop once things have been quiet for the settle time, so that
/// an editor's or a package's burst of changes makes one call. A watched
/// subdirectory that appears later is picked up through the parent's events;
/// one removed is watched again when it comes back.
class DirectoryWatch {
public:
    static constexpr std::chrono::milliseconds kSettleTime{500};

    DirectoryWatch(asio::io_context& io, std::string directory,
                   std::vector<std::string> subdirectories, std::function<void()> onChange);
    ~DirectoryWatch();
    DirectoryWatch(const DirectoryWatch&) = delete;
    DirectoryWatch& operator=(const DirectoryWatch&) = delete;

    /// Starts watching; an error text (nothing is watched then) when the
    /// directory cannot be watched.
    std::string start();
    /// Stops watching; no call comes after this, not even one already due.
    void stop();
    /// Started and not stopped.
    bool watching() const { return m_inotify.is_open(); }

private:
    void watchSubdirectories();
    void readNext();
    void settle();

    std::string m_directory;
    std::vector<std::string> m_subdirectories;
    std::function<void()> m_onChange;
    asio::posix::stream_descriptor m_inotify;
    asio::steady_timer m_settleTimer;
    /// Cleared by the destructor, so that a handler still queued does nothing.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace torvane
