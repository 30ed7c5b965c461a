#include "helper/platform/linux/SystemLog.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <syslog.h>

namespace torvane {
namespace {

std::mutex& sinkLock() {
    static std::mutex lock;
    return lock;
}

SystemLogSink& currentSink() {
    static SystemLogSink sink;
    return sink;
}

void writeSyslog(const std::string& line) {
    static std::once_flag opened;
    static bool alsoToStderr = false;
    std::call_once(opened, [] {
        // Under systemd, standard error already goes to the journal. Run by
        // hand or by a test, the daemon shows its log there as well, since a
        // machine (or namespace) may have no syslog daemon at all.
        alsoToStderr = std::getenv("JOURNAL_STREAM") == nullptr;
        openlog("torvane-helper", LOG_PID | LOG_NDELAY, LOG_DAEMON);
    });
    syslog(LOG_NOTICE, "%s", line.c_str());
    if (alsoToStderr) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

} // namespace

void systemLog(std::string_view text) {
    std::string line = "TorvaneHelper: ";
    line.append(text);
    // The sink is called under the lock so that replacing it waits for lines
    // in flight; a test's sink must not log again.
    std::lock_guard lock(sinkLock());
    if (currentSink()) {
        currentSink()(line);
        return;
    }
    writeSyslog(line);
}

SystemLogSink setSystemLogSink(SystemLogSink sink) {
    std::lock_guard lock(sinkLock());
    SystemLogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

} // namespace torvane
