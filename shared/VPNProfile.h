#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"
#include "shared/Uuid.h"
#include "shared/VPNAuthMethod.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace torvane {

/// Everything about one VPN connection except its secrets. A plain value:
/// a default-constructed profile holds the defaults below and a fresh random
/// `id`. Values are stored as given; nothing here validates them.
struct VPNProfile {
    Uuid id = Uuid::random();
    std::string name = "New VPN";
    VPNAuthMethod authMethod = VPNAuthMethod::xauth;
    /// User name for XAuth or EAP.
    std::string xauthID;
    /// Local IKE identity; empty means the one in the client certificate.
    std::string localID;
    std::string clientCertPEM;
    /// CA or gateway certificate.
    std::string caCertPEM;
    /// Gateway host name or address.
    std::string remoteAddr;
    /// Gateway IKE identity; empty means any.
    std::string remoteID;
    std::string ikeProposals = "aes256-sha512-ecp384";
    /// 1 or 2; the engine overrides it for methods tied to one version.
    std::int64_t ikeVersion = 1;
    bool fragmentation = true;
    /// Force UDP encapsulation of ESP.
    bool encap = true;
    std::string rekeyTimeIKE = "86400s";
    std::string espProposals = "aes256-sha512-ecp384";
    std::string remoteTS = "0.0.0.0/0";
    std::string rekeyTimeChild = "6500s";
    std::string lifeTimeChild = "7200s";
    bool requestVIP = true;
    /// CIDRs routed through the tunnel; empty means the negotiated selector.
    std::vector<std::string> routes;
    std::vector<std::string> dnsServers;
    std::vector<std::string> searchDomains;
    bool dnsmasqEnabled = false;
    /// Proxy configuration; empty means generated from `dnsServers`.
    std::string dnsmasqConfig;
    bool preventIPv6Leak = false;
    bool killSwitchEnabled = false;
    /// Precedence among connected tunnels, lower wins. Set by the app to the
    /// profile's list position just before it is sent to the helper.
    std::int64_t priority = 0;
    bool connectOnLaunch = false;
    /// Address pinged through the tunnel; empty disables keepalive.
    std::string keepaliveIP;
    std::int64_t keepaliveInterval = 30;

    friend bool operator==(const VPNProfile&, const VPNProfile&) = default;
};

/// The profile as a JSON object with all 30 keys, `id` in upper case.
nlohmann::json profileToJson(const VPNProfile& profile);
/// Reads a profile from a JSON object. A missing key or null takes the
/// default; a value of the wrong type, an `id` that is not a UUID or an
/// unknown `authMethod` fails the whole decode. Unknown keys are ignored.
Expected<VPNProfile, DecodeError> profileFromJson(const nlohmann::json& object);

std::string encodeProfile(const VPNProfile& profile);
Expected<VPNProfile, DecodeError> decodeProfile(std::string_view text);

/// A JSON array of profiles; one undecodable element fails the whole list.
std::string encodeProfileList(const std::vector<VPNProfile>& profiles);
Expected<std::vector<VPNProfile>, DecodeError> decodeProfileList(std::string_view text);

} // namespace torvane
