#include "tests/fakes/FakeProcessLauncher.h"

#include "helper/process/EngineError.h"

namespace torvane {

namespace {

/// What the code under test owns: forwards to the shared fake child.
class FakeChildHandle final : public ChildProcess {
public:
    explicit FakeChildHandle(std::shared_ptr<FakeChildProcess> child) : m_child(std::move(child)) {}
    ~FakeChildHandle() override { m_child->markReleased(); }

    pid_t pid() const override { return m_child->pid(); }
    bool isRunning() override { return m_child->isRunning(); }
    void terminate() override { m_child->terminate(); }
    void kill() override { m_child->kill(); }
    void waitUntilExit() override { m_child->waitUntilExit(); }
    void stopReadingOutput() override { m_child->stopReadingOutput(); }
    std::optional<int> exitStatus() const override { return m_child->exitStatus(); }

private:
    std::shared_ptr<FakeChildProcess> m_child;
};

} // namespace

void FakeProcessLauncher::failNextLaunch(std::string message) {
    std::lock_guard lock(m_mutex);
    m_failure = std::move(message);
}

void FakeProcessLauncher::setHook(Hook hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

std::vector<std::shared_ptr<FakeChildProcess>> FakeProcessLauncher::children() const {
    std::lock_guard lock(m_mutex);
    return m_children;
}

std::shared_ptr<FakeChildProcess> FakeProcessLauncher::lastChild() const {
    std::lock_guard lock(m_mutex);
    return m_children.empty() ? nullptr : m_children.back();
}

std::size_t FakeProcessLauncher::launchCount() const {
    std::lock_guard lock(m_mutex);
    return m_children.size();
}

std::vector<std::string> FakeProcessLauncher::commandLines() const {
    std::lock_guard lock(m_mutex);
    return m_commandLines;
}

std::unique_ptr<ChildProcess> FakeProcessLauncher::launch(const std::string& path,
                                                          const std::vector<std::string>& args,
                                                          const std::optional<EnvironmentOverlay>&,
                                                          OutputHandler onOutput) {
    std::shared_ptr<FakeChildProcess> child;
    Hook hook;
    {
        std::lock_guard lock(m_mutex);
        std::string line = path;
        for (const auto& arg : args) {
            line += ' ';
            line += arg;
        }
        m_commandLines.push_back(std::move(line));
        if (m_failure) {
            std::string message = std::move(*m_failure);
            m_failure.reset();
            throw EngineError(message);
        }
        child = std::make_shared<FakeChildProcess>(m_nextPid++, std::move(onOutput));
        m_children.push_back(child);
        hook = m_hook;
    }
    if (hook) {
        hook(*child);
    }
    return std::make_unique<FakeChildHandle>(child);
}

} // namespace torvane
