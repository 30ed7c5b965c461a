#include "Torvane/ui/DesktopNotifier.h"

#include "Torvane/core/ConnectionManager.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSettings>
#include <QSystemTrayIcon>

namespace torvane {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
/// The name the icon is installed under in the icon theme.
constexpr const char* kIconName = "torvane";
/// The kill switch is not a tunnel; its notifications replace each other.
const QString kKillSwitchKey;

} // namespace

bool DesktopNotifier::isEnabled(QSettings& settings) {
    return settings.value(QLatin1String(kEnabledKey), true).toBool();
}

void DesktopNotifier::setEnabled(QSettings& settings, bool enabled) {
    settings.setValue(QLatin1String(kEnabledKey), enabled);
}

DesktopNotifier::DesktopNotifier(ConnectionManager& connection, QSettings& settings,
                                 QDBusConnection bus, QObject* parent)
    : QObject(parent), m_connection(connection), m_settings(settings), m_bus(std::move(bus)) {
    QObject::connect(&m_connection, &ConnectionManager::statusChanged, this,
                     &DesktopNotifier::statusChanged);
}

void DesktopNotifier::setFallbackTray(QSystemTrayIcon* tray) {
    m_tray = tray;
}

void DesktopNotifier::start() {
    // Whatever arrived before counts as known: recording it is all the
    // handler does while not started.
    statusChanged();
    m_started = true;
}

void DesktopNotifier::statusChanged() {
    const VPNRuntimeStatus& status = m_connection.status();
    // Turning notifications off still follows the states, so that turning
    // them on again does not report what changed meanwhile.
    const bool notify = m_started && isEnabled(m_settings);

    std::map<std::string, VPNConnState> states;
    for (const VPNTunnelStatus& tunnel : status.tunnels) {
        states.emplace(tunnel.profileID, tunnel.state);
        const auto previous = m_states.find(tunnel.profileID);
        if (!notify || (previous != m_states.end() && previous->second == tunnel.state)) {
            continue;
        }
        const QString name = QString::fromStdString(tunnel.profileName);
        Notice notice;
        switch (tunnel.state) {
        case VPNConnState::connected:
            notice.summary = tr("Connected: %1").arg(name);
            notice.body =
                tunnel.assignedVIP
                    ? tr("Virtual address %1").arg(QString::fromStdString(*tunnel.assignedVIP))
                    : tr("The tunnel is up.");
            notice.category = QStringLiteral("network.connected");
            break;
        case VPNConnState::reconnecting:
            notice.summary = tr("Reconnecting: %1").arg(name);
            notice.body = tr("The tunnel dropped; Torvane is bringing it back.");
            notice.category = QStringLiteral("network.disconnected");
            break;
        case VPNConnState::error:
            notice.summary = tr("Connection failed: %1").arg(name);
            notice.body = tunnel.message && !tunnel.message->empty()
                              ? QString::fromStdString(*tunnel.message)
                              : tr("The tunnel stopped and will not retry.");
            notice.category = QStringLiteral("network.error");
            notice.urgent = true;
            break;
        case VPNConnState::connecting:
        case VPNConnState::disconnected:
            // The user asked for these; the menu shows them.
            continue;
        }
        send(QString::fromStdString(tunnel.profileID), notice);
    }
    // A tunnel that is gone starts afresh; its old notification may stay.
    for (const auto& [profileID, state] : m_states) {
        if (states.count(profileID) == 0) {
            m_notificationIDs.erase(QString::fromStdString(profileID));
        }
    }
    m_states = std::move(states);

    if (notify && status.killSwitchHolding && !m_killSwitchHolding) {
        send(kKillSwitchKey, {ConnectionManager::tr(ConnectionManager::kKillSwitchHoldingText),
                              tr("Traffic outside the tunnels stays blocked until they are back; "
                                 "Disconnect All lifts it."),
                              QStringLiteral("network.error"), true});
    }
    m_killSwitchHolding = status.killSwitchHolding;
}

void DesktopNotifier::send(const QString& key, const Notice& notice) {
    // Without a session bus the call below would never finish, so the
    // tray's own pop-up would never take over.
    if (!m_bus.isConnected()) {
        showInTray(notice);
        return;
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("torvane"));
    hints.insert(QStringLiteral("category"), notice.category);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(notice.urgent ? 2 : 1));
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kService), QStringLiteral("Notify"));
    const auto known = m_notificationIDs.find(key);
    call << QStringLiteral("Torvane") << (known != m_notificationIDs.end() ? known->second : 0U)
         << QLatin1String(kIconName) << notice.summary << notice.body << QStringList() << hints
         << -1;
    // Asynchronous: a notification service that hangs must not freeze the
    // menu.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this, watcher, key, notice] {
                         watcher->deleteLater();
                         const QDBusPendingReply<uint> reply = *watcher;
                         if (reply.isError()) {
                             showInTray(notice);
                             return;
                         }
                         // Only while the tunnel is still known: a late reply
                         // must not tie a new tunnel to an old notification.
                         if (key == kKillSwitchKey || m_states.count(key.toStdString()) != 0) {
                             m_notificationIDs[key] = reply.value();
                         }
                     });
}

void DesktopNotifier::showInTray(const Notice& notice) {
    if (m_tray == nullptr || !m_tray->isVisible() || !QSystemTrayIcon::supportsMessages()) {
        return;
    }
    m_tray->showMessage(notice.summary, notice.body,
                        notice.urgent ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
}

} // namespace torvane
