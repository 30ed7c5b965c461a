#include "Torvane/ui/AppDelegate.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/HelperClient.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/core/SystemdServiceRegistry.h"
#include "Torvane/ui/AboutPanel.h"
#include "Torvane/ui/ConfigWindow.h"
#include "Torvane/ui/DesktopNotifier.h"
#include "Torvane/ui/ImportFlow.h"
#include "Torvane/ui/PasswordPromptDialog.h"
#include "Torvane/ui/TrafficHistory.h"
#include "Torvane/ui/TrayIcon.h"
#include "Torvane/ui/TrayMenu.h"

#include <mutex>

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>

namespace torvane {

/// The daemon client answers on its own threads; they reach the delegate
/// only through this, which the destructor disarms under the lock.
struct AppDelegate::Relay {
    std::mutex mutex;
    AppDelegate* target = nullptr;

    void post(std::function<void()> work) {
        std::lock_guard lock(mutex);
        if (target != nullptr) {
            QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
        }
    }
};

AppDelegate::AppDelegate(HelperClient& helper, ConnectionManager& connection, ProfileStore& store,
                         ConfigWindowModel& windowModel, bool trayAvailable, QObject* parent)
    : QObject(parent), m_helper(helper), m_connection(connection), m_store(store),
      m_windowModel(windowModel), m_trayAvailable(trayAvailable),
      m_relay(std::make_shared<Relay>()), m_trayMenu(std::make_unique<TrayMenu>(connection, store)),
      m_notifier(
          new DesktopNotifier(connection, store.settings(), QDBusConnection::sessionBus(), this)),
      m_traffic(new TrafficHistory(connection, this)) {
    m_relay->target = this;
    m_hooks.helperFailureAlert = &AppDelegate::presentHelperFailure;
    m_hooks.openLoginItems = &AppDelegate::showLoginItemsHelp;
    m_hooks.terminate = [](int exitCode) {
        QCoreApplication::exit(exitCode);
    };

    m_connection.setPasswordPrompt([](const VPNProfile& profile, const QString& label) {
        return PasswordPromptDialog::request(profile, label);
    });
    // quitAndStopHelper empties the status first, so this check quits at once.
    m_connection.setTerminateApplication([this] { requestQuit(); });

    connect(m_trayMenu.get(), &TrayMenu::openConfigRequested, this, &AppDelegate::openConfig);
    connect(m_trayMenu.get(), &TrayMenu::aboutRequested, this, &AppDelegate::showAbout);
    connect(m_trayMenu.get(), &TrayMenu::quitRequested, this, &AppDelegate::quitFromUser);

    if (m_trayAvailable) {
        m_trayIcon = new TrayIcon(m_connection, *m_trayMenu, this);
        m_trayIcon->show();
        m_notifier->setFallbackTray(&m_trayIcon->systemTrayIcon());
    } else {
        openConfig(m_windowModel.selectedTab());
    }
}

AppDelegate::~AppDelegate() {
    {
        std::lock_guard lock(m_relay->mutex);
        m_relay->target = nullptr;
    }
    m_connection.setTerminateApplication({});
    delete m_configWindow.data();
    delete m_aboutPanel.data();
}

ConfigWindow* AppDelegate::configWindow() const {
    return m_configWindow.data();
}

void AppDelegate::setHooks(Hooks hooks) {
    if (hooks.helperFailureAlert) {
        m_hooks.helperFailureAlert = std::move(hooks.helperFailureAlert);
    }
    if (hooks.openLoginItems) {
        m_hooks.openLoginItems = std::move(hooks.openLoginItems);
    }
    if (hooks.terminate) {
        m_hooks.terminate = std::move(hooks.terminate);
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    // Registration, repair and probing may take seconds; the client does
    // them on its own threads and the answer comes back here.
    std::shared_ptr<Relay> relay = m_relay;
    m_helper.establishConnection([relay, this](bool reachable) {
        relay->post([this, reachable] { helperReached(reachable); });
    });
}

void AppDelegate::helperReached(bool reachable) {
    if (!reachable) {
        presentHelperFailureAndQuit();
        emit startupFinished(false);
        return;
    }
    // A user the policy does not let follow the VPN learns why in the log
    // pane; everything else keeps working as far as they are allowed.
    std::shared_ptr<Relay> relay = m_relay;
    m_helper.subscribe([relay, this](HelperResult result) {
        if (result.code != 0) {
            relay->post([this, message = std::move(result.message)] {
                m_connection.appendLog(QString::fromStdString(message));
            });
        }
    });
    m_connection.refreshStatus([this] {
        m_notifier->start();
        m_connection.autoConnectOnLaunch([this] { emit startupFinished(true); });
    });
}

void AppDelegate::presentHelperFailureAndQuit() {
    if (m_hooks.helperFailureAlert()) {
        m_hooks.openLoginItems();
    }
    terminate(1);
}

bool AppDelegate::presentHelperFailure() {
    QMessageBox box;
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(QStringLiteral("Torvane"));
    box.setText(tr("Torvane can’t reach its VPN helper"));
    box.setInformativeText(
        tr("The privileged helper couldn’t be started or contacted, so Torvane can’t manage VPN "
           "connections and will quit.\n\nEnable the helper with “sudo systemctl enable --now "
           "torvane-helper.socket”, then launch Torvane again. If it keeps failing, reinstall the "
           "package."));
    QPushButton* quit = box.addButton(tr("Quit"), QMessageBox::AcceptRole);
    QPushButton* loginItems = box.addButton(tr("Show How to Enable"), QMessageBox::ActionRole);
    box.setDefaultButton(quit);
    box.exec();
    return box.clickedButton() == loginItems;
}

void AppDelegate::showLoginItemsHelp() {
    // There is no settings pane for system services; what stands in for it
    // is the command that enables the daemon.
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Torvane"));
    box.setText(tr("Enabling the VPN helper"));
    box.setInformativeText(QString::fromStdString(SystemdServiceRegistry::approvalInstructions()));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void AppDelegate::showApprovalHelp() {
    static QPointer<QMessageBox> shown;
    if (shown == nullptr) {
        shown = new QMessageBox(QMessageBox::Information, QStringLiteral("Torvane"),
                                tr("Enabling the VPN helper"), QMessageBox::Ok);
        shown->setInformativeText(
            QString::fromStdString(SystemdServiceRegistry::approvalInstructions()));
        shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
        shown->setAttribute(Qt::WA_DeleteOnClose);
        shown->setModal(false);
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void AppDelegate::requestQuit() {
    if (m_quitting) {
        return;
    }
    if (!m_connection.hasActiveTunnel()) {
        terminate(0);
        return;
    }
    // A plain quit stops every tunnel but leaves the daemon running; a
    // daemon that never answers holds the quit for six seconds at most.
    m_quitting = true;
    m_connection.disconnectForQuit(kQuitTimeoutSeconds, [this] { terminate(0); });
}

void AppDelegate::quitFromUser() {
    if (m_configWindow != nullptr && !m_configWindow->close()) {
        return;
    }
    // Without a tray the close has asked to quit already; a second request
    // finds the quit under way.
    requestQuit();
}

void AppDelegate::terminate(int exitCode) {
    m_quitting = true;
    m_hooks.terminate(exitCode);
}

void AppDelegate::openConfig(ConfigTab tab) {
    m_windowModel.setSelectedTab(tab);
    if (m_configWindow == nullptr) {
        // A closed window is deleted, so each opening starts with no
        // selection and nothing pending, while the tab survives in the model.
        m_configWindow = new ConfigWindow(m_connection, m_store, m_windowModel, *m_traffic);
        m_configWindow->setAttribute(Qt::WA_DeleteOnClose);
        if (!m_trayAvailable) {
            m_configWindow->setAppMenu(m_trayMenu->menu());
            // Without a tray the window is the application: closing it quits.
            connect(m_configWindow, &ConfigWindow::closed, this, &AppDelegate::requestQuit);
        } else {
            // The menu's Ctrl+Q belongs to the tray; in the window it quits
            // the application as well. (Without a tray the menu bar has it.)
            auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), m_configWindow);
            connect(quit, &QShortcut::activated, this, &AppDelegate::quitFromUser);
        }
    }
    m_configWindow->show();
    m_configWindow->raise();
    m_configWindow->activateWindow();
}

void AppDelegate::openFile(const QString& path) {
    openConfig(ConfigTab::connections);
    m_configWindow->importFlow()->importFile(path);
}

void AppDelegate::showAbout() {
    if (m_aboutPanel == nullptr) {
        m_aboutPanel = new AboutPanel;
        m_aboutPanel->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_aboutPanel->show();
    m_aboutPanel->raise();
    m_aboutPanel->activateWindow();
}

} // namespace torvane
