#pragma once

#include "shared/DecodeError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace torvane {

/// Reads typed keys of one JSON object into a record, remembering the first
/// failure. Later reads after a failure do nothing, so a decoder can read all
/// its keys in order and check `error()` once at the end.
///
/// Integers accept any JSON number with an integral value in the signed
/// 64-bit range (2 and 2.0, not 2.5 or 1e30); booleans accept only true and
/// false; lists accept only arrays whose elements all have the element type.
class FieldReader {
public:
    explicit FieldReader(const nlohmann::json& object) : m_object(object) {}

    /// A missing key or null leaves `target` as it is.
    void read(const char* key, std::string& target);
    void read(const char* key, bool& target);
    void read(const char* key, std::int64_t& target);
    void read(const char* key, std::vector<std::string>& target);

    /// A missing key or null makes `target` absent.
    void readOptional(const char* key, std::optional<std::string>& target);

    /// Reads a string and converts it with `parse`, which returns an optional;
    /// when it returns nothing the decode fails with `problem`.
    template <class T, class Parse>
    void readConverted(const char* key, T& target, Parse parse, const char* problem) {
        std::optional<std::string> text;
        readOptional(key, text);
        if (!text) {
            return;
        }
        if (auto converted = parse(*text)) {
            target = *converted;
        } else {
            failValue(key, problem);
        }
    }

    /// Fails the decode when `key` is missing or null.
    void requirePresent(const char* key);

    template <class T> void require(const char* key, T& target) {
        requirePresent(key);
        read(key, target);
    }

    /// Fails the decode with a message about `key`'s value.
    void failValue(const char* key, const char* problem);

    bool failed() const { return m_error.has_value(); }
    const DecodeError& error() const { return *m_error; }

private:
    bool present(const char* key) const;
    const nlohmann::json* valueFor(const char* key) const;
    void fail(std::string message);

    const nlohmann::json& m_object;
    std::optional<DecodeError> m_error;
};

} // namespace torvane
