#pragma once

#include "helper/process/ChildProcess.h"

namespace torvane {

/// Starts long-lived children as PosixChildProcess objects.
class PosixProcessLauncher final : public ProcessLauncher {
public:
    /// Throws EngineError "failed to launch " + path + ": " + the system's
    /// reason when the program cannot be started.
    std::unique_ptr<ChildProcess> launch(const std::string& path,
                                         const std::vector<std::string>& args,
                                         const std::optional<EnvironmentOverlay>& env,
                                         OutputHandler onOutput) override;
};

} // namespace torvane
