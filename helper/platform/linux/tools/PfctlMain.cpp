// pfctl: the kill switch's packet filter, with the command lines and output
// of the BSD tool the daemon was written against, on nftables. The ruleset
// becomes one table of our own, replaced in one transaction; "-E"/"-X" hand
// out and take back enable tokens, recorded as files so that a token stays
// valid across runs. Exit status: 0 success, 1 failure, 2 bad arguments.
#include "PfctlCommand.h"
#include "PfctlRuleset.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <netdb.h>
#include <nftables/libnftables.h>
#include <sstream>
#include <string>
#include <sys/random.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

using namespace torvane;
using namespace torvane::tools;

constexpr int kFailure = 1;
constexpr int kUsage = 2;
// The daemon's rulesets are a few hundred bytes; anything near this is not one.
constexpr std::streamsize kMaxRulesetBytes = 1 << 20;
constexpr const char* kDefaultTokenDir = "/run/torvane/pfctl-tokens";

int fail(const std::string& message) {
    std::cerr << "pfctl: " << message << '\n';
    return kFailure;
}

// Tests point the token records elsewhere; the daemon never sets this.
std::string tokenDirectory() {
    const char* overridden = std::getenv("TORVANE_PFCTL_TOKEN_DIR");
    return overridden && *overridden ? overridden : kDefaultTokenDir;
}

Expected<std::vector<std::string>, std::string> resolveGateway(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        return Unexpected{"cannot resolve " + host + ": " + gai_strerror(rc)};
    }
    std::vector<std::string> addresses;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        char text[NI_MAXHOST];
        if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0,
                        NI_NUMERICHOST) == 0) {
            bool seen = false;
            for (const auto& address : addresses) {
                seen = seen || address == text;
            }
            if (!seen) {
                addresses.emplace_back(text);
            }
        }
    }
    freeaddrinfo(found);
    return addresses;
}

int runNft(const std::string& script) {
    nft_ctx* context = nft_ctx_new(NFT_CTX_DEFAULT);
    if (!context) {
        return fail("cannot create an nftables context");
    }
    nft_ctx_buffer_output(context);
    nft_ctx_buffer_error(context);
    const int rc = nft_run_cmd_from_buffer(context, script.c_str());
    std::string error = rc != 0 ? nft_ctx_get_error_buffer(context) : "";
    nft_ctx_free(context);
    if (rc != 0) {
        while (!error.empty() && (error.back() == '\n' || error.back() == ' ')) {
            error.pop_back();
        }
        return fail("nftables refused the ruleset: " + error);
    }
    return 0;
}

int load(const PfctlCommand& command) {
    std::ifstream file(command.file, std::ios::binary);
    if (!file) {
        return fail(command.file + ": " + std::strerror(errno));
    }
    std::string text(static_cast<std::size_t>(kMaxRulesetBytes) + 1, '\0');
    file.read(text.data(), kMaxRulesetBytes + 1);
    if (file.bad()) {
        return fail(command.file + ": read error");
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (static_cast<std::streamsize>(text.size()) > kMaxRulesetBytes) {
        return fail(command.file + ": too large for a ruleset");
    }
    const auto script = translateRuleset(text, resolveGateway);
    if (!script) {
        return fail(command.file + ": " + script.error());
    }
    return runNft(*script);
}

int enable() {
    const std::string directory = tokenDirectory();
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        return fail("cannot create " + directory + ": " + error.message());
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::uint64_t value = 0;
        if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
            return fail(std::string("no random token: ") + std::strerror(errno));
        }
        value %= 10000000000000000000ULL; // at most 19 digits
        if (value == 0) {
            continue;
        }
        const std::string token = std::to_string(value);
        const std::string path = directory + "/" + token;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return fail("cannot record token in " + directory + ": " + std::strerror(errno));
        }
        close(fd);
        std::cout << "pf enabled\nToken : " << token << '\n';
        return 0;
    }
    return fail("cannot find a free token");
}

int release(const PfctlCommand& command) {
    const std::string path = tokenDirectory() + "/" + command.token;
    if (unlink(path.c_str()) != 0) {
        if (errno == ENOENT) {
            return fail("token " + command.token + " is not held");
        }
        return fail("cannot release token " + command.token + ": " + std::strerror(errno));
    }
    return 0;
}

int run(const std::vector<std::string>& args) {
    const auto command = parsePfctlArguments(args);
    if (!command) {
        std::cerr << "pfctl: " << command.error() << '\n' << pfctlUsage();
        return kUsage;
    }
    switch (command->action) {
    case PfctlAction::load:
        return load(*command);
    case PfctlAction::enable:
        return enable();
    case PfctlAction::release:
        return release(*command);
    case PfctlAction::flush:
        return runNft(deleteTableScript());
    }
    return kUsage;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
