#pragma once

#include "Torvane/ui/ConfigWindowModel.h"

#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>

namespace torvane {

class AboutPanel;
class ConfigWindow;
class ConnectionManager;
class DesktopNotifier;
class TrafficHistory;
class HelperClient;
class ProfileStore;
class TrayIcon;
class TrayMenu;

/// The application's life: start-up (reach the daemon, subscribe, fetch the
/// status, connect the profiles marked for launch, or the fatal alert), the
/// tray icon and menu, the configuration window and the About panel, and the
/// termination check that stops every tunnel before quitting.
///
/// Lives on the main thread; the daemon client's completions are moved there
/// and dropped once the delegate is gone.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    /// What happens at the end of the fatal alert and of the quit check;
    /// replaceable for tests.
    struct Hooks {
        /// The fatal "can’t reach its VPN helper" alert; true when the user
        /// chose "Show How to Enable".
        std::function<bool()> helperFailureAlert;
        /// Shows how to let the daemon run.
        std::function<void()> openLoginItems;
        /// Ends the application's event loop.
        std::function<void(int exitCode)> terminate;
    };

    /// All must outlive the delegate. `trayAvailable` says whether a tray
    /// host shows icons; without one the configuration window opens at start
    /// and carries the menu.
    AppDelegate(HelperClient& helper, ConnectionManager& connection, ProfileStore& store,
                ConfigWindowModel& windowModel, bool trayAvailable, QObject* parent = nullptr);
    ~AppDelegate() override;

    void setHooks(Hooks hooks);

    /// Start-up, off the UI thread until the daemon has answered.
    void applicationDidFinishLaunching();
    /// The termination check: quit at once without active tunnels,
    /// otherwise after stopping them (at most six seconds).
    void requestQuit();
    /// The user's Quit (menu or Ctrl+Q): closes the configuration window
    /// first, so that unsaved edits are asked about; a cancelled close
    /// cancels the quit.
    void quitFromUser();
    /// Switches the window model to `tab` and brings the window up.
    void openConfig(ConfigTab tab);
    /// A profile file opened from the desktop: the connections tab comes
    /// up and imports it.
    void openFile(const QString& path);
    void showAbout();

    TrayMenu& trayMenu() const { return *m_trayMenu; }
    /// The open configuration window, if any.
    ConfigWindow* configWindow() const;
    bool quitting() const { return m_quitting; }

    static bool presentHelperFailure();
    static void showLoginItemsHelp();
    /// The same instructions in a window that does not block: shown once,
    /// raised when asked for again.
    static void showApprovalHelp();

    static constexpr double kQuitTimeoutSeconds = 6;

signals:
    /// Start-up reached auto-connect (or the alert) and finished it.
    void startupFinished(bool reachable);

private:
    struct Relay;

    void helperReached(bool reachable);
    void presentHelperFailureAndQuit();
    void terminate(int exitCode);

    HelperClient& m_helper;
    ConnectionManager& m_connection;
    ProfileStore& m_store;
    ConfigWindowModel& m_windowModel;
    bool m_trayAvailable;
    Hooks m_hooks;
    std::shared_ptr<Relay> m_relay;

    std::unique_ptr<TrayMenu> m_trayMenu;
    TrayIcon* m_trayIcon = nullptr;
    DesktopNotifier* m_notifier;
    /// Followed from start-up, so that the window shows the minute before it
    /// was opened.
    TrafficHistory* m_traffic;
    QPointer<ConfigWindow> m_configWindow;
    QPointer<AboutPanel> m_aboutPanel;
    bool m_quitting = false;
};

} // namespace torvane
