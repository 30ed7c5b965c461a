#pragma once

#include "shared/VPNConnState.h"

#include <map>
#include <string>

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>

class QSettings;
class QSystemTrayIcon;

namespace torvane {

class ConnectionManager;

/// Desktop notifications of what happens to tunnels while nobody looks at
/// the menu: a tunnel connects, drops and starts reconnecting, fails for
/// good, or the kill switch starts holding traffic. One notification per
/// change of a tunnel's state; a tunnel's notifications replace each other.
///
/// Sent to the freedesktop notification service on the session bus. Where
/// the bus has none, the tray icon's own balloon stands in when there is a
/// tray that draws one (XEmbed hosts); otherwise nothing is shown.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    /// "Show notifications" in the settings file; on when absent.
    static constexpr const char* kEnabledKey = "Torvane.showNotifications";
    static bool isEnabled(QSettings& settings);
    static void setEnabled(QSettings& settings, bool enabled);

    /// `connection` and `settings` must outlive the notifier. Quiet until
    /// `start`.
    DesktopNotifier(ConnectionManager& connection, QSettings& settings,
                    QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    /// The tray whose balloon shows the notification when the bus has no
    /// notification service; may be null.
    void setFallbackTray(QSystemTrayIcon* tray);
    /// Takes the current status as known and reports changes from now on.
    /// Called after the start-up fetch, so that tunnels that were up before
    /// the app started do not all announce themselves at once.
    void start();

private:
    struct Notice {
        QString summary;
        QString body;
        /// A freedesktop notification category ("network.connected", …).
        QString category;
        bool urgent = false;
    };

    void statusChanged();
    void send(const QString& key, const Notice& notice);
    void showInTray(const Notice& notice);

    ConnectionManager& m_connection;
    QSettings& m_settings;
    QDBusConnection m_bus;
    QPointer<QSystemTrayIcon> m_tray;
    bool m_started = false;
    /// The last state seen per tunnel (by profile id), so that a snapshot
    /// that changes only a message or a priority says nothing.
    std::map<std::string, VPNConnState> m_states;
    bool m_killSwitchHolding = false;
    /// The service's id of the last notification per tunnel ("" for the kill
    /// switch), handed back so that the new one replaces it.
    std::map<QString, uint> m_notificationIDs;
};

} // namespace torvane
