// The command service without a socket: requests straight into CommandService, and
// its output collected from a channel.
#include "helper/service/CommandService.h"

#include "shared/VPNProfile.h"
#include "shared/VPNSecrets.h"
#include "tests/fakes/service/FakeTunnelEngine.h"

#include <map>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct RecordingChannel : ClientChannel {
    void send(std::string line) override { lines.push_back(std::move(line)); }
    void close() override {}
    void resumeReading() override { ++resumed; }
    std::vector<std::string> lines;
    int resumed = 0;
};

/// Holds every check until the test decides it.
struct FakeAuthorizer : Authorizer {
    struct Check {
        uid_t uid;
        AuthorizedAction action;
        Done done;
    };
    Ticket check(const AuthorizationSubject& subject, AuthorizedAction action, Done done) override {
        checks.push_back({subject.uid, action, std::move(done)});
        return checks.size();
    }
    void cancel(Ticket ticket) override { cancelled.push_back(ticket); }
    void decide(std::size_t index, bool authorized) {
        auto done = std::move(checks.at(index).done);
        done(authorized ? AuthorizationResult{true, {}}
                        : AuthorizationResult{false, "polkit refused it"});
    }
    std::vector<Check> checks;
    std::vector<Ticket> cancelled;
};

constexpr AuthorizationSubject kRoot{100, 1, 0};
constexpr AuthorizationSubject kAlice{200, 1, 1000};
constexpr AuthorizationSubject kBob{300, 1, 1001};

std::string startLine(std::int64_t id, const std::string& name) {
    protocol::Request request;
    request.id = id;
    request.call = protocol::HelperCall::start;
    VPNProfile profile;
    profile.name = name;
    request.configData = encodeProfile(profile);
    request.secrets = encodeSecrets(VPNSecrets{});
    return *protocol::encodeRequest(request);
}

/// A CommandService over an engine that answers at once, with the fake authorizer.
struct GatedBed {
    GatedBed() {
        CommandService::Settings settings;
        settings.authorizer = authorizer;
        helper = CommandService::create(engine, settings);
    }
    std::shared_ptr<RecordingChannel> connect(AuthorizationSubject peer) {
        auto channel = std::make_shared<RecordingChannel>();
        helper->addConnection(channel, peer);
        framers.emplace(channel.get(), protocol::LineFramer{});
        return channel;
    }
    CommandService::ReadResult send(const std::shared_ptr<RecordingChannel>& channel,
                                    const std::string& bytes) {
        return helper->receive(channel, framers[channel.get()], bytes);
    }
    FakeTunnelEngine engine{false};
    std::shared_ptr<FakeAuthorizer> authorizer = std::make_shared<FakeAuthorizer>();
    std::shared_ptr<CommandService> helper;
    std::map<ClientChannel*, protocol::LineFramer> framers;
};

