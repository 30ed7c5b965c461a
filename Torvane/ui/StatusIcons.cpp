#include "Torvane/ui/StatusIcons.h"

#include <QCoreApplication>

// The icons are compiled into the widget library, a static library whose
// resource registration the linker drops unless something calls it.
static void registerIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace torvane::StatusIcons {

namespace {

QIcon iconAt(const QString& path) {
    static const bool registered = [] {
        registerIconResources();
        return true;
    }();
    (void)registered;
    return QIcon(path);
}

} // namespace

QString trayIconPath(VPNConnState aggregate, bool killSwitchHolding) {
    if (killSwitchHolding) {
        return QStringLiteral(":/icons/lock-closed-red.svg");
    }
    switch (aggregate) {
    case VPNConnState::connected:
        return QStringLiteral(":/icons/lock-closed-green.svg");
    case VPNConnState::connecting:
    case VPNConnState::reconnecting:
        return QStringLiteral(":/icons/lock-rotation-orange.svg");
    case VPNConnState::disconnected:
    case VPNConnState::error:
        break;
    }
    return QStringLiteral(":/icons/lock-open-red.svg");
}

QIcon trayIcon(VPNConnState aggregate, bool killSwitchHolding) {
    return iconAt(trayIconPath(aggregate, killSwitchHolding));
}

VPNConnState tunnelState(const VPNRuntimeStatus& status, std::string_view profileID) {
    const VPNTunnelStatus* tunnel = status.tunnel(profileID);
    return tunnel != nullptr ? tunnel->state : VPNConnState::disconnected;
}

QString rowPrefix(VPNConnState state) {
    switch (state) {
    case VPNConnState::connecting:
    case VPNConnState::reconnecting:
        return QStringLiteral("… ");
    case VPNConnState::connected:
        return QStringLiteral("✓ ");
    case VPNConnState::error:
        return QStringLiteral("⚠ ");
    case VPNConnState::disconnected:
        break;
    }
    return {};
}

QColor dotColor(VPNConnState state) {
    switch (state) {
    case VPNConnState::connecting:
    case VPNConnState::reconnecting:
        return QColor(0xe8, 0x91, 0x2d);
    case VPNConnState::connected:
        return QColor(0x2f, 0xa8, 0x4f);
    case VPNConnState::error:
        return QColor(0xd9, 0x3a, 0x3a);
    case VPNConnState::disconnected:
        break;
    }
    return {};
}

QString stateName(VPNConnState state) {
    switch (state) {
    case VPNConnState::connecting:
        return QCoreApplication::translate("StatusIcons", "Connecting");
    case VPNConnState::reconnecting:
        return QCoreApplication::translate("StatusIcons", "Reconnecting");
    case VPNConnState::connected:
        return QCoreApplication::translate("StatusIcons", "Connected");
    case VPNConnState::error:
        return QCoreApplication::translate("StatusIcons", "Error");
    case VPNConnState::disconnected:
        break;
    }
    return QCoreApplication::translate("StatusIcons", "Disconnected");
}

QIcon named(const char* name) {
    return iconAt(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

} // namespace torvane::StatusIcons
