#pragma once

#include <stdexcept>
#include <string>

namespace torvane {

/// A failure the engine reports to the user: `message()` is the whole
/// user-facing text (it becomes the reply of a failed start). Thrown inside
/// the engine only; the engine's public operations catch it and reply.
class EngineError : public std::runtime_error {
public:
    explicit EngineError(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

} // namespace torvane
