#pragma once

#include "shared/Expected.h"
#include "shared/protocol/HelperCall.h"
#include "shared/protocol/ProtocolError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace torvane::protocol {

// What the helper sends back: replies to requests, and callbacks to the
// subscribed client.

struct VersionReply {
    std::string version;
    friend bool operator==(const VersionReply&, const VersionReply&) = default;
};
struct SubscribeReply {
    bool subscribed = true;
    friend bool operator==(const SubscribeReply&, const SubscribeReply&) = default;
};
/// The (code, message) result of start, stop, stopAll and forceKillAll.
struct CommandReply {
    std::int64_t code = 0;
    std::string message;
    friend bool operator==(const CommandReply&, const CommandReply&) = default;
};
/// The reply of setPriorities and terminate, which carries no value.
struct EmptyReply {
    friend bool operator==(const EmptyReply&, const EmptyReply&) = default;
};
/// JSON of the status snapshot (bytes; empty when the helper failed to
/// encode it).
struct StatusReply {
    std::string data;
    friend bool operator==(const StatusReply&, const StatusReply&) = default;
};
/// The leak self-check's findings: JSON of a list of {check, level, text,
/// hint} (bytes).
struct LeakCheckReply {
    std::string data;
    friend bool operator==(const LeakCheckReply&, const LeakCheckReply&) = default;
};
/// The managed profiles: JSON of a list of profile records with their
/// managed keys, no secrets (bytes).
struct ManagedProfilesReply {
    std::string data;
    friend bool operator==(const ManagedProfilesReply&, const ManagedProfilesReply&) = default;
};
/// Sent in place of any call's own reply when the helper refused to carry the
/// call out (the caller's user was not authorized for it). Nothing was done.
/// On the wire: {"id": N, "error": message}.
struct ErrorReply {
    std::string message;
    friend bool operator==(const ErrorReply&, const ErrorReply&) = default;
};
using Reply = std::variant<VersionReply, SubscribeReply, CommandReply, EmptyReply, StatusReply,
                           ErrorReply, LeakCheckReply, ManagedProfilesReply>;

/// A new status snapshot, JSON of a VPNRuntimeStatus (bytes).
struct StatusChanged {
    std::string data;
    friend bool operator==(const StatusChanged&, const StatusChanged&) = default;
};
/// One line for the client's log.
struct LogLine {
    std::string line;
    friend bool operator==(const LogLine&, const LogLine&) = default;
};
using Callback = std::variant<StatusChanged, LogLine>;

/// One element of a reply's value list as it appeared on the wire, before the
/// client knows which call it answers.
using WireValue = std::variant<bool, std::int64_t, std::string>;
struct ReplyMessage {
    std::int64_t id = 0;
    std::vector<WireValue> values;
    /// Set for an error reply, which carries no values.
    std::optional<std::string> error;
};
using ServerMessage = std::variant<ReplyMessage, Callback>;

/// The reply to request `id` as one wire line, "\n" included.
Expected<std::string, ProtocolError> encodeReply(std::int64_t id, const Reply& reply);
Expected<std::string, ProtocolError> encodeCallback(const Callback& callback);

/// Reads one line from the helper: a reply (to be matched to its request and
/// decoded with `decodeReply`) or a callback.
Expected<ServerMessage, ProtocolError> parseServerMessage(std::string_view line);

/// Checks a reply against the shape `call` answers with and converts it. An
/// error reply answers every call.
Expected<Reply, ProtocolError> decodeReply(HelperCall call, const ReplyMessage& message);

} // namespace torvane::protocol
