#include "shared/Base64.h"

#include <random>

#include <gtest/gtest.h>

using namespace torvane;

TEST(Base64, KnownVectorsAndRoundTrip) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xff\xfe\x00\x3f", 4), "//4APw=="},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encode(plain), encoded);
        EXPECT_EQ(base64Decode(encoded), plain) << encoded;
    }
    std::mt19937 rng(7);
    for (std::size_t length = 0; length < 70; ++length) {
        std::string bytes(length, '\0');
        for (auto& b : bytes) {
            b = static_cast<char>(rng());
        }
        EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes) << length;
    }
}

TEST(Base64, RejectsAnythingButStrictStandardForm) {
    for (const char* text : {"Zg", "Zg=", "Zm9", "Zm9v\n", " Zm9v", "Zm9v YmFy", "Zm-v", "Zm_v",
                             "=Zm9", "Zg==Zg==", "Z===", "====", "Zm9vYg=a", "Zm9v*", "Zm9\0"}) {
        EXPECT_FALSE(base64Decode(text).has_value()) << text;
    }
    EXPECT_FALSE(base64Decode(std::string_view("Zm9\0", 4)).has_value());
}
