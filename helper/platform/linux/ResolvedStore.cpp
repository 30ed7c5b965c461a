#include "helper/platform/linux/ResolvedStore.h"

#include "helper/platform/linux/BusLoop.h"
#include "helper/platform/linux/DefaultRoute.h"
#include "helper/platform/linux/ResolvConfStoreText.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <net/if.h>
#include <sstream>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <thread>
#include <unistd.h>

namespace torvane {

namespace {

constexpr const char* kService = "org.freedesktop.resolve1";
constexpr const char* kManagerPath = "/org/freedesktop/resolve1";
constexpr const char* kManager = "org.freedesktop.resolve1.Manager";
constexpr const char* kLinkInterface = "org.freedesktop.resolve1.Link";
constexpr const char* kGlobalIPv4Key = "State:/Network/Global/IPv4";
constexpr const char* kServicePrefix = "State:/Network/Service/";
constexpr const char* kSetupPrefix = "Setup:/Network/Service/";
constexpr const char* kDNSSuffix = "/DNS";
constexpr std::uint64_t kCallTimeoutUsec = 5'000'000;

std::optional<std::string> serviceOfDNSKey(const std::string& key) {
    if (!key.starts_with(kServicePrefix) || !key.ends_with(kDNSSuffix)) {
        return std::nullopt;
    }
    const auto prefix = std::strlen(kServicePrefix);
    const auto suffix = std::strlen(kDNSSuffix);
    if (key.size() <= prefix + suffix) {
        return std::nullopt;
    }
    auto id = key.substr(prefix, key.size() - prefix - suffix);
    if (id.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return id;
}

std::string addressText(const ResolvedLinkDNS::Server& server) {
    std::array<char, INET6_ADDRSTRLEN> text{};
    const bool sized = (server.family == AF_INET && server.address.size() == 4) ||
                       (server.family == AF_INET6 && server.address.size() == 16);
    if (!sized || ::inet_ntop(server.family, server.address.data(), text.data(),
                              static_cast<socklen_t>(text.size())) == nullptr) {
        return "?";
    }
    return text.data();
}

/// An IPv4 or IPv6 address; a zone ("%eth0") is dropped, as the link itself
/// is the scope resolved uses.
std::optional<ResolvedLinkDNS::Server> parseAddress(const std::string& text) {
    const std::string bare = text.substr(0, text.find('%'));
    std::array<std::uint8_t, 16> bytes{};
    if (::inet_pton(AF_INET, bare.c_str(), bytes.data()) == 1) {
        return ResolvedLinkDNS::Server{AF_INET, {bytes.begin(), bytes.begin() + 4}};
    }
    if (::inet_pton(AF_INET6, bare.c_str(), bytes.data()) == 1) {
        return ResolvedLinkDNS::Server{AF_INET6, {bytes.begin(), bytes.end()}};
    }
    return std::nullopt;
}

bool plainName(const std::string& name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == 0x7f;
    });
}

std::string busErrorText(const char* what, int code, const sd_bus_error* error) {
    std::string text = std::string("systemd-resolved: ") + what + " failed: ";
    if (error != nullptr && sd_bus_error_is_set(error) && error->message != nullptr) {
        return text + error->message;
    }
    return text + std::strerror(-code);
}

} // namespace

StoreDictionary resolvedDictionary(const ResolvedLinkDNS& dns) {
    std::vector<std::string> servers;
    std::vector<std::string> search;
    std::vector<std::string> state;
    for (const auto& server : dns.servers) {
        servers.push_back(addressText(server));
        state.push_back("dns " + servers.back());
    }
    for (const auto& domain : dns.domains) {
        if (!domain.routeOnly) {
            search.push_back(domain.name);
        }
        state.push_back((domain.routeOnly ? "route " : "domain ") + domain.name);
    }
    StoreDictionary dictionary{{ResolvedStore::kLinkStateKey, state}};
    if (!servers.empty()) {
        dictionary["ServerAddresses"] = servers;
    }
    if (!search.empty()) {
        dictionary["SearchDomains"] = search;
    }
    return dictionary;
}

