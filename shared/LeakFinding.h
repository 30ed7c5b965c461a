#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"

#include <string>
#include <string_view>
#include <vector>

namespace torvane {

/// One line of the leak self-check: which check ("routes", "dns", "ipv6",
/// "killswitch", "charon"), its level ("OK", "WARNING", "FAIL"), what was
/// found, and for anything not OK what to do about it.
struct LeakFinding {
    std::string check;
    std::string level;
    std::string text;
    std::string hint;

    friend bool operator==(const LeakFinding&, const LeakFinding&) = default;
};

inline constexpr std::string_view kLeakOK = "OK";
inline constexpr std::string_view kLeakWarning = "WARNING";
inline constexpr std::string_view kLeakFail = "FAIL";

/// JSON: a list of {"check", "level", "text", "hint"} objects.
std::string encodeLeakFindings(const std::vector<LeakFinding>& findings);
Expected<std::vector<LeakFinding>, DecodeError> decodeLeakFindings(std::string_view json);

} // namespace torvane
