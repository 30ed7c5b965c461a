// torvane-demo-daemon SOCKET CONFIG_HOME: a scripted daemon for screenshots.
// Writes three profiles into the app's settings under CONFIG_HOME (the
// app's XDG_CONFIG_HOME), then answers on SOCKET as a daemon with the first
// profile connected, and sends a few log lines once the app subscribes.
// "Office" carries SA details whose counters grow every 2 s, as a real daemon
// reports them to a subscriber. SIGUSR1 pushes a status with "Office"
// reconnecting, as after a drop (the app's notification of it can then be
// captured). It also serves one administrator's profile, "Head Office",
// always on. Runs until SIGINT or SIGTERM.

#include "shared/VPNProfile.h"
#include "shared/VPNRuntimeStatus.h"
#include "shared/managed/ManagedProfileJson.h"
#include "shared/protocol/ServerMessage.h"
#include "tests/fakes/core/FakeDaemon.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include <QByteArray>
#include <QSettings>
#include <nlohmann/json.hpp>

namespace {

using namespace torvane;

std::vector<VPNProfile> demoProfiles() {
    std::vector<VPNProfile> profiles(3);
    profiles[0].name = "Office";
    profiles[0].authMethod = VPNAuthMethod::certificate;
    profiles[0].ikeVersion = 2;
    profiles[0].remoteAddr = "vpn.office.example";
    profiles[1].name = "Lab";
    profiles[1].authMethod = VPNAuthMethod::psk;
    profiles[1].remoteAddr = "198.51.100.7";
    profiles[2].name = "Home";
    profiles[2].authMethod = VPNAuthMethod::xauth;
    profiles[2].remoteAddr = "192.0.2.10";
    return profiles;
}

std::string logCallback(const std::string& line) {
    return nlohmann::json{{"callback", "logLine:"}, {"line", line}}.dump();
}

std::string statusCallback(const VPNRuntimeStatus& status) {
    std::string line =
        protocol::encodeCallback(protocol::StatusChanged{encodeRuntimeStatus(status)}).value();
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: torvane-demo-daemon SOCKET CONFIG_HOME\n");
        return 2;
    }
    const auto profiles = demoProfiles();
    {
        QSettings settings(QString::fromLocal8Bit(argv[2]) + QStringLiteral("/kelvor/Torvane.conf"),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("Profiles"),
                          QByteArray::fromStdString(encodeProfileList(profiles)));
        settings.sync();
    }

    VPNRuntimeStatus status;
    VPNTunnelStatus office;
    office.profileID = profiles[0].id.upperText();
    office.profileName = profiles[0].name;
    office.state = VPNConnState::connected;
    office.assignedVIP = "10.99.0.1";
    office.tunDevice = "ipsec0";
    VPNSaDetails sa;
    sa.bytesIn = 48'213'774;
    sa.bytesOut = 3'402'118;
    sa.packetsIn = 41'377;
    sa.packetsOut = 19'045;
    sa.ikeProposal = "AES_GCM_16-256 / PRF_HMAC_SHA2_384 / ECP_384";
    sa.espProposal = "AES_GCM_16-256";
    sa.establishedSeconds = 3'732;
    sa.ikeRekeySeconds = 9'846;
    sa.espRekeySeconds = 2'614;
    sa.localAddress = "192.168.1.24[4500]";
    sa.remoteAddress = "203.0.113.10[4500]";
    sa.localTrafficSelectors = {"10.99.0.1/32"};
    sa.remoteTrafficSelectors = {"0.0.0.0/0"};
    office.tunnelSA = sa;
    status.tunnels.push_back(office);

    // Block the signals before the daemon's threads exist so that only
    // sigtimedwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    testing::FakeDaemon daemon(argv[1]);
    daemon.setStatusData(encodeRuntimeStatus(status));
    ManagedProfile headOffice;
    headOffice.profile.name = "Head Office";
    headOffice.profile.authMethod = VPNAuthMethod::certificate;
    headOffice.profile.remoteAddr = "vpn.hq.example";
    headOffice.profile.remoteID = "vpn.hq.example";
    headOffice.profile.dnsServers = {"10.20.0.53"};
    headOffice.profile.searchDomains = {"corp.example"};
    headOffice.alwaysOn = true;
    headOffice.userMayDisconnect = false;
    headOffice.sourceFile = "profiles.d/head-office.json";
    daemon.setManagedData(encodeManagedProfiles({headOffice}));
    daemon.listen();
    std::fprintf(stderr, "torvane-demo-daemon: listening on %s\n", argv[1]);

    if (daemon.waitForCount(protocol::HelperCall::subscribe, 1, std::chrono::seconds(60))) {
        std::fprintf(stderr, "torvane-demo-daemon: a client subscribed\n");
        for (const char* line : {
                 "charon: 00[DMN] Starting IKE charon daemon (strongSwan 5.9.8)",
                 "charon: 00[KNL] created TUN device: ipsec0",
                 "Starting Office (IKEv2, certificate) to vpn.office.example",
                 "[IKE] installing new virtual IP 10.99.0.1",
                 "Route 0.0.0.0/1 via ipsec0 (Office)",
                 "Route 128.0.0.0/1 via ipsec0 (Office)",
                 "Connected (10.99.0.1)",
             }) {
            daemon.sendToAll(logCallback(line));
        }
    }
    const timespec reportEvery{2, 0};
    for (int tick = 0;; ++tick) {
        const int received = sigtimedwait(&stopSignals, nullptr, &reportEvery);
        VPNTunnelStatus& tunnel = status.tunnels[0];
        if (received == SIGUSR1) {
            tunnel.state = VPNConnState::reconnecting;
            tunnel.assignedVIP.reset();
            tunnel.tunnelSA.reset();
        } else if (received >= 0) {
            break;
        } else if (tunnel.tunnelSA) {
            // A download that swells and ebbs, with its acknowledgements.
            VPNSaDetails& counters = *tunnel.tunnelSA;
            const auto in = static_cast<std::int64_t>(900'000 + 700'000 * std::sin(tick / 2.5));
            counters.bytesIn += in;
            counters.bytesOut += in / 25;
            counters.packetsIn += in / 1400;
            counters.packetsOut += in / 2800;
            counters.establishedSeconds += 2;
            *counters.ikeRekeySeconds -= 2;
            *counters.espRekeySeconds -= 2;
        } else {
            continue;
        }
        daemon.setStatusData(encodeRuntimeStatus(status));
        daemon.sendToAll(statusCallback(status));
    }
    daemon.stopListening();
    // What the app asked for, so that a script can check its clicks.
    for (const auto call : protocol::kAllHelperCalls) {
        if (const int count = daemon.count(call); count > 0) {
            std::fprintf(stderr, "torvane-demo-daemon: %d x %s\n", count,
                         std::string(protocol::selector(call)).c_str());
        }
    }
    return 0;
}
