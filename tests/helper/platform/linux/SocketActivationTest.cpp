#include "helper/platform/linux/SocketActivation.h"

#include "tests/helper/platform/linux/TestSupport.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace torvane::test {
namespace {

namespace fs = std::filesystem;

bool canConnect(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

TEST(SocketActivationTest, CreatesTheSocketAndItsFolderForEveryUser) {
    TempDir dir;
    const auto path = dir.path() / "torvane" / "helper.sock";
    const mode_t oldMask = ::umask(077);
    auto socket = acquireListeningSocket(path);
    ::umask(oldMask);
    ASSERT_TRUE(socket) << socket.error();
    EXPECT_FALSE(socket->fromSystemd);
    EXPECT_EQ(modeOf(path.parent_path()) & 07777, 0755u);
    EXPECT_TRUE(S_ISSOCK(modeOf(path)));
    EXPECT_EQ(modeOf(path) & 07777, 0666u);
    EXPECT_TRUE(canConnect(path));

    ::close(socket->fd);
}

TEST(SocketActivationTest, ReplacesOnlyAStaleSocket) {
    TempDir dir;
    const auto path = dir.path() / "helper.sock";
    auto first = acquireListeningSocket(path);
    ASSERT_TRUE(first) << first.error();
    ::close(first->fd); // an earlier run that did not clean up

    auto second = acquireListeningSocket(path);
    ASSERT_TRUE(second) << second.error();
    EXPECT_FALSE(acquireListeningSocket(path)) << "took over a socket that is in use";
    EXPECT_TRUE(canConnect(path));
    // The socket file now belongs to the second run.
    removeSocketFile(*first);
    EXPECT_TRUE(canConnect(path));
    ::close(second->fd);
    removeSocketFile(*second);
    EXPECT_FALSE(fs::exists(path));

    const auto file = dir.path() / "not-a-socket";
    std::ofstream(file) << "keep";
    EXPECT_FALSE(acquireListeningSocket(file));
    std::string content;
    std::ifstream(file) >> content;
    EXPECT_EQ(content, "keep");
}

} // namespace
} // namespace torvane::test
