#include "ProcessIdentity.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(ProcessIdentityTest, CountsFieldsFromTheLastParenthesisOfTheName) {
    // A program may name itself anything, parentheses and digits included.
    const std::string fields = " S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 424242 19 20";
    EXPECT_EQ(parseProcessStartTime("77 (charon)" + fields), 424242u);
    EXPECT_EQ(parseProcessStartTime("77 (a) S 9 9 (b) 1 2)" + fields), 424242u);
    EXPECT_EQ(parseProcessStartTime("77 (charon) S 1 2 3"), std::nullopt);
    EXPECT_EQ(parseProcessStartTime("77 charon S 1 2 3"), std::nullopt);
    EXPECT_EQ(parseProcessStartTime("77 (x)" + std::string(" S 1 2 3 4 5 6 7 8 9 10 11 12 13 "
                                                           "14 15 16 17 18 -5 19")),
              std::nullopt);
}

TEST(ProcessIdentityTest, ReadsTheLiveProcessAndNothingForAPidThatIsGone) {
    const auto self = readProcessIdentity(::getpid());
    ASSERT_TRUE(self);
    EXPECT_GT(self->startTime, 0u);
    EXPECT_FALSE(self->executable.empty());
    EXPECT_EQ(readProcessIdentity(::getpid()), self);

    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(readProcessIdentity(child), std::nullopt);
    EXPECT_EQ(readProcessIdentity(0), std::nullopt);
}

} // namespace
} // namespace torvane
