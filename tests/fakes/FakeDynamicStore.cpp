#include "tests/fakes/FakeDynamicStore.h"

#include <algorithm>
#include <regex>

namespace torvane {

std::optional<StoreDictionary> FakeDynamicStore::copyValue(const std::string& key) {
    const auto it = m_values.find(key);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool FakeDynamicStore::setValue(const std::string& key, const StoreDictionary& value) {
    if (m_writeError) {
        m_lastError = *m_writeError;
        return false;
    }
    m_values[key] = value;
    m_operations.push_back({Operation::Kind::set, key, value});
    return true;
}

bool FakeDynamicStore::removeValue(const std::string& key) {
    m_values.erase(key);
    m_operations.push_back({Operation::Kind::remove, key, {}});
    return true;
}

void FakeDynamicStore::setNotificationKeys(const std::vector<std::string>& keys,
                                           const std::vector<std::string>& patterns) {
    m_keys = keys;
    m_patterns = patterns;
}

void FakeDynamicStore::publish(const std::string& key, std::optional<StoreDictionary> value) {
    if (value) {
        m_values[key] = std::move(*value);
    } else {
        m_values.erase(key);
    }
}

void FakeDynamicStore::failWrites(std::optional<std::string> errorText) {
    m_writeError = std::move(errorText);
}

std::vector<std::string> FakeDynamicStore::notify(const std::vector<std::string>& keys) {
    std::vector<std::string> delivered;
    for (const auto& key : keys) {
        const bool watched =
            std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end() ||
            std::any_of(m_patterns.begin(), m_patterns.end(), [&](const std::string& pattern) {
                return std::regex_match(key, std::regex(pattern));
            });
        if (watched) {
            delivered.push_back(key);
        }
    }
    if (!delivered.empty() && m_onChange) {
        m_onChange(delivered);
    }
    return delivered;
}

} // namespace torvane
