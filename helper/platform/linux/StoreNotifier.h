#pragma once

#include "helper/network/DynamicStore.h"
#include "helper/platform/linux/DefaultRoute.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

namespace torvane {

/// The notification half of a Linux dynamic store: which keys the engine
/// watches, which default route it last saw, and the delivery of changes
/// onto the engine queue. Watcher threads call it; the store owning it
/// destroys it on the engine queue, after which jobs it posted do nothing.
class StoreNotifier {
public:
    StoreNotifier(DynamicStore::ChangeHandler onChange, DynamicStore::PostFunction post);
    ~StoreNotifier();
    StoreNotifier(const StoreNotifier&) = delete;
    StoreNotifier& operator=(const StoreNotifier&) = delete;

    /// Exact keys and whole-key regular expressions; a pattern that does not
    /// compile matches nothing.
    void setKeys(const std::vector<std::string>& keys, const std::vector<std::string>& patterns);
    /// Posts the watched ones among `keys` to the change handler.
    void notify(std::vector<std::string> keys);

    /// Records the default route without reporting it (at creation).
    void rememberRoute(const std::optional<DefaultRoute>& route);
    /// Reports "State:/Network/Global/IPv4" when the primary interface or
    /// its router differs from the last one seen: a new router behind the
    /// same device (another Wi-Fi, a changed uplink) is a new network path.
    void routeSeen(const std::optional<DefaultRoute>& route);
    /// The primary interface last seen.
    std::optional<std::string> primary() const;

private:
    DynamicStore::ChangeHandler m_onChange;
    DynamicStore::PostFunction m_post;
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);

    mutable std::mutex m_mutex; // guards everything below
    std::vector<std::string> m_keys;
    std::vector<std::regex> m_patterns;
    std::optional<DefaultRoute> m_route;
};

} // namespace torvane
