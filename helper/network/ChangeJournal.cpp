#include "helper/network/ChangeJournal.h"

#include "shared/Uuid.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <nlohmann/json.hpp>

namespace torvane {
namespace {

using nlohmann::json;

const char* kindName(UndoStep::Kind kind) {
    switch (kind) {
    case UndoStep::Kind::tool:
        return "tool";
    case UndoStep::Kind::storeValue:
        return "storeValue";
    case UndoStep::Kind::process:
        return "process";
    case UndoStep::Kind::route:
        return "route";
    case UndoStep::Kind::hostRoute:
        return "hostRoute";
    case UndoStep::Kind::ipv6Mode:
        return "ipv6Mode";
    case UndoStep::Kind::firewall:
        return "firewall";
    }
    return "tool";
}

json dictionaryToJson(const StoreDictionary& dictionary) {
    json object = json::object();
    for (const auto& [key, value] : dictionary) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            object[key] = *text;
        } else {
            object[key] = std::get<std::vector<std::string>>(value);
        }
    }
    return object;
}

std::optional<StoreDictionary> dictionaryFromJson(const json& object) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    StoreDictionary dictionary;
    for (const auto& [key, value] : object.items()) {
        if (value.is_string()) {
            dictionary[key] = value.get<std::string>();
        } else if (value.is_array() &&
                   std::all_of(value.begin(), value.end(),
                               [](const json& item) { return item.is_string(); })) {
            dictionary[key] = value.get<std::vector<std::string>>();
        } else {
            return std::nullopt;
        }
    }
    return dictionary;
}

json stepToJson(std::uint64_t sequence, const UndoStep& step) {
    json object{{"sequence", sequence}, {"kind", kindName(step.kind)}};
    switch (step.kind) {
    case UndoStep::Kind::tool:
        object["tool"] = step.tool;
        object["args"] = step.args;
        break;
    case UndoStep::Kind::storeValue:
        object["key"] = step.storeKey;
        object["value"] = step.storeDictionary ? dictionaryToJson(*step.storeDictionary) : json();
        break;
    case UndoStep::Kind::process:
        object["pid"] = step.pid;
        object["name"] = step.processName;
        if (step.startTime) {
            object["startTime"] = *step.startTime;
            object["executable"] = step.executable;
        }
        break;
    case UndoStep::Kind::route:
        object["cidr"] = step.cidr;
        break;
    case UndoStep::Kind::hostRoute:
        object["host"] = step.host;
        break;
    case UndoStep::Kind::ipv6Mode:
        object["service"] = step.service;
        object["mode"] = std::string(ipv6ModeName(step.ipv6Mode));
        break;
    case UndoStep::Kind::firewall:
        if (step.killSwitchProfiles) {
            json profiles = json::array();
            for (const auto& profile : *step.killSwitchProfiles) {
                profiles.push_back(
                    {{"profileID", profile.profileID}, {"gateway", profile.gateway}});
            }
            object["killSwitchProfiles"] = std::move(profiles);
        }
        break;
    }
    return object;
}

// Each entry needs a profile id in UUID form and a gateway text; anything
// else makes the whole step malformed.
std::optional<std::vector<KillSwitchProfile>> killSwitchProfilesFromJson(const json& array) {
    if (!array.is_array()) {
        return std::nullopt;
    }
    std::vector<KillSwitchProfile> profiles;
    for (const auto& entry : array) {
        if (!entry.is_object() || !entry.contains("profileID") || !entry["profileID"].is_string() ||
            !entry.contains("gateway") || !entry["gateway"].is_string()) {
            return std::nullopt;
        }
        const auto id = Uuid::parse(entry["profileID"].get<std::string>());
        if (!id) {
            return std::nullopt;
        }
        profiles.push_back({id->upperText(), entry["gateway"].get<std::string>()});
    }
    return profiles;
}

/// An IPv4 or IPv6 address, with an optional prefix length that fits it.
bool isNetwork(const std::string& text) {
    const auto slash = text.find('/');
    const std::string address = text.substr(0, slash);
    unsigned char bytes[sizeof(in6_addr)];
    const bool v4 = ::inet_pton(AF_INET, address.c_str(), bytes) == 1;
    if (!v4 && ::inet_pton(AF_INET6, address.c_str(), bytes) != 1) {
        return false;
    }
    if (slash == std::string::npos) {
        return true;
    }
    const std::string length = text.substr(slash + 1);
    if (length.empty() || length.size() > 3 ||
        !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    return std::stoi(length) <= (v4 ? 32 : 128);
}

/// An address or a host name: letters, digits, '.', '-', ':' and '_' only,
/// so nothing else can ride along into a lookup.
bool isHost(const std::string& text) {
    return !text.empty() && text.size() <= 253 && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == ':' || c == '_';
    });
}

