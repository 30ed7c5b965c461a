// Traffic counters and SA details of connected tunnels, read from charon
// only while some client follows the status.
#include "helper/engine/VPNEngine.h"

#include <algorithm>
#include <chrono>

namespace torvane {
namespace {

/// How often the details are read while a client follows the status.
constexpr auto kSaRefreshInterval = std::chrono::seconds(2);
/// The listing runs on the engine queue: it must not hold up commands long.
/// charon answers within milliseconds when it is well.
constexpr auto kSaListingLimit = std::chrono::seconds(1);
/// Refreshes skipped after a listing failed, so that a hung charon does not
/// keep the queue waiting half the time while a client follows the status.
constexpr int kSkipsAfterFailure = 5;

} // namespace

void VPNEngine::setStatusFollowed(bool followed) {
    m_queue.post([this, followed] { followStatus(followed); });
}

void VPNEngine::followStatus(bool followed) {
    assertOnQueue(__func__);
    if (followed == (m_saRefreshTimer != nullptr)) {
        return;
    }
    if (followed) {
        // At once, so that a client that just subscribed sees the figures.
        refreshSaDetails();
        m_saRefreshTimer = std::make_unique<EngineTimer>(
            m_env.clock, m_queue, kSaRefreshInterval, kSaRefreshInterval,
            std::chrono::milliseconds(200), [this] { refreshSaDetails(); });
        return;
    }
    m_saRefreshTimer.reset();
    m_saRefreshSkips = 0;
    // Nobody refreshes them any more: stale figures are worse than none.
    bool dropped = false;
    for (const auto& tunnel : m_tunnels) {
        dropped = dropped || tunnel->sa.has_value();
        tunnel->sa.reset();
    }
    if (dropped) {
        pushStatus();
    }
}

void VPNEngine::refreshSaDetails() {
    assertOnQueue(__func__);
    const bool anyConnected =
        std::any_of(m_tunnels.begin(), m_tunnels.end(),
                    [](const auto& tunnel) { return tunnel->state == VPNConnState::connected; });
    if (!anyConnected) {
        return;
    }
    if (m_saRefreshSkips > 0) {
        --m_saRefreshSkips;
        return;
    }
    const auto states = m_env.vici.listSAs(viciUri(), std::nullopt, kSaListingLimit);
    if (!states) {
        // charon's own events and the health checks deal with a charon that
        // cannot be asked; the last figures stay until it answers again.
        m_saRefreshSkips = kSkipsAfterFailure;
        return;
    }
    bool changed = false;
    for (const auto& tunnel : m_tunnels) {
        std::optional<VPNSaDetails> details;
        for (const IkeSaState& state : *states) {
            if (state.name == tunnel->strongswanName()) {
                details = state.details;
            }
        }
        if (details != tunnel->sa) {
            tunnel->sa = std::move(details);
            changed = true;
        }
    }
    if (changed) {
        pushStatus();
    }
}

} // namespace torvane