Expected<ResolvedLinkDNS, std::string> resolvedLinkDNS(const StoreDictionary& dictionary) {
    ResolvedLinkDNS dns;
    if (dictionary.contains(ResolvedStore::kLinkStateKey)) {
        const auto state = storeList(dictionary, ResolvedStore::kLinkStateKey);
        if (!state) {
            return Unexpected{std::string("the saved link DNS is not a list")};
        }
        for (const auto& item : *state) {
            const auto space = item.find(' ');
            const std::string kind = item.substr(0, space);
            const std::string value = space == std::string::npos ? "" : item.substr(space + 1);
            if (kind == "dns") {
                auto server = parseAddress(value);
                if (!server) {
                    return Unexpected{"bad saved DNS server '" + value + "'"};
                }
                dns.servers.push_back(std::move(*server));
            } else if ((kind == "domain" || kind == "route") && plainName(value)) {
                dns.domains.push_back({value, kind == "route"});
            } else {
                return Unexpected{"bad saved link DNS item '" + item + "'"};
            }
        }
        return dns;
    }
    for (const auto& text :
         storeList(dictionary, "ServerAddresses").value_or(std::vector<std::string>{})) {
        auto server = parseAddress(text);
        if (!server) {
            return Unexpected{"not an IP address: '" + text + "'"};
        }
        dns.servers.push_back(std::move(*server));
    }
    for (const auto& name :
         storeList(dictionary, "SearchDomains").value_or(std::vector<std::string>{})) {
        if (!plainName(name)) {
            return Unexpected{"bad search domain '" + name + "'"};
        }
        dns.domains.push_back({name, false});
    }
    if (!dns.servers.empty()) {
        // Without it resolved would also ask every other link with servers
        // of its own, so names would leak past the override.
        dns.domains.push_back({".", true});
    }
    return dns;
}

/// Reads resolved's PropertiesChanged signals on a connection and thread of
/// its own (an sd-bus connection is not shared between threads).
class ResolvedStore::SignalThread {
public:
    static Expected<std::unique_ptr<SignalThread>, std::string>
    start(std::function<void()> onChange) {
        auto thread = std::unique_ptr<SignalThread>(new SignalThread(std::move(onChange)));
        int status = sd_bus_open_system(&thread->m_bus);
        if (status < 0) {
            return Unexpected{busErrorText("connecting to the system bus", status, nullptr)};
        }
        thread->m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (thread->m_stopFd < 0) {
            return Unexpected{std::string("eventfd: ") + std::strerror(errno)};
        }
        status = sd_bus_add_match(thread->m_bus, &thread->m_slot,
                                  "type='signal',sender='org.freedesktop.resolve1',"
                                  "interface='org.freedesktop.DBus.Properties',"
                                  "member='PropertiesChanged',"
                                  "path_namespace='/org/freedesktop/resolve1'",
                                  &SignalThread::onSignal, thread.get());
        if (status < 0) {
            return Unexpected{busErrorText("subscribing to PropertiesChanged", status, nullptr)};
        }
        thread->m_thread = std::thread([raw = thread.get()] { raw->run(); });
        return thread;
    }

    ~SignalThread() {
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(m_stopFd, &one, sizeof one);
            m_thread.join();
        }
        sd_bus_slot_unref(m_slot);
        sd_bus_flush_close_unref(m_bus);
        if (m_stopFd >= 0) {
            ::close(m_stopFd);
        }
    }
    SignalThread(const SignalThread&) = delete;
    SignalThread& operator=(const SignalThread&) = delete;

private:
    explicit SignalThread(std::function<void()> onChange) : m_onChange(std::move(onChange)) {}

    static int onSignal(sd_bus_message* /*message*/, void* userdata, sd_bus_error* /*error*/) {
        static_cast<SignalThread*>(userdata)->m_onChange();
        return 0;
    }

    void run() {
        // Returns when the bus goes away; resolv.conf changes still notify.
        runBusUntilStopped(m_bus, m_stopFd);
    }

    std::function<void()> m_onChange;
    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_slot = nullptr;
    int m_stopFd = -1;
    std::thread m_thread;
};

