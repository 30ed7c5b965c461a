// swanctl output is parsed as it comes, even after a
// time-out. The parsers must never crash and never return a value that
// could not have come from one word of the output.
#include "SwanctlOutput.h"

#include <cstdlib>
#include <string>

using namespace torvane;

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool isWord(const std::optional<std::string>& value) {
    return !value || (!value->empty() && value->find(' ') == std::string::npos &&
                      value->find('\n') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto tunnel = parseTunnelInfo(text);
    require(isWord(tunnel.vip) && isWord(tunnel.tun));

    const auto listing = parseSAListing(text);
    require(isWord(listing.vip));
    if (listing.remoteIP) {
        const auto& host = *listing.remoteIP;
        require(!host.empty() && host.find('[') == std::string::npos &&
                host.find('\n') == std::string::npos);
        require(host.front() != ' ' && host.front() != '\t' && host.back() != ' ' &&
                host.back() != '\t');
    }

    // What holds for the tunnel's own lines holds for the whole listing.
    if (childSAInstalled("ov-x", text)) {
        require(listingShowsEstablishedAndInstalled(text));
    }

    return 0;
}
