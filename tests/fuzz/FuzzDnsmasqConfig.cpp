// The check of the proxy's configuration against dnsmasq's own reader.
// When the check accepts a text T, dnsmasq must see exactly the directives
// the check saw. Both T and C, the canonical text of the directives the
// check saw (one "name=value" line each), get a sentinel line dnsmasq does
// not know; `dnsmasq --test` then stops at its first error in each. That
// error must fall on the same directive (or on the sentinel) with the same
// message in both: a line dnsmasq read that the check did not see as a
// directive shows up as an error on a non-directive line, a line count that
// overshoots the sentinel (a line split in two), or a different verdict.
//
// dnsmasq is TORVANE_FUZZ_DNSMASQ or /usr/sbin/dnsmasq; without it only the
// check runs. It runs without a network, and as nobody when the fuzzer runs
// as root, since a text the check misread may make it run a program.
#include "helper/network/DnsmasqConfig.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <optional>
#include <sched.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr std::string_view kUpstream = "/run/torvane/run/upstream.resolv.conf";
constexpr std::string_view kSentinel = "torvane-fuzz-sentinel\n";

/// In dnsmasq's child, before it starts: a network namespace of its own,
/// whose loopback is down (dnsmasq looks up names it finds in server=
/// values, and those queries must not leave the sandbox), and, for root, the
/// user nobody.
bool enterSandbox() {
    if (::geteuid() != 0) {
        return ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
    }
    return ::unshare(CLONE_NEWNET) == 0 && ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 &&
           ::setuid(65534) == 0;
}

bool sandboxWorks() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(enterSandbox() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

/// The dnsmasq to compare with; empty when there is none or it cannot be
/// sandboxed.
const std::string& dnsmasqPath() {
    static const std::string path = [] {
        const char* given = std::getenv("TORVANE_FUZZ_DNSMASQ");
        std::string dnsmasq = given ? given : "/usr/sbin/dnsmasq";
        if (::access(dnsmasq.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "%s not found: checking without dnsmasq\n", dnsmasq.c_str());
            dnsmasq.clear();
        } else if (!sandboxWorks()) {
            std::fprintf(stderr, "no network namespace for dnsmasq: checking without it\n");
            dnsmasq.clear();
        }
        return dnsmasq;
    }();
    return path;
}

/// `dnsmasq --test` on `text`: its merged output.
std::string dnsmasqVerdict(std::string_view text) {
    // A private directory each time (readable by nobody), removed at once.
    char dir[] = "/tmp/torvane-fuzz-dnsmasq.XXXXXX";
    if (!::mkdtemp(dir) || ::chmod(dir, 0755) != 0) {
        std::abort();
    }
    const std::string file = std::string(dir) + "/dnsmasq.conf";
    if (!(std::ofstream(file, std::ios::binary) << text)) {
        std::abort();
    }
    const std::string conf = "--conf-file=" + file;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        std::abort();
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::abort();
    }
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        if (!enterSandbox()) {
            ::_exit(126);
        }
        // A minute of CPU is far beyond a parse: dnsmasq is reading something
        // endless (a device) that the check let through. It handles SIGALRM
        // itself, so it is stopped by this limit instead.
        const rlimit cpu{60, 61};
        ::setrlimit(RLIMIT_CPU, &cpu);
        char* const argv[] = {const_cast<char*>(dnsmasqPath().c_str()), const_cast<char*>("--test"),
                              const_cast<char*>(conf.c_str()), nullptr};
        char* const envp[] = {const_cast<char*>("LC_ALL=C"), nullptr};
        ::execve(argv[0], argv, envp);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            break;
        }
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::unlink(file.c_str());
    ::rmdir(dir);
    if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) >= 126)) {
        std::fprintf(stderr, "dnsmasq --test did not finish (status %d): %s\n", status,
                     output.c_str());
        std::abort();
    }
    return output;
}

struct StopPoint {
    std::size_t line = 0; ///< 0: dnsmasq named no line
    std::string message;
};

/// dnsmasq's "MESSAGE at line N of FILE".
StopPoint stopPoint(const std::string& output) {
    StopPoint stop;
    const std::size_t at = output.rfind(" at line ");
    if (at == std::string::npos) {
        stop.message = output;
        return stop;
    }
    stop.message = output.substr(0, at);
    stop.line = std::strtoul(output.c_str() + at + 9, nullptr, 10);
    return stop;
}

[[noreturn]] void disagree(const char* what, const StopPoint& t, const StopPoint& c) {
    std::fprintf(stderr,
                 "dnsmasq and the check disagree: %s\n"
                 "  on the text:      line %zu: %s\n  on the canonical: line %zu: %s\n",
                 what, t.line, t.message.c_str(), c.line, c.message.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto check = torvane::checkDnsmasqConfig(text, kUpstream);
    if (check.refusal || dnsmasqPath().empty()) {
        return 0;
    }

    std::string original(text);
    if (!original.empty() && original.back() != '\n') {
        original += '\n';
    }
    std::size_t lines = 0;
    for (const char c : original) {
        lines += c == '\n';
    }
    original += kSentinel;
    std::string canonical;
    for (const auto& directive : check.directives) {
        canonical += directive.name;
        if (directive.value) {
            canonical += "=" + *directive.value;
        }
        canonical += "\n";
    }
    canonical += kSentinel;

    const StopPoint t = stopPoint(dnsmasqVerdict(original));
    const StopPoint c = stopPoint(dnsmasqVerdict(canonical));
    if (t.line == 0 || c.line == 0) {
        // Every parse ends at the sentinel at the latest.
        disagree("dnsmasq named no line", t, c);
    }
    // The directive (index in check.directives) each run stopped at; the
    // sentinel counts as one past the last.
    std::optional<std::size_t> tIndex;
    if (t.line == lines + 1) {
        tIndex = check.directives.size();
    }
    for (std::size_t i = 0; i < check.directives.size(); ++i) {
        if (check.directives[i].line == t.line) {
            tIndex = i;
        }
    }
    if (!tIndex) {
        disagree("dnsmasq stopped on a line the check saw no directive on", t, c);
    }
    if (*tIndex != c.line - 1 || t.message != c.message) {
        disagree("dnsmasq stopped at another directive or for another reason", t, c);
    }
    return 0;
}
