#include "shared/import/SswanReader.h"

#include "shared/Base64.h"
#include "shared/JsonText.h"
#include "shared/TextPieces.h"
#include "shared/import/Certificates.h"
#include "shared/import/ImportReport.h"
#include "shared/import/ImportText.h"
#include "shared/import/Pkcs12Bundle.h"

#include <map>
#include <set>

#include <nlohmann/json.hpp>

namespace torvane {

namespace {

using Json = nlohmann::json;

// Nested objects become dotted keys ("remote.addr"); arrays stay whole.
void flatten(const Json& object, const std::string& prefix,
             std::vector<std::pair<std::string, const Json*>>& out) {
    for (const auto& [key, value] : object.items()) {
        const auto path = prefix.empty() ? key : prefix + "." + key;
        if (value.is_object() && !value.empty()) {
            flatten(value, path, out);
        } else {
            out.emplace_back(path, &value);
        }
    }
}

std::string shown(const Json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return encodeJsonText(value);
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    for (const auto piece : splitText(text, kAsciiWhitespace)) {
        out.emplace_back(piece);
    }
    return out;
}

Unexpected<ImportError> refuse(std::string message) {
    return Unexpected{ImportError{std::move(message)}};
}

// Keys the reader maps when their value has the right type.
const std::set<std::string, std::less<>> kMappedKeys = {
    "uuid",
    "name",
    "type",
    "remote.addr",
    "remote.id",
    "remote.port",
    "remote.cert",
    "local.id",
    "local.eap_id",
    "local.p12",
    "ike-proposal",
    "esp-proposal",
    "dns-servers",
    "split-tunneling.subnets",
    "split-tunneling.block-ipv6",
};

// The reason each known key that Torvane cannot keep is left out.
// The sentences are translated when they are reported.
const std::map<std::string, const char*, std::less<>>& droppedReasons() {
    static const std::map<std::string, const char*, std::less<>> reasons = {
        {"remote.certreq",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane always asks the gateway for its certificate.")},
        {"remote.revocation.crl",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane checks revocation the way strongSwan does by "
                                            "default; this choice is not kept.")},
        {"remote.revocation.ocsp",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane checks revocation the way strongSwan does by "
                                            "default; this choice is not kept.")},
        {"remote.revocation.strict",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane checks revocation the way strongSwan does by "
                                            "default; this choice is not kept.")},
        {"local.rsa-pss",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "strongSwan chooses the signature scheme itself in Torvane.")},
        {"mtu",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane leaves the tunnel's MTU to the system.")},
        {"nat-keepalive",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane uses strongSwan's NAT keepalive interval (20 seconds).")},
        {"split-tunneling.excluded",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane cannot keep subnets outside a tunnel.")},
        {"split-tunneling.block-ipv4",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane cannot block IPv4 traffic that the tunnel does not carry.")},
        {"apps", QT_TRANSLATE_NOOP("ProfileImport",
                                   "Torvane tunnels the whole computer, not single apps.")},
        {"excluded-apps",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane tunnels the whole computer, not single apps.")},
        {"selected-apps",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane tunnels the whole computer, not single apps.")},
    };
    return reasons;
}

} // namespace

Expected<ImportedProfile, ImportError> SswanReader::read(std::string_view text,
                                                         const ImportOptions& options) {
    const auto parsed = parseJsonText(text);
    if (!parsed || !parsed->is_object()) {
        return refuse(importText(QT_TRANSLATE_NOOP(
            "ProfileImport", "The file is not a strongSwan profile: it is not a JSON object.")));
    }
    std::vector<std::pair<std::string, const Json*>> fields;
    flatten(*parsed, {}, fields);
    std::map<std::string, const Json*, std::less<>> byKey(fields.begin(), fields.end());
    const auto string = [&](std::string_view key) -> std::optional<std::string> {
        const auto found = byKey.find(key);
        if (found == byKey.end() || !found->second->is_string()) {
            return std::nullopt;
        }
        return found->second->get<std::string>();
    };

    ImportedProfile result;
    auto& profile = result.profile;
    ImportReport report;
    std::set<std::string, std::less<>> handled;
    const auto take = [&](std::string_view key) {
        handled.emplace(key);
    };

    const auto type = string("type");
    if (!type) {
        return refuse(importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The file does not say how to authenticate (its \"%1\" is missing)."),
            std::string("type")));
    }
    bool needsBundle = false;
    if (*type == "ikev2-eap") {
        profile.authMethod = VPNAuthMethod::eapMSCHAPv2;
    } else if (*type == "ikev2-cert") {
        profile.authMethod = VPNAuthMethod::certificate;
        needsBundle = true;
    } else if (*type == "ikev2-eap-tls") {
        profile.authMethod = VPNAuthMethod::eapTLS;
        needsBundle = true;
    } else if (*type == "ikev2-cert-eap") {
        return refuse(importText(QT_TRANSLATE_NOOP(
            "ProfileImport", "The profile authenticates with a certificate followed by EAP, which "
                             "Torvane cannot do.")));
    } else if (*type == "ikev2-byod-eap") {
        return refuse(importText(QT_TRANSLATE_NOOP(
            "ProfileImport", "The profile uses EAP with a network-access check (TNC), which "
                             "Torvane cannot do.")));
    } else {
        return refuse(importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The profile's authentication type \"%1\" is not supported."),
            *type));
    }
    profile.ikeVersion = 2;
    report.mapped("type", *type, "authMethod");
    take("type");

    const auto gateway = string("remote.addr");
    if (!gateway || trimmedText(*gateway).empty()) {
        return refuse(importText(
            QT_TRANSLATE_NOOP("ProfileImport", "The profile names no gateway (\"%1\" is missing)."),
            std::string("remote.addr")));
    }
    profile.remoteAddr = std::string(trimmedText(*gateway));
    report.mapped("remote.addr", profile.remoteAddr, "remoteAddr");
    take("remote.addr");

    if (const auto uuid = string("uuid")) {
        if (const auto id = Uuid::parse(*uuid)) {
            profile.id = *id;
            report.mapped("uuid", *uuid, "id");
        } else {
            report.dropped(
                "uuid", *uuid,
                importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "This is not a valid UUID; the profile gets a new one.")));
        }
        take("uuid");
    }
    if (const auto name = string("name"); name && !name->empty()) {
        profile.name = *name;
        report.mapped("name", *name, "name");
        take("name");
    } else {
        profile.name = profile.remoteAddr;
        if (name) {
            report.mapped(
                "name", "",
                importText(QT_TRANSLATE_NOOP("ProfileImport",
                                             "%1 (the gateway's address, as the name is empty)"),
                           std::string("name")));
            take("name");
        }
    }

