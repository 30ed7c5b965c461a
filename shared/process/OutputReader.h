#pragma once

#include "shared/process/UniqueFd.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

namespace torvane {

/// Reads one pipe on a thread of its own until end of file, passing every
/// chunk to a handler as it arrives. It can also be told to stop early: it
/// then takes what the pipe already holds and finishes, which is how a caller
/// stops waiting for a descendant that keeps the pipe's write end open.
class OutputReader {
public:
    using ChunkHandler = std::function<void(std::string_view chunk)>;

    /// Takes the pipe's read end and starts the thread. `onChunk` runs on that
    /// thread only. Throws std::system_error when no thread can be started.
    OutputReader(UniqueFd readEnd, ChunkHandler onChunk);
    /// Stops and joins the thread. Must not run inside `onChunk`.
    ~OutputReader();
    OutputReader(const OutputReader&) = delete;
    OutputReader& operator=(const OutputReader&) = delete;

    /// Waits until the thread has finished (end of file, or a stop) or the
    /// deadline passes; true when it has finished.
    bool waitUntilFinished(std::chrono::steady_clock::time_point deadline);
    /// Asks the thread to read what the pipe holds now and finish. Returns at
    /// once; join() waits for it.
    void stop();
    /// Waits for the thread to end. Must not be called on the reader thread.
    void join();
    bool isReaderThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

private:
    enum class ReadResult { data, empty, end };

    void run();
    ReadResult readOnce();

    UniqueFd m_pipe;
    UniqueFd m_stopEvent;
    ChunkHandler m_onChunk;
    std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
    bool m_finished = false;
    std::thread m_thread;
};

} // namespace torvane
