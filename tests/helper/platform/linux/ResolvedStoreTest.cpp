#include "helper/platform/linux/ResolvedStore.h"

#include "helper/network/ChangeJournal.h"
#include "helper/network/DnsOverride.h"
#include "helper/network/DnsProxy.h"
#include "helper/network/ResolverFinding.h"
#include "helper/platform/linux/ResolvConfStore.h"
#include "helper/process/PosixProcessLauncher.h"
#include "shared/process/PosixCommandRunner.h"
#include "tests/fakes/FakeFirewall.h"
#include "tests/fakes/FakeIpv6Control.h"
#include "tests/fakes/FakeRoutes.h"
#include "tests/fakes/RecordingCommandRunner.h"
#include "tests/helper/platform/linux/TestSupport.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <net/if.h>
#include <systemd/sd-bus.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using test::PostedJobs;
using test::readAll;
using testing::ElementsAre;
using testing::HasSubstr;
namespace fs = std::filesystem;

using Items = std::vector<std::string>;

/// The store on some link, against the resolved the system bus offers.
class StoreOpener {
public:
    StoreOpener(std::string interface, fs::path watchedFile)
        : m_interface(std::move(interface)), m_watched(std::move(watchedFile)) {}

    std::unique_ptr<DynamicStore> open(DynamicStore::ChangeHandler onChange = {}) {
        auto store = ResolvedStore::create(
            std::move(onChange), m_jobs.post(),
            {.resolvedResolvConfPath = m_watched,
             .primaryInterface = [name = m_interface] { return std::optional(name); },
             .routeInterface = {}});
        EXPECT_TRUE(store) << (store ? "" : store.error());
        return store ? std::move(*store) : nullptr;
    }
    std::string key() const { return "State:/Network/Service/" + m_interface + "/DNS"; }
    PostedJobs& jobs() { return m_jobs; }

private:
    std::string m_interface;
    fs::path m_watched;
    PostedJobs m_jobs;
};

const StoreDictionary kOriginal{
    {ResolvedStore::kLinkStateKey,
     Items{"dns 192.0.2.53", "dns 2001:db8::53", "domain lan.test", "route corp.test"}}};

/// Override, read back, and restore in "another process" (a fresh store that
/// knows nothing of the first one), as the journal does after a crash.
void overrideAndRestore(StoreOpener& opener) {
    const auto key = opener.key();
    ASSERT_TRUE(opener.open()->setValue(key, kOriginal));

    auto store = opener.open();
    const auto saved = store->copyValue(key);
    ASSERT_TRUE(saved);
    EXPECT_EQ(storeList(*saved, "ServerAddresses"), Items({"192.0.2.53", "2001:db8::53"}));
    EXPECT_EQ(storeList(*saved, "SearchDomains"), Items{"lan.test"});
    EXPECT_EQ(storeList(*saved, ResolvedStore::kLinkStateKey),
              storeList(kOriginal, ResolvedStore::kLinkStateKey));

    const StoreDictionary stamp{{"ServerAddresses", Items{"10.0.0.53"}},
                                {"SearchDomains", Items{"vpn.test"}}};
    ASSERT_TRUE(store->setValue(key, stamp)) << store->lastErrorText();
    EXPECT_EQ(store->copyValue(key), stamp) << "our own entry must read back as written";
    EXPECT_EQ(storeList(*opener.open()->copyValue(key), ResolvedStore::kLinkStateKey),
              Items({"dns 10.0.0.53", "domain vpn.test", "route ."}));

    auto restorer = opener.open();
    ASSERT_TRUE(restorer->setValue(key, *saved)) << restorer->lastErrorText();
    EXPECT_EQ(opener.open()->copyValue(key), saved);

    // Removing the key puts back what the link had before this store's
    // first write.
    ASSERT_TRUE(store->setValue(key, stamp));
    ASSERT_TRUE(store->removeValue(key)) << store->lastErrorText();
    EXPECT_EQ(opener.open()->copyValue(key), saved);
}

