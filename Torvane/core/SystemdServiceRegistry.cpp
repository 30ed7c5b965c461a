#include "Torvane/core/SystemdServiceRegistry.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

namespace torvane {
namespace {

// pkexec's own exit statuses: the user dismissed the authorization dialog,
// or was not authorized (or no authorization agent could ask).
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::string commandText(const std::vector<std::string>& arguments) {
    std::string text;
    for (const auto& argument : arguments) {
        text += (text.empty() ? "" : " ") + argument;
    }
    return text;
}

// The control program runs as root once authorized; one that another user
// could have rewritten is not run at all.
bool isUsableControlProgram(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
           ::access(path.c_str(), X_OK) == 0;
}

} // namespace

SystemdServiceRegistry::SystemdServiceRegistry(std::shared_ptr<ServiceCommandRunner> runner,
                                               std::function<bool()> isRoot,
                                               std::optional<std::string> controlProgram)
    : m_runner(std::move(runner)), m_isRoot(std::move(isRoot)),
      m_controlProgram(controlProgram ? std::move(*controlProgram) : installedControlProgram()) {
    if (!m_isRoot) {
        m_isRoot = [] {
            return ::geteuid() == 0;
        };
    }
}

std::string SystemdServiceRegistry::installedControlProgram() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (program.parent_path() / ".." / "lib" / "torvane" / "torvane-helper-control")
        .lexically_normal()
        .string();
}

std::optional<std::string>
SystemdServiceRegistry::runPrivileged(const std::string& operation,
                                      const std::vector<std::string>& systemctlArguments) {
    const bool root = m_isRoot();
    std::vector<std::string> arguments = systemctlArguments;
    if (isUsableControlProgram(m_controlProgram)) {
        arguments = {m_controlProgram, operation};
    }
    std::vector<std::string> command;
    if (!root) {
        command.emplace_back("pkexec");
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    const auto result = m_runner->run(command);
    std::lock_guard lock(m_mutex);
    if (result.exitStatus == 0) {
        m_approvalPending = false;
        return std::nullopt;
    }
    if (!root &&
        (result.exitStatus == kPkexecDismissed || result.exitStatus == kPkexecNotAuthorized)) {
        m_approvalPending = true;
        return "authorization to run " + commandText(arguments) + " was not granted" +
               (result.output.empty() ? "" : ": " + firstLine(result.output));
    }
    // Authorized after all (or root): whatever failed, nobody waits for
    // approval any more.
    m_approvalPending = false;
    return commandText(arguments) + " failed (exit status " + std::to_string(result.exitStatus) +
           ")" + (result.output.empty() ? "" : ": " + firstLine(result.output));
}

std::optional<std::string> SystemdServiceRegistry::registerDaemon() {
    // Registering is done at every app start; when the socket is already
    // enabled and listening there is nothing to do, and asking for a password
    // anyway would be a needless prompt on every start.
    const auto active = m_runner->run({"systemctl", "is-active", kSocketUnit});
    if (status() == ServiceStatus::enabled && firstLine(active.output) == "active") {
        return std::nullopt;
    }
    return runPrivileged("enable", {"systemctl", "enable", "--now", kSocketUnit});
}

std::optional<std::string> SystemdServiceRegistry::unregister() {
    // The service too, so that a running (possibly stale) daemon stops now
    // rather than when it next exits.
    return runPrivileged("disable", {"systemctl", "disable", "--now", kSocketUnit, kServiceUnit});
}

ServiceStatus SystemdServiceRegistry::status() {
    const auto result = m_runner->run({"systemctl", "is-enabled", kSocketUnit});
    const std::string state = firstLine(result.output);
    if (state == "enabled" || state == "enabled-runtime" || state == "static" ||
        state == "generated" || state == "transient" || state == "alias") {
        return ServiceStatus::enabled;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_approvalPending) {
            return ServiceStatus::requiresApproval;
        }
    }
    // systemctl that cannot be run at all means there is no service manager
    // to find the daemon in.
    if (state == "not-found" || result.exitStatus == 127 ||
        result.output.find("No such file or directory") != std::string::npos ||
        result.output.find("does not exist") != std::string::npos) {
        return ServiceStatus::notFound;
    }
    return ServiceStatus::notRegistered;
}

namespace {

std::mutex approvalPresenterMutex;
std::function<void(const std::string&)> approvalPresenter;

} // namespace

void SystemdServiceRegistry::setApprovalPresenter(std::function<void(const std::string&)> show) {
    std::lock_guard lock(approvalPresenterMutex);
    approvalPresenter = std::move(show);
}

void SystemdServiceRegistry::openApprovalSettings() {
    const std::string instructions = approvalInstructions();
    std::fprintf(stderr, "%s\n", instructions.c_str());
    std::function<void(const std::string&)> show;
    {
        std::lock_guard lock(approvalPresenterMutex);
        show = approvalPresenter;
    }
    if (show) {
        show(instructions);
    }
}

std::optional<long> SystemdServiceRegistry::daemonProcessId() {
    const auto result =
        m_runner->run({"systemctl", "show", "--property=MainPID", "--value", kServiceUnit});
    if (result.exitStatus != 0) {
        return std::nullopt;
    }
    const std::string text = firstLine(result.output);
    long pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc{} || end != text.data() + text.size() || pid < 0) {
        return std::nullopt;
    }
    return pid;
}

std::string SystemdServiceRegistry::approvalInstructions() {
    return QCoreApplication::translate("SystemdServiceRegistry",
                                       "The Torvane helper is not enabled. Enable it as an "
                                       "administrator with:\n"
                                       "    sudo systemctl enable --now torvane-helper.socket")
        .toStdString();
}

} // namespace torvane