std::optional<std::pair<std::uint64_t, UndoStep>> stepFromJson(const json& object) {
    if (!object.is_object() || !object.contains("sequence") ||
        !object["sequence"].is_number_unsigned() || !object.contains("kind") ||
        !object["kind"].is_string()) {
        return std::nullopt;
    }
    UndoStep step;
    const auto kind = object["kind"].get<std::string>();
    const auto text = [&](const char* key) -> std::optional<std::string> {
        if (!object.contains(key) || !object[key].is_string()) {
            return std::nullopt;
        }
        return object[key].get<std::string>();
    };
    if (kind == "tool") {
        step.kind = UndoStep::Kind::tool;
        const auto tool = text("tool");
        if (!tool || !object.contains("args") || !object["args"].is_array()) {
            return std::nullopt;
        }
        for (const auto& arg : object["args"]) {
            if (!arg.is_string()) {
                return std::nullopt;
            }
            step.args.push_back(arg.get<std::string>());
        }
        step.tool = *tool;
    } else if (kind == "storeValue") {
        step.kind = UndoStep::Kind::storeValue;
        const auto key = text("key");
        if (!key || !object.contains("value")) {
            return std::nullopt;
        }
        step.storeKey = *key;
        if (!object["value"].is_null()) {
            step.storeDictionary = dictionaryFromJson(object["value"]);
            if (!step.storeDictionary) {
                return std::nullopt;
            }
        }
    } else if (kind == "process") {
        step.kind = UndoStep::Kind::process;
        const auto name = text("name");
        if (!name || !object.contains("pid") || !object["pid"].is_number_integer()) {
            return std::nullopt;
        }
        step.pid = object["pid"].get<std::int64_t>();
        step.processName = *name;
        if (object.contains("startTime")) {
            const auto executable = text("executable");
            if (!object["startTime"].is_number_unsigned() || !executable) {
                return std::nullopt;
            }
            step.startTime = object["startTime"].get<std::uint64_t>();
            step.executable = *executable;
        }
    } else if (kind == "route") {
        step.kind = UndoStep::Kind::route;
        const auto cidr = text("cidr");
        if (!cidr || !isNetwork(*cidr)) {
            return std::nullopt;
        }
        step.cidr = *cidr;
    } else if (kind == "hostRoute") {
        step.kind = UndoStep::Kind::hostRoute;
        const auto host = text("host");
        if (!host || !isHost(*host)) {
            return std::nullopt;
        }
        step.host = *host;
    } else if (kind == "ipv6Mode") {
        step.kind = UndoStep::Kind::ipv6Mode;
        const auto service = text("service");
        const auto modeName = text("mode");
        const auto mode = modeName ? ipv6ModeFromName(*modeName) : std::nullopt;
        if (!service || service->empty() || !mode) {
            return std::nullopt;
        }
        step.service = *service;
        step.ipv6Mode = *mode;
    } else if (kind == "firewall") {
        step.kind = UndoStep::Kind::firewall;
        if (object.contains("killSwitchProfiles")) {
            step.killSwitchProfiles = killSwitchProfilesFromJson(object["killSwitchProfiles"]);
            if (!step.killSwitchProfiles) {
                return std::nullopt;
            }
        }
    } else {
        return std::nullopt;
    }
    return std::pair{object["sequence"].get<std::uint64_t>(), std::move(step)};
}

} // namespace

ChangeJournal::ChangeJournal(std::string path) : m_path(std::move(path)) {}

bool ChangeJournal::record(const std::string& key, UndoStep step) {
    m_entries[key] = Entry{++m_lastSequence, std::move(step)};
    return save();
}

bool ChangeJournal::recordAll(std::vector<std::pair<std::string, UndoStep>> steps) {
    if (steps.empty()) {
        return true;
    }
    for (auto& [key, step] : steps) {
        m_entries[key] = Entry{++m_lastSequence, std::move(step)};
    }
    return save();
}

void ChangeJournal::forget(const std::string& key) {
    if (m_entries.erase(key) > 0) {
        save();
    }
}

void ChangeJournal::forgetAll(const std::vector<std::string>& keys) {
    std::size_t erased = 0;
    for (const auto& key : keys) {
        erased += m_entries.erase(key);
    }
    if (erased > 0) {
        save();
    }
}

void ChangeJournal::clear() {
    m_entries.clear();
    ::unlink(m_path.c_str());
}

bool ChangeJournal::save() {
    if (m_entries.empty()) {
        return ::unlink(m_path.c_str()) == 0 || errno == ENOENT;
    }
    json steps = json::object();
    for (const auto& [key, entry] : m_entries) {
        steps[key] = stepToJson(entry.sequence, entry.step);
    }
    const std::string text = json{{"steps", steps}}.dump() + "\n";
    // A reader after a crash sees the old journal or the new one, never half.
    const std::string temporary = m_path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const auto written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || std::rename(temporary.c_str(), m_path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

Expected<std::vector<std::pair<std::string, UndoStep>>, std::string>
ChangeJournal::load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::vector<std::pair<std::string, UndoStep>>{};
    }
    std::stringstream text;
    text << file.rdbuf();
    return parse(text.str());
}

Expected<std::vector<std::pair<std::string, UndoStep>>, std::string>
ChangeJournal::parse(std::string_view text) {
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("steps") ||
        !document["steps"].is_object()) {
        return Unexpected{std::string("the journal is not valid JSON of the expected shape")};
    }
    std::vector<std::pair<std::uint64_t, std::pair<std::string, UndoStep>>> ordered;
    for (const auto& [key, value] : document["steps"].items()) {
        auto step = stepFromJson(value);
        if (!step) {
            return Unexpected{"the journal step '" + key + "' is malformed"};
        }
        ordered.push_back({step->first, {key, std::move(step->second)}});
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::pair<std::string, UndoStep>> steps;
    for (auto& entry : ordered) {
        steps.push_back(std::move(entry.second));
    }
    return steps;
}

} // namespace torvane
