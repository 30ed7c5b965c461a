// The route and netstat programs take their arguments from the
// daemon, which builds them from profile fields (networks, gateway names,
// DNS servers and domains) a user typed or imported; and the netlink decoders
// they share with the daemon read what the kernel sends. Neither may crash or
// accept a command it cannot state back.
#include "NetlinkMessages.h"
#include "NetstatCommand.h"
#include "RouteCommand.h"
#include "RouteReport.h"
#include "RoutingTableReport.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace torvane::netlink;
using namespace torvane::tools;

namespace {

/// The input as an argument vector: NUL separates arguments.
std::vector<std::string> splitArguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    return args;
}

void fuzzArguments(const uint8_t* data, size_t size) {
    const auto args = splitArguments(data, size);
    if (const auto command = parseRouteArguments(args)) {
        if (command->network) {
            // An accepted network is stored normalised and must read back as
            // itself.
            const auto text = formatIpv4Prefix(*command->network);
            if (parseIpv4Prefix(text) != command->network) {
                std::abort();
            }
        }
        if (command->action != RouteAction::get && command->destination.empty()) {
            std::abort();
        }
        (void)describeRouteChange(*command, command->destination, command->gateway);
    }
    (void)parseNetstatArguments(args);
}

void fuzzMessages(const uint8_t* data, size_t size) {
    if (size == 0) {
        return;
    }
    // Netlink messages arrive 4-byte aligned; copy into storage that is.
    std::vector<uint32_t> aligned((size + 3) / 4);
    std::memcpy(aligned.data(), data, size);
    const auto* message = reinterpret_cast<const nlmsghdr*>(aligned.data());
    std::size_t remaining = size;
    std::vector<RouteEntry> routes;
    std::vector<LinkEntry> links;
    while (message != nullptr && messageFits(message, remaining)) {
        for (const auto& route : decodeRoute(*message)) {
            if (route.destination.length > 32) {
                std::abort();
            }
            routes.push_back(route);
            (void)formatRouteGet({"fuzz", route, "fuzz0"});
        }
        (void)decodeAddress(*message);
        if (auto link = decodeLink(*message)) {
            links.push_back(std::move(*link));
        }
        message = nextMessage(message, remaining);
    }
    (void)formatRoutingTable(routingTableRows(routes, links));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzArguments(data, size);
    fuzzMessages(data, size);
    return 0;
}
