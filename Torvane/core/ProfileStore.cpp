#include "Torvane/core/ProfileStore.h"

#include "Torvane/core/AppLog.h"
#include "Torvane/core/LibsecretStore.h"

#include <algorithm>

namespace torvane {
namespace {

std::string corruptKey() {
    return std::string(ProfileStore::kDefaultsKey) + ".corrupt";
}

} // namespace

ProfileStore::ProfileStore(QSettings& settings, SecretStore& secretStore, QObject* parent)
    : QObject(parent), m_settings(settings), m_secretStore(secretStore) {
    load();
}

ProfileStore& ProfileStore::shared() {
    static QSettings settings("kelvor", "Torvane");
    static LibsecretStore secretStore(kSecretService);
    static ProfileStore store(settings, secretStore);
    return store;
}

void ProfileStore::load() {
    const QVariant raw = m_settings.value(kDefaultsKey);
    if (!raw.isValid()) {
        return;
    }
    // A hand-edited settings file may hold the list as text rather than
    // bytes; it decodes the same.
    const bool isText = raw.typeId() == QMetaType::QByteArray || raw.typeId() == QMetaType::QString;
    const QByteArray bytes = isText ? raw.toByteArray() : QByteArray();
    auto decoded = decodeProfileList(std::string_view(bytes.constData(), bytes.size()));
    if (isText && decoded) {
        m_profiles = std::move(decoded.value());
        return;
    }
    const std::string reason = decoded ? "the value is not data" : decoded.error().message;
    appSystemLog("Torvane: failed to decode saved profiles (" + reason +
                 ") \u2014 preserving raw data under '" + corruptKey() + "'");
    // The value is kept as it was read, whatever its type, so nothing is
    // lost; "Profiles" itself is left for the next change to replace.
    m_settings.setValue(QString::fromStdString(corruptKey()), raw);
    m_settings.sync();
}

void ProfileStore::persist() {
    const std::string json = encodeProfileList(m_profiles);
    m_settings.setValue(kDefaultsKey, QByteArray(json.data(), static_cast<qsizetype>(json.size())));
    // Written through at once: a crash after a change must not lose it.
    m_settings.sync();
    emit profilesChanged();
}

VPNProfile ProfileStore::add(VPNProfile profile) {
    m_profiles.push_back(profile);
    persist();
    return profile;
}

void ProfileStore::update(const VPNProfile& profile) {
    const auto it = std::find_if(m_profiles.begin(), m_profiles.end(),
                                 [&](const VPNProfile& p) { return p.id == profile.id; });
    if (it != m_profiles.end()) {
        *it = profile;
    } else {
        m_profiles.push_back(profile);
    }
    persist();
}

void ProfileStore::remove(const VPNProfile& profile) {
    std::erase_if(m_profiles, [&](const VPNProfile& p) { return p.id == profile.id; });
    m_secretStore.remove(profile.id.upperText());
    persist();
}

void ProfileStore::move(std::vector<int> fromOffsets, int toOffset) {
    const int count = static_cast<int>(m_profiles.size());
    // Offsets outside the list are ignored rather than trusted: they can only
    // come from a stale view.
    std::erase_if(fromOffsets, [&](int offset) { return offset < 0 || offset >= count; });
    std::sort(fromOffsets.begin(), fromOffsets.end());
    fromOffsets.erase(std::unique(fromOffsets.begin(), fromOffsets.end()), fromOffsets.end());
    toOffset = std::clamp(toOffset, 0, count);

    std::vector<VPNProfile> moved;
    std::vector<VPNProfile> rest;
    std::size_t next = 0;
    for (int i = 0; i < count; ++i) {
        if (next < fromOffsets.size() && fromOffsets[next] == i) {
            moved.push_back(std::move(m_profiles[static_cast<std::size_t>(i)]));
            ++next;
        } else {
            rest.push_back(std::move(m_profiles[static_cast<std::size_t>(i)]));
        }
    }
    const auto before = std::count_if(fromOffsets.begin(), fromOffsets.end(),
                                      [&](int offset) { return offset < toOffset; });
    const auto insertAt = rest.begin() + (toOffset - before);
    rest.insert(insertAt, std::make_move_iterator(moved.begin()),
                std::make_move_iterator(moved.end()));
    m_profiles = std::move(rest);
    persist();
}

std::pair<VPNProfile, bool> ProfileStore::importProfile(VPNProfile profile,
                                                        const VPNSecrets& secrets) {
    m_profiles.push_back(profile);
    persist();
    const bool saved = saveSecrets(secrets, profile.id);
    return {std::move(profile), saved};
}

VPNSecrets ProfileStore::secrets(const Uuid& profileID) const {
    const auto data = m_secretStore.read(profileID.upperText());
    if (data) {
        if (auto decoded = decodeSecrets(*data)) {
            return std::move(decoded.value());
        }
    }
    return VPNSecrets{};
}

bool ProfileStore::saveSecrets(const VPNSecrets& secrets, const Uuid& profileID) {
    const std::string account = profileID.upperText();
    const int status = m_secretStore.write(account, encodeSecrets(secrets));
    if (status != 0) {
        appSystemLog("Torvane: keyring write failed for " + account + ": OSStatus " +
                     std::to_string(status));
        return false;
    }
    return true;
}

} // namespace torvane
