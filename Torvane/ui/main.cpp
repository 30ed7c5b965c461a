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
#include <QFileInfo>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTextStream>
#include <QUrl>

namespace {

// The file a file manager or a browser opens with the app (the desktop
// entry's %u): a path or a file:// URL, made absolute because a running
// instance that imports it has another working directory.
QString fileToOpen(const QStringList& arguments) {
    for (const QString& argument : arguments.mid(1)) {
        if (argument.startsWith(QLatin1Char('-'))) {
            continue;
        }
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        return QFileInfo(path).absoluteFilePath();
    }
    return QString();
}

} // namespace

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

    // A second start brings the running app's window forward instead, or
    // hands it the file it was opened with.
    const QString file = fileToOpen(QCoreApplication::arguments());
    SingleInstance instance(QDBusConnection::sessionBus());
    switch (instance.claim(file)) {
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
    // Queued, so that the caller's D-Bus call returns before the import's
    // dialogs run.
    QObject::connect(
        &instance, &SingleInstance::openRequested, &delegate,
        [&delegate](const QString& path) { delegate.openFile(path); }, Qt::QueuedConnection);
    delegate.applicationDidFinishLaunching();
    if (!file.isEmpty()) {
        QMetaObject::invokeMethod(
            &delegate, [&delegate, file] { delegate.openFile(file); }, Qt::QueuedConnection);
    }
    return QApplication::exec();
}
