#include "tests/fakes/core/HelperTestBed.h"

#include <atomic>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane::testing {
namespace {

using protocol::HelperCall;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

HelperResult startProfile(DaemonClient& helper) {
    VPNProfile profile;
    profile.name = "Office";
    return awaitResult<HelperResult>([&](auto done) { helper.start(profile, VPNSecrets{}, done); });
}

TEST(HelperCommands, TransportFailureIsRepairedAndRetriedOnce) {
    HelperTestBed bed;
    bed.daemon.listen();
    bed.daemon.dropOnNext(HelperCall::start);
    bed.daemon.queueCommandReply(HelperCall::start, {0, "Connected (10.9.0.2)"});

    EXPECT_EQ(startProfile(bed.helper()), (HelperResult{0, "Connected (10.9.0.2)"}));
    EXPECT_THAT(bed.daemon.received(),
                ElementsAre(HelperCall::start, HelperCall::subscribe, HelperCall::start));
    EXPECT_THAT(bed.clock->sleeps(), ElementsAre(0.4));
    EXPECT_THAT(bed.registry->calls(), ElementsAre("register"));
    EXPECT_THAT(
        bed.logContaining("Torvane: Helper: start failed (Helper connection error: "),
        ElementsAre("Torvane: Helper: start failed (Helper connection error: the helper closed the "
                    "connection) — refreshing daemon and retrying"));
    EXPECT_EQ(bed.logContaining("Torvane: Helper: connection invalidated").size(), 1U);

    // A transport failure that outlasts the repair is the caller's to see.
    bed.daemon.stopListening();
    const auto result = awaitResult<HelperResult>([&](auto done) { bed.helper().stopAll(done); });
    EXPECT_EQ(result.code, -1);
    EXPECT_TRUE(result.message.starts_with("Helper connection error: cannot connect to "))
        << result.message;
    EXPECT_EQ(bed.logContaining("Helper: stopAll failed (Helper connection error: ").size(), 1U);

    // forceKillAll is never retried.
    const auto registrations = bed.registry->calls().size();
    EXPECT_EQ(awaitResult<HelperResult>([&](auto done) { bed.helper().forceKillAll(done); }).code,
              -1);
    EXPECT_EQ(bed.registry->calls().size(), registrations);
}

TEST(HelperCommands, DaemonSideFailuresAreReturnedWithoutRetry) {
    HelperTestBed bed;
    bed.daemon.listen();
    bed.daemon.queueCommandReply(HelperCall::stop, {-1, "not a Helper connection error"});
    bed.daemon.queueCommandReply(HelperCall::start,
                                 {1, "Helper connection error lookalike from the engine"});
    bed.daemon.queueCommandReply(HelperCall::forceKillAll, {0, "Force-killed"});

    EXPECT_EQ(awaitResult<HelperResult>([&](auto done) {
                  bed.helper().stop("6B1C2B5E-0000-4000-8000-000000000001", done);
              }),
              (HelperResult{-1, "not a Helper connection error"}));
    EXPECT_EQ(startProfile(bed.helper()),
              (HelperResult{1, "Helper connection error lookalike from the engine"}));
    EXPECT_EQ(awaitResult<HelperResult>([&](auto done) { bed.helper().forceKillAll(done); }),
              (HelperResult{0, "Force-killed"}));
    EXPECT_THAT(bed.clock->sleeps(), IsEmpty());
    EXPECT_THAT(bed.daemon.received(),
                ElementsAre(HelperCall::stop, HelperCall::start, HelperCall::forceKillAll));
}

TEST(HelperCommands, RefusalsAreNotAuthorizedResultsAndNeverRetried) {
    HelperTestBed bed;
    bed.daemon.listen();
    for (const auto call : {HelperCall::start, HelperCall::setPriorities, HelperCall::subscribe}) {
        bed.daemon.refuse(call, "Not authorized: " + std::string(protocol::selector(call)));
    }
    const auto refused = [](HelperCall call) {
        return HelperResult{-4, "Not authorized: " + std::string(protocol::selector(call))};
    };

    EXPECT_EQ(startProfile(bed.helper()), refused(HelperCall::start));
    EXPECT_EQ(awaitResult<HelperResult>([&](auto done) {
                  bed.helper().setPriorities({"A", "B"}, done);
              }),
              refused(HelperCall::setPriorities));
    EXPECT_EQ(awaitResult<HelperResult>([&](auto done) { bed.helper().subscribe(done); }),
              refused(HelperCall::subscribe));
    EXPECT_THAT(bed.logContaining("Torvane: Helper: subscribe error: Not authorized"),
                ::testing::SizeIs(1));
    EXPECT_THAT(bed.daemon.received(),
                ElementsAre(HelperCall::start, HelperCall::setPriorities, HelperCall::subscribe));
    EXPECT_THAT(bed.clock->sleeps(), IsEmpty());
}

TEST(HelperCommands, StatusThatDoesNotDecodeIsEmptyOrIgnored) {
    HelperTestBed bed;
    bed.daemon.listen();
    VPNRuntimeStatus status;
    status.tunnels.emplace_back();
    status.tunnels.back().profileName = "Office";
    bed.daemon.setStatusData(encodeRuntimeStatus(status));
    const auto fetch = [&] {
        return awaitResult<VPNRuntimeStatus>([&](auto done) { bed.helper().fetchStatus(done); });
    };
    EXPECT_EQ(fetch(), status);
    bed.daemon.setStatusData("{\"tunnels\": 7");
    EXPECT_EQ(fetch(), VPNRuntimeStatus{});

    std::promise<VPNRuntimeStatus> pushed;
    std::promise<std::string> logged;
    bed.helper().client().setOnStatus([&](const VPNRuntimeStatus& s) { pushed.set_value(s); });
    bed.helper().client().setOnLog([&](const std::string& line) { logged.set_value(line); });
    bed.helper().subscribe({});
    ASSERT_TRUE(bed.daemon.waitForCount(HelperCall::subscribe, 1));
    bed.daemon.sendToAll(*protocol::encodeCallback(protocol::StatusChanged{"not json"}));
    bed.daemon.sendToAll(
        *protocol::encodeCallback(protocol::StatusChanged{encodeRuntimeStatus(status)}));
    bed.daemon.sendToAll(*protocol::encodeCallback(protocol::LogLine{"charon started"}));
    auto pushedFuture = pushed.get_future();
    auto loggedFuture = logged.get_future();
    ASSERT_EQ(pushedFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(pushedFuture.get(), status);
    ASSERT_EQ(loggedFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(loggedFuture.get(), "charon started");
}

TEST(HelperCommands, MalformedLineFailsEveryWaitingCall) {
    HelperTestBed bed;
    bed.daemon.listen();
    bed.daemon.holdReplies(HelperCall::status);
    std::promise<VPNRuntimeStatus> status;
    bed.helper().fetchStatus([&](VPNRuntimeStatus s) { status.set_value(std::move(s)); });
    ASSERT_TRUE(bed.daemon.waitForCount(HelperCall::status, 1));
    std::promise<HelperResult> stopped;
    bed.helper().forceKillAll([&](HelperResult r) { stopped.set_value(std::move(r)); });
    ASSERT_TRUE(bed.daemon.waitForCount(HelperCall::forceKillAll, 1));
    // forceKillAll is answered at once; the status call is still waiting.
    auto stoppedFuture = stopped.get_future();
    ASSERT_EQ(stoppedFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);

    bed.daemon.sendToAll("{\"id\": \"seven\"}");
    auto statusFuture = status.get_future();
    ASSERT_EQ(statusFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(statusFuture.get(), VPNRuntimeStatus{});
    EXPECT_EQ(bed.logContaining("Torvane: Helper: connection invalidated").size(), 1U);
}

TEST(HelperCommands, ReplyAfterTheTimeLimitDoesNotCompleteAgain) {
    HelperTestBed bed;
    bed.daemon.listen();
    bed.daemon.holdReplies(HelperCall::terminate);
    std::atomic<int> completions = 0;
    std::promise<void> finished;
    bed.helper().shutdownHelper([&] {
        if (++completions == 1) {
            finished.set_value();
        }
    });
    ASSERT_TRUE(bed.daemon.waitForCount(HelperCall::terminate, 1));
    ASSERT_TRUE(bed.fireWhenStarted(4));
    ASSERT_EQ(finished.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    bed.daemon.releaseHeld();
    // The late reply travels on the dropped connection, which then closes.
    EXPECT_EQ(awaitResult<HelperResult>([&](auto done) { bed.helper().stopAll(done); }).code, 0);
    EXPECT_EQ(completions, 1);
    EXPECT_THAT(bed.daemon.received(),
                ElementsAre(HelperCall::stopAll, HelperCall::terminate, HelperCall::stopAll));
}

} // namespace
} // namespace torvane::testing
