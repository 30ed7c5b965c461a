#include "Torvane/ui/TrayIcon.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/ui/StatusIcons.h"
#include "Torvane/ui/TrafficText.h"
#include "Torvane/ui/TrayMenu.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace torvane {

TrayIcon::TrayIcon(ConnectionManager& connection, TrayMenu& menu, QObject* parent)
    : QObject(parent), m_connection(connection), m_menu(menu),
      m_trayIcon(new QSystemTrayIcon(this)) {
    m_trayIcon->setContextMenu(m_menu.menu());
    QObject::connect(&m_connection, &ConnectionManager::statusChanged, this,
                     &TrayIcon::updateFromStatus);
    QObject::connect(&m_connection, &ConnectionManager::helperReachableChanged, this,
                     &TrayIcon::updateFromStatus);
    // Hosts differ in which click opens the menu; a menu-bar item opens on
    // the primary click, so the left click opens it too.
    QObject::connect(m_trayIcon, &QSystemTrayIcon::activated, this,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) {
                             m_menu.menu()->popup(QCursor::pos());
                         }
                     });
    updateFromStatus();
}

void TrayIcon::show() {
    m_trayIcon->show();
}

void TrayIcon::updateFromStatus() {
    const VPNRuntimeStatus& status = m_connection.status();
    m_trayIcon->setIcon(StatusIcons::trayIcon(status.aggregateState(), status.killSwitchHolding));
    QString tip = tr("Torvane — %1").arg(m_connection.stateText());
    if (status.killSwitchHolding) {
        tip += QLatin1Char('\n') + TrayMenu::killSwitchHoldingRow();
    }
    for (const auto& tunnel : status.tunnels) {
        if (const QString line = TrafficText::tunnelLine(tunnel); !line.isEmpty()) {
            tip += QLatin1Char('\n') + line;
        }
    }
    m_trayIcon->setToolTip(tip);
}

} // namespace torvane
