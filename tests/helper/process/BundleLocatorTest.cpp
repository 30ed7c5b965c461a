#include "helper/process/BundleLocator.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(IsExecutableFile, OnlyRegularExecutableFiles) {
    const auto folder = std::filesystem::temp_directory_path() / "torvane-locator-test";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto plain = folder / "plain";
    std::ofstream(plain) << "#!/bin/sh\n";
    ::chmod(plain.c_str(), 0644);
    const auto program = folder / "program";
    std::ofstream(program) << "#!/bin/sh\n";
    ::chmod(program.c_str(), 0755);
    std::filesystem::create_symlink(program, folder / "link");

    EXPECT_FALSE(isExecutableFile(plain.string()));
    EXPECT_TRUE(isExecutableFile(program.string()));
    EXPECT_TRUE(isExecutableFile((folder / "link").string()));
    EXPECT_FALSE(isExecutableFile(folder.string()));
    EXPECT_FALSE(isExecutableFile((folder / "missing").string()));
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace torvane
