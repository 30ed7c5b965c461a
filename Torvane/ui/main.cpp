#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/DaemonClient.h"
#include "Torvane/core/InterruptNotifier.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/core/SystemdServiceRegistry.h"
#include "Torvane/core/Translations.h"
#include "Torvane/ui/AppDelegate.h"
#include "Torvane/ui/ConfigWindowModel.h"
#include "Torvane/ui/SingleInstance.h"
#include "Torvane/ui/StatusIcons.h"

#include <QApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTextStream>

int main(int argc, char** argv) {
    using namespace torvane;
    QApplication app(argc, argv);
    installTranslations(app);
    QApplication::setApplicationName(QStringLiteral("Torvane"));
    QApplication::setDesktopFileName(QStringLiteral("torvane"));
    // Every window, dialogs and alerts included, shows the application's
    // own icon, not the tray's connection state.
    QApplication::setWindowIcon(StatusIcons::named("torvane"));
    // The tray keeps the application alive when its windows close.
    QApplication::setQuitOnLastWindowClosed(false);

    // A second start brings the running app's window forward instead.
    SingleInstance instance(QDBusConnection::sessionBus());
    switch (instance.claim()) {
    case SingleInstance::Claim::first:
    case SingleInstance::Claim::noBus:
        break;
    case SingleInstance::Claim::another:
        return 0;
    case SingleInstance::Claim::anotherSilent:
        QTextStream(stderr) << QCoreApplication::translate(
                                   "main", "Torvane is already running but does not answer: %1")
                                   .arg(instance.error())
                            << "\n";
        return 1;
    }

    // The daemon's approval instructions go to a window, not only to the
    // terminal the app may not have.
    SystemdServiceRegistry::setApprovalPresenter([&app](const std::string&) {
        QMetaObject::invokeMethod(
            &app, [] { AppDelegate::showApprovalHelp(); }, Qt::QueuedConnection);
    });

    ConnectionManager connection(DaemonClient::shared(), ProfileStore::shared());
    AppDelegate delegate(DaemonClient::shared(), connection, ProfileStore::shared(),
                         ConfigWindowModel::shared(), QSystemTrayIcon::isSystemTrayAvailable());
    // A user who logs out or shuts down must not leave tunnels up behind
    // them: the session's quit request and SIGTERM run the same check as
    // "Quit Torvane" (tunnels stopped within six seconds, then exit).
    InterruptNotifier interrupts;
    QObject::connect(&interrupts, &InterruptNotifier::interrupted, &delegate,
                     &AppDelegate::requestQuit);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate,
                     [&delegate](QSessionManager&) { delegate.requestQuit(); });
    QObject::connect(&instance, &SingleInstance::activated, &delegate, [&delegate] {
        delegate.openConfig(ConfigWindowModel::shared().selectedTab());
    });
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}
