// The command service without a socket: requests straight into Helper, and
// its output collected from a channel.
#include "Helper.h"

#include "FakeTunnelEngine.h"

#include <gtest/gtest.h>

namespace torvane::test {
namespace {

struct RecordingChannel : ClientChannel {
    void send(std::string line) override { lines.push_back(std::move(line)); }
    void close() override {}
    std::vector<std::string> lines;
};

TEST(HelperTest, TerminateQueuesItsReplyBeforeAskingToStop) {
    FakeTunnelEngine engine;
    auto channel = std::make_shared<RecordingChannel>();
    std::vector<std::string> linesWhenAsked;
    Helper::Settings settings;
    settings.onTerminate = [&] {
        linesWhenAsked = channel->lines;
    };
    const auto helper = Helper::create(engine, settings);
    helper->addConnection(channel);

    protocol::LineFramer framer;
    EXPECT_TRUE(helper->receive(channel, framer, "{\"id\":7,\"call\":\"terminateWithReply:\"}\n"));
    EXPECT_EQ(linesWhenAsked, std::vector<std::string>{"{\"id\":7,\"reply\":[]}\n"});
}

TEST(HelperTest, ACallbackAfterTheHelperIsGoneIsDropped) {
    FakeTunnelEngine engine;
    auto channel = std::make_shared<RecordingChannel>();
    {
        const auto helper = Helper::create(engine, {});
        helper->addConnection(channel);
        protocol::LineFramer framer;
        helper->receive(channel, framer, "{\"id\":1,\"call\":\"subscribeWithReply:\"}\n");
    }
    const auto before = channel->lines.size();
    engine.emitStatus(R"({"tunnels":[]})");
    engine.emitLog("late");
    EXPECT_EQ(channel->lines.size(), before);
}

TEST(HelperTest, OversizedMessagesStillProduceValidLines) {
    // Each byte becomes six once escaped in JSON.
    const std::string huge(protocol::kMaxLineBytes / 2, '\x01');

    const auto command = replyLine(3, protocol::CommandReply{1, huge});
    ASSERT_LE(command.size(), protocol::kMaxLineBytes + 1);
    const auto parsed = protocol::parseServerMessage(command.substr(0, command.size() - 1));
    ASSERT_TRUE(parsed);
    const auto reply = protocol::decodeReply(protocol::HelperCall::start,
                                             std::get<protocol::ReplyMessage>(*parsed));
    ASSERT_TRUE(reply);
    EXPECT_EQ(std::get<protocol::CommandReply>(*reply).code, 1);

    // A snapshot that cannot be sent whole goes as an empty buffer, the way
    // a snapshot that cannot be encoded does.
    const std::string bigStatus(protocol::kMaxLineBytes, 'x');
    EXPECT_EQ(replyLine(4, protocol::StatusReply{bigStatus}), "{\"id\":4,\"reply\":[\"\"]}\n");
    EXPECT_EQ(callbackLine(protocol::StatusChanged{bigStatus}), "");

    const auto log = callbackLine(protocol::LogLine{huge});
    EXPECT_FALSE(log.empty());
    EXPECT_LE(log.size(), protocol::kMaxLineBytes + 1);
}

} // namespace
} // namespace torvane::test
