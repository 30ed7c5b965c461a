#include "shared/managed/ManagedProfileJson.h"

#include "shared/JsonText.h"

#include <array>
#include <utility>

#include <nlohmann/json.hpp>

namespace torvane {
namespace {

constexpr std::array kOrigins{
    std::pair{ManagedSecretsOrigin::none, "none"},
    std::pair{ManagedSecretsOrigin::profileFile, "profileFile"},
    std::pair{ManagedSecretsOrigin::secretsFile, "secretsFile"},
    std::pair{ManagedSecretsOrigin::secretsFileNotReadable, "secretsFileNotReadable"},
};

const char* originName(ManagedSecretsOrigin origin) {
    for (const auto& [value, name] : kOrigins) {
        if (value == origin) {
            return name;
        }
    }
    return "none";
}

ManagedSecretsOrigin originFromName(const nlohmann::json& object) {
    const auto it = object.find("secrets");
    if (it != object.end() && it->is_string()) {
        for (const auto& [value, name] : kOrigins) {
            if (*it == name) {
                return value;
            }
        }
    }
    return ManagedSecretsOrigin::none;
}

bool flag(const nlohmann::json& object, const char* key, bool fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

} // namespace

std::string encodeManagedProfiles(const std::vector<ManagedProfile>& profiles) {
    auto list = nlohmann::json::array();
    for (const auto& managed : profiles) {
        auto object = profileToJson(managed.profile);
        object["alwaysOn"] = managed.alwaysOn;
        object["lockdown"] = managed.lockdown;
        object["userMayDisconnect"] = managed.userMayDisconnect;
        object["sourceFile"] = managed.sourceFile;
        object["secrets"] = originName(managed.secretsOrigin);
        list.push_back(std::move(object));
    }
    return encodeJsonText(list);
}

Expected<std::vector<ManagedProfile>, DecodeError> decodeManagedProfiles(std::string_view text) {
    auto parsed = parseJsonText(text);
    if (!parsed) {
        return Unexpected{parsed.error()};
    }
    if (!parsed->is_array()) {
        return Unexpected{DecodeError{"the managed profiles must be a JSON list"}};
    }
    std::vector<ManagedProfile> profiles;
    for (const auto& element : *parsed) {
        if (!element.is_object()) {
            return Unexpected{DecodeError{"a managed profile must be a JSON object"}};
        }
        auto profile = profileFromJson(element);
        if (!profile) {
            return Unexpected{profile.error()};
        }
        ManagedProfile managed;
        managed.profile = std::move(*profile);
        managed.alwaysOn = flag(element, "alwaysOn", false);
        managed.lockdown = flag(element, "lockdown", false);
        managed.userMayDisconnect = flag(element, "userMayDisconnect", true);
        const auto source = element.find("sourceFile");
        if (source != element.end() && source->is_string()) {
            managed.sourceFile = source->get<std::string>();
        }
        managed.secretsOrigin = originFromName(element);
        profiles.push_back(std::move(managed));
    }
    return profiles;
}

} // namespace torvane