TEST(ResolvedStoreChoiceTest, ResolvedOnlyWhenResolvConfPointsAtItAndItAnswers) {
    test::TempDir dir;
    const auto path = (dir.path() / "resolv.conf").string();
    int asked = 0;
    const auto answers = [&] {
        ++asked;
        return true;
    };
    for (const std::string target :
         {"../run/systemd/resolve/stub-resolv.conf", "/run/systemd/resolve/resolv.conf"}) {
        fs::remove(path);
        fs::create_symlink(target, path); // dangling is fine: the link decides
        EXPECT_TRUE(useResolvedStore(path, answers)) << target;
        EXPECT_FALSE(useResolvedStore(path, [] { return false; })) << target;
    }
    fs::remove(path);
    std::ofstream(path) << "# stub\nnameserver 127.0.0.53\noptions edns0 trust-ad\n";
    EXPECT_TRUE(useResolvedStore(path, answers));

    asked = 0;
    for (const std::string text : {"nameserver 192.0.2.1\n", "# nameserver 127.0.0.53\n", ""}) {
        std::ofstream(path, std::ios::trunc) << text;
        EXPECT_FALSE(useResolvedStore(path, answers)) << text;
    }
    fs::remove(path);
    EXPECT_FALSE(useResolvedStore(path, answers));
    EXPECT_EQ(asked, 0) << "the bus is asked only when the file points at resolved";
}

/// The link the namespace script hands over, or a skip elsewhere.
#define REAL_RESOLVED_LINK(name)                                                                   \
    const char* name = std::getenv("TORVANE_RESOLVED_IF");                                         \
    if (std::getenv("TORVANE_RESOLVED_NETNS") == nullptr || name == nullptr) {                     \
        GTEST_SKIP() << "runs inside tests/netns/resolved_store.sh";                               \
    }

/// Against a real systemd-resolved inside a namespace: run by
/// tests/netns/resolved_store.sh, skipped elsewhere.
TEST(ResolvedStoreRealTest, BadInputChangesNothingAndAHalfDoneWriteIsUndone) {
    REAL_RESOLVED_LINK(interface);
    EXPECT_TRUE(resolvedAnswers());
    StoreOpener opener(interface, "/run/systemd/resolve/resolv.conf");
    auto store = opener.open();
    const auto key = opener.key();
    ASSERT_TRUE(store->setValue(key, kOriginal));
    const auto before = opener.open()->copyValue(key);
    ASSERT_TRUE(before);

    for (const StoreDictionary& bad :
         {StoreDictionary{{"ServerAddresses", Items{"10.0.0.999"}}},
          StoreDictionary{{"ServerAddresses", Items{"10.0.0.53"}}, {"SearchDomains", Items{"a b"}}},
          StoreDictionary{{ResolvedStore::kLinkStateKey, Items{"dns 10.0.0.53", "nameserver x"}}},
          StoreDictionary{{ResolvedStore::kLinkStateKey, std::string("dns 10.0.0.53")}},
          // Another backend's saved dictionary is not taken for this one's.
          StoreDictionary{{"TorvaneResolvConfBytes", std::string("nameserver x\n")},
                          {"ServerAddresses", Items{"10.0.0.53"}}}}) {
        EXPECT_FALSE(store->setValue(key, bad));
        EXPECT_FALSE(store->lastErrorText().empty());
    }
    EXPECT_FALSE(store->setValue("State:/Network/Global/IPv4", {}));
    EXPECT_FALSE(store->setValue("State:/Network/Service/tvs-nosuch0/DNS",
                                 {{"ServerAddresses", Items{"10.0.0.53"}}}));
    EXPECT_THAT(store->lastErrorText(), HasSubstr("tvs-nosuch0"));
    EXPECT_FALSE(store->copyValue("State:/Network/Service/tvs-nosuch0/DNS"));
    EXPECT_EQ(opener.open()->copyValue(key), before) << "refused input must not reach resolved";

    // The file backend refuses this one's dictionary the other way round.
    test::TempDir dir;
    const auto file = dir.path() / "resolv.conf";
    std::ofstream(file) << "nameserver 127.0.0.53\n";
    auto fileStore = ResolvConfStore::create(
        {}, opener.jobs().post(), {.resolvConfPath = file, .log = {}, .primaryInterface = {}});
    ASSERT_TRUE(fileStore);
    EXPECT_FALSE((*fileStore)->setValue(key, kOriginal));
    EXPECT_THAT((*fileStore)->lastErrorText(), HasSubstr("systemd-resolved"));
    EXPECT_EQ(readAll(file), "nameserver 127.0.0.53\n");

    // resolved itself refuses a domain with an empty label, after the
    // servers were already set: they must be put back.
    EXPECT_FALSE(store->setValue(
        key, {{"ServerAddresses", Items{"10.0.0.53"}}, {"SearchDomains", Items{"a..b"}}}));
    EXPECT_THAT(store->lastErrorText(), HasSubstr("SetLinkDomains"));
    EXPECT_EQ(opener.open()->copyValue(key), before) << "a half-done write is undone";
}

