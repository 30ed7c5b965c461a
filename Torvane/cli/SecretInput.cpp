#include "Torvane/cli/SecretInput.h"

#include "Torvane/cli/Translated.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace torvane::cli {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

extern "C" void ignoreSignal(int) {}

/// While a prompt reads with echo off, Ctrl-C must end the read, not the
/// program, or the terminal would be left without echo.
class InterruptibleRead {
public:
    InterruptibleRead() {
        struct sigaction action {};
        action.sa_handler = ignoreSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: the read returns EINTR
        ::sigaction(SIGINT, &action, &m_savedInt);
        ::sigaction(SIGTERM, &action, &m_savedTerm);
    }
    InterruptibleRead(const InterruptibleRead&) = delete;
    InterruptibleRead& operator=(const InterruptibleRead&) = delete;
    ~InterruptibleRead() {
        ::sigaction(SIGINT, &m_savedInt, nullptr);
        ::sigaction(SIGTERM, &m_savedTerm, nullptr);
    }

private:
    struct sigaction m_savedInt {};
    struct sigaction m_savedTerm {};
};

std::string failure(const std::string& path, int error) {
    return fill(QCoreApplication::translate("torvanectl", "cannot read %1: %2"), path,
                std::string(std::strerror(error)));
}

} // namespace

Expected<std::string, std::string> readInputFile(const std::string& path) {
    // Read through one descriptor, so the size check and the read see the
    // same file; a pipe or process substitution (no size) is read up to the
    // limit.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return Unexpected{failure(path, errno)};
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return Unexpected{failure(path, errno)};
    }
    if (S_ISDIR(info.st_mode)) {
        return Unexpected{fill(
            QCoreApplication::translate("torvanectl", "cannot read %1: it is a directory"), path)};
    }
    std::string data;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Unexpected{failure(path, errno)};
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > kMaxInputFileSize) {
            return Unexpected{
                fill(QCoreApplication::translate("torvanectl", "%1 is larger than %2 bytes"), path,
                     std::to_string(kMaxInputFileSize))};
        }
    }
    return data;
}

Expected<std::string, std::string> readSecretFile(const std::string& path) {
    auto data = readInputFile(path);
    if (!data) {
        return data;
    }
    std::string line = std::move(*data);
    if (const auto end = line.find('\n'); end != std::string::npos) {
        line.resize(end);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        return Unexpected{fill(QCoreApplication::translate("torvanectl", "%1 is empty"), path)};
    }
    return line;
}

bool stdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readHiddenLine(const std::string& prompt) {
    return readLine(prompt, true);
}

std::optional<std::string> readLine(const std::string& prompt, bool hidden) {
    const InterruptibleRead interruptible;
    termios saved{};
    const bool terminal = hidden && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    (void)!::write(STDERR_FILENO, prompt.data(), prompt.size());

    std::string line;
    bool complete = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0) {
            // End of input, or a signal (Ctrl-C) interrupted the read.
            break;
        }
        if (c == '\n') {
            complete = true;
            break;
        }
        line.push_back(c);
    }
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    if (!complete) {
        if (stdinIsTerminal()) {
            (void)!::write(STDERR_FILENO, "\n", 1);
        }
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace torvane::cli
