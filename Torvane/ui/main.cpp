#include "AppDelegate.h"
#include "ConfigWindowModel.h"
#include "ConnectionManager.h"
#include "DaemonClient.h"
#include "ProfileStore.h"

#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char** argv) {
    using namespace torvane;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvane"));
    QApplication::setDesktopFileName(QStringLiteral("torvane"));
    // The tray keeps the application alive when its windows close.
    QApplication::setQuitOnLastWindowClosed(false);

    ConnectionManager connection(DaemonClient::shared(), ProfileStore::shared());
    AppDelegate delegate(DaemonClient::shared(), connection, ProfileStore::shared(),
                         ConfigWindowModel::shared(), QSystemTrayIcon::isSystemTrayAvailable());
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
