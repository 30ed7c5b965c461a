#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

struct PlistEntry;

/// One node of a property list. Strings and dates keep their text, data
/// keeps its bytes; a dictionary keeps its keys in file order.
struct PlistValue {
    enum class Type { string, integer, real, boolean, date, data, array, dict };

    Type type = Type::string;
    /// String, date (ISO 8601 text) or data bytes.
    std::string text;
    std::int64_t integer = 0;
    double real = 0;
    bool boolean = false;
    std::vector<PlistValue> array;
    std::vector<PlistEntry> dict;

    /// The value under `key` of a dictionary; null for a missing key or a
    /// node that is not a dictionary.
    const PlistValue* find(std::string_view key) const;

    /// A short text of the value for the import report: scalars as
    /// written, data by its size, containers by their entry count.
    std::string describe() const;

    bool isString() const { return type == Type::string; }
    bool isDict() const { return type == Type::dict; }
    /// Integers, and booleans read as 0 or 1: files write flags both ways.
    bool asFlag(bool& out) const;
};

/// One key of a dictionary with its value.
struct PlistEntry {
    std::string key;
    PlistValue value;
};

} // namespace torvane
