#include "shared/VPNProfile.h"

#include "shared/JsonFields.h"
#include "shared/JsonText.h"

#include <nlohmann/json.hpp>

namespace torvane {

nlohmann::json profileToJson(const VPNProfile& p) {
    return nlohmann::json{
        {"id", p.id.upperText()},
        {"name", p.name},
        {"authMethod", rawValue(p.authMethod)},
        {"xauthID", p.xauthID},
        {"localID", p.localID},
        {"clientCertPEM", p.clientCertPEM},
        {"caCertPEM", p.caCertPEM},
        {"remoteAddr", p.remoteAddr},
        {"remoteID", p.remoteID},
        {"ikeProposals", p.ikeProposals},
        {"ikeVersion", p.ikeVersion},
        {"fragmentation", p.fragmentation},
        {"encap", p.encap},
        {"rekeyTimeIKE", p.rekeyTimeIKE},
        {"espProposals", p.espProposals},
        {"remoteTS", p.remoteTS},
        {"rekeyTimeChild", p.rekeyTimeChild},
        {"lifeTimeChild", p.lifeTimeChild},
        {"requestVIP", p.requestVIP},
        {"routes", p.routes},
        {"dnsServers", p.dnsServers},
        {"searchDomains", p.searchDomains},
        {"dnsmasqEnabled", p.dnsmasqEnabled},
        {"dnsmasqConfig", p.dnsmasqConfig},
        {"preventIPv6Leak", p.preventIPv6Leak},
        {"killSwitchEnabled", p.killSwitchEnabled},
        {"priority", p.priority},
        {"connectOnLaunch", p.connectOnLaunch},
        {"keepaliveIP", p.keepaliveIP},
        {"keepaliveInterval", p.keepaliveInterval},
    };
}

Expected<VPNProfile, DecodeError> profileFromJson(const nlohmann::json& object) {
    if (!object.is_object()) {
        return Unexpected{DecodeError{"a profile must be a JSON object"}};
    }
    VPNProfile p;
    FieldReader r(object);

    r.readConverted("id", p.id, Uuid::parse, "is not a UUID");
    r.read("name", p.name);
    r.readConverted("authMethod", p.authMethod, authMethodFromRawValue,
                    "is not a known authentication method");
    r.read("xauthID", p.xauthID);
    r.read("localID", p.localID);
    r.read("clientCertPEM", p.clientCertPEM);
    r.read("caCertPEM", p.caCertPEM);
    r.read("remoteAddr", p.remoteAddr);
    r.read("remoteID", p.remoteID);
    r.read("ikeProposals", p.ikeProposals);
    r.read("ikeVersion", p.ikeVersion);
    r.read("fragmentation", p.fragmentation);
    r.read("encap", p.encap);
    r.read("rekeyTimeIKE", p.rekeyTimeIKE);
    r.read("espProposals", p.espProposals);
    r.read("remoteTS", p.remoteTS);
    r.read("rekeyTimeChild", p.rekeyTimeChild);
    r.read("lifeTimeChild", p.lifeTimeChild);
    r.read("requestVIP", p.requestVIP);
    r.read("routes", p.routes);
    r.read("dnsServers", p.dnsServers);
    r.read("searchDomains", p.searchDomains);
    r.read("dnsmasqEnabled", p.dnsmasqEnabled);
    r.read("dnsmasqConfig", p.dnsmasqConfig);
    r.read("preventIPv6Leak", p.preventIPv6Leak);
    r.read("killSwitchEnabled", p.killSwitchEnabled);
    r.read("priority", p.priority);
    r.read("connectOnLaunch", p.connectOnLaunch);
    r.read("keepaliveIP", p.keepaliveIP);
    r.read("keepaliveInterval", p.keepaliveInterval);

    if (r.failed()) {
        return Unexpected{r.error()};
    }
    return p;
}

std::string encodeProfile(const VPNProfile& profile) {
    return encodeJsonText(profileToJson(profile));
}

Expected<VPNProfile, DecodeError> decodeProfile(std::string_view text) {
    auto json = parseJsonText(text);
    if (!json) {
        return Unexpected{json.error()};
    }
    return profileFromJson(*json);
}

std::string encodeProfileList(const std::vector<VPNProfile>& profiles) {
    auto array = nlohmann::json::array();
    for (const auto& profile : profiles) {
        array.push_back(profileToJson(profile));
    }
    return encodeJsonText(array);
}

Expected<std::vector<VPNProfile>, DecodeError> decodeProfileList(std::string_view text) {
    auto json = parseJsonText(text);
    if (!json) {
        return Unexpected{json.error()};
    }
    if (!json->is_array()) {
        return Unexpected{DecodeError{"a profile list must be a JSON array"}};
    }
    std::vector<VPNProfile> profiles;
    profiles.reserve(json->size());
    for (std::size_t i = 0; i < json->size(); ++i) {
        auto profile = profileFromJson((*json)[i]);
        if (!profile) {
            return Unexpected{
                DecodeError{"profile " + std::to_string(i + 1) + ": " + profile.error().message}};
        }
        profiles.push_back(std::move(*profile));
    }
    return profiles;
}

} // namespace torvane
