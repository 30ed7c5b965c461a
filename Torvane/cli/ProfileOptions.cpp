#include "Torvane/cli/ProfileOptions.h"

#include "Torvane/cli/SecretInput.h"
#include "Torvane/cli/Translated.h"
#include "Torvane/core/ProfileRules.h"
#include "shared/VPNAuthMethod.h"

#include <algorithm>
#include <array>

namespace torvane::cli {
namespace {

CommandError usageError(std::string message) {
    return CommandError{std::move(message), 2};
}

CommandError failure(std::string message) {
    return CommandError{std::move(message), 1};
}

std::string methodList() {
    std::string text;
    for (const auto method : kAllAuthMethods) {
        text += (text.empty() ? "" : ", ") + std::string(rawValue(method));
    }
    return text;
}

} // namespace

Expected<FoundProfile, CommandError> findProfile(const std::vector<VPNProfile>& profiles,
                                                 const std::string& nameOrId) {
    const auto id = Uuid::parse(nameOrId);
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        if (profiles[i].name == nameOrId || (id && profiles[i].id == *id)) {
            matches.push_back(i);
        }
    }
    if (matches.empty()) {
        return Unexpected{failure(fill(
            QCoreApplication::translate("torvanectl", "no profile is named '%1' or has that id"),
            nameOrId))};
    }
    if (matches.size() > 1) {
        return Unexpected{failure(
            fill(QCoreApplication::translate("torvanectl",
                                             "'%1' matches %2 profiles; name the one you mean by "
                                             "its id ('torvanectl list' shows the ids)"),
                 nameOrId, std::to_string(matches.size())))};
    }
    return FoundProfile{profiles[matches.front()], matches.front()};
}

