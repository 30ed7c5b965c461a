#include "helper/strongswan/StrongswanConfig.h"

#include "helper/strongswan/StagingLayout.h"
#include "helper/strongswan/SwanctlValues.h"
#include "shared/TextPieces.h"

#include <vector>

namespace torvane {

namespace {

std::string quoted(std::string_view value) {
    return "\"" + quotedValueText(value) + "\"";
}

std::string yesNo(bool value) {
    return value ? "yes" : "no";
}

bool sendsCert(VPNAuthMethod method) {
    return method == VPNAuthMethod::xauth || method == VPNAuthMethod::certificate ||
           method == VPNAuthMethod::eapTLS;
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            text += separator;
        }
        text += pieces[i];
    }
    return text;
}

} // namespace

std::int64_t ikeVersionFor(const VPNProfile& profile) {
    switch (profile.authMethod) {
    case VPNAuthMethod::xauth:
        return 1;
    case VPNAuthMethod::eapMSCHAPv2:
    case VPNAuthMethod::eapTLS:
        return 2;
    case VPNAuthMethod::certificate:
    case VPNAuthMethod::psk:
    case VPNAuthMethod::pskMutual:
        break;
    }
    return profile.ikeVersion;
}

std::string renderStrongswanConf(std::string_view strongswanEtcDir, std::string_view stagingRoot) {
    std::string text = "include ";
    text += strongswanEtcDir;
    text += "/strongswan.conf\n"
            "charon {\n"
            "    install_routes = no\n"
            "    plugins {\n"
            "        vici {\n"
            "            socket = ";
    text += viciUri(stagingRoot);
    text += "\n"
            "        }\n"
            "        # Torvane manages DNS itself via the network store. Disable charon's\n"
            "        # own DNS handlers: the resolve plugin writes a resolv.conf at the\n"
            "        # build-time path (wrong on a deployed machine) and osx-attr sets DNS\n"
            "        # via SystemConfiguration \u2014 both redundant and conflicting here.\n"
            "        resolve {\n"
            "            load = no\n"
            "        }\n"
            "        osx-attr {\n"
            "            load = no\n"
            "        }\n"
            "    }\n"
            "}";
    return text;
}

std::string renderLocalAuth(const VPNProfile& profile) {
    const auto uuid = profile.id.lowerText();
    const auto localID = trimmedText(profile.localID);
    const std::string identityLine =
        localID.empty() ? std::string() : "\n                    id = " + quoted(localID);

    std::string text;
    switch (profile.authMethod) {
    case VPNAuthMethod::psk:
    case VPNAuthMethod::pskMutual:
        text = "            local {\n"
               "                auth = psk" +
               identityLine;
        break;
    case VPNAuthMethod::certificate:
        text = "            local {\n"
               "                auth = pubkey\n"
               "                certs = client-" +
               uuid + ".crt" + identityLine;
        break;
    case VPNAuthMethod::eapTLS:
        text = "            local {\n"
               "                auth = eap-tls\n"
               "                certs = client-" +
               uuid + ".crt" + identityLine;
        break;
    case VPNAuthMethod::eapMSCHAPv2:
        text = "            local {\n"
               "                auth = eap-mschapv2\n"
               "                eap_id = " +
               (localID.empty() ? profile.xauthID : std::string(localID));
        break;
    case VPNAuthMethod::xauth:
        text = "            local-pubkey {\n"
               "                round = 1\n"
               "                auth = pubkey\n"
               "                certs = client-" +
               uuid +
               ".crt\n"
               "            }\n"
               "            local-xauth {\n"
               "                round = 2\n"
               "                auth = xauth\n"
               "                xauth_id = " +
               profile.xauthID;
        break;
    }
    return text + "\n            }";
}

std::string renderRemoteAuth(const VPNProfile& profile) {
    const std::string remoteID = profile.remoteID.empty() ? "%any" : quoted(profile.remoteID);
    if (profile.authMethod == VPNAuthMethod::pskMutual) {
        return "            remote {\n"
               "                auth = psk\n"
               "                id = " +
               remoteID + "\n            }";
    }
    return "            remote {\n"
           "                auth = pubkey\n"
           "                cacerts = ca-" +
           profile.id.lowerText() +
           ".pem\n"
           "                id = " +
           remoteID + "\n            }";
}

std::string renderSecrets(const VPNProfile& profile, const VPNSecrets& secrets) {
    const auto method = profile.authMethod;
    const auto uuid = profile.id.lowerText();
    const std::string secretLine =
        "            secret = \"" + secretValueText(secrets.xauthPassword) + "\"";
    std::vector<std::string> blocks;

    if (stagesClientCertAndKey(method)) {
        blocks.push_back("        private-" + uuid + " {\n            file = client-" + uuid +
                         ".key\n        }");
    }
    if (method == VPNAuthMethod::xauth || method == VPNAuthMethod::eapMSCHAPv2) {
        const std::string kind = method == VPNAuthMethod::xauth ? "xauth" : "eap";
        blocks.push_back("        " + kind + "-" + uuid + " {\n            id = " +
                         profile.xauthID + "\n" + secretLine + "\n        }");
    }
    if (method == VPNAuthMethod::psk || method == VPNAuthMethod::pskMutual) {
        std::vector<std::string> lines = {"        ike-" + uuid + " {"};
        const auto localID = trimmedText(profile.localID);
        if (!localID.empty()) {
            lines.push_back("            id = " + quoted(localID));
        }
        const auto remoteID = trimmedText(profile.remoteID);
        if (method == VPNAuthMethod::pskMutual && !remoteID.empty()) {
            lines.push_back("            id-remote = " + quoted(remoteID));
        }
        lines.push_back(secretLine);
        lines.push_back("        }");
        blocks.push_back(join(lines, "\n"));
    }
    return join(blocks, "\n");
}

std::string renderSwanctlConf(const VPNProfile& profile, const VPNSecrets& secrets) {
    const auto name = strongswanName(profile.id);
    std::string text =
        "connections {\n    " + name + " {\n        remote_addrs = " + profile.remoteAddr;
    text += "\n        fragmentation = " + yesNo(profile.fragmentation);
    text += "\n        encap = " + yesNo(profile.encap);
    text += "\n        aggressive = no\n        keyingtries = 1\n        local_addrs = %any\n";
    if (profile.requestVIP) {
        text += "                vips = %any\n";
    }
    text += "        version = " + std::to_string(ikeVersionFor(profile));
    text += "\n        proposals = " + profile.ikeProposals;
    text += "\n        rekey_time = " + profile.rekeyTimeIKE;
    text += "\n";
    if (sendsCert(profile.authMethod)) {
        text += "            send_cert = always\n";
    }
    text += "\n" + renderLocalAuth(profile) + "\n" + renderRemoteAuth(profile);
    text += "\n        children {\n            " + name +
            " {\n                mode = tunnel\n                start_action = none\n"
            "                remote_ts = " +
            profile.remoteTS;
    text += "\n                esp_proposals = " + profile.espProposals;
    text += "\n                rekey_time = " + profile.rekeyTimeChild;
    text += "\n                life_time = " + profile.lifeTimeChild;
    text += "\n            }\n        }\n    }\n}\n\nsecrets {\n" +
            renderSecrets(profile, secrets) + "\n}";
    return text;
}

} // namespace torvane
