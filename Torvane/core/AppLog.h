#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace torvane {

/// Writes one line of the app's own diagnostics to the system log; callers
/// pass the full text, "Torvane: " prefix included. These lines never reach
/// the log pane.
void appSystemLog(std::string_view text);

/// Replaces where appSystemLog writes (tests capture lines); an empty
/// function restores syslog.
void setAppSystemLogSink(std::function<void(std::string_view)> sink);

} // namespace torvane
