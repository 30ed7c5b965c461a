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
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kLineLimit = 1024 * 1024;

std::string base64(const std::string& bytes) {
    static const char* const alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16U) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8U) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18U) & 63U];
        out += alphabet[(v >> 12U) & 63U];
        out += alphabet[(v >> 6U) & 63U];
        out += alphabet[v & 63U];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16U;
        const bool two = i + 1 < bytes.size();
        if (two) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8U;
        }
        out += alphabet[(v >> 18U) & 63U];
        out += alphabet[(v >> 12U) & 63U];
        out += two ? alphabet[(v >> 6U) & 63U] : '=';
        out += '=';
    }
    return out;
}

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
        return kValidStart + base64("{\"id\":\"not-a-uuid\",\"name\":[]}") + R"(","secrets":")" +
               base64("[]") + "\"}\n";
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
    long sent = 0;
    long replied = 0;
    long closed = 0;
    long silent = 0;
    long refused = 0;
};

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

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

enum class Outcome { replied, closed, silent };

/// Waits, until DEADLINE, for the daemon's reaction on one connection.
Outcome await(int fd, std::chrono::steady_clock::time_point deadline) {
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return Outcome::silent;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return Outcome::silent;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Outcome::closed;
        }
        if (std::memchr(buffer, '\n', static_cast<std::size_t>(n)) != nullptr) {
            return Outcome::replied;
        }
    }
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
        std::vector<int> open;
        for (long i = 0; i < parallel && next < count; ++i, ++next) {
            const int fd = connectTo(path);
            if (fd < 0) {
                ++counts.refused;
                continue;
            }
            auto kind = static_cast<unsigned>(next % kKinds);
            // Oversized lines cost a megabyte each: one round in ten is plenty.
            if ((kind == 11 || kind == 12) && (next / kKinds) % 10 != 0) {
                kind = 0;
            }
            if (!sendAll(fd, message(kind, random) + probe)) {
                ++counts.refused;
                ::close(fd);
                continue;
            }
            ++counts.sent;
            open.push_back(fd);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        for (const int fd : open) {
            switch (await(fd, deadline)) {
            case Outcome::replied:
                ++counts.replied;
                break;
            case Outcome::closed:
                ++counts.closed;
                break;
            case Outcome::silent:
                ++counts.silent;
                break;
            }
            ::close(fd);
        }
    }
    std::printf("sent %ld replied %ld closed %ld silent %ld refused %ld kinds %u\n", counts.sent,
                counts.replied, counts.closed, counts.silent, counts.refused, kKinds);
    return counts.refused == 0 ? 0 : 2;
}
