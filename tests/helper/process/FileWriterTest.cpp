#include "helper/process/FileWriter.h"

#include "helper/process/EngineError.h"

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
    void TearDown() override { fs::remove_all(m_folder); }

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

TEST_F(FileWriterTest, WritesAndReplacesWithExactModeWhateverTheUmask) {
    const auto path = m_folder / "swanctl.conf";
    const mode_t previous = ::umask(0077);
    writeFile("a much longer first version\n", path.string(), 0644);
    EXPECT_EQ(modeOf(path), 0644u);
    ::umask(0000);
    writeFile("short", path.string(), 0600);
    ::umask(previous);
    EXPECT_EQ(contents(path), "short");
    EXPECT_EQ(modeOf(path), 0600u);
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

TEST_F(FileWriterTest, AFailedWriteThrowsAndLeavesNothing) {
    const auto path = (m_folder / "missing" / "file.conf").string();
    EXPECT_THAT(
        [&] { writeFile("x", path, 0600); },
        ::testing::ThrowsMessage<EngineError>(::testing::AllOf(
            StartsWith("could not write " + path + ": "), HasSubstr("No such file or directory"))));
    // A directory in the way: the temporary file is written, the rename fails.
    fs::create_directories(m_folder / "taken" / "child");
    EXPECT_THROW(writeFile("x", (m_folder / "taken").string(), 0600), EngineError);
    EXPECT_EQ(entries(), (std::vector<std::string>{"taken"}));
    // Root ignores permission bits; a read-only file system stands in.
    EXPECT_THROW(writeFile("x", "/proc/torvane-writer-test", 0600), EngineError);
}

} // namespace
} // namespace torvane
