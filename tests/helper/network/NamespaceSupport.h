#pragma once

// Shared setup of the namespace tests that drive the real tools of the
// build tree against a network namespace of their own.
#include "BundleLocator.h"

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <initializer_list>
#include <optional>
#include <sched.h>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace torvane::test {

/// The daemon's build folder, whose tools/ holds route, pfctl and the rest.
inline std::string helperDirectory() {
    if (const char* fromEnvironment = std::getenv("TORVANE_HELPER_DIR")) {
        return fromEnvironment;
    }
    return TORVANE_HELPER_DIR;
}

inline std::optional<std::string> firstProgram(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        if (isExecutableFile(path)) {
            return path;
        }
    }
    return std::nullopt;
}

inline std::optional<std::string> ipProgram() {
    return firstProgram({"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"});
}

/// Runs `work` with this thread inside the named namespace, so a tool the
/// runner spawns from it changes that namespace only.
inline void inNamespace(const std::string& name, const std::function<void()>& work) {
    const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(home, 0);
    ASSERT_GE(target, 0);
    const bool entered = setns(target, CLONE_NEWNET) == 0;
    close(target);
    if (entered) {
        work();
    } else {
        ADD_FAILURE() << "could not enter " << name;
    }
    if (entered && setns(home, CLONE_NEWNET) != 0) {
        std::abort(); // never go on in the wrong namespace
    }
    close(home);
}

} // namespace torvane::test