/// Drops everything set on the link, as `resolvectl revert` does.
bool revertLink(const std::string& interface) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        return false;
    }
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    const int status =
        sd_bus_call_method(bus, "org.freedesktop.resolve1", "/org/freedesktop/resolve1",
                           "org.freedesktop.resolve1.Manager", "RevertLink", &error, nullptr, "i",
                           static_cast<int>(::if_nametoindex(interface.c_str())));
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return status >= 0;
}

TEST(ResolvedStoreRealTest, OverrideKeepsTrackOfRepublishedDNSAndTheJournalRestoresIt) {
    REAL_RESOLVED_LINK(interface);
    StoreOpener opener(interface, "/run/systemd/resolve/resolv.conf");
    const auto key = opener.key();
    ASSERT_TRUE(opener.open()->setValue(key, kOriginal));
    test::TempDir dir;
    RecordingCommandRunner runner;
    FakeRoutes routes;
    FakeFirewall firewall;
    FakeIpv6Control ipv6;
    BundleLocator locator{"/opt/torvane/torvane-helper"};
    ChangeJournal journal((dir.path() / "journal.json").string());
    std::vector<std::string> logs;
    NetworkContext context{runner,
                           routes,
                           firewall,
                           ipv6,
                           locator,
                           "/nonexistent",
                           [&](const std::string& line) { logs.push_back(line); },
                           [](const std::string&) {},
                           &journal};
    test::NoDnsProxy proxy;
    DnsOverride dns(context, proxy, [&](DynamicStore::ChangeHandler onChange) {
        return ResolvedStore::create(
            std::move(onChange), opener.jobs().post(),
            {.resolvedResolvConfPath = "/run/systemd/resolve/resolv.conf",
             .primaryInterface = [name = std::string(interface)] { return std::optional(name); },
             .routeInterface = {}});
    });
    dns.updateNotificationKeys(true);
    const auto linkState = [&] {
        return storeList(*opener.open()->copyValue(key), ResolvedStore::kLinkStateKey);
    };

    dns.applyDNS({"10.0.0.53"}, {"corp.example"}, "Work");
    dns.enforceDNSOverride();
    EXPECT_EQ(linkState(), Items({"dns 10.0.0.53", "domain corp.example", "route ."}));
    EXPECT_THAT(logs, testing::Not(testing::Contains(HasSubstr("re-published"))));

    // The leak check reads the link resolved uses, not resolv.conf (which
    // names only resolved's stub): as written, it finds nothing to report.
    const auto verdict = [&] {
        return resolverFinding(dns.resolverInUse(), dns.desiredDNSServers());
    };
    const auto show = [](const std::optional<LeakFinding>& finding) {
        std::cout << "leak check, dns: "
                  << (finding ? finding->level + "  " + finding->text + " / " + finding->hint
                              : std::string("OK, the resolver is as written"))
                  << "\n";
    };
    show(verdict());
    EXPECT_EQ(verdict(), std::nullopt);
    // Reverted behind the helper's back: FAIL naming the link, until the
    // override, told by resolved, writes it again.
    ASSERT_TRUE(revertLink(interface));
    const auto reverted = verdict();
    show(reverted);
    ASSERT_TRUE(reverted);
    EXPECT_EQ(reverted->level, kLeakFail);
    EXPECT_EQ(reverted->text, std::string("the system resolver uses no servers instead of the "
                                          "tunnel's 10.0.0.53 (systemd-resolved's settings for ") +
                                  interface + ")");
    EXPECT_EQ(reverted->hint, std::string("Something changed systemd-resolved's settings for ") +
                                  interface + "; reconnect the tunnel to apply its DNS again.");
    ASSERT_TRUE(opener.jobs().runUntil([&] { return !verdict(); }));
    logs.clear();

    // DHCP hands the link new values while the override holds.
    const StoreDictionary renewed{
        {ResolvedStore::kLinkStateKey, Items{"dns 192.0.2.99", "domain dhcp.test"}}};
    ASSERT_TRUE(opener.open()->setValue(key, renewed));
    ASSERT_TRUE(opener.jobs().runUntil([&] {
        return std::any_of(logs.begin(), logs.end(), [](const auto& line) {
            return line.find("re-published") != std::string::npos;
        });
    }));
    EXPECT_EQ(linkState(), Items({"dns 10.0.0.53", "domain corp.example", "route ."}));

    // A helper that died here is cleaned up after by the next one, which
    // knows only the journal.
    const auto steps = ChangeJournal::load(journal.path());
    ASSERT_TRUE(steps);
    ASSERT_EQ(steps->size(), 1U);
    const UndoStep& step = steps->front().second;
    ASSERT_TRUE(step.storeDictionary);
    ASSERT_TRUE(opener.open()->setValue(step.storeKey, *step.storeDictionary));
    EXPECT_EQ(linkState(), storeList(renewed, ResolvedStore::kLinkStateKey));

    dns.restoreDNS();
    EXPECT_EQ(linkState(), storeList(renewed, ResolvedStore::kLinkStateKey));
    EXPECT_EQ(logs.back(), std::string("DNS restored (services: ") + interface + ")");
    ASSERT_TRUE(opener.open()->setValue(key, kOriginal));
}

