#include "tests/fakes/RecordingCommandRunner.h"

#include <algorithm>
#include <ostream>

namespace torvane {

namespace {

bool pathMatches(const std::string& rulePath, const std::string& callPath) {
    if (rulePath.empty()) {
        return true;
    }
    if (rulePath.find('/') == std::string::npos) {
        const auto slash = callPath.rfind('/');
        return callPath.substr(slash == std::string::npos ? 0 : slash + 1) == rulePath;
    }
    return rulePath == callPath;
}

} // namespace

void PrintTo(const CommandResult& result, std::ostream* out) {
    *out << "{" << result.status << ", \"" << result.output << "\"}";
}

std::string RecordedCommand::commandLine() const {
    std::string line = path;
    for (const auto& arg : args) {
        line += ' ';
        line += arg;
    }
    return line;
}

bool RecordingCommandRunner::Rule::matches(const std::string& callPath,
                                           const std::vector<std::string>& args) const {
    return pathMatches(path, callPath) && argsPrefix.size() <= args.size() &&
           std::equal(argsPrefix.begin(), argsPrefix.end(), args.begin());
}

void RecordingCommandRunner::setResult(std::string path, std::vector<std::string> argsPrefix,
                                       CommandResult result) {
    std::lock_guard lock(m_mutex);
    m_standing.push_back({std::move(path), std::move(argsPrefix), std::move(result)});
}

void RecordingCommandRunner::queueResult(std::string path, std::vector<std::string> argsPrefix,
                                         CommandResult result) {
    std::lock_guard lock(m_mutex);
    m_queued.push_back({std::move(path), std::move(argsPrefix), std::move(result)});
}

void RecordingCommandRunner::setHook(Hook hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

std::vector<RecordedCommand> RecordingCommandRunner::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> RecordingCommandRunner::commandLines() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    for (const auto& call : m_calls) {
        lines.push_back(call.commandLine());
    }
    return lines;
}

std::vector<std::string> RecordingCommandRunner::commandLinesFor(const std::string& path) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    for (const auto& call : m_calls) {
        if (pathMatches(path, call.path)) {
            lines.push_back(call.commandLine());
        }
    }
    return lines;
}

std::size_t RecordingCommandRunner::callCount() const {
    std::lock_guard lock(m_mutex);
    return m_calls.size();
}

void RecordingCommandRunner::clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

CommandResult RecordingCommandRunner::runCommand(const std::string& path,
                                                 const std::vector<std::string>& args,
                                                 const std::optional<EnvironmentOverlay>& env,
                                                 std::chrono::duration<double> timeout) {
    RecordedCommand call{path, args, env, timeout};
    Hook hook;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(call);
        hook = m_hook;
    }
    if (hook) {
        if (auto result = hook(call)) {
            return *result;
        }
    }
    std::lock_guard lock(m_mutex);
    const auto queued = std::find_if(m_queued.begin(), m_queued.end(),
                                     [&](const Rule& rule) { return rule.matches(path, args); });
    if (queued != m_queued.end()) {
        CommandResult result = queued->result;
        m_queued.erase(queued);
        return result;
    }
    const auto standing = std::find_if(m_standing.rbegin(), m_standing.rend(),
                                       [&](const Rule& rule) { return rule.matches(path, args); });
    if (standing != m_standing.rend()) {
        return standing->result;
    }
    return {0, ""};
}

} // namespace torvane
