#pragma once

#include "helper/service/Authorizer.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace torvane {

/// Runs a function on the daemon's main loop; callable from any thread.
using PostToMainLoop = std::function<void(std::function<void()>)>;

/// How long polkit may take to decide. An administrator typing a password
/// into a dialog takes a while; a check that outlasts this is refused.
inline constexpr std::chrono::minutes kPolkitCheckTimeout{5};

/// Authorizes through polkit: CheckAuthorization of the system bus's
/// org.freedesktop.PolicyKit1 (DBUS_SYSTEM_BUS_ADDRESS chooses another bus)
/// for a unix-process subject (pid, start time, uid), with user interaction
/// allowed, so the desktop's authentication agent may ask for a password.
///
/// The calls go out on a thread and bus connection of the authority's own,
/// connected at the first check and again after the bus went away; every
/// result is handed to `post`. Where no authority answers (no system bus,
/// or the name neither owned nor activatable) each check is refused, and
/// `log` is told why once, and again only after polkit has answered since.
std::shared_ptr<Authorizer> makePolkitAuthority(PostToMainLoop post,
                                                std::function<void(const std::string&)> log);

} // namespace torvane
