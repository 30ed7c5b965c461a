#pragma once

#include "helper/network/LinkWatch.h"

#include <functional>
#include <memory>
#include <string>

namespace torvane {

/// Interface notifications of the calling thread's network namespace:
/// rtnetlink link events (a device added, removed, brought up or down),
/// read on a thread of its own that calls `onChange` once per batch of
/// events, there. The callback must be quick (post the work elsewhere).
Expected<std::unique_ptr<LinkWatch>, std::string>
openNetlinkLinkWatch(std::function<void()> onChange);

} // namespace torvane
