#pragma once

#include "Torvane/ui/ConfigWindowModel.h"
#include "shared/Uuid.h"

#include <functional>

#include <QObject>

class QMenu;
class QWidget;

namespace torvane {

class ConnectionManager;
class ProfileStore;

/// The tray menu: the state line (and a row while the kill switch holds),
/// one row per profile that connects or disconnects it (the administrator's
/// under their own heading, with a lock, before the user's), disconnect-all,
/// force-kill, the configuration window, the About panel and the two ways
/// to quit. Rebuilt whenever the status, the busy flag, the daemon's
/// reachability or the profile list changes, so what it shows is always what
/// a click acts on; while the daemon is unreachable the rows are disabled. The same menu
/// serves the tray icon and, without a tray host, the configuration window.
class TrayMenu : public QObject {
    Q_OBJECT

public:
    /// Both must outlive the menu.
    TrayMenu(ConnectionManager& connection, ProfileStore& store, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu* menu() const { return m_menu; }

    /// Asks whether to force-kill everything; the default is a warning
    /// message box.
    void setConfirmForceKill(std::function<bool()> confirm);

    /// Rebuilds at once; changes of the status, the busy flag or the list
    /// rebuild from the event loop when they change what the menu shows.
    void rebuild();
    /// The force-kill item: confirm, then force-kill even while busy.
    void confirmForceKill();
    /// A profile row's click, decided on the tunnel's current state.
    void profileClicked(const Uuid& profileID);

    static bool askForceKill(QWidget* parent);
    /// The disabled row shown while the kill switch holds, with the way out.
    static QString killSwitchHoldingRow();
    /// The heading of the administrator's profiles, in the menu and the
    /// window's list.
    static QString managedSectionTitle();
    static QString managedRowToolTip();

signals:
    void openConfigRequested(torvane::ConfigTab tab);
    void aboutRequested();
    /// "Quit Torvane": the termination check decides what happens.
    void quitRequested();

private:
    void scheduleRebuild();
    void rebuildIfChanged();
    /// Everything the rows show and whether they are enabled.
    QStringList shownState() const;

    ConnectionManager& m_connection;
    ProfileStore& m_store;
    QMenu* m_menu;
    std::function<bool()> m_confirmForceKill;
    bool m_rebuildPending = false;
    QStringList m_shown;
};

} // namespace torvane
