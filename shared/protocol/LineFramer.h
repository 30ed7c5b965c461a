#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace torvane::protocol {

/// Longest line, without its "\n", either side accepts or sends.
inline constexpr std::size_t kMaxLineBytes = 1024 * 1024;

/// Splits a byte stream into "\n"-terminated lines. Memory stays bounded by
/// the line limit plus one received chunk: once a line grows past the limit
/// the framer drops that line and everything after it and reports the overflow
/// for good; lines completed before it are still delivered, then the owner
/// closes the connection.
class LineFramer {
public:
    explicit LineFramer(std::size_t maxLineBytes = kMaxLineBytes) : m_maxLineBytes(maxLineBytes) {}

    /// Takes the next received bytes. Returns false when a line exceeded the
    /// limit (now or earlier).
    bool append(std::string_view bytes);

    /// The next complete line without its "\n", oldest first.
    std::optional<std::string> nextLine();

    bool overflowed() const { return m_overflowed; }
    /// Bytes of a line that has begun but not ended.
    std::size_t pendingBytes() const { return m_partial.size(); }

private:
    std::size_t m_maxLineBytes;
    std::string m_partial;
    std::deque<std::string> m_lines;
    bool m_overflowed = false;
};

} // namespace torvane::protocol
