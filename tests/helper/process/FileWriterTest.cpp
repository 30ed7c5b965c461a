#include "FileWriter.h"

#include "EngineError.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class FileWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / ("torvane-writer-" + std::to_string(::getpid()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override {
        ::chmod(m_folder.c_str(), 0700);
        fs::remove_all(m_folder);
    }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static mode_t modeOf(const fs::path& path) {
        struct stat info {};
        EXPECT_EQ(::lstat(path.c_str(), &info), 0);
        return info.st_mode & 07777;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_folder;
};

TEST_F(FileWriterTest, WritesTextWithExactMode) {
    // The umask must not widen or narrow the requested mode.
    const mode_t previous = ::umask(0077);
    writeFile("charon {\n}", (m_folder / "strongswan.conf").string(), 0644);
    ::umask(0000);
    writeFile("secret", (m_folder / "client.key").string(), 0600);
    ::umask(previous);

    EXPECT_EQ(contents(m_folder / "strongswan.conf"), "charon {\n}");
    EXPECT_EQ(modeOf(m_folder / "strongswan.conf"), 0644u);
    EXPECT_EQ(contents(m_folder / "client.key"), "secret");
    EXPECT_EQ(modeOf(m_folder / "client.key"), 0600u);
    EXPECT_EQ(entries(), (std::vector<std::string>{"client.key", "strongswan.conf"}));
}

TEST_F(FileWriterTest, ReplacesAnExistingFileAndItsMode) {
    const auto path = m_folder / "swanctl.conf";
    writeFile("a much longer first version\n", path.string(), 0644);
    writeFile("short", path.string(), 0600);
    EXPECT_EQ(contents(path), "short");
    EXPECT_EQ(modeOf(path), 0600u);
    writeFile("", path.string(), 0600);
    EXPECT_EQ(contents(path), "");
    EXPECT_EQ(entries(), (std::vector<std::string>{"swanctl.conf"}));
}

TEST_F(FileWriterTest, ReplacesASymlinkInsteadOfWritingThroughIt) {
    const auto target = m_folder / "elsewhere";
    std::ofstream(target) << "untouched";
    ::chmod(target.c_str(), 0644);
    fs::create_symlink(target, m_folder / "link");

    writeFile("new", (m_folder / "link").string(), 0600);
    EXPECT_FALSE(fs::is_symlink(m_folder / "link"));
    EXPECT_EQ(contents(m_folder / "link"), "new");
    EXPECT_EQ(contents(target), "untouched");
    EXPECT_EQ(modeOf(target), 0644u);
}

TEST_F(FileWriterTest, MissingFolderThrowsAndLeavesNothing) {
    const auto path = (m_folder / "missing" / "file.conf").string();
    EXPECT_THAT(
        [&] { writeFile("x", path, 0600); },
        ::testing::ThrowsMessage<EngineError>(::testing::AllOf(
            StartsWith("could not write " + path + ": "), HasSubstr("No such file or directory"))));
    EXPECT_TRUE(entries().empty());
}

TEST_F(FileWriterTest, FailedRenameRemovesTheTemporaryFile) {
    // A directory in the way: the temporary file is written, the rename fails.
    fs::create_directories(m_folder / "taken" / "child");
    EXPECT_THROW(writeFile("x", (m_folder / "taken").string(), 0600), EngineError);
    EXPECT_EQ(entries(), (std::vector<std::string>{"taken"}));
}

TEST_F(FileWriterTest, UnwritableFolderThrowsAndLeavesNothing) {
    if (::geteuid() == 0) {
        // Root ignores permission bits; a read-only file system stands in.
        EXPECT_THROW(writeFile("x", "/proc/torvane-writer-test", 0600), EngineError);
        return;
    }
    ::chmod(m_folder.c_str(), 0500);
    EXPECT_THROW(writeFile("x", (m_folder / "file").string(), 0600), EngineError);
    ::chmod(m_folder.c_str(), 0700);
    EXPECT_TRUE(entries().empty());
}

} // namespace
} // namespace torvane
