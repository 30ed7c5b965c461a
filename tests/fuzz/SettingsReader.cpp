#include "tests/fuzz/SettingsReader.h"

namespace torvane::testing {

namespace {

bool isNameChar(char c) {
    switch (c) {
    case ' ':
    case '\t':
    case '\n':
    case '.':
    case ',':
    case ':':
    case '{':
    case '}':
    case '=':
    case '"':
    case '#':
        return false;
    default:
        return static_cast<unsigned char>(c) >= 0x20;
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    std::optional<SettingsEntries> read() {
        std::vector<std::string> sections;
        while (true) {
            skipBlanks();
            if (atEnd()) {
                break;
            }
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_pos;
                continue;
            }
            if (c == '}') {
                if (sections.empty()) {
                    return std::nullopt;
                }
                sections.pop_back();
                ++m_pos;
                continue;
            }
            const auto name = readName();
            if (name.empty()) {
                return std::nullopt;
            }
            skipBlanks();
            if (atEnd()) {
                return std::nullopt;
            }
            if (m_text[m_pos] == '{') {
                ++m_pos;
                sections.push_back(name);
                continue;
            }
            if (m_text[m_pos] != '=') {
                return std::nullopt;
            }
            ++m_pos;
            auto value = readValue();
            if (!value) {
                return std::nullopt;
            }
            std::string path;
            for (const auto& section : sections) {
                path += section + ".";
            }
            m_entries.emplace_back(path + name, std::move(*value));
        }
        if (!sections.empty()) {
            return std::nullopt;
        }
        return m_entries;
    }

private:
    bool atEnd() const { return m_pos >= m_text.size(); }

    void skipBlanks() {
        while (!atEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) {
            ++m_pos;
        }
    }

    std::string readName() {
        const auto start = m_pos;
        while (!atEnd() && isNameChar(m_text[m_pos])) {
            ++m_pos;
        }
        return std::string(m_text.substr(start, m_pos - start));
    }

    /// The rest of the line after "=", which must end at a line break or
    /// at the end of the text.
    std::optional<std::string> readValue() {
        skipBlanks();
        std::string value;
        if (!atEnd() && m_text[m_pos] == '"') {
            ++m_pos;
            auto quoted = readQuoted();
            if (!quoted) {
                return std::nullopt;
            }
            value = std::move(*quoted);
            skipBlanks();
        } else {
            const auto start = m_pos;
            while (!atEnd() && m_text[m_pos] != '\n') {
                const char c = m_text[m_pos];
                if (c == '"' || c == '#' || c == '{' || c == '}') {
                    return std::nullopt;
                }
                ++m_pos;
            }
            value = std::string(m_text.substr(start, m_pos - start));
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
                value.pop_back();
            }
        }
        if (!atEnd() && m_text[m_pos] != '\n') {
            return std::nullopt;
        }
        return value;
    }

    std::optional<std::string> readQuoted() {
        std::string value;
        while (!atEnd()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return value;
            }
            if (c != '\\') {
                value += c;
                continue;
            }
            if (atEnd()) {
                return std::nullopt;
            }
            const char escaped = m_text[m_pos++];
            switch (escaped) {
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case '\n':
                break;
            default:
                value += escaped;
                break;
            }
        }
        return std::nullopt;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    SettingsEntries m_entries;
};

} // namespace

std::optional<SettingsEntries> readSettings(std::string_view text) {
    return Reader(text).read();
}

} // namespace torvane::testing
