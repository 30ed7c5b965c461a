// The JSON records: profiles arrive from the app, from stored settings and
// from import files; secrets over the command channel and from the secret
// store; status snapshots from the helper. Decoding must never crash, and
// whatever decodes must survive a round trip.
#include "shared/VPNProfile.h"
#include "shared/VPNRuntimeStatus.h"
#include "shared/VPNSecrets.h"

#include <cstdlib>

namespace {

template <class Decode, class Encode>
void roundTrip(std::string_view text, Decode decode, Encode encode) {
    if (const auto value = decode(text)) {
        const auto again = decode(encode(*value));
        if (!again || !(*again == *value)) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace torvane;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    roundTrip(text, decodeProfile, encodeProfile);
    roundTrip(text, decodeProfileList, encodeProfileList);
    roundTrip(text, decodeSecrets, encodeSecrets);
    roundTrip(text, decodeRuntimeStatus, encodeRuntimeStatus);
    if (const auto status = decodeRuntimeStatus(text)) {
        (void)status->aggregateState();
        (void)status->connectedCount();
    }
    return 0;
}
