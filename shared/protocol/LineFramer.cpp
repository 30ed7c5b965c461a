#include "shared/protocol/LineFramer.h"

namespace torvane::protocol {

bool LineFramer::append(std::string_view bytes) {
    while (!m_overflowed && !bytes.empty()) {
        const auto newline = bytes.find('\n');
        const auto piece = bytes.substr(0, newline);
        if (m_partial.size() + piece.size() > m_maxLineBytes) {
            m_overflowed = true;
            m_partial.clear();
            m_partial.shrink_to_fit();
            break;
        }
        m_partial.append(piece);
        if (newline == std::string_view::npos) {
            break;
        }
        m_lines.push_back(std::move(m_partial));
        m_partial.clear();
        bytes.remove_prefix(newline + 1);
    }
    return !m_overflowed;
}

std::optional<std::string> LineFramer::nextLine() {
    if (m_lines.empty()) {
        return std::nullopt;
    }
    std::string line = std::move(m_lines.front());
    m_lines.pop_front();
    return line;
}

} // namespace torvane::protocol
