#include "shared/Uuid.h"

#include <set>

#include <gtest/gtest.h>

using namespace torvane;

TEST(Uuid, ParsesCanonicalTextInAnyCase) {
    const auto upper = Uuid::parse("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F");
    const auto lower = Uuid::parse("6f1c2c9e-08a4-4b61-9d8e-0a1b2c3d4e5f");
    const auto mixed = Uuid::parse("6f1C2c9E-08a4-4B61-9d8E-0a1B2c3D4e5F");
    ASSERT_TRUE(upper && lower && mixed);
    EXPECT_EQ(*upper, *lower);
    EXPECT_EQ(*upper, *mixed);
    EXPECT_EQ(lower->upperText(), "6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F");
    EXPECT_EQ(upper->lowerText(), "6f1c2c9e-08a4-4b61-9d8e-0a1b2c3d4e5f");

    for (std::string_view bad : {
             std::string_view(""),
             std::string_view("6F1C2C9E08A44B619D8E0A1B2C3D4E5F"),
             std::string_view("{6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5F}"),
             std::string_view("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5"),
             std::string_view("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5FF"),
             std::string_view("6F1C2C9E-08A4-4B61-9D8E_0A1B2C3D4E5F"),
             std::string_view("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5G"),
             std::string_view(" 6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D4E5"),
             std::string_view("6F1C2C9E-08A4-4B61-9D8E-0A1B2C3D\0E5F", 36),
         }) {
        EXPECT_FALSE(Uuid::parse(bad).has_value()) << bad;
    }
}

TEST(Uuid, RandomIdentifiersAreVersionFourAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        const std::string text = Uuid::random().upperText();
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 1000u);
}
