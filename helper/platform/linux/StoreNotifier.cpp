#include "helper/platform/linux/StoreNotifier.h"

#include <algorithm>

namespace torvane {

namespace {
constexpr const char* kGlobalIPv4Key = "State:/Network/Global/IPv4";
}

StoreNotifier::StoreNotifier(DynamicStore::ChangeHandler onChange, DynamicStore::PostFunction post)
    : m_onChange(std::move(onChange)), m_post(std::move(post)) {}

StoreNotifier::~StoreNotifier() {
    m_alive->store(false);
}

void StoreNotifier::setKeys(const std::vector<std::string>& keys,
                            const std::vector<std::string>& patterns) {
    std::vector<std::regex> compiled;
    for (const auto& pattern : patterns) {
        try {
            compiled.emplace_back(pattern);
        } catch (const std::regex_error&) {
        }
    }
    const std::lock_guard lock(m_mutex);
    m_keys = keys;
    m_patterns = std::move(compiled);
}

void StoreNotifier::notify(std::vector<std::string> keys) {
    std::vector<std::string> watched;
    {
        const std::lock_guard lock(m_mutex);
        for (auto& key : keys) {
            const bool matches =
                std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end() ||
                std::any_of(m_patterns.begin(), m_patterns.end(), [&](const std::regex& pattern) {
                    return std::regex_match(key, pattern);
                });
            if (matches) {
                watched.push_back(std::move(key));
            }
        }
    }
    if (watched.empty() || !m_onChange) {
        return;
    }
    m_post([alive = m_alive, handler = m_onChange, watched = std::move(watched)] {
        if (alive->load()) {
            handler(watched);
        }
    });
}

void StoreNotifier::rememberRoute(const std::optional<DefaultRoute>& route) {
    const std::lock_guard lock(m_mutex);
    m_route = route;
}

void StoreNotifier::routeSeen(const std::optional<DefaultRoute>& route) {
    {
        const std::lock_guard lock(m_mutex);
        if (route == m_route) {
            return;
        }
        m_route = route;
    }
    notify({kGlobalIPv4Key});
}

std::optional<std::string> StoreNotifier::primary() const {
    const std::lock_guard lock(m_mutex);
    if (!m_route) {
        return std::nullopt;
    }
    return m_route->interface;
}

} // namespace torvane
