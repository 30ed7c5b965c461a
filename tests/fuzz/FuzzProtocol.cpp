// Every line either side of the command channel receives goes through these
// parsers; a hostile local process controls the helper's input completely.
#include "LineFramer.h"
#include "Request.h"
#include "ServerMessage.h"

#include <cstdlib>

using namespace torvane::protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Small limit so that the fuzzer reaches the overflow path.
    LineFramer framer(512);
    framer.append(bytes.substr(0, size / 2));
    framer.append(bytes.substr(size / 2));
    while (framer.nextLine()) {
    }

    if (const auto request = parseRequest(bytes)) {
        const auto line = encodeRequest(*request);
        if (!line) {
            std::abort(); // what was accepted within the limit must encode within it
        }
        const auto again = parseRequest(std::string_view(*line).substr(0, line->size() - 1));
        if (!again || !(*again == *request)) {
            std::abort();
        }
    }

    if (const auto message = parseServerMessage(bytes)) {
        if (const auto* reply = std::get_if<ReplyMessage>(&*message)) {
            for (const auto call : kAllHelperCalls) {
                if (const auto decoded = decodeReply(call, *reply)) {
                    const auto line = encodeReply(reply->id, *decoded);
                    if (!line) {
                        std::abort();
                    }
                }
            }
        } else if (const auto line = encodeCallback(std::get<Callback>(*message)); !line) {
            std::abort();
        }
    }
    return 0;
}
