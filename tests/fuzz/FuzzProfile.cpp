// Profiles arrive from the app, from stored settings and from import files.
// Decoding must never crash, and whatever decodes must survive a round trip.
#include "VPNProfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto profile = torvane::decodeProfile(text);
    if (profile) {
        const auto again = torvane::decodeProfile(torvane::encodeProfile(*profile));
        if (!again || !(*again == *profile)) {
            std::abort();
        }
    }
    const auto list = torvane::decodeProfileList(text);
    if (list) {
        const auto again = torvane::decodeProfileList(torvane::encodeProfileList(*list));
        if (!again || !(*again == *list)) {
            std::abort();
        }
    }
    return 0;
}
