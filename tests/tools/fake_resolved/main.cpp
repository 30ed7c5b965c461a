// torvane-fake-resolved: stands in for systemd-resolved on a private system
// bus (the one DBUS_SYSTEM_BUS_ADDRESS names). It owns
// org.freedesktop.resolve1 and keeps per-link DNS servers and domains:
// Manager.GetLink, SetLinkDNS and SetLinkDomains (what the daemon calls), and
// the Link properties DNS and Domains, with PropertiesChanged
// after every change. Each call that changes a link is appended to the log
// file given as the only argument, one line per call.
//
// Standard input takes commands: "fail METHOD" makes the next call of that
// method fail; it exits when standard input closes. It prints "ready" once it
// owns the name.
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <poll.h>
#include <set>
#include <string>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr const char* kManagerPath = "/org/freedesktop/resolve1";
constexpr const char* kLinkPrefix = "/org/freedesktop/resolve1/link";

struct Server {
    int family = 0;
    std::vector<std::uint8_t> address;
};
struct LinkState {
    std::vector<Server> servers;
    std::vector<std::pair<std::string, bool>> domains;
};

std::map<int, LinkState> g_links;
std::set<std::string> g_failNext;
std::ofstream g_log;

std::string linkPath(int index) {
    return std::string(kLinkPrefix) + "/_" + std::to_string(index);
}

int linkOfPath(const char* path) {
    const std::string prefix = std::string(kLinkPrefix) + "/_";
    const std::string text = path;
    if (!text.starts_with(prefix)) {
        return -1;
    }
    try {
        return std::stoi(text.substr(prefix.size()));
    } catch (...) {
        return -1;
    }
}

std::string addressText(const Server& server) {
    std::array<char, INET6_ADDRSTRLEN> text{};
    if (::inet_ntop(server.family, server.address.data(), text.data(), text.size()) == nullptr) {
        return "?";
    }
    return text.data();
}

/// Fails the call when the test asked for it; true when it did.
bool injectedFailure(const char* method, sd_bus_error* error) {
    if (g_failNext.erase(method) == 0) {
        return false;
    }
    sd_bus_error_set(error, "org.freedesktop.resolve1.TestFailure", "injected failure");
    return true;
}

void changed(sd_bus* bus, int index, const char* property) {
    sd_bus_emit_properties_changed(bus, linkPath(index).c_str(), "org.freedesktop.resolve1.Link",
                                   property, nullptr);
}

int getLink(sd_bus_message* message, void* /*userdata*/, sd_bus_error* error) {
    int index = 0;
    if (int status = sd_bus_message_read(message, "i", &index); status < 0) {
        return status;
    }
    if (injectedFailure("GetLink", error)) {
        return -EIO;
    }
    if (index <= 0) {
        return sd_bus_error_setf(error, "org.freedesktop.resolve1.NoSuchLink", "Link %i not known",
                                 index);
    }
    g_links.try_emplace(index);
    return sd_bus_reply_method_return(message, "o", linkPath(index).c_str());
}

int setLinkDNS(sd_bus_message* message, void* /*userdata*/, sd_bus_error* error) {
    int index = 0;
    int status = sd_bus_message_read(message, "i", &index);
    std::vector<Server> servers;
    if (status >= 0) {
        status = sd_bus_message_enter_container(message, 'a', "(iay)");
    }
    while (status >= 0 && (status = sd_bus_message_enter_container(message, 'r', "iay")) > 0) {
        Server server;
        const void* bytes = nullptr;
        std::size_t size = 0;
        if ((status = sd_bus_message_read(message, "i", &server.family)) < 0 ||
            (status = sd_bus_message_read_array(message, 'y', &bytes, &size)) < 0 ||
            (status = sd_bus_message_exit_container(message)) < 0) {
            break;
        }
        const auto* first = static_cast<const std::uint8_t*>(bytes);
        server.address.assign(first, first + size);
        servers.push_back(std::move(server));
    }
    if (status < 0) {
        return status;
    }
    if (injectedFailure("SetLinkDNS", error)) {
        return -EIO;
    }
    std::string line = "SetLinkDNS " + std::to_string(index);
    for (const auto& server : servers) {
        line += " " + addressText(server);
    }
    g_log << line << std::endl;
    g_links[index].servers = std::move(servers);
    changed(sd_bus_message_get_bus(message), index, "DNS");
    return sd_bus_reply_method_return(message, "");
}

