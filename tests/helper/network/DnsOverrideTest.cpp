#include "helper/network/DnsOverride.h"

#include "helper/process/EngineError.h"
#include "tests/fakes/FakeDynamicStore.h"
#include "tests/helper/network/NetworkFakes.h"
#include "tests/helper/platform/linux/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const std::string kIPv4 = "State:/Network/Global/IPv4";

std::string dnsKey(const std::string& id) {
    return "State:/Network/Service/" + id + "/DNS";
}

StoreDictionary primary(const std::string& id) {
    return {{"PrimaryService", id}};
}

class FakeDnsProxy final : public DnsProxyControl {
public:
    bool isRunning() const override { return running; }
    std::optional<Uuid> ownerID() const override { return owner; }
    void setOwnerID(std::optional<Uuid> id) override { owner = id; }
    void startDnsmasq(const VPNProfile& profile,
                      const std::vector<std::string>& upstream) override {
        upstreams.push_back(upstream);
        starts.push_back(profile.name);
        if (failure) {
            throw EngineError(*failure);
        }
        running = true;
        exited.reset();
    }
    void stopDnsmasq() override {
        ++stops;
        running = false;
        owner.reset();
    }
    std::optional<int> exitedStatus() override { return running ? exited : std::nullopt; }

    bool running = false;
    std::optional<Uuid> owner;
    std::optional<std::string> failure;
    std::optional<int> exited; // set by a test: the proxy died with this status
    std::vector<std::string> starts;
    std::vector<std::vector<std::string>> upstreams;
    int stops = 0;
};

class DnsOverrideTest : public testing::Test, protected NetworkFakes {
protected:
    DnsOverrideTest() { context.stagingRoot = m_dir; }

    DynamicStoreFactory factory() {
        return [this](DynamicStore::ChangeHandler onChange)
                   -> Expected<std::unique_ptr<DynamicStore>, std::string> {
            ++factoryCalls;
            if (factoryError) {
                return Unexpected{*factoryError};
            }
            auto created = std::make_unique<FakeDynamicStore>(std::move(onChange));
            for (const auto& [key, value] : initialValues) {
                created->publish(key, value);
            }
            store = created.get();
            return std::unique_ptr<DynamicStore>(std::move(created));
        };
    }

    DnsOverride& dns() {
        if (!m_dns) {
            m_dns = std::make_unique<DnsOverride>(context, proxy, factory(), resolvConf);
        }
        return *m_dns;
    }

    test::TempDir m_tmp;
    std::string m_dir = m_tmp.path().string();
    std::string resolvConf = m_dir + "/resolv.conf";
    FakeDnsProxy proxy;
    std::map<std::string, StoreDictionary> initialValues{
        {kIPv4, primary("en0")},
        {dnsKey("en0"),
         {{"ServerAddresses", std::vector<std::string>{"192.168.1.1"}},
          {"SearchDomains", std::vector<std::string>{"home.lan"}},
          {"DomainName", std::string("home.lan")}}}};
    std::optional<std::string> factoryError;
    int factoryCalls = 0;
    FakeDynamicStore* store = nullptr;

private:
    std::unique_ptr<DnsOverride> m_dns;
};

TEST_F(DnsOverrideTest, ANewDesiredSetDoesNotMistakeOurOldStampForTheOriginal) {
    dns().applyDNS({"10.0.0.53"}, {}, "Work");
    dns().applyDNS({"10.8.8.8"}, {"lab.example"}, "Lab");
    EXPECT_THAT(logs, testing::Not(testing::Contains(testing::HasSubstr("re-published"))));

    dns().restoreDNS();
    EXPECT_EQ(store->copyValue(dnsKey("en0")), initialValues[dnsKey("en0")]);
}

TEST_F(DnsOverrideTest, SearchDomainsAloneKeepTheOriginalServers) {
    dns().applyDNS({}, {"corp.example"}, "Work");
    const StoreDictionary expected{{"ServerAddresses", std::vector<std::string>{"192.168.1.1"}},
                                   {"SearchDomains", std::vector<std::string>{"corp.example"}}};
    EXPECT_EQ(store->copyValue(dnsKey("en0")), expected);

    // Two empty lists leave the override as it is.
    dns().applyDNS({}, {}, "Other");
    EXPECT_EQ(dns().desiredSearchDomains(), std::vector<std::string>{"corp.example"});
    EXPECT_EQ(store->copyValue(dnsKey("en0")), expected);
}

TEST_F(DnsOverrideTest, WaitsForAPrimaryServiceAndRetriesFailedWrites) {
    initialValues.erase(kIPv4);
    dns().updateNotificationKeys(true);
    dns().applyDNS({"10.0.0.53"}, {}, "Work");
    EXPECT_EQ(logs.back(), "DNS override: no primary network service right now — will re-apply "
                           "when one appears");

    store->failWrites("permission denied");
    store->publish(kIPv4, primary("en0"));
    EXPECT_TRUE(dns().storeChanged({kIPv4}));
    EXPECT_EQ(logs.back(), "DNS set FAILED on State:/Network/Service/en0/DNS: permission denied");

    store->failWrites(std::nullopt);
    EXPECT_FALSE(dns().storeChanged({dnsKey("en0")}));
    EXPECT_EQ(store->copyValue(dnsKey("en0")),
              (StoreDictionary{{"ServerAddresses", std::vector<std::string>{"10.0.0.53"}},
                               {"SearchDomains", std::vector<std::string>{"home.lan"}}}));
}

