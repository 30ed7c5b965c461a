// Feeds arbitrary ruleset files and command lines to pfctl's translator and
// argument parser. Any input must give a script or an error; a script must
// never carry a byte from the input that could end a quoted name or start
// another nft statement.
#include "PfctlCommand.h"
#include "PfctlRuleset.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace torvane;
using namespace torvane::tools;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto resolver =
        [](const std::string& host) -> Expected<std::vector<std::string>, std::string> {
        if (host.size() % 2 == 0) {
            return std::vector<std::string>{"192.0.2.1", "2001:db8::1"};
        }
        return Unexpected{std::string("no")};
    };
    const auto script = translateRuleset(text, resolver);
    if (script) {
        // Only the two chains' declarations separate statements.
        if (std::count(script->begin(), script->end(), ';') != 4) {
            std::abort();
        }
        for (char c : *script) {
            if (c == '\r' || c == '\0' || c == '\\') {
                std::abort();
            }
        }
        // Every line is one of the fixed statements on our own table.
        std::size_t start = 0;
        while (start < script->size()) {
            const auto end = script->find('\n', start);
            const auto line = std::string_view(*script).substr(start, end - start);
            if (line.find(" inet torvane_killswitch") == std::string_view::npos ||
                std::count(line.begin(), line.end(), '"') % 2 != 0) {
                std::abort();
            }
            start = end + 1;
        }
    }

    std::vector<std::string> args;
    std::string current;
    for (char c : text) {
        if (c == '\0') {
            args.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    args.push_back(current);
    const auto command = parsePfctlArguments(args);
    if (command && command->action == PfctlAction::release && !isPfctlToken(command->token)) {
        std::abort();
    }
    return 0;
}
