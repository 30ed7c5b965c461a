#include "shared/managed/ManagedDirectory.h"

#include "shared/import/ProfileImporter.h"
#include "shared/managed/ManagedFiles.h"

#include <map>

#include <nlohmann/json.hpp>

namespace torvane {

namespace {

using Outcome = ManagedVerdict::Outcome;
using managed::CheckedDirectory;
using managed::FileKind;
using managed::FileProblem;

const char* kProfilesDir = "profiles.d";
const char* kSecretsDir = "secrets.d";
const char* kPkcs12PasswordKey = "pkcs12Password";

/// The keys that make a JSON object a Torvane profile rather than a .sswan.
bool isProfileRecord(const nlohmann::json& object) {
    return object.contains("authMethod") || object.contains("remoteAddr");
}

struct ManagedKeys {
    bool alwaysOn = false;
    bool lockdown = false;
    bool userMayDisconnect = true;
};

Expected<ManagedKeys, std::string> managedKeys(const nlohmann::json& object) {
    ManagedKeys keys;
    for (auto [name, field] :
         {std::pair{"alwaysOn", &keys.alwaysOn}, std::pair{"lockdown", &keys.lockdown},
          std::pair{"userMayDisconnect", &keys.userMayDisconnect}}) {
        const auto it = object.find(name);
        if (it == object.end()) {
            continue;
        }
        if (!it->is_boolean()) {
            return Unexpected{std::string("\"") + name + "\" must be true or false"};
        }
        *field = it->get<bool>();
    }
    if (keys.lockdown && !keys.alwaysOn) {
        return Unexpected{std::string(
            "\"lockdown\" needs \"alwaysOn\": true (the kill switch holds for a tunnel that "
            "is kept up)")};
    }
    return keys;
}

/// One profile file's secrets in secrets.d, with the verdict on it.
struct SecretsFile {
    std::string name;
    Expected<nlohmann::json, FileProblem> content = nlohmann::json();
};

class DirectoryReader {
public:
    explicit DirectoryReader(const std::string& configDir) : m_configDir(configDir) {}

    ManagedDirectory read() {
        auto profiles = CheckedDirectory::open(m_configDir + "/" + kProfilesDir, FileKind::profile);
        if (!profiles) {
            note(kProfilesDir, profiles.error());
            return std::move(m_result);
        }
        if (!profiles->exists()) {
            return std::move(m_result);
        }
        auto secrets = CheckedDirectory::open(m_configDir + "/" + kSecretsDir, FileKind::secrets);
        if (!secrets) {
            note(kSecretsDir, secrets.error());
            m_secretsUnreadable = secrets.error().outcome == Outcome::notReadable;
        } else {
            m_secrets = std::move(*secrets);
        }
        for (const auto& name : profiles->names()) {
            readProfileFile(*profiles, name);
        }
        return std::move(m_result);
    }

private:
    void note(const std::string& file, const FileProblem& problem) {
        m_result.verdicts.push_back({file, problem.outcome, problem.reason});
    }

    void refuse(const std::string& file, const std::string& reason) {
        m_result.verdicts.push_back({file, Outcome::refused, reason});
    }

    /// secrets.d/<UUID>.json, read once; upper-case names first, as the
    /// profile record writes UUIDs, then lower-case, as uuidgen does.
    const SecretsFile* secretsFor(const Uuid& id) {
        const auto key = id.upperText();
        if (const auto it = m_secretsFiles.find(key); it != m_secretsFiles.end()) {
            return it->second ? &*it->second : nullptr;
        }
        auto& slot = m_secretsFiles[key];
        for (const auto& name : {key + ".json", id.lowerText() + ".json"}) {
            if (!m_secrets.has(name)) {
                continue;
            }
            SecretsFile file{std::string(kSecretsDir) + "/" + name};
            auto bytes = m_secrets.read(name, FileKind::secrets);
            if (!bytes) {
                file.content = Unexpected{bytes.error()};
            } else {
                auto json = nlohmann::json::parse(*bytes, nullptr, false);
                if (!json.is_object()) {
                    file.content =
                        Unexpected{FileProblem{Outcome::refused, "not a JSON object of secrets"}};
                } else {
                    file.content = std::move(json);
                }
            }
            slot = std::move(file);
            break;
        }
        return slot ? &*slot : nullptr;
    }

