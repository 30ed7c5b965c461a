#pragma once

#include <functional>

namespace torvane {

/// Every pause and time limit of the helper client goes through this, so
/// that tests can check the repair timing without waiting for it.
class HelperClock {
public:
    virtual ~HelperClock() = default;
    /// Blocks the calling worker thread for `seconds`.
    virtual void sleep(double seconds) = 0;
    /// Calls `action` once, `seconds` from now, on a thread of the clock's
    /// own. Nothing cancels it: actions only complete one-shot results that
    /// ignore a late second completion.
    virtual void after(double seconds, std::function<void()> action) = 0;
};

} // namespace torvane
