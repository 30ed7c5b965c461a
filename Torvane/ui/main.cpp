#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/DaemonClient.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/AppDelegate.h"
#include "Torvane/ui/ConfigWindowModel.h"
#include "Torvane/ui/StatusIcons.h"

#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    using namespace torvane;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvane"));
    QApplication::setDesktopFileName(QStringLiteral("torvane"));
    // Every window, dialogs and alerts included, shows the application's
    // own icon, not the tray's connection state.
    QApplication::setWindowIcon(StatusIcons::named("torvane"));
    // The tray keeps the application alive when its windows close.
    QApplication::setQuitOnLastWindowClosed(false);

    ConnectionManager connection(DaemonClient::shared(), ProfileStore::shared());
    AppDelegate delegate(DaemonClient::shared(), connection, ProfileStore::shared(),
                         ConfigWindowModel::shared(), QSystemTrayIcon::isSystemTrayAvailable());
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
