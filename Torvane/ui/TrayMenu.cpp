#include "Torvane/ui/TrayMenu.h"

#include "Torvane/core/ConnectionManager.h"
#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/StatusIcons.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace torvane {

namespace {

/// Menu and button texts treat "&" as a mnemonic marker; ours are literal.
QString literal(const QString& text) {
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TrayMenu::TrayMenu(ConnectionManager& connection, ProfileStore& store, QObject* parent)
    : QObject(parent), m_connection(connection), m_store(store), m_menu(new QMenu) {
    m_menu->setToolTipsVisible(true);
    m_menu->setAccessibleName(QStringLiteral("Torvane"));
    QObject::connect(&m_connection, &ConnectionManager::statusChanged, this,
                     &TrayMenu::scheduleRebuild);
    QObject::connect(&m_connection, &ConnectionManager::busyChanged, this,
                     &TrayMenu::scheduleRebuild);
    QObject::connect(&m_connection, &ConnectionManager::helperReachableChanged, this,
                     &TrayMenu::scheduleRebuild);
    QObject::connect(&m_store, &ProfileStore::profilesChanged, this, &TrayMenu::scheduleRebuild);
    QObject::connect(&m_connection, &ConnectionManager::managedProfilesChanged, this,
                     &TrayMenu::scheduleRebuild);
    rebuild();
}

void TrayMenu::scheduleRebuild() {
    // A click on a row changes the busy flag while the row's action is still
    // delivering its signal; rebuilding later never deletes it under itself.
    if (m_rebuildPending) {
        return;
    }
    m_rebuildPending = true;
    QMetaObject::invokeMethod(this, &TrayMenu::rebuildIfChanged, Qt::QueuedConnection);
}

void TrayMenu::rebuildIfChanged() {
    // The daemon reports a connected tunnel's counters every few seconds;
    // rebuilding an open menu for them would drop the row under the pointer
    // or the keyboard.
    if (shownState() == m_shown) {
        m_rebuildPending = false;
        return;
    }
    rebuild();
}

QStringList TrayMenu::shownState() const {
    const VPNRuntimeStatus& status = m_connection.status();
    QStringList shown{m_connection.stateText(),
                      QString::number(static_cast<int>(m_connection.busy())),
                      QString::number(static_cast<int>(m_connection.helperReachable())),
                      QString::number(static_cast<int>(status.killSwitchHolding)),
                      QString::number(static_cast<int>(m_connection.hasActiveTunnel()))};
    shown << QString::number(m_connection.managedProfiles().size());
    for (const auto& profile : m_connection.shownProfiles()) {
        shown << QString::fromStdString(profile.id.upperText())
              << StatusIcons::rowPrefix(StatusIcons::tunnelState(status, profile.id.upperText())) +
                     QString::fromStdString(profile.name);
    }
    return shown;
}

// A QMenu without a parent widget is ours to delete.
TrayMenu::~TrayMenu() {
    delete m_menu;
}

void TrayMenu::setConfirmForceKill(std::function<bool()> confirm) {
    m_confirmForceKill = std::move(confirm);
}

void TrayMenu::rebuild() {
    m_rebuildPending = false;
    m_shown = shownState();
    m_menu->clear();
    const bool busy = m_connection.busy();
    // Without the daemon a click could only fail, or start the repair that
    // may ask for authorization while the reconnect is under way.
    const bool canCommand = !busy && m_connection.helperReachable();

    QAction* state = m_menu->addAction(literal(m_connection.stateText()));
    state->setEnabled(false);
    const bool holding = m_connection.status().killSwitchHolding;
    if (holding) {
        m_menu->addAction(killSwitchHoldingRow())->setEnabled(false);
    }
    m_menu->addSeparator();

    const auto& managed = m_connection.managedProfiles();
    const auto profiles = m_connection.userProfiles();
    const auto addRow = [this, canCommand](const VPNProfile& profile) {
        const auto tunnelState =
            StatusIcons::tunnelState(m_connection.status(), profile.id.upperText());
        QAction* row = m_menu->addAction(
            literal(StatusIcons::rowPrefix(tunnelState) + QString::fromStdString(profile.name)));
        row->setEnabled(canCommand);
        const Uuid id = profile.id;
        // Queued, like the force-kill item: the click may open a modal
        // prompt whose event loop rebuilds the menu, and the action must
        // not be deleted while it is still delivering its signal.
        QObject::connect(
            row, &QAction::triggered, this, [this, id] { profileClicked(id); },
            Qt::QueuedConnection);
        return row;
    };
    if (!managed.empty()) {
        m_menu->addAction(managedSectionTitle())->setEnabled(false);
        for (const auto& each : managed) {
            QAction* row = addRow(each.profile);
            row->setIcon(StatusIcons::named("lock-managed"));
            row->setToolTip(managedRowToolTip());
        }
        m_menu->addSeparator();
    }
    if (profiles.empty() && managed.empty()) {
        m_menu->addAction(tr("No profiles configured"))->setEnabled(false);
        QObject::connect(m_menu->addAction(tr("Add a Profile…")), &QAction::triggered, this,
                         [this] { emit openConfigRequested(ConfigTab::connections); });
    } else {
        for (const auto& profile : profiles) {
            addRow(profile);
        }
    }

    // Disconnect All is also the way out of a held kill switch.
    if (m_connection.hasActiveTunnel() || holding) {
        m_menu->addSeparator();
        QAction* disconnectAll = m_menu->addAction(tr("Disconnect All"));
        disconnectAll->setEnabled(canCommand);
        QObject::connect(disconnectAll, &QAction::triggered, this,
                         [this] { m_connection.disconnectAll(); });
    }
    QObject::connect(m_menu->addAction(literal(tr("Forcibly Stop & Kill All Torvane VPNs"))),
                     &QAction::triggered, this, &TrayMenu::confirmForceKill, Qt::QueuedConnection);
    m_menu->addSeparator();

    QAction* configuration = m_menu->addAction(tr("Configuration…"));
    configuration->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    QObject::connect(configuration, &QAction::triggered, this,
                     [this] { emit openConfigRequested(ConfigTab::connections); });
    QObject::connect(m_menu->addAction(tr("Show Log…")), &QAction::triggered, this,
                     [this] { emit openConfigRequested(ConfigTab::log); });
    QObject::connect(m_menu->addAction(tr("About Torvane")), &QAction::triggered, this,
                     &TrayMenu::aboutRequested);
    m_menu->addSeparator();

    QAction* quit = m_menu->addAction(tr("Quit Torvane"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QObject::connect(quit, &QAction::triggered, this, &TrayMenu::quitRequested);
    QAction* quitAndStop = m_menu->addAction(literal(tr("Quit Torvane & Stop Helper")));
    quitAndStop->setToolTip(
        tr("Disconnects every tunnel, terminates the privileged helper daemon, then quits"));
    QObject::connect(quitAndStop, &QAction::triggered, this,
                     [this] { m_connection.quitAndStopHelper(); });
}

void TrayMenu::profileClicked(const Uuid& profileID) {
    const VPNProfile* profile = nullptr;
    // A managed profile stands in for a stored one with its id.
    if (const ManagedProfile* managed = m_connection.managedProfile(profileID)) {
        profile = &managed->profile;
    }
    for (const auto& candidate : m_store.profiles()) {
        if (profile == nullptr && candidate.id == profileID) {
            profile = &candidate;
            break;
        }
    }
    if (profile == nullptr) {
        return;
    }
    // The menu is rebuilt on every status change, so the state shown on the
    // row is the current one: a row in error reconnects instead of stopping.
    const VPNTunnelStatus* tunnel = m_connection.status().tunnel(profileID.upperText());
    if (tunnel != nullptr && tunnel->state != VPNConnState::disconnected &&
        tunnel->state != VPNConnState::error) {
        m_connection.disconnect(profileID);
        return;
    }
    // The prompt may run a modal loop in which the store changes; keep a copy.
    const VPNProfile chosen = *profile;
    if (const auto secrets = m_connection.resolveSecrets(chosen)) {
        m_connection.connect(chosen, *secrets);
    }
}

void TrayMenu::confirmForceKill() {
    const bool confirmed = m_confirmForceKill ? m_confirmForceKill() : askForceKill(nullptr);
    if (confirmed) {
        m_connection.forceKillAll();
    }
}

QString TrayMenu::managedSectionTitle() {
    return tr("Managed by your organisation");
}

QString TrayMenu::managedRowToolTip() {
    return tr("Managed by your administrator: it cannot be changed or deleted here");
}

QString TrayMenu::killSwitchHoldingRow() {
    return tr("%1 — Disconnect All lifts it")
        .arg(ConnectionManager::tr(ConnectionManager::kKillSwitchHoldingText));
}

bool TrayMenu::askForceKill(QWidget* parent) {
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Torvane"));
    box.setText(tr("Forcibly stop all Torvane VPNs?"));
    box.setInformativeText(tr(
        "This immediately kills every strongSwan (charon) and dnsmasq process — including strays "
        "Torvane lost track of — then removes VPN routes, restores DNS and IPv6, and lifts any "
        "kill-switch firewall rules. Tunnels are cut without notifying the gateways."));
    QPushButton* kill = box.addButton(literal(tr("Force Stop & Kill")), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(kill);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == kill;
}

} // namespace torvane
