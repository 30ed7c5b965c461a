#include "helper/strongswan/SwanctlValues.h"

#include "shared/TextPieces.h"

#include <vector>

namespace torvane {

namespace {

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

bool endsUnquotedValue(char c) {
    return c == '#' || c == '{' || c == '}' || c == '"';
}

std::string describe(char c) {
    switch (c) {
    case '\n':
        return "a line break";
    case '\r':
        return "a carriage return";
    case '\t':
        return "a tab";
    default:
        break;
    }
    if (isControl(c)) {
        return "a control character";
    }
    return std::string("'") + c + "'";
}

/// The distinct kinds of unacceptable character in `value`, in order of
/// first appearance, joined for the message.
std::optional<std::string> badCharacters(std::string_view value, bool quoted) {
    std::vector<std::string> found;
    for (const char c : value) {
        if (!isControl(c) && (quoted || !endsUnquotedValue(c))) {
            continue;
        }
        auto text = describe(c);
        bool known = false;
        for (const auto& earlier : found) {
            known = known || earlier == text;
        }
        if (!known) {
            found.push_back(std::move(text));
        }
    }
    if (found.empty()) {
        return std::nullopt;
    }
    std::string joined;
    for (const auto& text : found) {
        joined += joined.empty() ? text : ", " + text;
    }
    return joined;
}

struct Field {
    std::string_view label;
    std::string_view value;
    bool quoted;
};

} // namespace

std::string quotedValueText(std::string_view value) {
    std::string text;
    text.reserve(value.size());
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return text;
}

std::string secretValueText(std::string_view secret) {
    const bool encodedPrefix =
        secret.size() >= 2 && secret[0] == '0' &&
        (secret[1] == 'x' || secret[1] == 'X' || secret[1] == 's' || secret[1] == 'S');
    if (!encodedPrefix) {
        return quotedValueText(secret);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = "0x";
    for (const char c : secret) {
        const auto byte = static_cast<unsigned char>(c);
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0f];
    }
    return text;
}

std::optional<std::string> swanctlValueProblem(const VPNProfile& profile,
                                               const VPNSecrets& secrets) {
    const auto method = profile.authMethod;
    const auto localID = trimmedText(profile.localID);

    std::vector<Field> fields = {
        {"The profile's remote address", profile.remoteAddr, false},
        {"The profile's IKE proposals", profile.ikeProposals, false},
        {"The profile's IKE rekey time", profile.rekeyTimeIKE, false},
    };
    switch (method) {
    case VPNAuthMethod::xauth:
        fields.push_back({"The profile's user name", profile.xauthID, false});
        break;
    case VPNAuthMethod::eapMSCHAPv2:
        // The local identity stands in for the EAP identity, unquoted.
        fields.push_back({"The profile's local identity", localID, false});
        fields.push_back({"The profile's user name", profile.xauthID, false});
        break;
    case VPNAuthMethod::certificate:
    case VPNAuthMethod::eapTLS:
    case VPNAuthMethod::psk:
    case VPNAuthMethod::pskMutual:
        fields.push_back({"The profile's local identity", localID, true});
        break;
    }
    fields.push_back({"The profile's remote identity", profile.remoteID, true});
    fields.push_back({"The profile's remote traffic selector", profile.remoteTS, false});
    fields.push_back({"The profile's ESP proposals", profile.espProposals, false});
    fields.push_back({"The profile's child SA rekey time", profile.rekeyTimeChild, false});
    fields.push_back({"The profile's child SA lifetime", profile.lifeTimeChild, false});
    if (method != VPNAuthMethod::certificate && method != VPNAuthMethod::eapTLS) {
        fields.push_back({"The password or pre-shared key", secrets.xauthPassword, true});
    }

    for (const auto& field : fields) {
        if (const auto bad = badCharacters(field.value, field.quoted)) {
            return std::string(field.label) +
                   " contains characters that strongSwan cannot accept: " + *bad;
        }
    }
    return std::nullopt;
}

} // namespace torvane
