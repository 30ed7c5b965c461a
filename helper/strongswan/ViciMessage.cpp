#include "helper/strongswan/ViciMessage.h"

namespace torvane {
namespace {

// Element types inside a message.
enum : std::uint8_t {
    sectionStart = 1,
    sectionEnd = 2,
    keyValue = 3,
    listStart = 4,
    listItem = 5,
    listEnd = 6,
};

// An SA listing nests IKE SA > child SAs > child > a few lists; anything far
// deeper is not from charon.
constexpr int maxDepth = 16;

bool hasName(ViciPacket type) {
    return type == ViciPacket::commandRequest || type == ViciPacket::eventRegister ||
           type == ViciPacket::eventUnregister || type == ViciPacket::event;
}

bool hasMessage(ViciPacket type) {
    return type == ViciPacket::commandRequest || type == ViciPacket::commandResponse ||
           type == ViciPacket::event;
}

class Writer {
public:
    bool name(std::string_view text) {
        if (text.size() > 0xff) {
            return false;
        }
        m_bytes.push_back(static_cast<char>(text.size()));
        m_bytes.append(text);
        return true;
    }
    bool value(std::string_view text) {
        if (text.size() > 0xffff) {
            return false;
        }
        m_bytes.push_back(static_cast<char>(text.size() >> 8));
        m_bytes.push_back(static_cast<char>(text.size() & 0xff));
        m_bytes.append(text);
        return true;
    }
    void byte(std::uint8_t b) { m_bytes.push_back(static_cast<char>(b)); }
    bool nodes(const std::vector<ViciNode>& elements) {
        for (const ViciNode& node : elements) {
            switch (node.kind) {
            case ViciNode::Kind::value:
                byte(keyValue);
                if (!name(node.name) || !value(node.value)) {
                    return false;
                }
                break;
            case ViciNode::Kind::list:
                byte(listStart);
                if (!name(node.name)) {
                    return false;
                }
                for (const std::string& item : node.items) {
                    byte(listItem);
                    if (!value(item)) {
                        return false;
                    }
                }
                byte(listEnd);
                break;
            case ViciNode::Kind::section:
                byte(sectionStart);
                if (!name(node.name) || !nodes(node.children)) {
                    return false;
                }
                byte(sectionEnd);
                break;
            }
        }
        return true;
    }
    std::string take() { return std::move(m_bytes); }

private:
    std::string m_bytes;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos == m_bytes.size(); }
    std::optional<std::uint8_t> byte() {
        if (m_pos >= m_bytes.size()) {
            return std::nullopt;
        }
        return static_cast<std::uint8_t>(m_bytes[m_pos++]);
    }
    std::optional<std::string> take(std::size_t length) {
        if (m_bytes.size() - m_pos < length) {
            return std::nullopt;
        }
        std::string text(m_bytes.substr(m_pos, length));
        m_pos += length;
        return text;
    }
    std::optional<std::string> name() {
        const auto length = byte();
        return length ? take(*length) : std::nullopt;
    }
    std::optional<std::string> value() {
        const auto high = byte();
        const auto low = byte();
        if (!high || !low) {
            return std::nullopt;
        }
        return take(static_cast<std::size_t>(*high) << 8 | *low);
    }

    /// Reads elements up to the end of the enclosing section (or of the
    /// message at depth 0).
    std::optional<std::string> nodes(std::vector<ViciNode>& into, int depth) {
        while (!atEnd()) {
            const std::uint8_t type = *byte();
            if (type == sectionEnd) {
                return depth > 0 ? std::nullopt
                                 : std::optional<std::string>("unopened section end");
            }
            ViciNode node;
            const auto nodeName = name();
            if (!nodeName) {
                return "truncated element name";
            }
            node.name = *nodeName;
            if (type == keyValue) {
                const auto text = value();
                if (!text) {
                    return "truncated value";
                }
                node.value = *text;
            } else if (type == listStart) {
                node.kind = ViciNode::Kind::list;
                for (;;) {
                    const auto itemType = byte();
                    if (!itemType) {
                        return "unterminated list";
                    }
                    if (*itemType == listEnd) {
                        break;
                    }
                    const auto item = *itemType == listItem ? value() : std::nullopt;
                    if (!item) {
                        return "malformed list item";
                    }
                    node.items.push_back(*item);
                }
            } else if (type == sectionStart) {
                if (depth + 1 > maxDepth) {
                    return "sections nested too deep";
                }
                node.kind = ViciNode::Kind::section;
                // Returns without error only at the section's end.
                if (auto error = nodes(node.children, depth + 1)) {
                    return error;
                }
            } else {
                return "unknown element type " + std::to_string(type);
            }
            into.push_back(std::move(node));
        }
        return depth > 0 ? std::optional<std::string>("unterminated section") : std::nullopt;
    }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

} // namespace

const ViciNode* ViciNode::find(std::string_view key) const {
    for (const ViciNode& child : children) {
        if (child.name == key) {
            return &child;
        }
    }
    return nullptr;
}

std::optional<std::string> ViciNode::text(std::string_view key) const {
    const ViciNode* child = find(key);
    if (child == nullptr || child->kind != Kind::value) {
        return std::nullopt;
    }
    return child->value;
}

Expected<std::string, std::string> encodeViciPacket(ViciPacket type, std::string_view name,
                                                    const ViciMessage& message) {
    Writer body;
    body.byte(static_cast<std::uint8_t>(type));
    if (hasName(type) && !body.name(name)) {
        return Unexpected{std::string("VICI name too long")};
    }
    if (hasMessage(type) && !body.nodes(message)) {
        return Unexpected{std::string("VICI element too long")};
    }
    const std::string bytes = body.take();
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::string packet;
    for (int shift = 24; shift >= 0; shift -= 8) {
        packet.push_back(static_cast<char>(length >> shift & 0xff));
    }
    return packet + bytes;
}

Expected<ViciReceived, std::string> decodeViciPacket(std::string_view bytes) {
    Reader reader(bytes);
    const auto type = reader.byte();
    if (!type || *type > static_cast<std::uint8_t>(ViciPacket::event)) {
        return Unexpected{std::string("unknown VICI packet type")};
    }
    ViciReceived received;
    received.type = static_cast<ViciPacket>(*type);
    if (hasName(received.type)) {
        const auto name = reader.name();
        if (!name) {
            return Unexpected{std::string("truncated VICI packet name")};
        }
        received.name = *name;
    }
    if (hasMessage(received.type)) {
        if (auto error = reader.nodes(received.message, 0)) {
            return Unexpected{"malformed VICI message: " + *error};
        }
    } else if (!reader.atEnd()) {
        return Unexpected{std::string("unexpected bytes after a VICI packet")};
    }
    return received;
}

} // namespace torvane
