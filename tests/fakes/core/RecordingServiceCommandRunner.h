#pragma once

#include "Torvane/core/ServiceRegistryCommandRunner.h"

#include <map>
#include <string>
#include <vector>

namespace torvane::testing {

/// Answers each command line from a table (exit 0, no output when absent)
/// and records what ran.
class RecordingServiceCommandRunner final : public ServiceCommandRunner {
public:
    using Command = std::vector<std::string>;

    ServiceCommandResult run(const Command& arguments) override {
        ran.push_back(arguments);
        const auto found = answers.find(arguments);
        return found == answers.end() ? ServiceCommandResult{} : found->second;
    }

    std::map<Command, ServiceCommandResult> answers;
    std::vector<Command> ran;
};

} // namespace torvane::testing
