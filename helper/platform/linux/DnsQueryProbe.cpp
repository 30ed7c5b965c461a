#include "helper/platform/linux/DnsQueryProbe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace torvane {
namespace {

std::string queryPacket(const std::string& name, std::uint16_t id) {
    std::string packet;
    packet += static_cast<char>(id >> 8);
    packet += static_cast<char>(id & 0xff);
    // Recursion desired, one question.
    packet += std::string("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);
    std::size_t start = 0;
    while (start < name.size()) {
        auto end = name.find('.', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        packet += static_cast<char>(end - start);
        packet += name.substr(start, end - start);
        start = end + 1;
    }
    packet += std::string("\x00\x00\x01\x00\x01", 5);
    return packet;
}

} // namespace

DnsProbeResult probeDnsServer(const std::string& server, const std::string& name,
                              std::chrono::milliseconds limit) {
    DnsProbeResult result;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(53);
    if (inet_pton(AF_INET, server.c_str(), &to.sin_addr) != 1) {
        result.error = "not an IPv4 address: " + server;
        return result;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.error = std::string("no socket: ") + std::strerror(errno);
        return result;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        result.error = std::string("no route to ") + server + ": " + std::strerror(errno);
        close(fd);
        return result;
    }
    sockaddr_in from{};
    socklen_t length = sizeof from;
    char text[INET_ADDRSTRLEN] = {};
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&from), &length) == 0 &&
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text) != nullptr) {
        result.sourceAddress = text;
    }
    const auto id = static_cast<std::uint16_t>(getpid() & 0xffff);
    const std::string packet = queryPacket(name, id);
    if (send(fd, packet.data(), packet.size(), 0) < 0) {
        result.error = std::string("the query was not sent: ") + std::strerror(errno);
        close(fd);
        return result;
    }
    result.sent = true;
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(limit.count())) == 1) {
        unsigned char answer[512];
        const auto got = recv(fd, answer, sizeof answer, 0);
        result.answered =
            got >= 4 && answer[0] == (id >> 8) && answer[1] == (id & 0xff) && (answer[2] & 0x80);
    }
    close(fd);
    return result;
}

} // namespace torvane
