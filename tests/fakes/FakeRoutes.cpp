#include "tests/fakes/FakeRoutes.h"

namespace torvane {

namespace {

std::string describe(const RouteChange& change) {
    const auto& route = change.route;
    if (change.action == RouteChange::Action::remove) {
        return "delete " + route.cidr;
    }
    return "add " + route.cidr +
           (route.device.empty() ? " via " + route.viaAddress : " dev " + route.device);
}

} // namespace

void FakeRoutes::record(const std::string& line) {
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(line);
        observer = m_observer;
    }
    if (observer) {
        observer(line);
    }
}

std::vector<std::string> FakeRoutes::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FakeRoutes::clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
    m_batches = 0;
}

int FakeRoutes::batches() const {
    std::lock_guard lock(m_mutex);
    return m_batches;
}

std::map<std::string, RouteLookup> FakeRoutes::hostRoutes() const {
    std::lock_guard lock(m_mutex);
    return m_hosts;
}

void FakeRoutes::setDefaultRoute(std::optional<RouteLookup> route) {
    std::lock_guard lock(m_mutex);
    m_default = std::move(route);
}

void FakeRoutes::setLookup(const std::string& address, RouteLookup answer) {
    std::lock_guard lock(m_mutex);
    m_lookups[address] = std::move(answer);
}

void FakeRoutes::setTable(std::vector<RouteTableRow> rows) {
    std::lock_guard lock(m_mutex);
    m_table = std::move(rows);
}

void FakeRoutes::failAdd(const std::string& destination, std::string reason) {
    std::lock_guard lock(m_mutex);
    m_failures[destination] = std::move(reason);
}

void FakeRoutes::clearFailures() {
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

void FakeRoutes::dropAll() {
    std::lock_guard lock(m_mutex);
    m_networks.clear();
    m_hosts.clear();
}

void FakeRoutes::setObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

RouteOutcome FakeRoutes::change(const RouteChange& change) {
    record(describe(change));
    std::lock_guard lock(m_mutex);
    const auto& cidr = change.route.cidr;
    if (change.action == RouteChange::Action::remove) {
        return m_networks.erase(cidr) > 0 ? RouteOutcome{} : RouteOutcome::failure("not in table");
    }
    if (const auto failure = m_failures.find(cidr); failure != m_failures.end()) {
        return RouteOutcome::failure(failure->second);
    }
    if (!m_networks.try_emplace(cidr, change.route).second) {
        return RouteOutcome::failure("File exists");
    }
    return {};
}

std::vector<RouteOutcome> FakeRoutes::apply(const std::vector<RouteChange>& changes,
                                            RouteTimeLimit) {
    std::vector<RouteOutcome> outcomes;
    if (changes.empty()) {
        return outcomes;
    }
    record("batch");
    {
        std::lock_guard lock(m_mutex);
        ++m_batches;
    }
    for (const auto& one : changes) {
        outcomes.push_back(change(one));
    }
    return outcomes;
}

RouteOutcome FakeRoutes::addHost(const std::string& line, const std::string& host,
                                 RouteLookup route) {
    record(line);
    std::lock_guard lock(m_mutex);
    if (const auto failure = m_failures.find(host); failure != m_failures.end()) {
        return RouteOutcome::failure(failure->second);
    }
    if (!m_hosts.try_emplace(host, std::move(route)).second) {
        return RouteOutcome::failure("File exists");
    }
    return {};
}

RouteOutcome FakeRoutes::addHostRoute(const std::string& host, const std::string& gateway,
                                      RouteTimeLimit) {
    return addHost("add host " + host + " via " + gateway, host, {host, gateway, "eth0"});
}

RouteOutcome FakeRoutes::addHostRouteOnDevice(const std::string& host, const std::string& device,
                                              RouteTimeLimit) {
    return addHost("add host " + host + " dev " + device, host, {host, std::nullopt, device});
}

RouteOutcome FakeRoutes::deleteHostRoute(const std::string& host, RouteTimeLimit) {
    record("delete host " + host);
    std::lock_guard lock(m_mutex);
    return m_hosts.erase(host) > 0 ? RouteOutcome{} : RouteOutcome::failure("not in table");
}

Expected<RouteLookup, std::string> FakeRoutes::defaultRoute(RouteTimeLimit) {
    record("default");
    std::lock_guard lock(m_mutex);
    if (!m_default) {
        return Unexpected{std::string("no IPv4 default route")};
    }
    return *m_default;
}

Expected<RouteLookup, std::string> FakeRoutes::lookup(const std::string& address, RouteTimeLimit) {
    record("lookup " + address);
    std::lock_guard lock(m_mutex);
    if (const auto route = m_hosts.find(address); route != m_hosts.end()) {
        return route->second;
    }
    if (const auto answer = m_lookups.find(address); answer != m_lookups.end()) {
        return answer->second;
    }
    return Unexpected{"get " + address + ": Network is unreachable"};
}

Expected<std::vector<RouteTableRow>, std::string> FakeRoutes::table(RouteTimeLimit) {
    record("table");
    std::lock_guard lock(m_mutex);
    return m_table;
}

CharonLeftovers FakeRoutes::removeCharonLeftovers(RouteTimeLimit) {
    record("charon leftovers");
    return {};
}

} // namespace torvane
