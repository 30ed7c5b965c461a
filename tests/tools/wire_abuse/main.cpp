// torvane-wire-abuse: sends malformed and oversized wire messages to the
// helper's command socket, one message per connection, so that every kind of
// bad input meets a fresh connection. Used by the namespace fault tests to
// show that no wire message can crash the daemon or grow it without bound.
//
//   torvane-wire-abuse SOCKET COUNT [PARALLEL]
//
// Keeps PARALLEL (default 32) connections open at once. Each connection gets
// one bad message followed by a version request, and is then read until the
// daemon closes it, answers with a line, or stays silent for 3 s ("silent":
// it neither dropped the connection nor answered). Prints one summary line:
//   sent N replied R closed C silent S refused F kinds K
// and exits 0 when every message was delivered to a connected socket.
#include "shared/Base64.h"
#include "tests/tools/testclient/HelperConnection.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

using torvane::base64Encode;
using torvane::testclient::HelperConnection;
using Kind = HelperConnection::Event::Kind;

constexpr std::size_t kLineLimit = 1024 * 1024;

/// A cheap deterministic generator, so a failing run can be repeated.
struct Random {
    unsigned long long state = 0x9e3779b97f4a7c15ULL;
    unsigned next() {
        state ^= state << 13U;
        state ^= state >> 7U;
        state ^= state << 17U;
        return static_cast<unsigned>(state >> 16U);
    }
    std::string bytes(std::size_t n) {
        std::string out(n, '\0');
        for (auto& c : out) {
            c = static_cast<char>(next() & 0xffU);
            if (c == '\n') {
                c = 'x';
            }
        }
        return out;
    }
};

const std::string kValidStart =
    R"({"id":1,"call":"startWithConfigData:secrets:reply:","configData":")";

/// The message of kind K (every kind ends with "\n" unless it is about a
/// missing end).
std::string message(unsigned kind, Random& random) {
    switch (kind) {
    case 0: // random bytes
        return random.bytes(1 + random.next() % 512) + "\n";
    case 1: // truncated JSON of a real request
        return std::string(R"({"id":7,"call":"statusWithRe)") + "\n";
    case 2: // unknown selector
        return R"({"id":2,"call":"rebootWithReply:"})"
               "\n";
    case 3: // a known selector without its arguments
        return R"({"id":3,"call":"stopWithProfileID:reply:"})"
               "\n";
    case 4: // arguments of the wrong type
        return R"({"id":"x","call":"setPrioritiesWithProfileIDs:reply:","profileIDs":[1,{},null]})"
               "\n";
    case 5: // a start whose data is not Base64
        return kValidStart + R"(%%%not base64%%%","secrets":"!!"})"
                             "\n";
    case 6: // a start whose data decodes to something that is not a profile
        return kValidStart + base64Encode("{\"id\":\"not-a-uuid\",\"name\":[]}") +
               R"(","secrets":")" + base64Encode("[]") + "\"}\n";
    case 7: // a stop of a profile that does not exist, with a bad id
        return R"({"id":4,"call":"stopWithProfileID:reply:","profileID":"../../etc/passwd"})"
               "\n";
    case 8: // deep nesting within the line limit
        return std::string(200000, '[') + "\n";
    case 9: // not an object
        return "[1,2,3]\n\"text\"\nnull\n";
    case 10: { // NUL bytes and invalid UTF-8 inside a string
        static const char text[] = "{\"id\":5,\"call\":\"status\0\xff\xfe\",\"x\":1}\n";
        return std::string(text, sizeof text - 1);
    }
    case 11: // a line over the limit, in one go
        return std::string(kLineLimit + 4096, 'A') + "\n";
    case 12: // a line over the limit without any end
        return std::string(kLineLimit + 1, '{');
    case 13: // a huge id and a huge number
        return R"({"id":1e400,"call":"getVersionWithReply:","n":-99999999999999999999999999})"
               "\n";
    default: // an empty line, then whitespace
        return "\n   \t \n";
    }
}

constexpr unsigned kKinds = 15;

struct Counts {
    long sent = 0, replied = 0, closed = 0, silent = 0, refused = 0;
};

/// Writes everything it can; the daemon may close a connection mid-line
/// (that is what it should do with an oversized one).
bool sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return done > 0;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: torvane-wire-abuse SOCKET COUNT [PARALLEL]\n");
        return 1;
    }
    const std::string path = argv[1];
    const long count = std::strtol(argv[2], nullptr, 10);
    const long parallel = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 32;
    if (count <= 0 || parallel <= 0) {
        std::fprintf(stderr, "wire-abuse: COUNT and PARALLEL must be positive\n");
        return 1;
    }
    // A daemon that skips a bad line answers this; one that drops the
    // connection never reads it. Silence means it did neither.
    const std::string probe = R"({"id":99,"call":"getVersionWithReply:"})"
                              "\n";
    Random random;
    Counts counts;
    long next = 0;
    while (next < count) {
        std::vector<std::unique_ptr<HelperConnection>> open;
        for (long i = 0; i < parallel && next < count; ++i, ++next) {
            auto connection = std::make_unique<HelperConnection>();
            if (connection->connect(path)) {
                ++counts.refused;
                continue;
            }
            auto kind = static_cast<unsigned>(next % kKinds);
            // Oversized lines cost a megabyte each: one round in ten is plenty.
            if ((kind == 11 || kind == 12) && (next / kKinds) % 10 != 0) {
                kind = 0;
            }
            if (!sendAll(connection->fd(), message(kind, random) + probe)) {
                ++counts.refused;
                continue;
            }
            ++counts.sent;
            open.push_back(std::move(connection));
        }
        // The daemon's reaction on each: a line, a close, or silence for 3 s.
        const auto deadline = HelperConnection::Clock::now() + std::chrono::seconds(3);
        for (const auto& connection : open) {
            const auto kind = connection->next(deadline).kind;
            ++(kind == Kind::line       ? counts.replied
               : kind == Kind::timedOut ? counts.silent
                                        : counts.closed);
        }
    }
    std::printf("sent %ld replied %ld closed %ld silent %ld refused %ld kinds %u\n", counts.sent,
                counts.replied, counts.closed, counts.silent, counts.refused, kKinds);
    return counts.refused == 0 ? 0 : 2;
}
