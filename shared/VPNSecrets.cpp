#include "shared/VPNSecrets.h"

#include "shared/JsonFields.h"
#include "shared/JsonText.h"

#include <nlohmann/json.hpp>

namespace torvane {

std::string encodeSecrets(const VPNSecrets& secrets) {
    return encodeJsonText(nlohmann::json{
        {"xauthPassword", secrets.xauthPassword},
        {"privateKeyPEM", secrets.privateKeyPEM},
    });
}

Expected<VPNSecrets, DecodeError> decodeSecrets(std::string_view text) {
    auto json = parseJsonText(text);
    if (!json) {
        return Unexpected{json.error()};
    }
    if (!json->is_object()) {
        return Unexpected{DecodeError{"secrets must be a JSON object"}};
    }
    VPNSecrets secrets;
    FieldReader r(*json);
    r.require("xauthPassword", secrets.xauthPassword);
    r.require("privateKeyPEM", secrets.privateKeyPEM);
    if (r.failed()) {
        return Unexpected{r.error()};
    }
    return secrets;
}

} // namespace torvane
