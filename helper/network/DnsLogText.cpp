#include "helper/network/DnsLogText.h"

namespace torvane {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

} // namespace

std::string dnsLogList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += quoted(items[i]);
    }
    return text + "]";
}

std::string dnsLogDict(const StoreDictionary& dictionary) {
    std::string text = "[";
    bool first = true;
    for (const auto& [key, value] : dictionary) {
        if (!first) {
            text += ", ";
        }
        first = false;
        text += quoted(key) + ": ";
        if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
            text += dnsLogList(*list);
        } else {
            text += quoted(std::get<std::string>(value));
        }
    }
    return text + "]";
}

} // namespace torvane
