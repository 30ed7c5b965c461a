#include "helper/platform/linux/PeerTrust.h"

#include "tests/helper/platform/linux/TestSupport.h"

#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace torvane::test {
namespace {

namespace fs = std::filesystem;

/// A program started for a test, killed and reaped at the end.
class Child {
public:
    Child(const fs::path& program, const char* argument) {
        std::string path = program.string();
        std::string arg = argument;
        char* argv[] = {path.data(), arg.data(), nullptr};
        if (::posix_spawn(&m_pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) {
            m_pid = -1;
        }
    }
    ~Child() { reap(); }
    pid_t pid() const { return m_pid; }
    void reap() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

/// A copy of `source` at `dir/name` with `mode`, owned by root.
fs::path copyProgram(const fs::path& source, const fs::path& dir, const char* name) {
    const auto copy = dir / name;
    fs::copy_file(source, copy);
    ::chmod(copy.c_str(), 0755);
    return copy;
}

bool root() {
    return ::geteuid() == 0;
}

// Served and refused clients over a real socket, a trusted path given
// through a symbolic link among them, are the socket activation scenario's.
TEST(PeerTrustTest, RefusesAPidBelowOneWithoutLookingFurther) {
    const PeerTrust trust({selfExecutable()});
    for (const pid_t pid : {0, -1}) {
        const auto verdict = trust.checkProcess(pid);
        EXPECT_FALSE(verdict.trusted);
        EXPECT_EQ(verdict.pid, pid);
    }
}

TEST(PeerTrustTest, RefusesAProgramThatSomeoneButRootCouldHaveReplaced) {
    if (!root()) {
        GTEST_SKIP() << "needs root to make root-owned copies of a program";
    }
    TempDir dir;
    const auto program = copyProgram("/bin/sleep", dir.path(), "tve-client");
    const Child child(program, "60");
    ASSERT_GT(child.pid(), 0);
    const PeerTrust trust({program.string()});

    // The checks look at the running program's file as it is now. A
    // group-writable or foreign-owned client is refused end to end by the
    // socket activation test; others' write bits are checked here.
    EXPECT_TRUE(trust.checkProcess(child.pid()).trusted);
    for (const mode_t mode : {0757, 0766}) {
        ::chmod(program.c_str(), mode);
        EXPECT_FALSE(trust.checkProcess(child.pid()).trusted) << std::oct << mode;
    }
    ::chmod(program.c_str(), 0755);
    EXPECT_TRUE(trust.checkProcess(child.pid()).trusted);

    // A package upgrade replaces the file under the running client: it
    // still runs root's old, unlinked file from the trusted path.
    fs::remove(program);
    copyProgram("/bin/sleep", dir.path(), "tve-client");
    EXPECT_TRUE(trust.checkProcess(child.pid()).trusted);
    // Not so a deleted program that others could have written, or one that
    // ran from anywhere else.
    const auto loose = copyProgram("/bin/sleep", dir.path(), "tve-loose");
    ::chmod(loose.c_str(), 0757);
    const Child looseChild(loose, "60");
    ASSERT_GT(looseChild.pid(), 0);
    fs::remove(loose);
    copyProgram("/bin/sleep", dir.path(), "tve-loose");
    EXPECT_FALSE(PeerTrust({loose.string()}).checkProcess(looseChild.pid()).trusted);
    const auto other = copyProgram("/bin/sleep", dir.path(), "tve-other");
    const Child otherChild(other, "60");
    ASSERT_GT(otherChild.pid(), 0);
    fs::remove(other);
    EXPECT_FALSE(trust.checkProcess(otherChild.pid()).trusted);
}

TEST(PeerTrustTest, APidThatNoLongerNamesThePeerIsRefused) {
    if (!root()) {
        GTEST_SKIP() << "needs root to make root-owned copies of a program";
    }
    TempDir dir;
    const auto program = copyProgram("/bin/sleep", dir.path(), "tve-client");
    const PeerTrust trust({program.string()});
    Child peer(program, "60");
    const Child successor(program, "60");
    ASSERT_GT(peer.pid(), 0);
    ASSERT_GT(successor.pid(), 0);

    const int peerPidfd = static_cast<int>(::syscall(SYS_pidfd_open, peer.pid(), 0));
    ASSERT_GE(peerPidfd, 0);
    const pid_t gone = peer.pid();
    peer.reap();

    // As if the peer's pid had been handed to `successor`: the executable
    // read through the pid is trusted, but the pidfd shows the peer is dead.
    EXPECT_FALSE(trust.checkProcess(successor.pid(), peerPidfd).trusted);
    EXPECT_TRUE(trust.checkProcess(successor.pid()).trusted);
    EXPECT_FALSE(trust.checkProcess(gone).trusted);
    ::close(peerPidfd);

    // An exited but unreaped process has no executable left to check.
    const Child brief(program, "0");
    ASSERT_GT(brief.pid(), 0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(brief.pid()), &info, WEXITED | WNOWAIT), 0);
    EXPECT_FALSE(trust.checkProcess(brief.pid()).trusted);
}

} // namespace
} // namespace torvane::test
