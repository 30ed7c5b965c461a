#include "tests/fakes/core/HelperTestBed.h"

#include "Torvane/core/AppLog.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <QSettings>

namespace torvane::testing {
namespace {

std::string makeFolder() {
    std::string pattern = "/tmp/torvane-helper-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    return pattern;
}

} // namespace

struct HelperTestBed::LogCapture {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
};

HelperTestBed::HelperTestBed()
    : folder(makeFolder()), socketPath(folder + "/helper.sock"),
      executablePath(folder + "/torvane-helper"), settingsPath(folder + "/Torvane.conf"),
      daemon(socketPath), m_log(std::make_shared<LogCapture>()) {
    std::ofstream(executablePath) << "daemon";
    touchHelperExecutable(1'700'000'000);
    setAppSystemLogSink([log = m_log](std::string_view line) {
        std::lock_guard lock(log->mutex);
        log->lines.emplace_back(line);
    });
}

HelperTestBed::~HelperTestBed() {
    m_helper.reset();
    setAppSystemLogSink({});
    std::string command = "rm -rf '" + folder + "'";
    [[maybe_unused]] const int status = std::system(command.c_str());
}

DaemonClient& HelperTestBed::helper() {
    if (!m_helper) {
        m_helper = std::make_unique<DaemonClient>(DaemonClient::Dependencies{
            .registry = registry,
            .clock = clock,
            .socketPath = socketPath,
            .helperExecutable = executablePath,
            .openSettings =
                [path = settingsPath] {
                    return std::make_unique<QSettings>(QString::fromStdString(path),
                                                       QSettings::IniFormat);
                },
        });
    }
    return *m_helper;
}

std::vector<std::string> HelperTestBed::log() const {
    std::lock_guard lock(m_log->mutex);
    return m_log->lines;
}

std::vector<std::string> HelperTestBed::logContaining(std::string_view text) const {
    std::vector<std::string> found;
    for (const auto& line : log()) {
        if (line.find(text) != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

bool HelperTestBed::fireWhenStarted(double seconds) {
    for (int i = 0; i < 1000; ++i) {
        for (const auto& timer : clock->startedTimers()) {
            if (timer.delay == seconds) {
                clock->advance(Clock::Duration(seconds));
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void HelperTestBed::touchHelperExecutable(long seconds) {
    const timespec times[2] = {{seconds, 250'000'000}, {seconds, 250'000'000}};
    ::utimensat(AT_FDCWD, executablePath.c_str(), times, 0);
}

double HelperTestBed::storedMtime() const {
    return QSettings(QString::fromStdString(settingsPath), QSettings::IniFormat)
        .value(DaemonClient::kMtimeKey, 0.0)
        .toDouble();
}

} // namespace torvane::testing
