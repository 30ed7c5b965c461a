#pragma once

#include "shared/VPNRuntimeStatus.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QObject>

namespace torvane {

class ConnectionManager;

/// Throughput of each connected tunnel over the last minute, worked out from
/// the byte counters of successive status reports. Kept per profile id by the
/// application rather than by a window, so that it survives selection changes
/// and a window opened later shows the minute before it.
class TrafficHistory : public QObject {
    Q_OBJECT

public:
    /// At most this many rates per tunnel (the daemon reports every 2 s).
    static constexpr std::size_t kMaxRates = 30;
    static constexpr std::int64_t kWindowMs = 60'000;
    /// Reports closer together than this are not a sample: their rate would
    /// be mostly noise.
    static constexpr std::int64_t kMinIntervalMs = 500;

    /// One interval between two reports, in bytes per second.
    struct Rate {
        std::int64_t atMs = 0;
        double in = 0;
        double out = 0;
    };

    /// Records every status `connection` takes; it must outlive the
    /// history.
    explicit TrafficHistory(ConnectionManager& connection, QObject* parent = nullptr);
    /// Gives the time of each report; the default is the monotonic clock.
    void setClock(std::function<std::int64_t()> nowMs) { m_nowMs = std::move(nowMs); }

    /// Takes the counters of every connected tunnel that carries them and
    /// forgets tunnels that are gone or no longer connected. A counter that
    /// went down (a rekey retired the old SA, or the tunnel was made again)
    /// starts a new series rather than showing a negative rate.
    void record(const VPNRuntimeStatus& status);

    /// Oldest first, within the last minute; empty for an unknown profile.
    std::vector<Rate> rates(const std::string& profileID) const;

signals:
    /// After each recorded status.
    void updated();

private:
    struct Sample {
        std::int64_t atMs = 0;
        std::int64_t in = 0;
        std::int64_t out = 0;
    };
    struct Series {
        Sample last;
        std::deque<Rate> rates;
    };

    std::function<std::int64_t()> m_nowMs;
    std::map<std::string, Series> m_series;
};

} // namespace torvane
