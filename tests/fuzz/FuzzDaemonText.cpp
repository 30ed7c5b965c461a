// Text the daemon reads from the machine: resolv.conf (anyone with root, a
// DHCP client or a user's editor writes it) and the change journal a killed
// predecessor left. None may crash it.
#include "helper/network/ChangeJournal.h"
#include "helper/platform/linux/ResolvConfStoreText.h"
#include "shared/Uuid.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto settings = torvane::parseResolvConf(text);
    for (const auto& server : settings.servers) {
        if (server.empty() || server.find('\n') != std::string::npos) {
            std::abort();
        }
    }

    // The sanitizers are the oracle here: any JSON shape must be refused or
    // read, never misread. A kill switch held after a restart trusts the
    // profile ids it reads to be ids.
    const auto steps = torvane::ChangeJournal::parse(text);
    if (steps) {
        for (const auto& [key, step] : *steps) {
            for (const auto& profile :
                 step.killSwitchProfiles.value_or(std::vector<torvane::KillSwitchProfile>{})) {
                const auto id = torvane::Uuid::parse(profile.profileID);
                if (!id || id->upperText() != profile.profileID) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