    /// The secrets.d password of a .sswan's PKCS#12 bundle, when there is one.
    std::optional<std::string> pkcs12Password(const nlohmann::json& sswan) {
        const auto uuid = sswan.find("uuid");
        if (uuid == sswan.end() || !uuid->is_string()) {
            return std::nullopt;
        }
        const auto id = Uuid::parse(uuid->get<std::string>());
        const SecretsFile* file = id ? secretsFor(*id) : nullptr;
        if (file == nullptr || !file->content) {
            return std::nullopt;
        }
        const auto password = file->content->find(kPkcs12PasswordKey);
        if (password == file->content->end() || !password->is_string()) {
            return std::nullopt;
        }
        return password->get<std::string>();
    }

    void readProfileFile(const CheckedDirectory& directory, const std::string& name) {
        const std::string file = std::string(kProfilesDir) + "/" + name;
        auto bytes = directory.read(name, FileKind::profile);
        if (!bytes) {
            note(file, bytes.error());
            return;
        }
        std::vector<ImportedProfile> imported;
        ManagedKeys keys;
        const bool jsonText = detectImportFormat(*bytes) == ImportFormat::sswan;
        const auto json =
            jsonText ? nlohmann::json::parse(*bytes, nullptr, false) : nlohmann::json();
        if (jsonText && json.is_discarded()) {
            refuse(file, "not valid JSON; a Torvane profile or a .sswan is one JSON object");
            return;
        }
        if (json.is_object()) {
            auto found = managedKeys(json);
            if (!found) {
                refuse(file, found.error());
                return;
            }
            keys = *found;
        }
        if (json.is_object() && isProfileRecord(json)) {
            // The id names the profile across reloads and its secrets file;
            // a fresh random one each time would make it a new profile.
            if (!json.contains("id")) {
                refuse(file, "a Torvane profile needs its \"id\" (a UUID)");
                return;
            }
            auto profile = profileFromJson(json);
            if (!profile) {
                refuse(file, "not a valid Torvane profile: " + profile.error().message);
                return;
            }
            imported.push_back({std::move(*profile), {}, {}});
        } else {
            bool passwordMissing = false;
            ImportOptions options;
            options.askPassword = [&](const std::string&,
                                      bool again) -> std::optional<std::string> {
                auto password = again || !json.is_object() ? std::nullopt : pkcs12Password(json);
                passwordMissing = !again && !password;
                return password;
            };
            auto result = importProfileFile(*bytes, options);
            if (!result) {
                if (passwordMissing && json.is_object()) {
                    const auto uuid = json.value("uuid", "");
                    refuse(file, "needs a PKCS#12 password: put it in " + std::string(kSecretsDir) +
                                     "/" + (uuid.empty() ? "UUID" : uuid) + ".json as \"" +
                                     kPkcs12PasswordKey + "\"");
                } else if (passwordMissing) {
                    // The profiles' UUIDs are known only once the bundle is open.
                    refuse(file, "needs a PKCS#12 password: put it in the \"Password\" key of "
                                 "the file's PKCS#12 payload");
                } else {
                    refuse(file, result.error().message);
                }
                return;
            }
            if (result->profiles.empty()) {
                refuse(file, "holds no VPN profile");
                return;
            }
            imported = std::move(result->profiles);
        }
        for (const auto& one : imported) {
            const auto uuid = one.profile.id.upperText();
            if (const auto it = m_owners.find(uuid); it != m_owners.end()) {
                refuse(file, "profile " + uuid + " is already given by " + it->second);
                return;
            }
        }
        std::string names;
        std::vector<ManagedVerdict> secretVerdicts;
        for (auto& one : imported) {
            m_owners[one.profile.id.upperText()] = file;
            names += (names.empty() ? "" : ", ") + one.profile.name;
            ManagedProfile managed{std::move(one.profile), keys.alwaysOn, keys.lockdown,
                                   keys.userMayDisconnect, file,          std::nullopt};
            addSecrets(managed, one.secrets, secretVerdicts);
            m_result.profiles.push_back(std::move(managed));
        }
        m_result.verdicts.push_back({file, Outcome::accepted,
                                     std::to_string(imported.size()) +
                                         (imported.size() == 1 ? " profile (" : " profiles (") +
                                         names + ")"});
        m_result.verdicts.insert(m_result.verdicts.end(), secretVerdicts.begin(),
                                 secretVerdicts.end());
    }

