#include "shared/import/MobileconfigReader.h"

#include "shared/import/Certificates.h"
#include "shared/import/ImportReport.h"
#include "shared/import/ImportText.h"
#include "shared/import/Pkcs12Bundle.h"
#include "shared/import/ProposalModel.h"

#include <map>
#include <set>

namespace torvane {

namespace {

const std::string kVpnPayload = "com.apple.vpn.managed";
const std::string kPkcs12Payload = "com.apple.security.pkcs12";
const std::set<std::string> kCaPayloads = {"com.apple.security.root", "com.apple.security.pem",
                                           "com.apple.security.pkcs1"};

const char* const kAboutPayload =
    QT_TRANSLATE_NOOP("ProfileImport", "This describes the file or payload, not the connection.");

// Why each behaviour option that Torvane cannot keep is left out. The
// sentences are translated when they are reported.
const std::map<std::string, const char*>& droppedReasons() {
    static const std::map<std::string, const char*> reasons = {
        {"DeadPeerDetectionRate",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "strongSwan's own dead-peer detection applies in Torvane.")},
        {"DisableMOBIKE",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane leaves MOBIKE to strongSwan's default.")},
        {"DisableRedirect",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane leaves gateway redirects to strongSwan's default.")},
        {"NATKeepAliveInterval",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane uses strongSwan's NAT keepalive interval (20 seconds).")},
        {"NATKeepAliveOffloadEnable",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane uses strongSwan's NAT keepalive.")},
        {"IncludeAllNetworks",
         QT_TRANSLATE_NOOP(
             "ProfileImport",
             "Use Torvane's kill switch to keep traffic from leaving outside the tunnel.")},
        {"ExcludeLocalNetworks",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane cannot keep the local network outside a tunnel.")},
        {"OnDemandEnabled",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane connects when you ask, or at start-up if you choose so.")},
        {"OnDemandRules",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane connects when you ask, or at start-up if you choose so.")},
        {"ServerCertificateIssuerCommonName",
         QT_TRANSLATE_NOOP(
             "ProfileImport",
             "Torvane checks the gateway against the CA certificate and its identity instead.")},
        {"ServerCertificateCommonName",
         QT_TRANSLATE_NOOP(
             "ProfileImport",
             "Torvane checks the gateway against the CA certificate and its identity instead.")},
        {"EnableCertificateRevocationCheck",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane checks revocation the way strongSwan does by default.")},
        {"UseConfigurationAttributeInternalIPSubnet",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane routes by the traffic selectors and its routes list.")},
        {"EnableFallback",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane does not switch to another network while connected.")},
        {"MTU",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane leaves the tunnel's MTU to the system.")},
        {"PromptForVPNPIN",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane does not use smart-card PINs.")},
        {"DisconnectOnIdle",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane stays connected until you disconnect.")},
        {"DisconnectOnIdleTimer",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane stays connected until you disconnect.")},
        {"SupplementalMatchDomains",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane sends every DNS query to the tunnel's "
                                            "servers, not only those of some domains.")},
        {"SupplementalMatchDomainsNoSearch",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane sends every DNS query to the tunnel's "
                                            "servers, not only those of some domains.")},
        {"VPNSubType",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane connects with its own IPsec client, not with an app.")},
        {"VendorConfig",
         QT_TRANSLATE_NOOP("ProfileImport",
                           "Torvane connects with its own IPsec client, not with an app.")},
        {"Proxies", QT_TRANSLATE_NOOP("ProfileImport", "Torvane does not set proxies.")},
        {"OnDemandUserOverrideDisabled",
         QT_TRANSLATE_NOOP("ProfileImport", "Torvane connects when you ask.")},
    };
    return reasons;
}

// A tree of fields some of which the mapper takes; the rest are reported.
struct Walk {
    ImportReport& report;
    std::set<std::string> taken;

    void take(const std::string& path) { taken.insert(path); }
    // Every leaf (and every dictionary, as a whole, when it is empty or an
    // array) under `value` that was not taken.
    void reportRest(const std::string& path, const PlistValue& value) {
        if (taken.contains(path)) {
            return;
        }
        if (value.isDict() && !value.dict.empty()) {
            for (const auto& [key, child] : value.dict) {
                reportRest(path.empty() ? key : path + "." + key, child);
            }
            return;
        }
        const auto leaf =
            path.substr(path.rfind('.') == std::string::npos ? 0 : path.rfind('.') + 1);
        if (const auto reason = droppedReasons().find(leaf); reason != droppedReasons().end()) {
            report.dropped(path, value.describe(), importText(reason->second));
        } else if (leaf.starts_with("Payload")) {
            report.dropped(path, value.describe(), importText(kAboutPayload));
        } else {
            report.dropped(path, value.describe(),
                           importText(QT_TRANSLATE_NOOP("ProfileImport",
                                                        "Torvane does not know this setting.")));
        }
    }
};

std::optional<std::string> stringAt(const PlistValue& dict, std::string_view key) {
    const auto* value = dict.find(key);
    if (!value || !value->isString()) {
        return std::nullopt;
    }
    return value->text;
}

bool flagAt(const PlistValue& dict, std::string_view key) {
    bool flag = false;
    const auto* value = dict.find(key);
    return value && value->asFlag(flag) && flag;
}

std::optional<std::string> encryptionToken(const std::string& name) {
    static const std::map<std::string, std::string> tokens = {
        {"3DES", "3des"},
        {"AES-128", "aes128"},
        {"AES-256", "aes256"},
        {"AES-128-GCM", "aes128gcm16"},
        {"AES-256-GCM", "aes256gcm16"},
        {"ChaCha20Poly1305", "chacha20poly1305"},
    };
    const auto found = tokens.find(name);
    return found == tokens.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> integrityToken(const std::string& name) {
    static const std::map<std::string, std::string> tokens = {
        {"SHA1-96", "sha1"},    {"SHA1-160", "sha1_160"}, {"SHA2-256", "sha256"},
        {"SHA2-384", "sha384"}, {"SHA2-512", "sha512"},
    };
    const auto found = tokens.find(name);
    return found == tokens.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> dhToken(std::int64_t group) {
    static const std::map<std::int64_t, std::string> tokens = {
        {1, "modp768"},   {2, "modp1024"},    {5, "modp1536"},  {14, "modp2048"}, {15, "modp3072"},
        {16, "modp4096"}, {17, "modp6144"},   {18, "modp8192"}, {19, "ecp256"},   {20, "ecp384"},
        {21, "ecp521"},   {31, "curve25519"}, {32, "curve448"},
    };
    const auto found = tokens.find(group);
    return found == tokens.end() ? std::nullopt : std::optional(found->second);
}

// One security-association dictionary as a proposal the pickers can show.
// Missing keys take the values the profile format defines as defaults. The
// IKE side of an AEAD cipher needs a pseudo-random function, which is the
// integrity algorithm's.
void mapProposal(const PlistValue& sa, const std::string& path, bool ike, bool pfs,
                 std::string& proposal, std::string& lifetime, Walk& walk) {
    ParsedProposal parsed{"aes256", "sha256", {}, "modp2048"};
    bool usable = true;
    // One algorithm key: its strongSwan token, or a report line saying why
    // the default proposal stays.
    const auto algorithm = [&](const char* key, auto tokenOf,
                               const char* reason) -> std::optional<std::string> {
        const auto* value = sa.find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        auto token = tokenOf(*value);
        if (!token) {
            usable = false;
            walk.report.dropped(path + "." + key, value->describe(), importText(reason));
        }
        walk.take(path + "." + key);
        return token;
    };
    if (const auto token = algorithm(
            "EncryptionAlgorithm",
            [](const PlistValue& v) {
                return v.isString() ? encryptionToken(v.text) : std::nullopt;
            },
            QT_TRANSLATE_NOOP("ProfileImport",
                              "strongSwan no longer offers this cipher; Torvane's default "
                              "proposal is kept."))) {
        parsed.encryption = *token;
    }
    std::string integrity = parsed.integrity;
    if (const auto token = algorithm(
            "IntegrityAlgorithm",
            [](const PlistValue& v) {
                return v.isString() ? integrityToken(v.text) : std::nullopt;
            },
            QT_TRANSLATE_NOOP("ProfileImport",
                              "This integrity algorithm is unknown; Torvane's default proposal "
                              "is kept."))) {
        integrity = *token;
    }
    if (const auto token = algorithm(
            "DiffieHellmanGroup",
            [](const PlistValue& v) {
                return v.type == PlistValue::Type::integer ? dhToken(v.integer) : std::nullopt;
            },
            QT_TRANSLATE_NOOP("ProfileImport",
                              "This Diffie-Hellman group is unknown; Torvane's default proposal "
                              "is kept."))) {
        parsed.dhGroup = *token;
    }
    const bool aead = parsed.encIsAEAD();
    parsed.integrity = aead ? std::string{} : integrity;
    if (aead && ike) {
        parsed.prf = "prf" + integrity.substr(0, integrity.find('_'));
    }
    if (!pfs) {
        parsed.dhGroup.clear();
    }
    if (usable) {
        proposal = parsed.string();
        walk.report.mapped(path, proposal, ike ? "ikeProposals" : "espProposals");
    }
    if (const auto* minutes = sa.find("LifeTimeInMinutes")) {
        if (minutes->type == PlistValue::Type::integer && minutes->integer > 0 &&
            minutes->integer <= 7 * 24 * 60) {
            lifetime = std::to_string(minutes->integer * 60) + "s";
            walk.report.mapped(path + ".LifeTimeInMinutes", minutes->describe(),
                               ike ? "rekeyTimeIKE" : "lifeTimeChild");
        } else {
            walk.report.dropped(
                path + ".LifeTimeInMinutes", minutes->describe(),
                importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "This is not a lifetime between one minute and a week.")));
        }
        walk.take(path + ".LifeTimeInMinutes");
    }
}

struct Certificates {
    std::map<std::string, const PlistValue*> pkcs12ByUuid;
    /// The PKCS#12 payloads some VPN payload used.
    std::set<std::string> used;
    std::string caCertPEM;
    std::string caSubject;
};

// The client identity of `payload`'s PayloadCertificateUUID.
Expected<bool, ImportError> mapIdentity(const PlistValue& dict, const std::string& path,
                                        Certificates& certificates, const ImportOptions& options,
                                        ImportedProfile& out, Walk& walk) {
    const auto uuid = stringAt(dict, "PayloadCertificateUUID");
    if (!uuid) {
        return false;
    }
    walk.take(path + ".PayloadCertificateUUID");
    const auto found = certificates.pkcs12ByUuid.find(*uuid);
    if (found == certificates.pkcs12ByUuid.end()) {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The profile \"%1\" refers to a client certificate the file does "
                              "not hold."),
            out.profile.name)}};
    }
    certificates.used.insert(*uuid);
    const auto* content = found->second->find("PayloadContent");
    if (!content || content->type != PlistValue::Type::data) {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport", "The client certificate of \"%1\" is damaged."),
            out.profile.name)}};
    }
    auto contents = Pkcs12Bundle::open(
        content->text,
        importText(QT_TRANSLATE_NOOP("ProfileImport", "client certificate of \"%1\""),
                   out.profile.name),
        stringAt(*found->second, "Password"), options.askPassword);
    if (!contents) {
        return Unexpected{contents.error()};
    }
    out.profile.clientCertPEM = contents->certificatePEM;
    out.secrets.privateKeyPEM = contents->privateKeyPEM;
    walk.report.mapped(path + ".PayloadCertificateUUID",
                       certificateSubject(out.profile.clientCertPEM), "clientCertPEM");
    walk.report.mappedSecret(importText(QT_TRANSLATE_NOOP("ProfileImport", "%1 (private key)"),
                                        path + ".PayloadCertificateUUID"),
                             "privateKeyPEM");
    return true;
}

Expected<ImportedProfile, ImportError>
mapVpnPayload(const PlistValue& payload, Certificates& certificates, const ImportOptions& options) {
    ImportedProfile out;
    auto& profile = out.profile;
    ImportReport report;
    Walk walk{report, {}};
    const auto nameText = stringAt(payload, "UserDefinedName");
    if (nameText && !nameText->empty()) {
        profile.name = *nameText;
        report.mapped("UserDefinedName", *nameText, "name");
        walk.take("UserDefinedName");
    } else if (const auto display = stringAt(payload, "PayloadDisplayName")) {
        profile.name = *display;
        report.mapped("PayloadDisplayName", *display, "name");
        walk.take("PayloadDisplayName");
    }
    if (const auto uuid = stringAt(payload, "PayloadUUID")) {
        if (const auto id = Uuid::parse(*uuid)) {
            profile.id = *id;
            report.mapped("PayloadUUID", *uuid, "id");
            walk.take("PayloadUUID");
        }
    }
    const auto vpnType = stringAt(payload, "VPNType").value_or("");
    if (vpnType != "IKEv2" && vpnType != "IPSec") {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The VPN \"%1\" is of type \"%2\"; Torvane connects with IKEv2 or "
                              "IPsec (IKEv1) only."),
            profile.name, vpnType)}};
    }
    report.mapped("VPNType", vpnType, "ikeVersion");
    walk.take("VPNType");
    const auto* dict = payload.find(vpnType);
    if (!dict || !dict->isDict()) {
        return Unexpected{ImportError{
            importText(QT_TRANSLATE_NOOP("ProfileImport", "The VPN \"%1\" has no %2 settings."),
                       profile.name, vpnType)}};
    }
    const auto gateway = stringAt(*dict, "RemoteAddress");
    if (!gateway || gateway->empty()) {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport", "The VPN \"%1\" names no gateway."), profile.name)}};
    }
    profile.remoteAddr = *gateway;
    report.mapped(vpnType + ".RemoteAddress", *gateway, "remoteAddr");
    walk.take(vpnType + ".RemoteAddress");

    const auto mapString = [&](const std::string& key, std::string& target,
                               const char* targetName) {
        if (const auto value = stringAt(*dict, key)) {
            target = *value;
            report.mapped(vpnType + "." + key, *value, targetName);
            walk.take(vpnType + "." + key);
        }
    };
    const auto mapSecret = [&](const std::string& key, const char* what) {
        const auto* value = dict->find(key);
        if (value && (value->isString() || value->type == PlistValue::Type::data)) {
            out.secrets.xauthPassword = value->text;
            report.mappedSecret(vpnType + "." + key, what);
            walk.take(vpnType + "." + key);
        }
    };
    const auto method = stringAt(*dict, "AuthenticationMethod").value_or("None");
    walk.take(vpnType + ".AuthenticationMethod");
    auto identity = mapIdentity(*dict, vpnType, certificates, options, out, walk);
    if (!identity) {
        return Unexpected{identity.error()};
    }
    const bool hasIdentity = *identity;
    if (method == "Certificate" && !hasIdentity) {
        return Unexpected{ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport",
                              "The VPN \"%1\" authenticates with a certificate but the file "
                              "holds none for it."),
            profile.name)}};
    }

    if (vpnType == "IKEv2") {
        profile.ikeVersion = 2;
        mapString("RemoteIdentifier", profile.remoteID, "remoteID");
        mapString("LocalIdentifier", profile.localID, "localID");
        const bool eap = flagAt(*dict, "ExtendedAuthEnabled");
        walk.take("IKEv2.ExtendedAuthEnabled");
        if (eap && method == "Certificate") {
            profile.authMethod = VPNAuthMethod::eapTLS;
            for (const char* key : {"AuthName", "AuthPassword"}) {
                if (const auto* value = dict->find(key)) {
                    report.dropped(
                        std::string("IKEv2.") + key, value->describe(),
                        importText(QT_TRANSLATE_NOOP(
                            "ProfileImport", "With EAP-TLS this computer proves itself with its "
                                             "certificate, not with a user name and password.")));
                    walk.take(std::string("IKEv2.") + key);
                }
            }
        } else if (eap) {
            profile.authMethod = VPNAuthMethod::eapMSCHAPv2;
            mapString("AuthName", profile.xauthID, "xauthID");
            mapSecret("AuthPassword", "xauthPassword");
            if (dict->find("SharedSecret")) {
                report.dropped(
                    "IKEv2.SharedSecret", kMaskedValue,
                    importText(QT_TRANSLATE_NOOP(
                        "ProfileImport",
                        "With EAP the gateway proves itself with its certificate in Torvane, "
                        "not with a shared secret.")));
                walk.take("IKEv2.SharedSecret");
            }
        } else if (method == "SharedSecret") {
            profile.authMethod = VPNAuthMethod::pskMutual;
            mapSecret("SharedSecret", "xauthPassword");
        } else if (method == "Certificate") {
            profile.authMethod = VPNAuthMethod::certificate;
        } else {
            return Unexpected{ImportError{importText(
                QT_TRANSLATE_NOOP("ProfileImport",
                                  "The VPN \"%1\" has no way for this computer to authenticate."),
                profile.name)}};
        }
        report.mapped("IKEv2.AuthenticationMethod", method + (eap ? " + EAP" : ""), "authMethod");
        const bool pfs = flagAt(*dict, "EnablePFS");
        if (const auto* flag = dict->find("EnablePFS")) {
            report.mapped("IKEv2.EnablePFS", flag->describe(), "espProposals");
            walk.take("IKEv2.EnablePFS");
        }
        if (const auto* sa = dict->find("IKESecurityAssociationParameters"); sa && sa->isDict()) {
            mapProposal(*sa, "IKEv2.IKESecurityAssociationParameters", true, true,
                        profile.ikeProposals, profile.rekeyTimeIKE, walk);
        }
        if (const auto* sa = dict->find("ChildSecurityAssociationParameters"); sa && sa->isDict()) {
            mapProposal(*sa, "IKEv2.ChildSecurityAssociationParameters", false, pfs,
                        profile.espProposals, profile.lifeTimeChild, walk);
            // Rekeying must come before the lifetime ends.
            const auto life = std::stoll(profile.lifeTimeChild);
            if (std::stoll(profile.rekeyTimeChild) >= life) {
                profile.rekeyTimeChild = std::to_string(life * 9 / 10) + "s";
            }
        }
    } else {
        const bool xauth = flagAt(*dict, "XAuthEnabled");
        walk.take("IPSec.XAuthEnabled");
        if (method == "Certificate") {
            profile.authMethod = xauth ? VPNAuthMethod::xauth : VPNAuthMethod::certificate;
            mapString("LocalIdentifier", profile.localID, "localID");
            if (xauth) {
                mapString("XAuthName", profile.xauthID, "xauthID");
                mapSecret("XAuthPassword", "xauthPassword");
            }
        } else if (method == "SharedSecret") {
            profile.authMethod = VPNAuthMethod::pskMutual;
            mapString("LocalIdentifier", profile.localID, "localID");
            mapSecret("SharedSecret", "xauthPassword");
            if (const auto* type = dict->find("LocalIdentifierType")) {
                report.mapped("IPSec.LocalIdentifierType", type->describe(), "localID");
                walk.take("IPSec.LocalIdentifierType");
            }
            if (xauth) {
                for (const char* key : {"XAuthName", "XAuthPassword"}) {
                    if (const auto* value = dict->find(key)) {
                        report.dropped(
                            std::string("IPSec.") + key,
                            key == std::string("XAuthName") ? value->describe() : kMaskedValue,
                            importText(QT_TRANSLATE_NOOP(
                                "ProfileImport",
                                "Torvane cannot add XAuth to a group pre-shared key; the "
                                "profile uses the group key alone, which a gateway that asks "
                                "for XAuth will refuse.")));
                        walk.take(std::string("IPSec.") + key);
                    }
                }
            }
        } else {
            return Unexpected{ImportError{importText(
                QT_TRANSLATE_NOOP("ProfileImport",
                                  "The VPN \"%1\" has no way for this computer to authenticate."),
                profile.name)}};
        }
        profile.ikeVersion = 1;
        report.mapped("IPSec.AuthenticationMethod", method + (xauth ? " + XAuth" : ""),
                      "authMethod");
    }

    if (!certificates.caCertPEM.empty()) {
        profile.caCertPEM = certificates.caCertPEM;
        report.mapped(importText(QT_TRANSLATE_NOOP("ProfileImport", "(certificate payload)")),
                      certificates.caSubject, "caCertPEM");
    }
    if (const auto* dns = payload.find("DNS"); dns && dns->isDict()) {
        for (const auto& [key, target, field] :
             {std::tuple{"ServerAddresses", &profile.dnsServers, "dnsServers"},
              std::tuple{"SearchDomains", &profile.searchDomains, "searchDomains"}}) {
            const auto* list = dns->find(key);
            if (!list || list->type != PlistValue::Type::array) {
                continue;
            }
            std::string shown;
            for (const auto& entry : list->array) {
                if (entry.isString()) {
                    target->push_back(entry.text);
                    shown += (shown.empty() ? "" : " ") + entry.text;
                }
            }
            report.mapped(std::string("DNS.") + key, shown, field);
            walk.take(std::string("DNS.") + key);
        }
    }
    if (const auto* ipv4 = payload.find("IPv4"); ipv4 && ipv4->isDict()) {
        if (const auto* primary = ipv4->find("OverridePrimary")) {
            if (flagAt(*ipv4, "OverridePrimary")) {
                profile.routes = {"0.0.0.0/0"};
            }
            report.mapped("IPv4.OverridePrimary", primary->describe(), "routes");
            walk.take("IPv4.OverridePrimary");
        }
    }
    walk.take("PayloadType");
    walk.reportRest({}, payload);
    out.report = report.take();
    return out;
}

} // namespace

