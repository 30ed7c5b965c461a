#include "helper/service/HelperOptions.h"

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(HelperOptionsTest, DefaultsAndEachOption) {
    const auto defaults = parseHelperCommandLine(std::vector<std::string>{});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->options.socketPath, "/run/torvane/helper.sock");
    ASSERT_EQ(defaults->options.trustedClients.size(), 2u);
    EXPECT_TRUE(defaults->options.trustedClients[0].ends_with("/bin/torvane"));
    EXPECT_TRUE(defaults->options.trustedClients[1].ends_with("/bin/torvanectl"));
    EXPECT_EQ(defaults->options.configDir, "/etc/torvane");
    EXPECT_FALSE(defaults->showHelp);

    const char* argv[] = {"torvane-helper",     "--socket", "/tmp/t.sock",
                          "--trust-client",     "/opt/a",   "--trust-client=/opt/b",
                          "--config-dir=/tmp/c"};
    const auto parsed = parseHelperCommandLine(7, argv);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->options.socketPath, "/tmp/t.sock");
    EXPECT_EQ(parsed->options.configDir, "/tmp/c");
    auto expected = HelperOptions::defaultTrustedClients();
    expected.insert(expected.end(), {"/opt/a", "/opt/b"});
    EXPECT_EQ(parsed->options.trustedClients, expected);

    const auto help = parseHelperCommandLine(std::vector<std::string>{"--help"});
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->showHelp);
}

TEST(HelperOptionsTest, RejectsWhatItDoesNotUnderstand) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--verbose"},
             {"stray"},
             {"--socket"},
             {"--trust-client="},
             {"--socket", "/a", "--socket", "/b"},
             {"--config-dir", "/a", "--config-dir", "/b"},
             {"--help=yes"},
         }) {
        const auto parsed = parseHelperCommandLine(arguments);
        ASSERT_FALSE(parsed) << arguments[0];
        EXPECT_FALSE(parsed.error().empty());
    }
}

} // namespace
} // namespace torvane
