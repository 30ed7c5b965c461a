// Profiles and secrets come from import files, so every value is hostile.
// Rendering must never crash, and whatever the value check lets through must
// render to exactly the template's structure: the same sections and keys in
// the same order as with harmless placeholder values, each value reading
// back as the profile holds it.
#include "helper/strongswan/StrongswanConfig.h"
#include "helper/strongswan/SwanctlValues.h"
#include "tests/fuzz/SettingsReader.h"

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <map>
#include <string>

using namespace torvane;

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

/// What swanctl makes of a `secret` value: "0x" means hex.
std::optional<std::string> decodedSecret(const std::string& value) {
    if (value.size() < 2 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) {
        if (value.size() >= 2 && value[0] == '0' && (value[1] == 's' || value[1] == 'S')) {
            return std::nullopt;
        }
        return value;
    }
    const auto hex = value.substr(2);
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

void checkMessage(const std::string& message) {
    static constexpr std::string_view kSecretLabel = "The password or pre-shared key contains "
                                                     "characters that strongSwan cannot accept: ";
    require(!message.empty());
    if (!message.starts_with("The password")) {
        return;
    }
    // A secret is described by the kinds of character only.
    require(message.starts_with(kSecretLabel));
    std::string rest = message.substr(kSecretLabel.size());
    while (!rest.empty()) {
        const auto comma = rest.find(", ");
        const auto item = rest.substr(0, comma);
        require(item == "a line break" || item == "a carriage return" || item == "a tab" ||
                item == "a control character");
        rest = comma == std::string::npos ? "" : rest.substr(comma + 2);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    VPNProfile profile;
    profile.id = *Uuid::parse("0F8E2D4C-1B3A-4C5D-8E9F-A0B1C2D3E4F5");
    profile.authMethod = kAllAuthMethods[input.ConsumeIntegralInRange<std::size_t>(0, 5)];
    profile.ikeVersion = input.ConsumeIntegral<std::int64_t>();
    profile.fragmentation = input.ConsumeBool();
    profile.encap = input.ConsumeBool();
    profile.requestVIP = input.ConsumeBool();
    // The values the file carries without quotes.
    std::string VPNProfile::*const unquoted[] = {
        &VPNProfile::remoteAddr,    &VPNProfile::ikeProposals, &VPNProfile::rekeyTimeIKE,
        &VPNProfile::espProposals,  &VPNProfile::remoteTS,     &VPNProfile::rekeyTimeChild,
        &VPNProfile::lifeTimeChild, &VPNProfile::xauthID,
    };
    for (const auto field : unquoted) {
        profile.*field = input.ConsumeRandomLengthString(48);
    }
    profile.localID = input.ConsumeRandomLengthString(48);
    profile.remoteID = input.ConsumeRandomLengthString(48);
    VPNSecrets secrets;
    secrets.xauthPassword = input.ConsumeRandomLengthString(48);
    secrets.privateKeyPEM = input.ConsumeRemainingBytesAsString();

    const auto problem = swanctlValueProblem(profile, secrets);
    const auto text = renderSwanctlConf(profile, secrets);
    if (problem) {
        checkMessage(*problem);
        return 0;
    }

    // The same profile with a harmless marker in place of every free value
    // (blank identities stay blank: they decide whether a line is written).
    VPNProfile reference = profile;
    std::map<std::string, std::string> expected;
    int next = 0;
    const auto mark = [&](std::string& field, std::string value) {
        field = "@m" + std::to_string(next++);
        expected[field] = std::move(value);
    };
    for (const auto field : unquoted) {
        mark(reference.*field, trimmed(profile.*field));
    }
    if (!trimmed(profile.localID).empty()) {
        mark(reference.localID, trimmed(profile.localID));
    }
    std::string remoteMarker;
    if (!trimmed(profile.remoteID).empty()) {
        mark(reference.remoteID, profile.remoteID);
        remoteMarker = reference.remoteID;
    }
    VPNSecrets referenceSecrets{"@secret", "KEY"};

    const auto wanted = testing::readSettings(renderSwanctlConf(reference, referenceSecrets));
    const auto actual = testing::readSettings(text);
    require(wanted.has_value());
    require(actual.has_value());
    require(actual->size() == wanted->size());
    for (std::size_t i = 0; i < actual->size(); ++i) {
        const auto& [path, value] = (*actual)[i];
        const auto& [wantedPath, wantedValue] = (*wanted)[i];
        require(path == wantedPath);
        if (wantedValue == "@secret") {
            require(decodedSecret(value) == secrets.xauthPassword);
        } else if (wantedValue == remoteMarker && path.ends_with(".id-remote")) {
            require(value == trimmed(profile.remoteID));
        } else if (const auto it = expected.find(wantedValue); it != expected.end()) {
            require(value == it->second);
        } else {
            require(value == wantedValue);
        }
    }
    return 0;
}
