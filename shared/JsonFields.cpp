#include "shared/JsonFields.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace torvane {
namespace {

std::optional<std::int64_t> integralValue(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        const auto n = value.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(INT64_MAX)) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(n);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        // 2^63 is exactly representable; anything at or above it overflows.
        constexpr double kLimit = 9223372036854775808.0;
        if (!std::isfinite(d) || std::trunc(d) != d || d < -kLimit || d >= kLimit) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

} // namespace

bool FieldReader::present(const char* key) const {
    return valueFor(key) != nullptr;
}

const nlohmann::json* FieldReader::valueFor(const char* key) const {
    const auto it = m_object.find(key);
    if (it == m_object.end() || it->is_null()) {
        return nullptr;
    }
    return &*it;
}

void FieldReader::fail(std::string message) {
    if (!m_error) {
        m_error = DecodeError{std::move(message)};
    }
}

void FieldReader::requirePresent(const char* key) {
    if (!present(key)) {
        fail(std::string("the key \"") + key + "\" is missing");
    }
}

void FieldReader::failValue(const char* key, const char* problem) {
    fail(std::string("the value of \"") + key + "\" " + problem);
}

void FieldReader::read(const char* key, std::string& target) {
    const auto* value = m_error ? nullptr : valueFor(key);
    if (value == nullptr) {
        return;
    }
    if (!value->is_string()) {
        return failValue(key, "is not a string");
    }
    target = value->get<std::string>();
}

void FieldReader::read(const char* key, bool& target) {
    const auto* value = m_error ? nullptr : valueFor(key);
    if (value == nullptr) {
        return;
    }
    if (!value->is_boolean()) {
        return failValue(key, "is not a boolean");
    }
    target = value->get<bool>();
}

void FieldReader::read(const char* key, std::int64_t& target) {
    const auto* value = m_error ? nullptr : valueFor(key);
    if (value == nullptr) {
        return;
    }
    const auto n = integralValue(*value);
    if (!n) {
        return failValue(key, "is not an integer");
    }
    target = *n;
}

void FieldReader::read(const char* key, std::vector<std::string>& target) {
    const auto* value = m_error ? nullptr : valueFor(key);
    if (value == nullptr) {
        return;
    }
    if (!value->is_array()) {
        return failValue(key, "is not an array of strings");
    }
    std::vector<std::string> list;
    list.reserve(value->size());
    for (const auto& element : *value) {
        if (!element.is_string()) {
            return failValue(key, "is not an array of strings");
        }
        list.push_back(element.get<std::string>());
    }
    target = std::move(list);
}

void FieldReader::readOptional(const char* key, std::optional<std::string>& target) {
    if (m_error) {
        return;
    }
    if (!present(key)) {
        target.reset();
        return;
    }
    std::string text;
    read(key, text);
    if (!m_error) {
        target = std::move(text);
    }
}

} // namespace torvane