int setLinkDomains(sd_bus_message* message, void* /*userdata*/, sd_bus_error* error) {
    int index = 0;
    int status = sd_bus_message_read(message, "i", &index);
    std::vector<std::pair<std::string, bool>> domains;
    if (status >= 0) {
        status = sd_bus_message_enter_container(message, 'a', "(sb)");
    }
    const char* name = nullptr;
    int routeOnly = 0;
    while (status >= 0 && (status = sd_bus_message_read(message, "(sb)", &name, &routeOnly)) > 0) {
        domains.emplace_back(name, routeOnly != 0);
    }
    if (status < 0) {
        return status;
    }
    if (injectedFailure("SetLinkDomains", error)) {
        return -EIO;
    }
    std::string line = "SetLinkDomains " + std::to_string(index);
    for (const auto& [domain, route] : domains) {
        line += " " + std::string(route ? "~" : "") + domain;
    }
    g_log << line << std::endl;
    g_links[index].domains = std::move(domains);
    changed(sd_bus_message_get_bus(message), index, "Domains");
    return sd_bus_reply_method_return(message, "");
}

int linkDNS(sd_bus* /*bus*/, const char* path, const char* /*interface*/, const char* /*property*/,
            sd_bus_message* reply, void* /*userdata*/, sd_bus_error* /*error*/) {
    int status = sd_bus_message_open_container(reply, 'a', "(iay)");
    for (const auto& server : g_links[linkOfPath(path)].servers) {
        if (status >= 0) {
            status = sd_bus_message_open_container(reply, 'r', "iay");
        }
        if (status >= 0) {
            status = sd_bus_message_append(reply, "i", server.family);
        }
        if (status >= 0) {
            status = sd_bus_message_append_array(reply, 'y', server.address.data(),
                                                 server.address.size());
        }
        if (status >= 0) {
            status = sd_bus_message_close_container(reply);
        }
    }
    return status < 0 ? status : sd_bus_message_close_container(reply);
}

int linkDomains(sd_bus* /*bus*/, const char* path, const char* /*interface*/,
                const char* /*property*/, sd_bus_message* reply, void* /*userdata*/,
                sd_bus_error* /*error*/) {
    int status = sd_bus_message_open_container(reply, 'a', "(sb)");
    for (const auto& [name, route] : g_links[linkOfPath(path)].domains) {
        if (status >= 0) {
            status = sd_bus_message_append(reply, "(sb)", name.c_str(), static_cast<int>(route));
        }
    }
    return status < 0 ? status : sd_bus_message_close_container(reply);
}

int findLink(sd_bus* /*bus*/, const char* path, const char* /*interface*/, void* /*userdata*/,
             void** found, sd_bus_error* /*error*/) {
    const int index = linkOfPath(path);
    if (index <= 0 || !g_links.contains(index)) {
        return 0;
    }
    *found = nullptr;
    return 1;
}

const sd_bus_vtable kManagerVtable[] = {
    SD_BUS_VTABLE_START(0), SD_BUS_METHOD("GetLink", "i", "o", getLink, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetLinkDNS", "ia(iay)", "", setLinkDNS, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetLinkDomains", "ia(sb)", "", setLinkDomains, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

const sd_bus_vtable kLinkVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("DNS", "a(iay)", linkDNS, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_PROPERTY("Domains", "a(sb)", linkDomains, 0, SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_VTABLE_END};

/// False once standard input is closed: whoever started us is gone.
bool readCommands() {
    std::array<char, 512> buffer{};
    const auto length = ::read(STDIN_FILENO, buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return length < 0 && errno == EINTR;
    }
    std::string text(buffer.data(), static_cast<std::size_t>(length));
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        if (line.starts_with("fail ")) {
            g_failNext.insert(line.substr(5));
            std::cout << "armed " << line.substr(5) << std::endl;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: torvane-fake-resolved CALL_LOG\n");
        return 2;
    }
    g_log.open(argv[1], std::ios::app);
    sd_bus* bus = nullptr;
    int status = sd_bus_open_system(&bus);
    if (status >= 0) {
        status =
            sd_bus_add_object_vtable(bus, nullptr, kManagerPath, "org.freedesktop.resolve1.Manager",
                                     kManagerVtable, nullptr);
    }
    if (status >= 0) {
        status =
            sd_bus_add_fallback_vtable(bus, nullptr, kLinkPrefix, "org.freedesktop.resolve1.Link",
                                       kLinkVtable, findLink, nullptr);
    }
    if (status >= 0) {
        status = sd_bus_request_name(bus, "org.freedesktop.resolve1", 0);
    }
    if (status < 0) {
        std::fprintf(stderr, "fake-resolved: cannot serve org.freedesktop.resolve1: %s\n",
                     std::strerror(-status));
        return 1;
    }
    std::cout << "ready" << std::endl;
    for (;;) {
        status = sd_bus_process(bus, nullptr);
        if (status < 0) {
            break;
        }
        if (status > 0) {
            continue;
        }
        std::array<pollfd, 2> fds{
            {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
             {STDIN_FILENO, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) {
            break;
        }
        if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !readCommands()) {
            break;
        }
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
