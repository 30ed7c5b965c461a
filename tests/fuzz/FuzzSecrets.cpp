// Secrets arrive over the command channel and from the secret store.
#include "VPNSecrets.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto secrets = torvane::decodeSecrets(text);
    if (secrets) {
        const auto again = torvane::decodeSecrets(torvane::encodeSecrets(*secrets));
        if (!again || !(*again == *secrets)) {
            std::abort();
        }
    }
    return 0;
}
