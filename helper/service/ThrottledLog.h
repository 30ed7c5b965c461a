#pragma once

#include "helper/platform/linux/SystemLog.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace torvane {

/// Writes one system-log line per interval at most, for events a client can
/// cause at will (a flood of connections must not become a flood of log
/// lines). The lines held back are counted in the next one written.
class ThrottledLog {
public:
    static constexpr std::chrono::seconds kInterval{10};

    void write(const std::string& line) {
        const auto now = std::chrono::steady_clock::now();
        if (m_written && now - m_last < kInterval) {
            ++m_held;
            return;
        }
        std::string text = line;
        if (m_held > 0) {
            text += " (" + std::to_string(m_held) + " more since the last line like it)";
        }
        systemLog(text);
        m_written = true;
        m_last = now;
        m_held = 0;
    }

private:
    bool m_written = false;
    std::chrono::steady_clock::time_point m_last;
    std::size_t m_held = 0;
};

} // namespace torvane
