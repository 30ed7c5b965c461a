// Status snapshots arrive from the helper; the app must survive any of them.
#include "VPNRuntimeStatus.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto status = torvane::decodeRuntimeStatus(text);
    if (status) {
        const auto again = torvane::decodeRuntimeStatus(torvane::encodeRuntimeStatus(*status));
        if (!again || !(*again == *status)) {
            std::abort();
        }
        (void)status->aggregateState();
        (void)status->connectedCount();
    }
    return 0;
}
