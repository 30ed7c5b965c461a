#include "Torvane/ui/TrafficHistory.h"

#include "Torvane/core/ConnectionManager.h"

#include <set>

#include <QDeadlineTimer>

namespace torvane {

TrafficHistory::TrafficHistory(ConnectionManager& connection, QObject* parent)
    : QObject(parent), m_nowMs([] { return QDeadlineTimer::current().deadline(); }) {
    connect(&connection, &ConnectionManager::statusChanged, this,
            [this, &connection] { record(connection.status()); });
    record(connection.status());
}

void TrafficHistory::record(const VPNRuntimeStatus& status) {
    const std::int64_t now = m_nowMs();
    std::set<std::string> seen;
    for (const auto& tunnel : status.tunnels) {
        if (tunnel.state != VPNConnState::connected || !tunnel.tunnelSA) {
            continue;
        }
        seen.insert(tunnel.profileID);
        const Sample sample{now, tunnel.tunnelSA->bytesIn, tunnel.tunnelSA->bytesOut};
        auto found = m_series.find(tunnel.profileID);
        if (found == m_series.end()) {
            m_series.emplace(tunnel.profileID, Series{sample, {}});
            continue;
        }
        Series& series = found->second;
        if (sample.in < series.last.in || sample.out < series.last.out) {
            series = Series{sample, {}};
            continue;
        }
        const std::int64_t elapsed = sample.atMs - series.last.atMs;
        if (elapsed < kMinIntervalMs) {
            continue;
        }
        const double seconds = static_cast<double>(elapsed) / 1000.0;
        series.rates.push_back({now, static_cast<double>(sample.in - series.last.in) / seconds,
                                static_cast<double>(sample.out - series.last.out) / seconds});
        series.last = sample;
        while (series.rates.size() > kMaxRates ||
               (!series.rates.empty() && series.rates.front().atMs < now - kWindowMs)) {
            series.rates.pop_front();
        }
    }
    std::erase_if(m_series, [&seen](const auto& entry) { return !seen.contains(entry.first); });
    emit updated();
}

std::vector<TrafficHistory::Rate> TrafficHistory::rates(const std::string& profileID) const {
    const auto found = m_series.find(profileID);
    if (found == m_series.end()) {
        return {};
    }
    return {found->second.rates.begin(), found->second.rates.end()};
}

} // namespace torvane
