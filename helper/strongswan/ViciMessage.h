#pragma once

#include "shared/Expected.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// One element of a VICI message: a key with a value, a key with a list of
/// values, or a named section of further elements. Sections keep charon's
/// order, which the SA listing's child names depend on.
struct ViciNode {
    enum class Kind { value, list, section };
    Kind kind = Kind::value;
    std::string name;
    std::string value;
    std::vector<std::string> items;
    std::vector<ViciNode> children;

    /// The child element called `key`, or null.
    const ViciNode* find(std::string_view key) const;
    /// The value of the child `key`, when it is a plain value.
    std::optional<std::string> text(std::string_view key) const;
};

/// The message body of a request, response or event: the top level's
/// elements.
using ViciMessage = std::vector<ViciNode>;

/// The packet types of charon's control socket.
enum class ViciPacket : std::uint8_t {
    commandRequest = 0,
    commandResponse = 1,
    commandUnknown = 2,
    eventRegister = 3,
    eventUnregister = 4,
    eventConfirm = 5,
    eventUnknown = 6,
    event = 7,
};

/// One packet as read off the socket (without its length prefix).
struct ViciReceived {
    ViciPacket type = ViciPacket::commandResponse;
    /// The event's name for an event; empty otherwise.
    std::string name;
    ViciMessage message;
};

/// The bytes of one packet, length prefix included. Names longer than 255
/// bytes and values longer than 65,535 cannot be sent and are refused.
Expected<std::string, std::string> encodeViciPacket(ViciPacket type, std::string_view name,
                                                    const ViciMessage& message = {});

/// Reads one packet (without its length prefix). Anything charon would not
/// send (an unknown type or element, a length past the end, sections that do
/// not close, nesting deeper than a listing needs) is an error.
Expected<ViciReceived, std::string> decodeViciPacket(std::string_view bytes);

} // namespace torvane