TEST(HelperTest, GatedCallsWaitForTheirUsersAuthorizationInOrder) {
    GatedBed bed;
    const auto alice = bed.connect(kAlice);
    const auto bob = bed.connect(kBob);
    const auto root = bed.connect(kRoot);

    // Alice's start and stop of one profile: one check at a time, so they can
    // never run swapped. Her status request does not wait for either.
    bed.send(alice, startLine(1, "Office") +
                        R"({"id":2,"call":"stopWithProfileID:reply:","profileID":"X"})"
                        "\n"
                        R"({"id":3,"call":"statusWithReply:"})"
                        "\n");
    EXPECT_THAT(alice->lines, ElementsAre("{\"id\":3,\"reply\":[\"eyJ0dW5uZWxzIjpbXX0=\"]}\n"));
    // Bob waits on his own; root is never asked.
    bed.send(bob, "{\"id\":1,\"call\":\"terminateWithReply:\"}\n");
    bed.send(root, "{\"id\":1,\"call\":\"forceKillAllWithReply:\"}\n");
    ASSERT_EQ(bed.authorizer->checks.size(), 2U);
    EXPECT_EQ(bed.authorizer->checks[0].uid, kAlice.uid);
    EXPECT_EQ(bed.authorizer->checks[0].action, AuthorizedAction::connect);
    EXPECT_EQ(bed.authorizer->checks[1].action, AuthorizedAction::manage);
    EXPECT_THAT(bed.engine.calls(), ElementsAre("forceKillAll"));

    bed.authorizer->decide(1, false);
    EXPECT_THAT(bob->lines,
                ElementsAre("{\"error\":\"Not authorized: stopping the VPN helper requires "
                            "authorization (kv.kelvor.torvane.manage) — polkit refused it\","
                            "\"id\":1}\n"));
    bed.authorizer->decide(0, true);
    ASSERT_EQ(bed.authorizer->checks.size(), 3U);
    bed.authorizer->decide(2, false);
    EXPECT_THAT(bed.engine.calls(), ElementsAre("forceKillAll", "start Office"));
    EXPECT_EQ(alice->lines.at(1), "{\"id\":1,\"reply\":[0,\"Connected (10.99.0.1)\"]}\n");
    EXPECT_EQ(alice->lines.at(2),
              "{\"error\":\"Not authorized: stopping a VPN tunnel requires authorization "
              "(kv.kelvor.torvane.connect) — polkit refused it\",\"id\":2}\n");
}

TEST(HelperTest, NothingRunsForAConnectionThatClosedWhileWaiting) {
    GatedBed bed;
    const auto alice = bed.connect(kAlice);
    bed.send(alice, "{\"id\":1,\"call\":\"subscribeWithReply:\"}\n"
                    "{\"id\":2,\"call\":\"stopAllWithReply:\"}\n");
    bed.helper->removeConnection(*alice);
    EXPECT_THAT(bed.authorizer->cancelled, ElementsAre(1U));

    bed.authorizer->decide(0, true);
    EXPECT_EQ(bed.authorizer->checks.size(), 1U);
    EXPECT_THAT(alice->lines, IsEmpty());
    EXPECT_THAT(bed.engine.calls(), IsEmpty());
    EXPECT_EQ(bed.helper->subscriberCount(), 0U);
}

TEST(HelperTest, AConnectionIsNotReadWhileTooManyOfItsRequestsAreUnanswered) {
    GatedBed bed;
    const auto alice = bed.connect(kAlice);
    std::string lines;
    const int count = static_cast<int>(CommandService::kMaxUnansweredRequests) + 4;
    for (int id = 1; id <= count; ++id) {
        lines += startLine(id, "P" + std::to_string(id));
    }
    EXPECT_EQ(bed.send(alice, lines), CommandService::ReadResult::paused);

    bed.authorizer->decide(0, true);
    EXPECT_EQ(alice->resumed, 1);
    // Resumed, the lines already received come first, and only so many.
    EXPECT_EQ(bed.send(alice, ""), CommandService::ReadResult::paused);
    for (std::size_t i = 1; i < CommandService::kMaxUnansweredRequests + 1; ++i) {
        bed.authorizer->decide(i, true);
    }
    EXPECT_EQ(bed.send(alice, ""), CommandService::ReadResult::more);
    for (std::size_t i = CommandService::kMaxUnansweredRequests + 1;
         i < static_cast<std::size_t>(count); ++i) {
        bed.authorizer->decide(i, true);
    }
    EXPECT_EQ(bed.engine.calls().size(), static_cast<std::size_t>(count));
    EXPECT_EQ(bed.engine.calls().back(), "start P" + std::to_string(count));
}

TEST(HelperTest, ACallbackAfterTheHelperIsGoneIsDropped) {
    FakeTunnelEngine engine;
    auto channel = std::make_shared<RecordingChannel>();
    {
        const auto helper = CommandService::create(engine, {});
        helper->addConnection(channel, kRoot);
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
