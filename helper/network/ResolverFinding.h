#pragma once

#include "helper/network/DynamicStore.h"
#include "shared/LeakFinding.h"

#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// The leak check's DNS verdict on the resolver configuration alone: a FAIL
/// when it no longer sends names to the tunnel's `expected` servers (empty:
/// no tunnel sets DNS), a WARNING when it cannot be read or lists no server;
/// nothing when it is as it should be, and the check goes on to send a query.
std::optional<LeakFinding> resolverFinding(const ResolverInUse& resolver,
                                           const std::vector<std::string>& expected);

} // namespace torvane
