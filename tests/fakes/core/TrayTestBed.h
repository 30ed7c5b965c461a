#pragma once

// The objects the connection manager's tests and every widget test need: a
// store over a private settings file and an in-memory secret store, a daemon
// client that answers on its own thread, and the connection manager over both.

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/ProfileStore.h"
#include "tests/fakes/core/FakeHelperClient.h"
#include "tests/fakes/core/MemorySecretStore.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace torvane::testing {

/// Runs the event loop until `condition` holds or `limitMs` pass.
inline bool runUntil(const std::function<bool()>& condition, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

/// Lets queued work (rebuilds, hops from the daemon's thread) run.
inline void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

inline VPNProfile profileNamed(const std::string& name,
                               VPNAuthMethod method = VPNAuthMethod::certificate) {
    VPNProfile profile;
    profile.name = name;
    profile.authMethod = method;
    return profile;
}

inline VPNTunnelStatus tunnelOf(const VPNProfile& profile, VPNConnState state) {
    VPNTunnelStatus tunnel;
    tunnel.profileID = profile.id.upperText();
    tunnel.profileName = profile.name;
    tunnel.state = state;
    return tunnel;
}

struct TrayTestBed {
    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings{
        new QSettings(dir.filePath(QStringLiteral("Torvane.conf")), QSettings::IniFormat)};
    MemorySecretStore secrets;
    FakeHelperClient helper;
    ProfileStore store{*settings, secrets};
    ConnectionManager connection{helper, store};

    VPNProfile add(const std::string& name, VPNAuthMethod method = VPNAuthMethod::certificate) {
        return store.add(profileNamed(name, method));
    }
    void setStates(std::initializer_list<std::pair<VPNProfile, VPNConnState>> states) {
        VPNRuntimeStatus status;
        for (const auto& [profile, state] : states) {
            status.tunnels.push_back(tunnelOf(profile, state));
        }
        connection.setStatus(status);
    }
    /// A file of `bytes` in the bed's folder; its path.
    QString writeFile(const QString& name, const QByteArray& bytes) const {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
    /// Leaves the manager busy: a stop-all the daemon never answers.
    void makeBusy() {
        helper.answerStopAll = false;
        connection.disconnectAll();
    }
};

} // namespace torvane::testing
