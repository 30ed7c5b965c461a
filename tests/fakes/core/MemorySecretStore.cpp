#include "tests/fakes/core/MemorySecretStore.h"

namespace torvane::testing {

std::optional<std::string> MemorySecretStore::read(const std::string& account) {
    std::lock_guard lock(m_mutex);
    const auto it = m_items.find(account);
    if (it == m_items.end()) {
        return std::nullopt;
    }
    return it->second;
}

int MemorySecretStore::write(const std::string& account, const std::string& value) {
    std::lock_guard lock(m_mutex);
    if (failWrites != 0) {
        return failWrites;
    }
    m_items[account] = value;
    return 0;
}

void MemorySecretStore::remove(const std::string& account) {
    std::lock_guard lock(m_mutex);
    m_items.erase(account);
}

std::map<std::string, std::string> MemorySecretStore::items() const {
    std::lock_guard lock(m_mutex);
    return m_items;
}

} // namespace torvane::testing