Expected<std::unique_ptr<DynamicStore>, std::string>
ResolvedStore::create(ChangeHandler onChange, PostFunction post, Options options) {
    std::unique_ptr<ResolvedStore> store(
        new ResolvedStore(std::move(onChange), std::move(post), std::move(options)));
    ResolvedStore* raw = store.get();
    if (!raw->connected()) {
        return Unexpected{raw->m_lastError};
    }
    auto signals = SignalThread::start([raw] { raw->dnsChanged(); });
    if (!signals) {
        return Unexpected{signals.error()};
    }
    raw->m_signals = std::move(*signals);
    auto watcher = StoreChangeWatcher::start(raw->m_options.resolvedResolvConfPath,
                                             {[raw] { raw->routingChanged(); },
                                              [raw] {
                                                  raw->dnsChanged();
                                              }});
    if (!watcher) {
        return Unexpected{watcher.error()};
    }
    raw->m_watcher = std::move(*watcher);
    return std::unique_ptr<DynamicStore>(std::move(store));
}

ResolvedStore::ResolvedStore(ChangeHandler onChange, PostFunction post, Options options)
    : m_notifier(std::move(onChange), std::move(post)), m_options(std::move(options)) {
    m_notifier.rememberRoute(route());
}

ResolvedStore::~ResolvedStore() {
    m_watcher.reset();
    m_signals.reset();
    sd_bus_flush_close_unref(m_bus);
}

std::optional<DefaultRoute> ResolvedStore::route() const {
    return primaryRoute(m_options.primaryInterface);
}

std::optional<std::string> ResolvedStore::primary() const {
    if (auto current = route()) {
        return std::move(current->interface);
    }
    return std::nullopt;
}

bool ResolvedStore::connected() {
    if (m_bus != nullptr && sd_bus_is_open(m_bus) > 0) {
        return true;
    }
    // A bus that went away (resolved or the bus restarted) is opened again
    // on the next call, so one outage does not cost every later write.
    m_bus = sd_bus_flush_close_unref(m_bus);
    const int status = sd_bus_open_system(&m_bus);
    if (status < 0) {
        m_bus = nullptr;
        m_lastError = busErrorText("connecting to the system bus", status, nullptr);
        return false;
    }
    return true;
}