TEST(ResolvedStoreRealTest, OverrideAndRestoreOnAVethLink) {
    REAL_RESOLVED_LINK(interface);
    StoreOpener opener(interface, "/run/systemd/resolve/resolv.conf");
    overrideAndRestore(opener);

    std::vector<std::vector<std::string>> seen;
    auto store = opener.open([&](const std::vector<std::string>& keys) { seen.push_back(keys); });
    store->setNotificationKeys({}, {"State:/Network/Service/[^/]+/DNS"});
    ASSERT_TRUE(opener.open()->setValue(opener.key(), {{"ServerAddresses", Items{"10.0.0.54"}}}));
    ASSERT_TRUE(opener.jobs().runUntil([&] { return !seen.empty(); }));
    EXPECT_THAT(seen.front(), ElementsAre(opener.key()));
    ASSERT_TRUE(store->setValue(opener.key(), kOriginal));
}

/// The first IPv4 address resolved gives for `name`, asked as any program
/// on the system would (through resolved's own ResolveHostname).
std::string resolveThroughResolved(const std::string& name) {
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        return "no bus";
    }
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C compound literal
    sd_bus_message* reply = nullptr;
    std::string answer = "no answer";
    int status = sd_bus_call_method(bus, "org.freedesktop.resolve1", "/org/freedesktop/resolve1",
                                    "org.freedesktop.resolve1.Manager", "ResolveHostname", &error,
                                    &reply, "isit", 0, name.c_str(), AF_INET, UINT64_C(0));
    int index = 0;
    int family = 0;
    const void* bytes = nullptr;
    std::size_t size = 0;
    if (status < 0) {
        answer = error.message != nullptr ? error.message : "call failed";
    } else if (sd_bus_message_enter_container(reply, 'a', "(iiay)") > 0 &&
               sd_bus_message_enter_container(reply, 'r', "iiay") > 0 &&
               sd_bus_message_read(reply, "ii", &index, &family) >= 0 &&
               sd_bus_message_read_array(reply, 'y', &bytes, &size) >= 0 && size == 4) {
        std::array<char, INET_ADDRSTRLEN> text{};
        answer = ::inet_ntop(AF_INET, bytes, text.data(), text.size());
    }
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return answer;
}

TEST(ResolvedStoreRealTest, TheOverriddenLinkAnswersEveryName) {
    const char* tunnel = std::getenv("TORVANE_RESOLVED_IF");
    const char* other = std::getenv("TORVANE_RESOLVED_OTHER_IF");
    const char* tunnelServer = std::getenv("TORVANE_RESOLVED_TUNNEL_DNS");
    const char* otherServer = std::getenv("TORVANE_RESOLVED_OTHER_DNS");
    const char* answer = std::getenv("TORVANE_RESOLVED_TUNNEL_ANSWER");
    if (std::getenv("TORVANE_RESOLVED_NETNS") == nullptr || tunnel == nullptr || other == nullptr ||
        tunnelServer == nullptr || otherServer == nullptr || answer == nullptr) {
        GTEST_SKIP() << "runs inside tests/netns/resolved_store.sh";
    }
    StoreOpener opener(tunnel, "/run/systemd/resolve/resolv.conf");
    StoreOpener otherLink(other, "/run/systemd/resolve/resolv.conf");
    // Another link with a server of its own, as a second network would have.
    ASSERT_TRUE(otherLink.open()->setValue(
        otherLink.key(),
        {{ResolvedStore::kLinkStateKey, Items{std::string("dns ") + otherServer}}}));

    auto store = opener.open();
    const auto saved = store->copyValue(opener.key());
    ASSERT_TRUE(saved);
    ASSERT_TRUE(store->setValue(opener.key(), {{"ServerAddresses", Items{tunnelServer}},
                                               {"SearchDomains", Items{"vpn.test"}}}))
        << store->lastErrorText();
    // Without the override's routing domain resolved asks every link with
    // servers (and its global ones) and takes the first answer. The script
    // counts what leaves through the other link meanwhile: nothing may.
    int answered = 0;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "n" + std::to_string(i) + ".x.test";
        const std::string got = resolveThroughResolved(name);
        EXPECT_EQ(got, answer) << name;
        answered += got == answer ? 1 : 0;
    }
    std::cout << "resolved backend: " << answered << " of 200 distinct names answered by the "
              << "overriding link's server\n";
    ASSERT_TRUE(store->setValue(opener.key(), *saved)) << store->lastErrorText();
}

