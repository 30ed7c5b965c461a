// The field rules the editor and torvanectl share.
#include "Torvane/core/ProfileRules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ProfileRulesTest, ListsRequiredFieldsAndUniqueNames) {
    EXPECT_THAT(splitProfileList(" 10.0.0.0/8, ,192.168.1.0/24 ,\n\n\t10.2.0.0/16\t 10.3.0.0/16"),
                ElementsAre("10.0.0.0/8", "192.168.1.0/24", "10.2.0.0/16", "10.3.0.0/16"));
    EXPECT_THAT(splitProfileList(" ,\t\n"), IsEmpty());

    EXPECT_TRUE(isFilledIn(" vpn.example "));
    EXPECT_FALSE(isFilledIn(" \t "));

    VPNProfile office;
    office.name = "Office";
    const std::vector<VPNProfile> profiles{office};
    EXPECT_TRUE(isNameTaken(profiles, "Office"));
    EXPECT_FALSE(isNameTaken(profiles, "office"));
    // A profile keeps its own name when it is saved again.
    EXPECT_FALSE(isNameTaken(profiles, "Office", office.id));
}

} // namespace
} // namespace torvane
