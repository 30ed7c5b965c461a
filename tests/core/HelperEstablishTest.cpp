#include "tests/fakes/core/HelperTestBed.h"

#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane::testing {
namespace {

using protocol::HelperCall;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

bool establish(HelperTestBed& bed) {
    return awaitResult<bool>([&](auto done) { bed.helper().establishConnection(done); });
}

TEST(HelperEstablish, RefreshesTheDaemonOncePerChangeOfItsExecutable) {
    HelperTestBed bed;
    bed.daemon.listen();
    // The daemon exits on request and the service manager starts a fresh
    // process on the next connection.
    bed.registry->queueProcessIds({100, 101});

    EXPECT_TRUE(establish(bed));
    EXPECT_THAT(bed.daemon.received(),
                ElementsAre(HelperCall::terminate, HelperCall::getVersion, HelperCall::getVersion));
    EXPECT_EQ(bed.storedMtime(), 1'700'000'000.25);
    EXPECT_THAT(bed.clock->sleeps(), ElementsAre(1));
    EXPECT_THAT(bed.registry->calls(), ElementsAre("register"));
    EXPECT_THAT(bed.logContaining("no effect"), IsEmpty());
    EXPECT_EQ(bed.logContaining("Helper: helper binary changed — terminating stale running "
                                "instance")
                  .size(),
              1U);

    EXPECT_TRUE(establish(bed));
    EXPECT_EQ(bed.daemon.count(HelperCall::terminate), 1);

    bed.touchHelperExecutable(1'700'000'100);
    bed.registry->queueProcessIds({101, 102});
    EXPECT_TRUE(establish(bed));
    EXPECT_EQ(bed.daemon.count(HelperCall::terminate), 2);
    EXPECT_EQ(bed.storedMtime(), 1'700'000'100.25);
}

TEST(HelperEstablish, DaemonThatNobodyRestartsIsNeverAskedToExit) {
    HelperTestBed bed;
    bed.registry->setRestartsDaemon(false);
    bed.daemon.listen();

    EXPECT_TRUE(establish(bed));
    EXPECT_THAT(bed.daemon.received(), ElementsAre(HelperCall::getVersion));
    EXPECT_EQ(bed.storedMtime(), 0);
}

TEST(HelperEstablish, DaemonIgnoringTerminateIsUnregisteredAndRegisteredAgain) {
    // Unknown process ids (a daemon run by hand) and the very same process
    // answering both mean the request had no effect.
    for (const auto& ids : std::vector<std::vector<std::optional<long>>>{{}, {100, 100}}) {
        HelperTestBed bed;
        bed.daemon.setIgnoreTerminate(true);
        bed.daemon.listen();
        bed.registry->queueProcessIds(ids);

        EXPECT_TRUE(establish(bed));
        EXPECT_THAT(bed.registry->calls(), ElementsAre("register", "unregister", "register"));
        EXPECT_THAT(bed.clock->sleeps(), ElementsAre(1, 0.5, 1));
        EXPECT_EQ(bed.logContaining("Torvane: Helper: terminate had no effect — forcing via "
                                    "service unregister")
                      .size(),
                  1U);
        EXPECT_NE(bed.storedMtime(), 0);
    }
}

TEST(HelperEstablish, DaemonKeepingAnAlwaysOnProfileUpIsLeftRunning) {
    // Unregistering it would drop the administrator's tunnel and ask the
    // user for authorization; the package's upgrade restarts it instead.
    HelperTestBed bed;
    bed.daemon.setIgnoreTerminate(true);
    bed.daemon.refuse(HelperCall::terminate,
                      "terminate declined: always-on profile 'Head Office' stays connected");
    bed.daemon.listen();
    bed.registry->queueProcessIds({100, 100});

    EXPECT_TRUE(establish(bed));
    EXPECT_THAT(bed.registry->calls(), ElementsAre("register"));
    EXPECT_THAT(bed.logContaining("no effect"), IsEmpty());
    EXPECT_EQ(bed.logContaining("Torvane: Helper: terminate declined: always-on profile 'Head "
                                "Office' stays connected")
                  .size(),
              1U);
}

TEST(HelperEstablish, DaemonAwaitingApprovalGivesUpWithoutRepair) {
    HelperTestBed bed;
    std::remove(bed.executablePath.c_str());
    bed.registry->setStatus(ServiceStatus::requiresApproval);
    bed.registry->setRegisterError("authorization was not granted");

    EXPECT_FALSE(establish(bed));
    EXPECT_THAT(bed.logContaining("requires approval"),
                ElementsAre("Torvane: Helper: daemon requires approval — showing how to enable "
                            "torvane-helper.socket",
                            "Torvane: Helper: daemon requires approval — unreachable until the "
                            "user enables it"));
    EXPECT_EQ(bed.logContaining("Torvane: Helper: service register failed (status "
                                "requiresApproval): authorization was not granted")
                  .size(),
              1U);
    EXPECT_THAT(bed.registry->calls(), ElementsAre("register", "openApprovalSettings"));
    EXPECT_THAT(bed.logContaining("clean re-register"), IsEmpty());
}

TEST(HelperEstablish, ThreeFailedRepairCyclesGiveUp) {
    HelperTestBed bed;
    std::remove(bed.executablePath.c_str());
    bed.registry->setStatus(ServiceStatus::notRegistered);
    bed.registry->setRegisterError("Unit torvane-helper.socket does not exist");

    EXPECT_FALSE(establish(bed));
    const auto log = bed.log();
    std::vector<std::string> cycles;
    for (const auto& line : log) {
        if (line.find("clean re-register") != std::string::npos ||
            line.find("giving up") != std::string::npos) {
            cycles.push_back(line);
        }
    }
    EXPECT_THAT(cycles,
                ElementsAre("Torvane: Helper: daemon unreachable — clean re-register 1/3",
                            "Torvane: Helper: daemon unreachable — clean re-register 2/3",
                            "Torvane: Helper: daemon unreachable — clean re-register 3/3",
                            "Torvane: Helper: daemon still unreachable after recovery — giving up "
                            "(status notRegistered)"));
    // Every cycle: four register attempts after pauses of 0.5, 1, 1.5 and 2 s.
    const std::vector<double> cycle = {0.5, 1, 1.5, 2};
    std::vector<double> expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), cycle.begin(), cycle.end());
    }
    EXPECT_EQ(bed.clock->sleeps(), expected);
    EXPECT_EQ(bed.logContaining("/4 failed (status notRegistered): Unit torvane-helper.socket "
                                "does not exist")
                  .size(),
              12U);
    EXPECT_EQ(
        bed.logContaining("Torvane: Helper: probe connection error: cannot connect to ").size(),
        4U);
}

// Each repair cycle asks for authorization up to five times; a user who
// dismissed one prompt must not get the other fourteen.
TEST(HelperEstablish, ADismissedPromptEndsTheRepair) {
    HelperTestBed bed;
    std::remove(bed.executablePath.c_str());
    bed.registry->setUnregisterError("authorization to run systemctl disable was not granted",
                                     ServiceStatus::requiresApproval);

    EXPECT_FALSE(establish(bed));
    EXPECT_THAT(bed.registry->calls(),
                ElementsAre("register", "unregister", "openApprovalSettings"));
    EXPECT_EQ(
        bed.logContaining("Torvane: Helper: authorization was not given — no more attempts").size(),
        1U);
}

TEST(HelperEstablish, RepairSucceedsOnceRegistrationBringsTheDaemonUp) {
    HelperTestBed bed;
    std::remove(bed.executablePath.c_str());
    bed.registry->setOnRegister([&bed] {
        if (bed.registry->calls().size() == 3) {
            bed.daemon.listen();
        }
    });

    EXPECT_TRUE(establish(bed));
    EXPECT_THAT(bed.registry->calls(), ElementsAre("register", "unregister", "register"));
    EXPECT_EQ(bed.logContaining("Torvane: Helper: re-register OK (status enabled)").size(), 1U);
    EXPECT_EQ(bed.logContaining("Torvane: Helper: installed helper version 0.1.1").size(), 1U);
}

} // namespace
} // namespace torvane::testing