// On a machine whose resolver is resolved's stub, a DNS proxy without servers
// of its own forwards to the primary link's servers: 127.0.0.53 would send
// its queries back through the override to itself.
TEST(ResolvedStoreRealTest, TheProxyForwardsToThePrimaryLinksServersNotTheStub) {
    const char* interface = std::getenv("TORVANE_RESOLVED_IF");
    const char* server = std::getenv("TORVANE_RESOLVED_TUNNEL_DNS");
    const char* answer = std::getenv("TORVANE_RESOLVED_TUNNEL_ANSWER");
    const char* helperDir = std::getenv("TORVANE_TEST_HELPER_DIR");
    if (std::getenv("TORVANE_RESOLVED_NETNS") == nullptr || interface == nullptr ||
        server == nullptr || answer == nullptr || helperDir == nullptr || *helperDir == '\0') {
        GTEST_SKIP() << "runs inside tests/netns/resolved_store.sh with the helper's build dir";
    }
    StoreOpener opener(interface, "/run/systemd/resolve/resolv.conf");
    ASSERT_TRUE(opener.open()->setValue(
        opener.key(), {{ResolvedStore::kLinkStateKey, Items{std::string("dns ") + server}}}));

    test::TempDir dir;
    PosixCommandRunner runner;
    PosixProcessLauncher launcher;
    SystemClock clock;
    FakeRoutes routes;
    FakeFirewall firewall;
    FakeIpv6Control ipv6;
    BundleLocator locator(std::string(helperDir) + "/torvane-helper");
    std::vector<std::string> logs;
    NetworkContext context{runner,
                           routes,
                           firewall,
                           ipv6,
                           locator,
                           dir.path().string(),
                           [&](const std::string& line) { logs.push_back(line); },
                           [](const std::string&) {},
                           nullptr};
    DnsProxy proxy(context, launcher, clock);
    DnsOverride dns(context, proxy, [&](DynamicStore::ChangeHandler onChange) {
        return ResolvedStore::create(
            std::move(onChange), opener.jobs().post(),
            {.resolvedResolvConfPath = "/run/systemd/resolve/resolv.conf",
             .primaryInterface = [name = std::string(interface)] { return std::optional(name); },
             .routeInterface = {}});
    });
    VPNProfile profile;
    profile.name = "Proxy";
    profile.dnsmasqEnabled = true;
    Tunnel tunnel(profile);
    tunnel.vip = "10.99.0.1";
    tunnel.tun = "ipsec0";

    dns.reconcileDNS({&tunnel});
    ASSERT_TRUE(proxy.isRunning()) << tunnel.message.value_or("");
    EXPECT_THAT(dns.upstreamServers(), ElementsAre(server));
    EXPECT_THAT(readAll(proxy.configPath()), HasSubstr(std::string("\nserver=") + server + "\n"));
    EXPECT_EQ(storeList(*opener.open()->copyValue(opener.key()), "ServerAddresses"),
              Items{"127.0.0.1"});
    // Asked as any program would: resolved, then our proxy, then the server
    // the link had before.
    EXPECT_EQ(resolveThroughResolved("proxied.x.test"), answer);

    dns.reconcileDNS({});
    EXPECT_FALSE(proxy.isRunning());
    EXPECT_EQ(storeList(*opener.open()->copyValue(opener.key()), ResolvedStore::kLinkStateKey),
              Items{std::string("dns ") + server});
    ASSERT_TRUE(opener.open()->setValue(opener.key(), kOriginal));
}

