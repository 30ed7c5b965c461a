#pragma once

#include <string>

namespace torvane {

/// Why a record could not be read. The text names the offending key and the
/// kind of problem but never repeats the value: values may be secrets.
struct DecodeError {
    std::string message;
};

} // namespace torvane
