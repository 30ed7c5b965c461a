#pragma once

#include "Torvane/core/SecretStore.h"

namespace torvane {

/// The secret store over the Secret Service (gnome-keyring, KWallet,
/// KeePassXC) through libsecret's synchronous calls. Items carry the
/// attributes "service" (fixed) and "account"; only these are matched, so
/// items written by another build of the app are found too.
///
/// Without a reachable service every read gives nothing and every write
/// fails, after at most libsecret's own D-Bus time limit. Calls block the
/// calling thread.
class LibsecretStore final : public SecretStore {
public:
    explicit LibsecretStore(std::string service = "kv.kelvor.torvane.secrets");

    std::optional<std::string> read(const std::string& account) override;
    /// The GError code (or 1 when it has none) on failure.
    int write(const std::string& account, const std::string& value) override;
    void remove(const std::string& account) override;

private:
    std::string m_service;
};

} // namespace torvane
