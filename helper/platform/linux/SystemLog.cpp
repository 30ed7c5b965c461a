#include "SystemLog.h"

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
    std::call_once(opened, [] { openlog("torvane-helper", LOG_PID | LOG_NDELAY, LOG_DAEMON); });
    syslog(LOG_NOTICE, "%s", line.c_str());
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
