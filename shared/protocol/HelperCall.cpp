#include "shared/protocol/HelperCall.h"

namespace torvane::protocol {

std::string_view selector(HelperCall call) {
    switch (call) {
    case HelperCall::getVersion:
        return "getVersionWithReply:";
    case HelperCall::subscribe:
        return "subscribeWithReply:";
    case HelperCall::start:
        return "startWithConfigData:secrets:reply:";
    case HelperCall::stop:
        return "stopWithProfileID:reply:";
    case HelperCall::stopAll:
        return "stopAllWithReply:";
    case HelperCall::forceKillAll:
        return "forceKillAllWithReply:";
    case HelperCall::setPriorities:
        return "setPrioritiesWithProfileIDs:reply:";
    case HelperCall::status:
        return "statusWithReply:";
    case HelperCall::terminate:
        return "terminateWithReply:";
    case HelperCall::leakCheck:
        return "leakCheckWithReply:";
    case HelperCall::managedProfiles:
        return "managedProfilesWithReply:";
    }
    return {};
}

std::optional<HelperCall> callFromSelector(std::string_view text) {
    for (const auto call : kAllHelperCalls) {
        if (selector(call) == text) {
            return call;
        }
    }
    return std::nullopt;
}

} // namespace torvane::protocol
