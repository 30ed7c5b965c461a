#include "tests/helper/platform/linux/TestSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace torvane::test {

std::string selfExecutable() {
    return std::filesystem::canonical("/proc/self/exe").string();
}

bool selfExecutableTrustable() {
    struct stat st {};
    return ::stat(selfExecutable().c_str(), &st) == 0 && st.st_uid == 0 &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

LogCapture::LogCapture() {
    m_previous = setSystemLogSink([this](std::string_view line) {
        std::lock_guard lock(m_lock);
        m_lines.emplace_back(line);
    });
}

LogCapture::~LogCapture() {
    setSystemLogSink(std::move(m_previous));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(m_lock);
    return m_lines;
}

bool LogCapture::contains(const std::string& line) const {
    const auto all = lines();
    return std::find(all.begin(), all.end(), line) != all.end();
}

std::string readAll(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tve-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        m_path = pattern;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

DynamicStore::PostFunction PostedJobs::post() {
    return [this](std::function<void()> job) {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
        m_ready.notify_all();
    };
}

bool PostedJobs::runUntil(const std::function<bool()>& predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!predicate()) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            if (!m_ready.wait_until(lock, deadline, [&] { return !m_jobs.empty(); })) {
                return false;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
    return true;
}

} // namespace torvane::test
