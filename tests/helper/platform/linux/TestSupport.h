#pragma once

#include "helper/network/DnsProxyControl.h"
#include "helper/network/DynamicStore.h"
#include "helper/platform/linux/SystemLog.h"

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace torvane::test {

/// The canonical path of the running test program, the trusted client of
/// these tests.
std::string selfExecutable();

/// The trust check only passes a root-owned program that group and others
/// cannot write; a build by another user cannot run the trusted-client tests.
bool selfExecutableTrustable();

#define SKIP_UNLESS_SELF_TRUSTABLE()                                                               \
    if (!::torvane::test::selfExecutableTrustable())                                               \
    GTEST_SKIP() << "the test program must be owned by root and not writable by group or "         \
                    "others to pass the trust check (build and run as root)"

/// Captures every systemLog() line for the life of the object.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> lines() const;
    bool contains(const std::string& line) const;

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    SystemLogSink m_previous;
};

/// The whole file's bytes; empty when it cannot be read.
std::string readAll(const std::filesystem::path& path);

/// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

/// Collects what a store posts and runs it when asked, as the engine queue
/// would.
class PostedJobs {
public:
    DynamicStore::PostFunction post();
    /// Runs posted jobs until `predicate` holds; false if it never does
    /// within a generous bound (nothing else should be this slow).
    bool runUntil(const std::function<bool()>& predicate);

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_jobs;
};

/// A DNS override without a local proxy: the store tests exercise the
/// override's writes, never dnsmasq.
struct NoDnsProxy final : DnsProxyControl {
    bool isRunning() const override { return false; }
    std::optional<Uuid> ownerID() const override { return std::nullopt; }
    void setOwnerID(std::optional<Uuid>) override {}
    void startDnsmasq(const VPNProfile&, const std::vector<std::string>&) override {}
    void stopDnsmasq() override {}
};

} // namespace torvane::test
