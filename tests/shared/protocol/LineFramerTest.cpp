#include "shared/protocol/LineFramer.h"

#include <gtest/gtest.h>

using namespace torvane::protocol;

namespace {

std::vector<std::string> drain(LineFramer& framer) {
    std::vector<std::string> lines;
    while (auto line = framer.nextLine()) {
        lines.push_back(std::move(*line));
    }
    return lines;
}

} // namespace

TEST(LineFramer, ReassemblesLinesAcrossAnyChunking) {
    const std::string stream = "{\"id\":1}\n\n{\"id\":2,\"call\":\"x\"}\n{\"id\":3}\npartial";
    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        LineFramer framer;
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < stream.size(); i += chunk) {
            ASSERT_TRUE(framer.append(std::string_view(stream).substr(i, chunk)));
            for (auto& line : drain(framer)) {
                lines.push_back(std::move(line));
            }
        }
        EXPECT_EQ(lines, (std::vector<std::string>{"{\"id\":1}", "", "{\"id\":2,\"call\":\"x\"}",
                                                   "{\"id\":3}"}))
            << "chunk size " << chunk;
        EXPECT_EQ(framer.pendingBytes(), 7u);
    }
}

TEST(LineFramer, EnforcesTheLineLimitWithBoundedMemory) {
    LineFramer framer(16);
    EXPECT_TRUE(framer.append(std::string(16, 'a') + "\n"));
    EXPECT_EQ(drain(framer), std::vector<std::string>{std::string(16, 'a')});

    // A line that ends after the limit: earlier lines still come out, the
    // overflowing one never does, and the framer stays closed.
    EXPECT_TRUE(framer.append("ok\n" + std::string(10, 'b')));
    EXPECT_FALSE(framer.append(std::string(7, 'b')));
    EXPECT_TRUE(framer.overflowed());
    EXPECT_EQ(framer.pendingBytes(), 0u);
    EXPECT_EQ(drain(framer), std::vector<std::string>{"ok"});
    EXPECT_FALSE(framer.append("later\n"));
    EXPECT_TRUE(drain(framer).empty());

    // A sender that never ends its line cannot make the framer grow.
    LineFramer endless;
    const std::string megabyte(kMaxLineBytes / 4, 'x');
    bool open = true;
    for (int i = 0; i < 8 && open; ++i) {
        open = endless.append(megabyte);
        EXPECT_LE(endless.pendingBytes(), kMaxLineBytes);
    }
    EXPECT_FALSE(open);
}
