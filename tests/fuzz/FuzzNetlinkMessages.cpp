// The netlink decoders read whatever arrives on the daemon's routing socket:
// replies and notifications alike. No byte sequence may crash them or yield
// a route, address or device that could not be real.
#include "helper/platform/linux/NetlinkMessages.h"

#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <vector>

using namespace torvane::netlink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // Netlink messages arrive 4-byte aligned; copy into storage that is.
    std::vector<uint32_t> aligned((size + 3) / 4);
    std::memcpy(aligned.data(), data, size);
    const auto* message = reinterpret_cast<const nlmsghdr*>(aligned.data());
    std::size_t remaining = size;
    while (message != nullptr && messageFits(message, remaining)) {
        for (const auto& route : decodeRoute(*message)) {
            if (route.destination.length > 32 ||
                (route.destination.address & ~prefixMask(route.destination.length)) != 0) {
                std::abort();
            }
        }
        if (const auto address = decodeAddress(*message)) {
            if (address->prefixLength > 32 || address->interfaceIndex <= 0) {
                std::abort();
            }
        }
        if (const auto link = decodeLink(*message)) {
            if (link->name.empty() || link->name.size() >= IFNAMSIZ) {
                std::abort();
            }
        }
        message = nextMessage(message, remaining);
    }
    return 0;
}
