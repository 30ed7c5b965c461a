#pragma once

#include <functional>
#include <string_view>

namespace torvane {

/// Writes "TorvaneHelper: " + `text` to the system log (syslog(3) under the
/// ident "torvane-helper"; journald picks it up). Safe from any thread.
void systemLog(std::string_view text);

/// Receives each whole line, prefix included, instead of syslog.
using SystemLogSink = std::function<void(std::string_view line)>;

/// Routes every later systemLog() line to `sink` (an empty sink restores
/// syslog) and returns the sink that was in place. Meant for tests, which
/// capture the daemon's log lines this way.
SystemLogSink setSystemLogSink(SystemLogSink sink);

} // namespace torvane
