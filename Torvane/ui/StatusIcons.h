#pragma once

#include "shared/VPNConnState.h"
#include "shared/VPNRuntimeStatus.h"

#include <string_view>

#include <QColor>
#include <QIcon>
#include <QString>

namespace torvane::StatusIcons {

/// The tray icon for the aggregate state of all tunnels: a red open lock
/// when nothing protects the traffic (disconnected, error), an orange lock
/// while a tunnel is on its way (connecting, reconnecting), a green closed
/// lock when connected. While the kill switch holds for tunnels that are
/// gone, whatever the others do, a red closed lock: traffic is blocked.
QIcon trayIcon(VPNConnState aggregate, bool killSwitchHolding = false);
/// The resource path behind `trayIcon`, for tests.
QString trayIconPath(VPNConnState aggregate, bool killSwitchHolding = false);

/// The state of the tunnel of `profileID` (upper-case UUID text), or
/// disconnected when the snapshot has none.
VPNConnState tunnelState(const VPNRuntimeStatus& status, std::string_view profileID);

/// What goes before a profile's name in the menu: "… ", "✓ ", "⚠ " or
/// nothing.
QString rowPrefix(VPNConnState state);

/// The colour of the profile list's status dot; invalid (no dot) for
/// disconnected.
QColor dotColor(VPNConnState state);

/// The state in words ("Connected", "Connecting"…), for what the dot says
/// to those who cannot see its colour.
QString stateName(VPNConnState state);

/// Icons of the configuration window's buttons and tabs.
QIcon named(const char* name);

} // namespace torvane::StatusIcons
