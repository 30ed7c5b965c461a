// What charon reports is parsed as it comes: swanctl's output even after a
// time-out, and packets off the control socket. The parsers must never
// crash, never return a value that could not have come from one word of
// the output, and a packet they accept must survive being sent again.
#include "helper/strongswan/SwanctlOutput.h"
#include "helper/strongswan/ViciMessage.h"

#include <cstdlib>
#include <string>

using namespace torvane;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool isWord(const std::optional<std::string>& value) {
    return !value || (!value->empty() && value->find(' ') == std::string::npos &&
                      value->find('\n') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto tunnel = parseTunnelInfo(text);
    require(isWord(tunnel.vip) && isWord(tunnel.tun));

    if (const auto packet = decodeViciPacket(text)) {
        const auto again = encodeViciPacket(packet->type, packet->name, packet->message);
        require(again.hasValue());
        const auto twice = decodeViciPacket(std::string_view(*again).substr(4));
        require(twice.hasValue() && twice->name == packet->name &&
                twice->message.size() == packet->message.size());
    }

    return 0;
}