    const auto mapString = [&](const char* key, std::string& target, const char* targetName) {
        if (const auto value = string(key)) {
            target = *value;
            report.mapped(key, *value, targetName);
            take(key);
        }
    };
    mapString("remote.id", profile.remoteID, "remoteID");
    if (!byKey.contains("remote.id")) {
        // The format's default: the gateway must prove the name or address
        // it was reached by, not merely any identity its CA vouches for.
        profile.remoteID = profile.remoteAddr;
        report.mapped("remote.id", profile.remoteAddr,
                      importText(QT_TRANSLATE_NOOP("ProfileImport",
                                                   "%1 (not in the file: the gateway's address)"),
                                 std::string("remoteID")));
    }
    mapString("local.id", profile.localID, "localID");
    mapString("local.eap_id", profile.xauthID, "xauthID");
    mapString("ike-proposal", profile.ikeProposals, "ikeProposals");
    mapString("esp-proposal", profile.espProposals, "espProposals");

    if (const auto found = byKey.find("remote.port"); found != byKey.end()) {
        const auto& port = *found->second;
        if (port.is_number_integer() && port.get<std::int64_t>() == 500) {
            report.mapped("remote.port", "500",
                          importText(QT_TRANSLATE_NOOP("ProfileImport",
                                                       "(the IKE port Torvane always uses)")));
        } else {
            report.dropped(
                "remote.port", shown(port),
                importText(QT_TRANSLATE_NOOP(
                               "ProfileImport",
                               "Torvane always connects to the gateway's standard IKE port %1."),
                           std::string("500")));
        }
        take("remote.port");
    }
    if (const auto cert = string("remote.cert")) {
        // Base64 of DER is what the format specifies; PEM text also occurs.
        std::optional<std::string> pem;
        if (cert->find("-----BEGIN") != std::string::npos) {
            pem = certificateToPem(*cert);
        } else {
            std::string compact;
            for (const auto piece : splitText(*cert, kAsciiWhitespace)) {
                compact += piece;
            }
            if (const auto der = base64Decode(compact)) {
                pem = certificateToPem(*der);
            }
        }
        if (!pem) {
            return refuse(importText(
                QT_TRANSLATE_NOOP("ProfileImport",
                                  "The gateway certificate in the file (\"%1\") is damaged."),
                std::string("remote.cert")));
        }
        profile.caCertPEM = *pem;
        report.mapped("remote.cert", certificateSubject(*pem), "caCertPEM");
        take("remote.cert");
    }
    if (const auto bundle = string("local.p12")) {
        std::string compact;
        for (const auto piece : splitText(*bundle, kAsciiWhitespace)) {
            compact += piece;
        }
        const auto der = base64Decode(compact);
        if (!der) {
            return refuse(importText(
                QT_TRANSLATE_NOOP("ProfileImport",
                                  "The client certificate in the file (\"%1\") is damaged."),
                std::string("local.p12")));
        }
        auto contents = Pkcs12Bundle::open(
            *der,
            importText(QT_TRANSLATE_NOOP("ProfileImport", "client certificate of \"%1\""),
                       profile.name),
            std::nullopt, options.askPassword);
        if (!contents) {
            return refuse(contents.error().message);
        }
        profile.clientCertPEM = contents->certificatePEM;
        result.secrets.privateKeyPEM = contents->privateKeyPEM;
        report.mapped("local.p12", certificateSubject(profile.clientCertPEM), "clientCertPEM");
        report.mappedSecret(importText(QT_TRANSLATE_NOOP("ProfileImport", "%1 (private key)"),
                                       std::string("local.p12")),
                            "privateKeyPEM");
        if (contents->extraCertificates > 0) {
            report.dropped(
                importText(QT_TRANSLATE_NOOP("ProfileImport", "%1 (other certificates)"),
                           std::string("local.p12")),
                std::to_string(contents->extraCertificates),
                importText(
                    QT_TRANSLATE_NOOP(
                        "ProfileImport",
                        "Torvane keeps only the client certificate from the bundle; the gateway's "
                        "CA comes from \"%1\"."),
                    std::string("remote.cert")));
        }
        take("local.p12");
    } else if (needsBundle) {
        return refuse(importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The profile authenticates with a certificate but holds none "
                              "(\"%1\" is missing)."),
            std::string("local.p12")));
    }

    if (const auto servers = string("dns-servers")) {
        profile.dnsServers = words(*servers);
        report.mapped("dns-servers", *servers, "dnsServers");
        take("dns-servers");
    }
    if (const auto subnets = string("split-tunneling.subnets")) {
        profile.routes = words(*subnets);
        report.mapped("split-tunneling.subnets", *subnets, "routes");
        take("split-tunneling.subnets");
    }
    if (const auto found = byKey.find("split-tunneling.block-ipv6");
        found != byKey.end() && found->second->is_boolean()) {
        profile.preventIPv6Leak = found->second->get<bool>();
        report.mapped("split-tunneling.block-ipv6", shown(*found->second), "preventIPv6Leak");
        take("split-tunneling.block-ipv6");
    }

    for (const auto& [key, value] : fields) {
        if (handled.contains(key)) {
            continue;
        }
        if (const auto reason = droppedReasons().find(key); reason != droppedReasons().end()) {
            report.dropped(key, shown(*value), importText(reason->second));
        } else if (kMappedKeys.contains(key)) {
            report.dropped(
                key, shown(*value),
                importText(QT_TRANSLATE_NOOP(
                    "ProfileImport",
                    "The value is not of the kind this setting takes, so it was left out.")));
        } else if (key.starts_with("ui.")) {
            report.dropped(key, shown(*value),
                           importText(QT_TRANSLATE_NOOP(
                               "ProfileImport", "This is a setting of the phone app's screens.")));
        } else {
            report.dropped(key, shown(*value),
                           importText(QT_TRANSLATE_NOOP("ProfileImport",
                                                        "Torvane does not know this setting.")));
        }
    }
    result.report = report.take();
    return result;
}

} // namespace torvane
