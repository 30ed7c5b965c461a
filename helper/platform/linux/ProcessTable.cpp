#include "helper/platform/linux/ProcessTable.h"

#include "shared/TextPieces.h"

#include <charconv>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace torvane {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

std::string_view withoutDeletedMark(std::string_view executable) {
    constexpr std::string_view mark = " (deleted)";
    if (executable.ends_with(mark)) {
        executable.remove_suffix(mark.size());
    }
    return executable;
}

} // namespace

std::optional<std::uint64_t> parseProcessStartTime(std::string_view statLine) {
    const auto close = statLine.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    // After the name come the state (field 3) and then numbers; the start
    // time is field 22, the twentieth after the name.
    const auto fields = splitText(statLine.substr(close + 1), " ");
    if (fields.size() < 20) {
        return std::nullopt;
    }
    const std::string_view field = fields[19];
    std::uint64_t value = 0;
    const auto [last, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || last != field.data() + field.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<ProcessIdentity> readProcessIdentity(pid_t pid) {
    if (pid < 1) {
        return std::nullopt;
    }
    const std::string directory = "/proc/" + std::to_string(pid);
    const std::string stat = readAll(directory + "/stat");
    const auto startTime = parseProcessStartTime(stat);
    const auto close = stat.rfind(')');
    // A zombie has ended: it runs nothing and can be signalled by nobody.
    if (!startTime || (close + 2 < stat.size() && stat[close + 2] == 'Z')) {
        return std::nullopt;
    }
    ProcessIdentity identity{pid, *startTime, {}};
    std::string target(4096, '\0');
    const ssize_t length =
        ::readlink((directory + "/exe").c_str(), target.data(), target.size() - 1);
    if (length > 0) {
        target.resize(static_cast<std::size_t>(length));
        identity.executable = std::move(target);
    }
    return identity;
}

bool isSameProcess(const ProcessIdentity& recorded, const ProcessIdentity& live) {
    if (recorded.pid != live.pid || recorded.startTime != live.startTime) {
        return false;
    }
    // A program that changed its user may no longer let us read its link;
    // pid and start time alone are still unique.
    return recorded.executable.empty() || live.executable.empty() ||
           withoutDeletedMark(recorded.executable) == withoutDeletedMark(live.executable);
}

std::string serviceGroupOf(std::string_view procCgroupText) {
    std::string unified;
    std::string systemdV1;
    std::istringstream lines{std::string(procCgroupText)};
    for (std::string line; std::getline(lines, line);) {
        // "ID:CONTROLLERS:PATH"; the path may itself hold colons.
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) {
            continue;
        }
        const std::string_view controllers =
            std::string_view(line).substr(first + 1, second - first - 1);
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            unified = line.substr(second + 1);
        } else if (controllers == "name=systemd") {
            systemdV1 = line.substr(second + 1);
        }
    }
    return unified.empty() || (unified == "/" && !systemdV1.empty()) ? systemdV1 : unified;
}

std::vector<pid_t> visibleProcesses() {
    std::vector<pid_t> pids;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc) {
        return pids;
    }
    while (const dirent* entry = ::readdir(proc.get())) {
        const std::string_view name(entry->d_name);
        pid_t pid = 0;
        const auto [last, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error == std::errc() && last == name.data() + name.size() && pid > 0) {
            pids.push_back(pid);
        }
    }
    return pids;
}

std::string processName(pid_t pid) {
    std::string name = readAll("/proc/" + std::to_string(pid) + "/comm");
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

std::string processGroupText(const std::string& pid) {
    return readAll("/proc/" + pid + "/cgroup");
}

} // namespace torvane