Expected<NewProfile, CommandError> profileFromOptions(const Invocation& invocation,
                                                      const std::vector<VPNProfile>& existing) {
    NewProfile result;
    VPNProfile& profile = result.profile;
    if (const auto path = invocation.value("--from-json")) {
        const auto text = readInputFile(*path);
        if (!text) {
            return Unexpected{failure(text.error())};
        }
        auto decoded = decodeProfile(*text);
        if (!decoded) {
            return Unexpected{
                failure(fill(QCoreApplication::translate("torvanectl", "%1 is not a profile: %2"),
                             *path, decoded.error().message))};
        }
        profile = std::move(*decoded);
        for (const auto& other : existing) {
            if (other.id == profile.id) {
                return Unexpected{failure(
                    fill(QCoreApplication::translate(
                             "torvanectl", "a profile with the id %1 already exists ('%2')"),
                         profile.id.upperText(), other.name))};
            }
        }
    } else {
        for (const char* required : {"--name", "--server", "--method"}) {
            if (!invocation.value(required)) {
                return Unexpected{
                    usageError(fill(QCoreApplication::translate(
                                        "torvanectl", "'add' needs %1 (or --from-json FILE)"),
                                    std::string(required)))};
            }
        }
    }

    if (const auto method = invocation.value("--method")) {
        const auto parsed = authMethodFromRawValue(*method);
        if (!parsed) {
            return Unexpected{usageError(fill(
                QCoreApplication::translate("torvanectl", "unknown method '%1'; use one of %2"),
                *method, methodList()))};
        }
        profile.authMethod = *parsed;
        if (!invocation.value("--from-json")) {
            // IKEv2 unless the method only exists in IKEv1.
            profile.ikeVersion = profile.authMethod == VPNAuthMethod::xauth ? 1 : 2;
        }
    }
    if (const auto version = invocation.value("--ike-version")) {
        if (*version != "1" && *version != "2") {
            return Unexpected{usageError(
                fill(QCoreApplication::translate("torvanectl", "--ike-version must be 1 or 2")))};
        }
        profile.ikeVersion = *version == "1" ? 1 : 2;
    }
    if (const auto name = invocation.value("--name")) {
        profile.name = *name;
    }
    if (!isFilledIn(profile.name)) {
        return Unexpected{usageError(fill(
            QCoreApplication::translate("torvanectl", "the profile's name must not be empty")))};
    }
    if (isNameTaken(existing, profile.name)) {
        return Unexpected{failure(
            fill(QCoreApplication::translate("torvanectl", "a profile named '%1' already exists"),
                 profile.name))};
    }
    if (const auto server = invocation.value("--server")) {
        profile.remoteAddr = *server;
    }
    if (!isFilledIn(profile.remoteAddr)) {
        return Unexpected{usageError(fill(QCoreApplication::translate(
            "torvanectl", "the profile needs a server (--server HOST)")))};
    }

    const std::array<std::pair<const char*, std::string VPNProfile::*>, 4> textOptions = {{
        {"--user", &VPNProfile::xauthID},
        {"--remote-id", &VPNProfile::remoteID},
        {"--local-id", &VPNProfile::localID},
        {"--remote-ts", &VPNProfile::remoteTS},
    }};
    for (const auto& [option, field] : textOptions) {
        if (const auto value = invocation.value(option)) {
            profile.*field = *value;
        }
    }
    const std::array<std::pair<const char*, std::vector<std::string> VPNProfile::*>, 3>
        listOptions = {{
            {"--routes", &VPNProfile::routes},
            {"--dns", &VPNProfile::dnsServers},
            {"--search-domains", &VPNProfile::searchDomains},
        }};
    for (const auto& [option, field] : listOptions) {
        if (const auto value = invocation.value(option)) {
            profile.*field = splitProfileList(*value);
        }
    }
    const std::array<std::pair<const char*, std::string VPNProfile::*>, 2> fileOptions = {{
        {"--ca-cert", &VPNProfile::caCertPEM},
        {"--cert", &VPNProfile::clientCertPEM},
    }};
    for (const auto& [option, field] : fileOptions) {
        if (const auto path = invocation.value(option)) {
            auto text = readInputFile(*path);
            if (!text) {
                return Unexpected{failure(text.error())};
            }
            profile.*field = std::move(*text);
        }
    }
    if (invocation.flag("--connect-on-launch")) {
        profile.connectOnLaunch = true;
    }

    // Each secret file only where the method has a use for it, so a key
    // meant for one slot never lands silently in another.
    const std::string method(rawValue(profile.authMethod));
    VPNSecrets secrets;
    bool anySecret = false;
    const auto psk = invocation.value("--psk-file");
    const auto password = invocation.value("--password-file");
    if (psk && !usesPSK(profile.authMethod)) {
        return Unexpected{usageError(fill(
            QCoreApplication::translate("torvanectl", "--psk-file does not apply to the method %1"),
            method))};
    }
    if (password && !usesPassword(profile.authMethod)) {
        return Unexpected{
            usageError(fill(QCoreApplication::translate(
                                "torvanectl", "--password-file does not apply to the method %1"),
                            method))};
    }
    if (const auto path = psk ? psk : password) {
        auto secret = readSecretFile(*path);
        if (!secret) {
            return Unexpected{failure(secret.error())};
        }
        secrets.xauthPassword = std::move(*secret);
        anySecret = true;
    }
    if (const auto path = invocation.value("--key-file")) {
        if (!usesClientCertificate(profile.authMethod)) {
            return Unexpected{
                usageError(fill(QCoreApplication::translate(
                                    "torvanectl", "--key-file does not apply to the method %1"),
                                method))};
        }
        auto key = readInputFile(*path);
        if (!key) {
            return Unexpected{failure(key.error())};
        }
        if (key->empty()) {
            return Unexpected{
                failure(fill(QCoreApplication::translate("torvanectl", "%1 is empty"), *path))};
        }
        secrets.privateKeyPEM = std::move(*key);
        anySecret = true;
    }
    if (anySecret) {
        result.secrets = std::move(secrets);
    }
    return result;
}

std::string formatProfileList(const std::vector<VPNProfile>& userProfiles,
                              const std::vector<VPNProfile>& managed) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"#", fill(QCoreApplication::translate("torvanectl", "NAME")),
                    fill(QCoreApplication::translate("torvanectl", "METHOD")),
                    fill(QCoreApplication::translate("torvanectl", "SERVER")), "ID"});
    auto addRow = [&rows](std::string position, const VPNProfile& p) {
        rows.push_back({std::move(position), p.name, std::string(rawValue(p.authMethod)),
                        p.remoteAddr, p.id.upperText()});
    };
    // The markers are not translated: scripts look for these words.
    for (const auto& p : managed) {
        addRow("-", p);
        rows.back().emplace_back("managed");
    }
    for (std::size_t i = 0; i < userProfiles.size(); ++i) {
        addRow(std::to_string(i + 1), userProfiles[i]);
        if (std::any_of(managed.begin(), managed.end(),
                        [&](const VPNProfile& m) { return m.id == userProfiles[i].id; })) {
            rows.back().emplace_back("hidden");
        }
    }
    std::array<std::size_t, 5> widths{};
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) {
                text += std::string(widths[c] - row[c].size() + 2, ' ');
            }
        }
        text += '\n';
    }
    return text;
}

} // namespace torvane::cli
