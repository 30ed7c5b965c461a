#include "shared/import/PlistValue.h"

#include "shared/import/ImportText.h"

#include <cstdio>

namespace torvane {

const PlistValue* PlistValue::find(std::string_view key) const {
    if (type != Type::dict) {
        return nullptr;
    }
    for (const auto& [name, value] : dict) {
        if (name == key) {
            return &value;
        }
    }
    return nullptr;
}

std::string PlistValue::describe() const {
    switch (type) {
    case Type::string:
    case Type::date:
        return text;
    case Type::integer:
        return std::to_string(integer);
    case Type::real: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%g", real);
        return buffer;
    }
    case Type::boolean:
        return boolean ? "true" : "false";
    case Type::data:
        return importText(QT_TRANSLATE_NOOP("ProfileImport", "(%1 bytes)"),
                          std::to_string(text.size()));
    case Type::array:
        return importText(QT_TRANSLATE_NOOP("ProfileImport", "(%1 entries)"),
                          std::to_string(array.size()));
    case Type::dict:
        return importText(QT_TRANSLATE_NOOP("ProfileImport", "(%1 keys)"),
                          std::to_string(dict.size()));
    }
    return {};
}

bool PlistValue::asFlag(bool& out) const {
    if (type == Type::boolean) {
        out = boolean;
        return true;
    }
    if (type == Type::integer && (integer == 0 || integer == 1)) {
        out = integer == 1;
        return true;
    }
    return false;
}

} // namespace torvane