TEST_F(DnsOverrideTest, StoreThatCannotBeOpenedIsRetriedLater) {
    factoryError = "no system bus";
    dns().applyDNS({"10.0.0.53"}, {}, "Work");
    EXPECT_THAT(logs, ElementsAre(testing::_, "network store could not be opened: no system bus — "
                                              "cannot apply DNS"));
    EXPECT_TRUE(dns().dnsOverrideActive());

    factoryError.reset();
    dns().enforceDNSOverride();
    EXPECT_EQ(factoryCalls, 2);
    ASSERT_NE(store, nullptr);
    EXPECT_TRUE(store->copyValue(dnsKey("en0"))->contains("ServerAddresses"));
}

class DnsReconcileTest : public DnsOverrideTest {
protected:
    Tunnel& addTunnel(const std::string& name, std::int64_t priority) {
        VPNProfile profile;
        profile.name = name;
        profile.priority = priority;
        auto& tunnel = tunnels.emplace_back(std::make_unique<Tunnel>(profile));
        tunnel->vip = "10.99.0.1";
        tunnel->tun = "ipsec0";
        return *tunnel;
    }
    VPNProfile& profileOf(Tunnel& tunnel) { return const_cast<VPNProfile&>(tunnel.profile); }
    std::vector<Tunnel*> ordered() const {
        std::vector<Tunnel*> result;
        for (const auto& tunnel : tunnels) {
            result.push_back(tunnel.get());
        }
        return result;
    }
    std::vector<std::string> storeServers() {
        return storeList(*store->copyValue(dnsKey("en0")), "ServerAddresses").value();
    }

    std::vector<std::unique_ptr<Tunnel>> tunnels;
};

TEST_F(DnsReconcileTest, ProxyOwnerAndDNSTunnelCanDiffer) {
    Tunnel& a = addTunnel("A", 0);
    profileOf(a).dnsServers = {"10.0.0.53"};
    Tunnel& b = addTunnel("B", 1);
    profileOf(b).dnsmasqEnabled = true;
    profileOf(b).searchDomains = {"b.example"};

    dns().reconcileDNS(ordered());
    EXPECT_THAT(proxy.starts, ElementsAre("B"));
    EXPECT_EQ(proxy.owner, b.profile.id);
    EXPECT_THAT(logs, testing::Contains("dnsmasq owned by 'B' (highest-priority dnsmasq profile)"));
    EXPECT_THAT(storeServers(), ElementsAre("10.0.0.53"));

    tunnels.erase(tunnels.begin());
    dns().reconcileDNS(ordered());
    EXPECT_THAT(proxy.starts, ElementsAre("B"));
    EXPECT_THAT(storeServers(), ElementsAre("127.0.0.1"));
    EXPECT_THAT(storeList(*store->copyValue(dnsKey("en0")), "SearchDomains").value(),
                ElementsAre("b.example"));

    // A tunnel still negotiating (no VIP, no TUN) takes no part.
    Tunnel& c = addTunnel("C", -1);
    profileOf(c).dnsServers = {"10.9.9.9"};
    c.vip.reset();
    c.tun.reset();
    std::vector<Tunnel*> withC{&c, tunnels.front().get()};
    dns().reconcileDNS(withC);
    EXPECT_THAT(storeServers(), ElementsAre("127.0.0.1"));

    tunnels.clear();
    dns().reconcileDNS({});
    EXPECT_EQ(proxy.stops, 1);
    EXPECT_FALSE(proxy.owner);
    EXPECT_FALSE(dns().dnsOverrideActive());
    EXPECT_EQ(store->copyValue(dnsKey("en0")), initialValues[dnsKey("en0")]);
}

TEST_F(DnsReconcileTest, AProxyThatDiesAndCannotComeBackLeavesTheOwnersServers) {
    Tunnel& b = addTunnel("B", 0);
    profileOf(b).dnsmasqEnabled = true;
    profileOf(b).dnsServers = {"10.0.0.53"};
    dns().reconcileDNS(ordered());
    ASSERT_THAT(storeServers(), ElementsAre("127.0.0.1"));
    EXPECT_FALSE(dns().recoverExitedProxy(ordered()));

    // It dies and cannot come back: the machine must not be left
    // pointing at a resolver that is gone.
    proxy.exited = 1;
    proxy.failure = "dnsmasq exited (status 2)";
    EXPECT_TRUE(dns().recoverExitedProxy(ordered()));
    EXPECT_EQ(b.message, "dnsmasq failed: dnsmasq exited (status 2)");
    EXPECT_THAT(storeServers(), ElementsAre("10.0.0.53"));
    EXPECT_FALSE(dns().recoverExitedProxy(ordered()));
    EXPECT_EQ(proxy.starts.size(), 2U);
}

// Without a store value the file is read as the resolver reads it.
TEST_F(DnsReconcileTest, CapturesTheUpstreamResolversOnce) {
    initialValues.erase(dnsKey("en0"));
    std::ofstream(resolvConf) << "nameserver 192.168.1.1\n# a comment\n\tnameserver  fe80::1%en0 \n"
                                 "nameserver\t10.1.1.1\nnameserver\nnameservers 10.2.2.2\n"
                                 "nameserver 127.0.0.53\n";
    Tunnel& a = addTunnel("A", 0);
    profileOf(a).dnsServers = {"10.0.0.53"};
    dns().reconcileDNS(ordered());

    const std::string upstream = dns().upstreamResolvConfPath();
    EXPECT_EQ(upstream, m_dir + "/upstream.resolv.conf");
    const std::string captured =
        "nameserver 192.168.1.1\nnameserver fe80::1%en0\nnameserver 10.1.1.1\n";
    EXPECT_EQ(test::readAll(upstream), captured);
    struct stat info {};
    ASSERT_EQ(::stat(upstream.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // Captured once per override, even if the system file changes.
    std::ofstream(resolvConf) << "nameserver 10.3.3.3\n";
    dns().reconcileDNS(ordered());
    EXPECT_EQ(test::readAll(upstream), captured);
}

} // namespace
} // namespace torvane