    /// What the profile file carries, completed (and overridden field by
    /// field) by secrets.d. A bad secrets file costs only the secrets.
    void addSecrets(ManagedProfile& managed, const VPNSecrets& carried,
                    std::vector<ManagedVerdict>& verdicts) {
        VPNSecrets secrets = carried;
        if (carried != VPNSecrets{}) {
            managed.secretsOrigin = ManagedSecretsOrigin::profileFile;
        }
        if (const SecretsFile* file = secretsFor(managed.profile.id)) {
            if (!file->content) {
                const auto& problem = file->content.error();
                if (problem.outcome == Outcome::notReadable) {
                    managed.secretsOrigin = ManagedSecretsOrigin::secretsFileNotReadable;
                }
                verdicts.push_back({file->name, problem.outcome, problem.reason});
            } else if (auto decoded = decodeSecrets(file->content->dump()); !decoded) {
                verdicts.push_back({file->name, Outcome::refused,
                                    "not a valid secrets record: " + decoded.error().message});
            } else {
                if (!decoded->xauthPassword.empty()) {
                    secrets.xauthPassword = decoded->xauthPassword;
                }
                if (!decoded->privateKeyPEM.empty()) {
                    secrets.privateKeyPEM = decoded->privateKeyPEM;
                }
                managed.secretsOrigin = ManagedSecretsOrigin::secretsFile;
                verdicts.push_back(
                    {file->name, Outcome::accepted, "secrets of " + managed.profile.name});
            }
        }
        if (m_secretsUnreadable) {
            managed.secretsOrigin = ManagedSecretsOrigin::secretsFileNotReadable;
        }
        if (secrets != VPNSecrets{}) {
            managed.secrets = std::move(secrets);
        }
    }

    std::string m_configDir;
    CheckedDirectory m_secrets;
    /// secrets.d cannot be listed by this user: its files are unknown.
    bool m_secretsUnreadable = false;
    std::map<std::string, std::optional<SecretsFile>> m_secretsFiles;
    /// UUID → the file that gave it first.
    std::map<std::string, std::string> m_owners;
    ManagedDirectory m_result;
};

} // namespace

std::string ManagedVerdict::text() const {
    const char* word = "accepted";
    switch (outcome) {
    case Outcome::accepted:
        break;
    case Outcome::ignored:
        word = "ignored";
        break;
    case Outcome::refused:
        word = "refused";
        break;
    case Outcome::notReadable:
        word = "not read";
        break;
    }
    return file + ": " + word + (reason.empty() ? "" : ": " + reason);
}

bool ManagedDirectory::allAccepted() const {
    for (const auto& verdict : verdicts) {
        if (verdict.outcome == Outcome::ignored || verdict.outcome == Outcome::refused) {
            return false;
        }
    }
    return true;
}

ManagedDirectory readManagedDirectory(const std::string& configDir) {
    return DirectoryReader(configDir).read();
}

} // namespace torvane