std::optional<ResolvedStore::Link> ResolvedStore::link(const std::string& interface) {
    const unsigned index = ::if_nametoindex(interface.c_str());
    if (index == 0 || index > INT_MAX) {
        m_lastError = "no network interface " + interface;
        return std::nullopt;
    }
    if (!connected()) {
        return std::nullopt;
    }
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    sd_bus_message* reply = nullptr;
    const int status = sd_bus_call_method(m_bus, kService, kManagerPath, kManager, "GetLink",
                                          &error, &reply, "i", static_cast<int>(index));
    std::optional<Link> result;
    const char* path = nullptr;
    if (status < 0) {
        m_lastError = busErrorText("GetLink", status, &error);
    } else if (sd_bus_message_read(reply, "o", &path) < 0 || path == nullptr) {
        m_lastError = "systemd-resolved: GetLink returned no object path";
    } else {
        result = Link{static_cast<int>(index), path};
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    return result;
}

std::optional<ResolvedLinkDNS> ResolvedStore::readLink(const Link& target) {
    ResolvedLinkDNS dns;
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    sd_bus_message* reply = nullptr;
    auto fail = [&](const char* what, int status) {
        m_lastError = busErrorText(what, status, &error);
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        return std::nullopt;
    };

    int status = sd_bus_get_property(m_bus, kService, target.path.c_str(), kLinkInterface, "DNS",
                                     &error, &reply, "a(iay)");
    if (status < 0 || (status = sd_bus_message_enter_container(reply, 'a', "(iay)")) < 0) {
        return fail("reading the link's DNS", status);
    }
    while ((status = sd_bus_message_enter_container(reply, 'r', "iay")) > 0) {
        ResolvedLinkDNS::Server server;
        const void* bytes = nullptr;
        std::size_t size = 0;
        if ((status = sd_bus_message_read(reply, "i", &server.family)) < 0 ||
            (status = sd_bus_message_read_array(reply, 'y', &bytes, &size)) < 0 ||
            (status = sd_bus_message_exit_container(reply)) < 0) {
            return fail("reading the link's DNS", status);
        }
        const auto* first = static_cast<const std::uint8_t*>(bytes);
        server.address.assign(first, first + size);
        dns.servers.push_back(std::move(server));
    }
    if (status < 0) {
        return fail("reading the link's DNS", status);
    }
    reply = sd_bus_message_unref(reply);

    status = sd_bus_get_property(m_bus, kService, target.path.c_str(), kLinkInterface, "Domains",
                                 &error, &reply, "a(sb)");
    if (status < 0 || (status = sd_bus_message_enter_container(reply, 'a', "(sb)")) < 0) {
        return fail("reading the link's domains", status);
    }
    const char* name = nullptr;
    int routeOnly = 0;
    while ((status = sd_bus_message_read(reply, "(sb)", &name, &routeOnly)) > 0) {
        dns.domains.push_back({name != nullptr ? name : "", routeOnly != 0});
    }
    if (status < 0) {
        return fail("reading the link's domains", status);
    }
    sd_bus_message_unref(reply);
    return dns;
}

bool ResolvedStore::writeLink(const std::string& interface, const ResolvedLinkDNS& dns) {
    const auto target = link(interface);
    if (!target) {
        return false;
    }
    const auto before = readLink(*target);
    if (!before) {
        return false;
    }
    if (!m_original.contains(interface)) {
        m_original[interface] = *before;
    }
    if (!setServers(target->index, dns.servers)) {
        return false;
    }
    if (!setDomains(target->index, dns.domains)) {
        // Half a write would look like the network's own new values and be
        // saved as the original; put the servers back as they were.
        const std::string error = m_lastError;
        const bool undone = setServers(target->index, before->servers);
        m_lastError =
            undone ? error : error + "; the link's previous servers could not be put back";
        return false;
    }
    return true;
}

bool ResolvedStore::callLinkMethod(const char* method, int index,
                                   const std::function<int(sd_bus_message*)>& appendValues) {
    sd_bus_message* call = nullptr;
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    int status =
        sd_bus_message_new_method_call(m_bus, &call, kService, kManagerPath, kManager, method);
    if (status >= 0) {
        status = sd_bus_message_append(call, "i", index);
    }
    if (status >= 0) {
        status = appendValues(call);
    }
    if (status >= 0) {
        status = sd_bus_call(m_bus, call, kCallTimeoutUsec, &error, nullptr);
    }
    if (status < 0) {
        m_lastError = busErrorText(method, status, &error);
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(call);
    return status >= 0;
}

bool ResolvedStore::setServers(int index, const std::vector<ResolvedLinkDNS::Server>& servers) {
    return callLinkMethod("SetLinkDNS", index, [&](sd_bus_message* call) {
        int status = sd_bus_message_open_container(call, 'a', "(iay)");
        for (const auto& server : servers) {
            if (status >= 0) {
                status = sd_bus_message_open_container(call, 'r', "iay");
            }
            if (status >= 0) {
                status = sd_bus_message_append(call, "i", server.family);
            }
            if (status >= 0) {
                status = sd_bus_message_append_array(call, 'y', server.address.data(),
                                                     server.address.size());
            }
            if (status >= 0) {
                status = sd_bus_message_close_container(call);
            }
        }
        return status >= 0 ? sd_bus_message_close_container(call) : status;
    });
}

bool ResolvedStore::setDomains(int index, const std::vector<ResolvedLinkDNS::Domain>& domains) {
    return callLinkMethod("SetLinkDomains", index, [&](sd_bus_message* call) {
        int status = sd_bus_message_open_container(call, 'a', "(sb)");
        for (const auto& domain : domains) {
            if (status >= 0) {
                status = sd_bus_message_append(call, "(sb)", domain.name.c_str(),
                                               static_cast<int>(domain.routeOnly));
            }
        }
        return status >= 0 ? sd_bus_message_close_container(call) : status;
    });
}

std::optional<StoreDictionary> ResolvedStore::copyValue(const std::string& key) {
    if (key == kGlobalIPv4Key) {
        if (auto interface = primary()) {
            return StoreDictionary{{"PrimaryService", *interface}};
        }
        return std::nullopt;
    }
    if (const auto service = serviceOfDNSKey(key)) {
        const auto target = link(*service);
        if (!target) {
            return std::nullopt;
        }
        const auto dns = readLink(*target);
        if (!dns) {
            return std::nullopt;
        }
        // Reading back what we wrote gives the dictionary we wrote, so the
        // override recognises its own entry. A diverted write counts only
        // while the other link still holds it (a tunnel's device that was
        // recreated has lost it, and must be written again).
        const auto written = m_written.find(*service);
        if (written != m_written.end() && written->second.own == *dns) {
            const auto& diverted = written->second.diverted;
            const auto divertedLink = diverted ? link(diverted->first) : std::nullopt;
            const auto divertedNow = divertedLink ? readLink(*divertedLink) : std::nullopt;
            if (!diverted || divertedNow == diverted->second) {
                return written->second.dictionary;
            }
        }
        return resolvedDictionary(*dns);
    }
    if (key.starts_with(kSetupPrefix) && !key.ends_with(kDNSSuffix)) {
        const auto id = key.substr(std::strlen(kSetupPrefix));
        if (!id.empty() && id.find('/') == std::string::npos) {
            return StoreDictionary{{"UserDefinedName", id}};
        }
    }
    return std::nullopt;
}

bool ResolvedStore::setValue(const std::string& key, const StoreDictionary& value) {
    const auto service = serviceOfDNSKey(key);
    if (!service) {
        m_lastError = "read-only key " + key;
        return false;
    }
    if (value.contains("TorvaneResolvConfBytes")) {
        // Saved from the resolv.conf file, which resolved does not manage.
        m_lastError = "the saved DNS belongs to the resolv.conf file, not to a resolved link";
        return false;
    }
    const auto dns = resolvedLinkDNS(value);
    if (!dns) {
        m_lastError = dns.error();
        return false;
    }
    const auto diverted =
        value.contains(kLinkStateKey) ? std::nullopt : divertedLink(*service, *dns);
    const auto previous = m_written.find(*service);
    if (previous != m_written.end() && previous->second.diverted &&
        (!diverted || *diverted != previous->second.diverted->first)) {
        if (!restoreDiverted(*service)) {
            return false;
        }
    }
    m_written.erase(*service);
    const auto ownOriginal = m_original.find(*service);
    if (diverted && ownOriginal != m_original.end()) {
        // Servers of ours written to the service's own link before (the DNS
        // proxy's) must not stay there beside the diverted ones.
        if (!writeLink(*service, ownOriginal->second)) {
            return false;
        }
        m_original.erase(*service);
    }
    const std::string target = diverted.value_or(*service);
    if (!writeLink(target, *dns)) {
        return false;
    }
    if (value.contains(kLinkStateKey)) {
        // A saved dictionary: the link is as it was, nothing of ours is left.
        m_original.erase(*service);
        return true;
    }
    // Resolved may normalise names; remember what it holds now, not what we
    // sent, or our own entry would look re-published on the next read.
    const auto readBack = [this](const std::string& interface) -> std::optional<ResolvedLinkDNS> {
        const auto found = link(interface);
        return found ? readLink(*found) : std::nullopt;
    };
    const auto own = readBack(*service);
    if (!own) {
        return true;
    }
    Written written{*own, value, std::nullopt};
    if (diverted) {
        if (const auto held = readBack(*diverted)) {
            written.diverted = {{*diverted, *held}};
        }
    }
    m_written[*service] = std::move(written);
    return true;
}

std::optional<std::string> ResolvedStore::divertedLink(const std::string& service,
                                                       const ResolvedLinkDNS& dns) const {
    const auto server = std::find_if(dns.servers.begin(), dns.servers.end(),
                                     [](const auto& entry) { return entry.family == AF_INET; });
    // A service without a link of its own is refused by the write itself.
    if (server == dns.servers.end() || ::if_nametoindex(service.c_str()) == 0) {
        return std::nullopt;
    }
    const auto route = m_options.routeInterface ? m_options.routeInterface(addressText(*server))
                                                : routeInterfaceFor(addressText(*server));
    // A local server (our DNS proxy) is asked over loopback from any link.
    if (!route || *route == service || *route == "lo") {
        return std::nullopt;
    }
    return route;
}

bool ResolvedStore::restoreDiverted(const std::string& service) {
    const auto written = m_written.find(service);
    if (written == m_written.end() || !written->second.diverted) {
        return true;
    }
    const std::string interface = written->second.diverted->first;
    written->second.diverted.reset();
    const auto original = m_original.find(interface);
    if (original == m_original.end()) {
        return true;
    }
    // A tunnel's device that is gone took its DNS with it.
    if (::if_nametoindex(interface.c_str()) == 0) {
        m_original.erase(original);
        return true;
    }
    if (!writeLink(interface, original->second)) {
        return false;
    }
    m_original.erase(interface);
    return true;
}

bool ResolvedStore::removeValue(const std::string& key) {
    const auto service = serviceOfDNSKey(key);
    if (!service) {
        m_lastError = "read-only key " + key;
        return false;
    }
    if (!restoreDiverted(*service)) {
        return false;
    }
    m_written.erase(*service);
    const auto original = m_original.find(*service);
    if (original == m_original.end()) {
        return true;
    }
    if (!writeLink(*service, original->second)) {
        return false;
    }
    m_original.erase(*service);
    return true;
}

std::optional<ResolverInUse> ResolvedStore::resolverInUse() {
    // The link holding our servers (the one they were diverted to, else the
    // service's own); with nothing of ours written, the primary link.
    std::string interface;
    std::optional<ResolvedLinkDNS> wanted;
    if (!m_written.empty()) {
        const auto& [service, written] = *m_written.begin();
        interface = written.diverted ? written.diverted->first : service;
        if (auto dns = resolvedLinkDNS(written.dictionary)) {
            wanted = std::move(*dns);
        }
    } else if (auto main = primary()) {
        interface = std::move(*main);
    } else {
        return ResolverInUse{{}, "systemd-resolved", {}, "no primary network interface"};
    }
    ResolverInUse view{{}, "systemd-resolved's settings for " + interface, {}, {}};
    // A failed read must not pass for the reason of a failed write.
    const std::string lastError = m_lastError;
    const auto target = link(interface);
    const auto dns = target ? readLink(*target) : std::nullopt;
    if (!dns) {
        view.error = m_lastError;
        m_lastError = lastError;
        return view;
    }
    for (const auto& server : dns->servers) {
        view.servers.push_back(addressText(server));
    }
    for (const auto& domain : wanted ? wanted->domains : std::vector<ResolvedLinkDNS::Domain>{}) {
        if (std::find(dns->domains.begin(), dns->domains.end(), domain) == dns->domains.end()) {
            view.missingDomains.push_back((domain.routeOnly ? "~" : "") + domain.name);
        }
    }
    return view;
}

void ResolvedStore::setNotificationKeys(const std::vector<std::string>& keys,
                                        const std::vector<std::string>& patterns) {
    m_notifier.setKeys(keys, patterns);
}

void ResolvedStore::routingChanged() {
    m_notifier.routeSeen(route());
}

void ResolvedStore::dnsChanged() {
    if (const auto interface = m_notifier.primary()) {
        m_notifier.notify({kServicePrefix + *interface + kDNSSuffix});
    }
}

bool resolvConfPointsAtResolved(const std::string& path) {
    std::array<char, PATH_MAX> target{};
    const auto length = ::readlink(path.c_str(), target.data(), target.size() - 1);
    if (length > 0) {
        const std::string link(target.data(), static_cast<std::size_t>(length));
        if (link.ends_with("systemd/resolve/stub-resolv.conf") ||
            link.ends_with("systemd/resolve/resolv.conf")) {
            return true;
        }
    }
    std::ifstream file(path);
    if (!file) {
        return false;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const auto servers = parseResolvConf(bytes.str()).servers;
    return std::find(servers.begin(), servers.end(), "127.0.0.53") != servers.end();
}

bool resolvedAnswers() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        return false;
    }
    // NameHasOwner, not a call to resolved itself: that would start an
    // installed but stopped resolved through bus activation.
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    sd_bus_message* reply = nullptr;
    int owned = 0;
    const int status =
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s", kService);
    if (status >= 0 && sd_bus_message_read(reply, "b", &owned) < 0) {
        owned = 0;
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return status >= 0 && owned != 0;
}

bool useResolvedStore(const std::string& path, const std::function<bool()>& answers) {
    return resolvConfPointsAtResolved(path) && answers();
}

} // namespace torvane
