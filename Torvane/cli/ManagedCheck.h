#pragma once

#include "Torvane/cli/CommandLine.h"

namespace torvane::cli {

/// `torvanectl managed check [DIR]`: each file's verdict, then the profiles
/// the daemon would take from DIR, in priority order, never a secret. The
/// exit status: 0 when every file is accepted, 1 otherwise, 2 for a usage
/// error.
int managedCommand(const Invocation& invocation);

} // namespace torvane::cli
