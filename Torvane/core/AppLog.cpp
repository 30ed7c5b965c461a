#include "Torvane/core/AppLog.h"

#include <mutex>
#include <string>
#include <syslog.h>

namespace torvane {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(std::string_view)>& sink() {
    static std::function<void(std::string_view)> function;
    return function;
}

} // namespace

void appSystemLog(std::string_view text) {
    {
        std::lock_guard lock(sinkMutex());
        if (sink()) {
            sink()(text);
            return;
        }
    }
    const std::string line(text);
    syslog(LOG_NOTICE, "%s", line.c_str());
}

void setAppSystemLogSink(std::function<void(std::string_view)> function) {
    std::lock_guard lock(sinkMutex());
    sink() = std::move(function);
}

} // namespace torvane
