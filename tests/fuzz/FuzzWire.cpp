// Every line either side of the command channel receives: the parsers alone
// (what was accepted must encode again within the limit) and then arbitrary
// bytes from a connected client through the command service: framing,
// request parsing, decoding of start's payloads, dispatch to an engine that
// answers at once or refusals, and the callbacks that follow. A hostile
// local process controls the helper's input completely; whatever comes in,
// everything the service sends back must be a well-formed wire line.
#include "helper/service/CommandService.h"
#include "shared/protocol/LineFramer.h"
#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"
#include "tests/fakes/service/FakeTunnelEngine.h"

#include <cstdlib>

using namespace torvane;

namespace {

class CheckingChannel : public ClientChannel {
public:
    void send(std::string line) override {
        if (line.empty() || line.size() > protocol::kMaxLineBytes + 1 || line.back() != '\n' ||
            !protocol::parseServerMessage(std::string_view(line).substr(0, line.size() - 1))) {
            std::abort();
        }
    }
    void close() override {}
};

void checkParsers(std::string_view bytes) {
    using namespace protocol;
    if (const auto request = parseRequest(bytes)) {
        const auto line = encodeRequest(*request);
        if (!line) {
            std::abort();
        }
        const auto again = parseRequest(std::string_view(*line).substr(0, line->size() - 1));
        if (!again || !(*again == *request)) {
            std::abort();
        }
    }
    if (const auto message = parseServerMessage(bytes)) {
        if (const auto* reply = std::get_if<ReplyMessage>(&*message)) {
            for (const auto call : kAllHelperCalls) {
                const auto decoded = decodeReply(call, *reply);
                if (decoded && !encodeReply(reply->id, *decoded)) {
                    std::abort();
                }
            }
        } else if (!encodeCallback(std::get<Callback>(*message))) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto* engine = new test::FakeTunnelEngine(false);
    static const auto helper = [] {
        CommandService::Settings settings;
        settings.onTerminate = [] {
            return std::optional<std::string>{};
        };
        return CommandService::create(*engine, settings);
    }();

    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkParsers(bytes);

    auto channel = std::make_shared<CheckingChannel>();
    // Root's calls reach the engine; another user's are refused, as without
    // an authority to ask.
    const uid_t uid = size > 0 && (data[0] & 1U) != 0 ? 1000 : 0;
    helper->addConnection(channel, {1, 1, uid});

    // A small line limit so that the fuzzer reaches the overflow path; the
    // input arrives in three reads, as it may from a socket.
    protocol::LineFramer framer(1024);
    const std::size_t third = size / 3;
    for (const auto chunk :
         {bytes.substr(0, third), bytes.substr(third, third), bytes.substr(2 * third)}) {
        if (helper->receive(channel, framer, chunk) != CommandService::ReadResult::more) {
            break;
        }
    }
    // The engine's callbacks carry text the client never checked.
    engine->emitLog(std::string(bytes));
    engine->emitStatus(std::string(bytes));

    helper->removeConnection(*channel);
    engine->clearCalls();
    return 0;
}
