// Sends statusWithReply: over one connection, one request at a time, and
// prints the round-trip latency distribution.
//   torvane-bench-status SOCKET COUNT
#include "shared/protocol/LineFramer.h"
#include "shared/protocol/Request.h"
#include "shared/protocol/ServerMessage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace torvane::protocol;

namespace {

int connectTo(const char* path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    return fd;
}

// Reads until the reply to `id` arrives; callbacks are skipped.
bool awaitReply(int fd, LineFramer& framer, std::int64_t id) {
    char buffer[65536];
    for (;;) {
        while (auto line = framer.nextLine()) {
            const auto message = parseServerMessage(*line);
            if (message && std::holds_alternative<ReplyMessage>(*message) &&
                std::get<ReplyMessage>(*message).id == id) {
                return true;
            }
        }
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0 || !framer.append(std::string_view(buffer, static_cast<std::size_t>(n)))) {
            return false;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: torvane-bench-status SOCKET COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const int fd = connectTo(argv[1]);
    LineFramer framer;
    std::vector<double> milliseconds;
    for (int i = 1; i <= count; ++i) {
        const auto line = encodeRequest(Request{i, HelperCall::status, {}, {}, {}, {}});
        const auto begin = std::chrono::steady_clock::now();
        if (::write(fd, line->data(), line->size()) != static_cast<ssize_t>(line->size()) ||
            !awaitReply(fd, framer, i)) {
            std::fprintf(stderr, "the helper closed the connection\n");
            return 1;
        }
        const std::chrono::duration<double, std::milli> elapsed =
            std::chrono::steady_clock::now() - begin;
        milliseconds.push_back(elapsed.count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    auto at = [&](double q) {
        return milliseconds[std::min(milliseconds.size() - 1,
                                     static_cast<std::size_t>(q * milliseconds.size()))];
    };
    std::printf("statusWithReply: %d requests  p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", count,
                at(0.50), at(0.99), milliseconds.back());
    ::close(fd);
    return 0;
}
