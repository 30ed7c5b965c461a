#pragma once

#include <chrono>

// The numbers behind the engine's tunnel health rules: when a tunnel counts
// as dead, and how soon and how often it may be brought back. They live
// together because they only make sense against each other (the watchdog's
// retry age sits below its period, the cooldown above the SA-down re-check
// delay).
namespace torvane::health {

using Seconds = std::chrono::duration<double>;

// --- keepalive ------------------------------------------------------------

/// Consecutive failed pings before a tunnel is reconnected: one lost ping on
/// a busy or lossy link is normal, eight in a row are not.
inline constexpr int kKeepaliveFailureThreshold = 8;
/// Shortest keepalive period, whatever the profile asks: a root ping every
/// second or two would be load without any better detection.
inline constexpr Seconds kMinimumKeepalivePeriod{5};
/// How long ping waits for its one reply (its -W): a tunnel that needs
/// longer than this for a round trip is not usable anyway.
inline constexpr int kPingReplyWaitSeconds = 3;
/// The command runner's limit on a whole ping run: the reply wait plus room
/// for ping to start and resolve its routing on a loaded machine.
inline constexpr Seconds kPingTimeLimit{6};

// --- reconnection ---------------------------------------------------------

/// Wait after charon reports an SA down before looking: a rekey or a
/// reauthentication takes an SA down and brings its successor up within
/// this time, and those must not be treated as a dead tunnel.
inline constexpr Seconds kSADownRecheckDelay{3};
/// Minimum time (strictly more) since a tunnel's last reconnect before an
/// SA-down or path-change check may reconnect it again, so that the events a
/// reconnect itself causes do not start another one.
inline constexpr Seconds kAutoReconnectCooldown{10};
/// First delay and period of the engine-wide retry watchdog: often enough
/// that a tunnel in error comes back within a minute, rarely enough that a
/// gateway that is down is not hammered.
inline constexpr Seconds kReconnectRetryInterval{30};
/// Slack the watchdog's timer may take, so the system can batch its wakeups;
/// the watchdog is not precise work.
inline constexpr Seconds kWatchdogLeeway{2};
/// The watchdog retries a tunnel only when its last attempt is at least this
/// old: less than the period, so a timer firing a little early (leeway)
/// still retries, yet enough to skip a tunnel another detector just tried.
inline constexpr Seconds kWatchdogRetryAge{25};

// --- path change and wake -------------------------------------------------

/// After the first change of the network path, wait this long before
/// verifying tunnels: a switch of networks comes as a burst of changes, and
/// one verification pass should follow the burst.
inline constexpr Seconds kPathChangeSettle{3};
/// Pause after the machine wakes before probing: links, addresses and
/// routes take a moment to come back, and a probe before that fails for
/// tunnels that are fine.
inline constexpr Seconds kWakeDelay{2};

} // namespace torvane::health
