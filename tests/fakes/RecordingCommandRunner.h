#pragma once

#include "shared/process/CommandRunner.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

/// Lets test failures show a CommandResult as {status, "output"}.
void PrintTo(const CommandResult& result, std::ostream* out);

/// One call a RecordingCommandRunner received.
struct RecordedCommand {
    std::string path;
    std::vector<std::string> args;
    std::optional<EnvironmentOverlay> env;
    std::chrono::duration<double> timeout{0};

    /// The path and the arguments joined by single spaces, e.g.
    /// "/x/swanctl --load-creds --uri unix:///run/torvane/run/charon.vici".
    std::string commandLine() const;
};

/// A CommandRunner for unit tests: records every call in order and answers
/// with canned results instead of running anything. Thread-safe.
///
/// A rule matches a call when its path matches (an empty rule path matches
/// any path; a rule path without "/" matches the call's last path component,
/// e.g. "swanctl"; otherwise the paths must be equal) and the call's
/// arguments begin with the rule's argument prefix. A call is answered, in
/// this order, by: the hook, when it returns a result; the oldest queued
/// result whose rule matches (used up); the most recently set standing rule
/// that matches; and otherwise {0, ""}.
class RecordingCommandRunner final : public CommandRunner {
public:
    using Hook = std::function<std::optional<CommandResult>(const RecordedCommand&)>;

    /// Every matching call returns `result` from now on.
    void setResult(std::string path, std::vector<std::string> argsPrefix, CommandResult result);
    /// The next matching call returns `result`, once.
    void queueResult(std::string path, std::vector<std::string> argsPrefix, CommandResult result);
    /// Runs for every call after it is recorded, outside the runner's lock (it
    /// may use the runner); a result it returns answers the call.
    void setHook(Hook hook);

    std::vector<RecordedCommand> calls() const;
    /// Each call as one commandLine() string, in order.
    std::vector<std::string> commandLines() const;
    /// The command lines of the calls whose path matches as a rule's would.
    std::vector<std::string> commandLinesFor(const std::string& path) const;
    std::size_t callCount() const;
    void clearCalls();

    CommandResult runCommand(const std::string& path, const std::vector<std::string>& args,
                             const std::optional<EnvironmentOverlay>& env,
                             std::chrono::duration<double> timeout) override;

private:
    struct Rule {
        std::string path;
        std::vector<std::string> argsPrefix;
        CommandResult result;

        bool matches(const std::string& callPath, const std::vector<std::string>& args) const;
    };

    mutable std::mutex m_mutex;
    std::vector<RecordedCommand> m_calls;
    std::vector<Rule> m_standing;
    std::vector<Rule> m_queued;
    Hook m_hook;
};

} // namespace torvane
