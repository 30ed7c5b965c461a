#pragma once

#include <QObject>

class QSystemTrayIcon;

namespace torvane {

class ConnectionManager;
class TrayMenu;

/// The tray item: a lock coloured by the aggregate state of all tunnels (or
/// closed and red while the kill switch holds), the state text and each
/// connected tunnel's traffic as tooltip, and the tray menu on either click.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    /// Both must outlive the icon.
    TrayIcon(ConnectionManager& connection, TrayMenu& menu, QObject* parent = nullptr);

    void show();
    QSystemTrayIcon& systemTrayIcon() const { return *m_trayIcon; }

private:
    void updateFromStatus();

    ConnectionManager& m_connection;
    TrayMenu& m_menu;
    QSystemTrayIcon* m_trayIcon;
};

} // namespace torvane