// resolved sends a link's queries out of that link, whatever the routing
// table says: a tunnel's servers set on the primary link would leave by it,
// outside the tunnel. They go onto the link the kernel routes them through
// (here the second veth stands in for the tunnel's device); the script
// counts what leaves by each link meanwhile.
TEST(ResolvedStoreDivertTest, ServersRoutedThroughAnotherLinkAreAskedOnlyThere) {
    const char* primary = std::getenv("TORVANE_RESOLVED_IF");
    const char* other = std::getenv("TORVANE_RESOLVED_OTHER_IF");
    const char* server = std::getenv("TORVANE_RESOLVED_OTHER_DNS");
    const char* answer = std::getenv("TORVANE_RESOLVED_OTHER_ANSWER");
    if (std::getenv("TORVANE_RESOLVED_DIVERT") == nullptr || primary == nullptr ||
        other == nullptr || server == nullptr || answer == nullptr) {
        GTEST_SKIP() << "runs inside tests/netns/resolved_store.sh";
    }
    StoreOpener opener(primary, "/run/systemd/resolve/resolv.conf");
    StoreOpener otherLink(other, "/run/systemd/resolve/resolv.conf");
    const auto linkState = [](StoreOpener& at) {
        return storeList(*at.open()->copyValue(at.key()), ResolvedStore::kLinkStateKey);
    };
    const auto primaryBefore = linkState(opener);
    const auto otherBefore = linkState(otherLink);

    auto store = opener.open();
    const auto saved = store->copyValue(opener.key());
    ASSERT_TRUE(saved);
    // First the local DNS proxy's address (asked over loopback: it stays on
    // the primary link), then servers behind the other link: nothing of
    // ours may stay on the primary link beside them.
    ASSERT_TRUE(store->setValue(opener.key(), {{"ServerAddresses", Items{"127.0.0.1"}}}));
    EXPECT_EQ(linkState(opener), Items({"dns 127.0.0.1", "route ."}));
    const StoreDictionary stamp{{"ServerAddresses", Items{server}},
                                {"SearchDomains", Items{"vpn.test"}}};
    ASSERT_TRUE(store->setValue(opener.key(), stamp)) << store->lastErrorText();
    EXPECT_EQ(store->copyValue(opener.key()), stamp);
    EXPECT_EQ(linkState(opener), primaryBefore);
    EXPECT_EQ(linkState(otherLink),
              Items({std::string("dns ") + server, "domain vpn.test", "route ."}));
    // The leak check looks where the servers went.
    const auto inUse = store->resolverInUse();
    ASSERT_TRUE(inUse);
    EXPECT_EQ(inUse->servers, Items{server});
    EXPECT_EQ(inUse->place, std::string("systemd-resolved's settings for ") + other);
    EXPECT_EQ(inUse->missingDomains, Items{});
    int answered = 0;
    for (int i = 0; i < 200; ++i) {
        answered += resolveThroughResolved("t" + std::to_string(i) + ".x.test") == answer ? 1 : 0;
    }
    EXPECT_EQ(answered, 200);
    std::cout << "resolved backend: " << answered
              << " of 200 names answered by the server behind the other link\n";

    ASSERT_TRUE(store->setValue(opener.key(), *saved)) << store->lastErrorText();
    EXPECT_EQ(linkState(opener), primaryBefore);
    EXPECT_EQ(linkState(otherLink), otherBefore);
}

/// Run by tests/netns/resolved_store.sh once it has ended resolved: every
/// call fails with a reason, and nothing crashes.
TEST(ResolvedStoreGoneTest, CallsFailWithAReason) {
    const char* interface = std::getenv("TORVANE_RESOLVED_IF");
    if (std::getenv("TORVANE_RESOLVED_GONE") == nullptr || interface == nullptr) {
        GTEST_SKIP() << "runs inside tests/netns/resolved_store.sh";
    }
    StoreOpener opener(interface, "/run/systemd/resolve/resolv.conf");
    auto store = opener.open();
    ASSERT_TRUE(store);
    EXPECT_FALSE(store->setValue(opener.key(), {{"ServerAddresses", Items{"10.0.0.53"}}}));
    EXPECT_THAT(store->lastErrorText(), HasSubstr("systemd-resolved"));
    EXPECT_FALSE(store->copyValue(opener.key()));
    EXPECT_FALSE(resolvedAnswers());
}

} // namespace
} // namespace torvane
