#pragma once

#include "Torvane/core/SecretStore.h"
#include "shared/Uuid.h"
#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"

#include <utility>
#include <vector>

#include <QObject>
#include <QSettings>

namespace torvane {

/// The app's single owner of the profile list (in the settings file, without
/// secrets) and of each profile's secrets (in the secret store, keyed by the
/// profile's upper-case UUID). The list order is the priority order.
class ProfileStore : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kDefaultsKey = "Profiles";
    static constexpr const char* kSecretService = "kv.kelvor.torvane.secrets";

    /// Loads the list from `settings` once.
    ProfileStore(QSettings& settings, SecretStore& secretStore, QObject* parent = nullptr);

    /// The process-wide store over the user's settings file and the Secret
    /// Service, created on first use.
    static ProfileStore& shared();

    const std::vector<VPNProfile>& profiles() const { return m_profiles; }
    /// The settings file the list lives in; the app's other settings too.
    QSettings& settings() const { return m_settings; }

    VPNProfile add(VPNProfile profile);
    void update(const VPNProfile& profile);
    /// Removes every profile with this id and its secrets.
    void remove(const VPNProfile& profile);
    /// List-move semantics of a drag: the elements at `fromOffsets` end up
    /// before the element that was at `toOffset`.
    void move(std::vector<int> fromOffsets, int toOffset);
    /// Appends unchanged, persists, then saves the secrets; the bool says
    /// whether the secrets were saved.
    std::pair<VPNProfile, bool> importProfile(VPNProfile profile, const VPNSecrets& secrets);

    /// Both fields empty when there are none or they cannot be read.
    VPNSecrets secrets(const Uuid& profileID) const;
    bool saveSecrets(const VPNSecrets& secrets, const Uuid& profileID);

signals:
    void profilesChanged();

private:
    void load();
    void persist();

    QSettings& m_settings;
    SecretStore& m_secretStore;
    std::vector<VPNProfile> m_profiles;
};

} // namespace torvane
