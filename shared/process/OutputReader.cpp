#include "shared/process/OutputReader.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>

namespace torvane {

OutputReader::OutputReader(UniqueFd readEnd, ChunkHandler onChunk)
    : m_pipe(std::move(readEnd)), m_stopEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_onChunk(std::move(onChunk)) {
    if (!m_stopEvent.isValid()) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    // Non-blocking, so a stop can drain the pipe without hanging on a
    // writer that is still alive.
    const int flags = ::fcntl(m_pipe.get(), F_GETFL);
    if (flags == -1 || ::fcntl(m_pipe.get(), F_SETFL, flags | O_NONBLOCK) == -1) {
        throw std::system_error(errno, std::generic_category(), "fcntl");
    }
    m_thread = std::thread([this] { run(); });
}

OutputReader::~OutputReader() {
    stop();
    if (m_thread.joinable()) {
        if (isReaderThread()) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
}

bool OutputReader::waitUntilFinished(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return m_finishedChanged.wait_until(lock, deadline, [this] { return m_finished; });
}

void OutputReader::stop() {
    const std::uint64_t one = 1;
    // Writing an eventfd only fails when its counter would overflow, which
    // means a stop is pending anyway.
    [[maybe_unused]] auto written = ::write(m_stopEvent.get(), &one, sizeof one);
}

void OutputReader::join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

OutputReader::ReadResult OutputReader::readOnce() {
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t count = ::read(m_pipe.get(), buffer.data(), buffer.size());
        if (count > 0) {
            try {
                m_onChunk(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
            } catch (...) {
                // A failing consumer loses this chunk; the pipe keeps being
                // drained so that the child never blocks on a full pipe.
            }
            return ReadResult::data;
        }
        if (count == -1 && errno == EINTR) {
            continue;
        }
        if (count == -1 && errno == EAGAIN) {
            return ReadResult::empty;
        }
        // End of file, or an error that leaves nothing more to read.
        return ReadResult::end;
    }
}

void OutputReader::run() {
    for (;;) {
        std::array<pollfd, 2> watched{{{m_pipe.get(), POLLIN, 0}, {m_stopEvent.get(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) == -1) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watched[0].revents != 0 && readOnce() == ReadResult::end) {
            break;
        }
        if (watched[1].revents != 0) {
            // A stopped reader delivers what the pipe holds now (its capacity
            // is 64 KiB by default), not what a chatty writer adds meanwhile.
            for (int i = 0; i < 16 && readOnce() == ReadResult::data; ++i) {
            }
            break;
        }
    }
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_finishedChanged.notify_all();
}

} // namespace torvane
