#pragma once

#include "shared/VPNTunnelStatus.h"

#include <cstdint>

#include <QString>

namespace torvane {

/// How the app writes amounts of traffic and times: decimal units as a
/// download manager shows them ("340 kB", "1.2 MB"), so that the tooltip,
/// the details area and the sparkline agree.
namespace TrafficText {

/// "512 B", "340 kB", "1.2 MB", "3.4 GB": one decimal below ten units, none
/// above.
QString bytes(std::int64_t count);
/// `bytes` per second, e.g. "12 kB/s".
QString rate(double bytesPerSecond);
/// "45 s", "3 min 12 s", "1 h 02 min", "2 d 04 h".
QString duration(std::int64_t seconds);
/// "↓ 1.2 MB ↑ 340 kB" (in, then out).
QString inOut(std::int64_t bytesIn, std::int64_t bytesOut);
/// The tray tooltip's line for one tunnel: its name and `inOut`, or empty
/// when the tunnel is not connected or carries no counters.
QString tunnelLine(const VPNTunnelStatus& tunnel);

} // namespace TrafficText

} // namespace torvane
