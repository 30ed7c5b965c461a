#include "shared/LeakFinding.h"

#include "shared/JsonText.h"

#include <nlohmann/json.hpp>

namespace torvane {

std::string encodeLeakFindings(const std::vector<LeakFinding>& findings) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& finding : findings) {
        list.push_back({{"check", finding.check},
                        {"level", finding.level},
                        {"text", finding.text},
                        {"hint", finding.hint}});
    }
    return encodeJsonText(list);
}

Expected<std::vector<LeakFinding>, DecodeError> decodeLeakFindings(std::string_view json) {
    auto parsed = parseJsonText(json);
    if (!parsed) {
        return Unexpected{parsed.error()};
    }
    if (!parsed->is_array()) {
        return Unexpected{DecodeError{"the leak check must be a JSON list"}};
    }
    std::vector<LeakFinding> findings;
    for (const auto& element : *parsed) {
        const auto text = [&element](const char* key) -> std::optional<std::string> {
            if (!element.is_object()) {
                return std::nullopt;
            }
            const auto it = element.find(key);
            if (it == element.end() || !it->is_string()) {
                return std::nullopt;
            }
            return it->get<std::string>();
        };
        auto check = text("check");
        auto level = text("level");
        auto what = text("text");
        if (!check || !level || !what) {
            return Unexpected{
                DecodeError{"a leak check line lacks \"check\", \"level\" or \"text\""}};
        }
        findings.push_back(
            {std::move(*check), std::move(*level), std::move(*what), text("hint").value_or("")});
    }
    return findings;
}

} // namespace torvane
