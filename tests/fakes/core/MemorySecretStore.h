#pragma once

#include "Torvane/core/SecretStore.h"

#include <map>
#include <mutex>

namespace torvane::testing {

/// A secret store in memory; `failWrites` makes every write fail with that
/// code, as a locked or missing Secret Service would.
class MemorySecretStore final : public SecretStore {
public:
    std::optional<std::string> read(const std::string& account) override;
    int write(const std::string& account, const std::string& value) override;
    void remove(const std::string& account) override;

    std::map<std::string, std::string> items() const;
    int failWrites = 0;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_items;
};

} // namespace torvane::testing
