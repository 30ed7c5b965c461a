#include "helper/network/Ipv6Guard.h"

#include "helper/network/RouteTable.h"

#include <algorithm>

namespace torvane {

Ipv6Guard::Ipv6Guard(NetworkContext& context) : m_context(context) {}

void Ipv6Guard::reconcileIPv6(const std::vector<Tunnel*>& tunnels) {
    bool wanted = false;
    for (const Tunnel* tunnel : tunnels) {
        if ((tunnel->vip || tunnel->tun) && tunnel->profile.preventIPv6Leak &&
            isFullIPv4TunnelWithoutIPv6(*tunnel)) {
            wanted = true;
            break;
        }
    }
    if (!wanted) {
        restoreIPv6();
        return;
    }
    if (m_active) {
        return;
    }
    m_active = true;
    revisitServices();
}

void Ipv6Guard::revisitServices() {
    if (!m_active) {
        return;
    }
    for (const auto& service : allNetworkServiceNames()) {
        const auto mode = currentIPv6Mode(service);
        if (!mode || *mode == Ipv6Mode::off) {
            continue;
        }
        const bool saved = std::any_of(m_saved.begin(), m_saved.end(),
                                       [&](const auto& entry) { return entry.service == service; });
        if (!saved) {
            m_saved.push_back({service, *mode});
            m_context.recordUndo("ipv6 " + service, UndoStep::restoreIpv6Mode(service, *mode));
        }
        // A failure shows at the restore, which finds the mode unchanged.
        m_context.ipv6.setMode(service, Ipv6Mode::off);
        m_context.log("IPv6 disabled on '" + service +
                      "' (was: " + std::string(ipv6ModeName(*mode)) + ") — leak prevention");
    }
}

void Ipv6Guard::restoreIPv6() {
    m_active = false;
    for (const auto& saved : m_saved) {
        const std::string mode(ipv6ModeName(saved.mode));
        const auto failure = m_context.ipv6.setMode(saved.service, saved.mode);
        m_context.forgetUndo("ipv6 " + saved.service);
        if (!failure) {
            m_context.log("IPv6 restored on '" + saved.service + "' → " + mode);
        } else if (serviceGone(saved.service)) {
            m_context.log("IPv6 restore: '" + saved.service +
                          "' is gone — its settings went with it");
        } else {
            m_context.log("IPv6 restore FAILED on '" + saved.service + "' → " + mode + " (exit " +
                          std::to_string(failure->status) + "): " + failure->message);
        }
    }
    m_saved.clear();
}

std::vector<std::string> Ipv6Guard::allNetworkServiceNames() {
    std::vector<std::string> names;
    for (const auto& service : m_context.ipv6.services()) {
        if (service.enabled) {
            names.push_back(service.name);
        }
    }
    return names;
}

bool Ipv6Guard::serviceGone(const std::string& service) {
    const auto services = m_context.ipv6.services();
    return std::none_of(services.begin(), services.end(),
                        [&](const NetworkService& entry) { return entry.name == service; });
}

std::optional<Ipv6Mode> Ipv6Guard::currentIPv6Mode(const std::string& service) {
    return m_context.ipv6.mode(service);
}

} // namespace torvane
