#include "Torvane/core/ServiceRegistryCommandRunner.h"

#include "shared/TextPieces.h"
#include "shared/process/PosixCommandRunner.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace torvane {
namespace {

// Only the first part matters for messages.
constexpr std::size_t kKeptOutputBytes = 64 * 1024;

/// `program` as the shell would find it: itself when it names a path, else
/// the first executable of that name in PATH. Nothing when there is none.
std::string findProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    for (const auto folder : splitText(path != nullptr ? path : "/usr/bin:/bin", ":")) {
        std::string candidate = std::string(folder) + "/" + program;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(candidate, ignored) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

} // namespace

ServiceCommandResult SystemServiceCommandRunner::run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return {127, "no program given"};
    }
    const std::string program = findProgram(arguments[0]);
    if (program.empty()) {
        return {127, arguments[0] + ": No such file or directory"};
    }
    const std::chrono::seconds limit(m_timeLimitSeconds);
    const auto started = std::chrono::steady_clock::now();
    PosixCommandRunner runner;
    auto result =
        runner.runCommand(program, {arguments.begin() + 1, arguments.end()}, std::nullopt, limit);
    if (result.output.size() > kKeptOutputBytes) {
        result.output.resize(kKeptOutputBytes);
    }
    if (result.status == -1) {
        return {127, result.output};
    }
    // Ended by a signal once its time was up: ended by us.
    if (result.status > 128 && std::chrono::steady_clock::now() - started >= limit) {
        return {124, result.output};
    }
    return {result.status, result.output};
}

} // namespace torvane
