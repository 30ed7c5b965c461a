#include "ProcessIdentity.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace torvane {

std::optional<std::uint64_t> parseProcessStartTime(std::string_view statLine) {
    const auto close = statLine.rfind(')');
    if (close == std::string_view::npos) {
        return std::nullopt;
    }
    // After the name come the state (field 3) and then numbers; the start
    // time is field 22, the twentieth after the name.
    std::string_view rest = statLine.substr(close + 1);
    std::string_view field;
    for (int index = 0; index < 20; ++index) {
        const auto begin = rest.find_first_not_of(' ');
        if (begin == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(begin);
        const auto end = rest.find(' ');
        field = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    }
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
    std::ifstream statFile(directory + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(statFile)),
                           std::istreambuf_iterator<char>());
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

} // namespace torvane