Expected<ImportResult, ImportError> MobileconfigReader::read(const PlistValue& root,
                                                             const ImportOptions& options) {
    const auto* payloads = root.find("PayloadContent");
    if (!payloads || payloads->type != PlistValue::Type::array) {
        return Unexpected{ImportError{importText(QT_TRANSLATE_NOOP(
            "ProfileImport", "The file is not a configuration profile: it lists no payloads."))}};
    }
    ImportResult result;
    ImportReport fileReport;
    Walk fileWalk{fileReport, {"PayloadContent"}};
    fileWalk.reportRest({}, root);

    Certificates certificates;
    std::vector<const PlistValue*> vpns;
    for (const auto& payload : payloads->array) {
        const auto type = stringAt(payload, "PayloadType").value_or("");
        const auto label = stringAt(payload, "PayloadDisplayName").value_or(type);
        if (type == kVpnPayload) {
            vpns.push_back(&payload);
        } else if (type == kPkcs12Payload) {
            if (const auto uuid = stringAt(payload, "PayloadUUID")) {
                certificates.pkcs12ByUuid.emplace(*uuid, &payload);
            }
        } else if (kCaPayloads.contains(type)) {
            const auto* content = payload.find("PayloadContent");
            const auto pem = content && content->type == PlistValue::Type::data
                                 ? certificateToPem(content->text)
                                 : std::nullopt;
            if (!pem) {
                fileReport.dropped(
                    label, type,
                    importText(QT_TRANSLATE_NOOP("ProfileImport", "This certificate is damaged.")));
            } else if (certificates.caCertPEM.empty()) {
                certificates.caCertPEM = *pem;
                certificates.caSubject = certificateSubject(*pem);
            } else {
                fileReport.dropped(
                    label, certificateSubject(*pem),
                    importText(QT_TRANSLATE_NOOP(
                        "ProfileImport",
                        "Torvane keeps one CA certificate per profile, the file's first.")));
            }
        } else {
            fileReport.dropped(
                label, type,
                importText(QT_TRANSLATE_NOOP("ProfileImport",
                                             "Torvane imports only VPN settings from this file.")));
        }
    }
    std::optional<ImportError> firstRefusal;
    for (const auto* vpn : vpns) {
        auto profile = mapVpnPayload(*vpn, certificates, options);
        if (profile) {
            result.profiles.push_back(std::move(*profile));
        } else {
            fileReport.dropped(stringAt(*vpn, "UserDefinedName").value_or("VPN"), "",
                               profile.error().message);
            if (!firstRefusal) {
                firstRefusal = profile.error();
            }
        }
    }
    for (const auto& [uuid, payload] : certificates.pkcs12ByUuid) {
        if (!certificates.used.contains(uuid)) {
            fileReport.dropped(
                stringAt(*payload, "PayloadDisplayName").value_or(kPkcs12Payload), kPkcs12Payload,
                importText(QT_TRANSLATE_NOOP(
                    "ProfileImport",
                    "No imported VPN uses this certificate, so it was not opened.")));
        }
    }
    if (result.profiles.empty()) {
        return Unexpected{firstRefusal.value_or(ImportError{importText(
            QT_TRANSLATE_NOOP("ProfileImport", "The file holds no VPN settings to import."))})};
    }
    result.fileReport = fileReport.take();
    return result;
}

} // namespace torvane
