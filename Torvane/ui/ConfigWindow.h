#pragma once

#include "Torvane/core/AutostartEntry.h"
#include "Torvane/ui/ConfigWindowModel.h"
#include "Torvane/ui/TrafficHistory.h"
#include "shared/Uuid.h"
#include "shared/VPNProfile.h"

#include <functional>
#include <optional>

#include <QMainWindow>

class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace torvane {

class ConnectionManager;
class ImportFlow;
class LeakCheckDialog;
class LogPane;
class ProfileEditorView;
class ProfileListModel;
class ProfileListView;
class ProfileStore;
class TunnelDetailsView;

/// "Torvane Configuration": the Connections tab (the ordered profile list
/// beside the editor of the selected profile) and the Log tab, bound to the
/// shared window model so that the menu can switch tabs.
class ConfigWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 720;
    static constexpr int kMinimumHeight = 460;
    static constexpr int kDefaultWidth = 820;
    static constexpr int kDefaultHeight = 560;

    /// The user's answer when the editor holds unsaved changes.
    enum class UnsavedAnswer { save, discard, cancel };

    /// All four must outlive the window.
    ConfigWindow(ConnectionManager& connection, ProfileStore& store, ConfigWindowModel& windowModel,
                 TrafficHistory& traffic, QWidget* parent = nullptr);
    ~ConfigWindow() override;

    /// Asks before deleting a profile; the default is the "Delete Profile"
    /// alert.
    void setConfirmDelete(std::function<bool(const VPNProfile& profile)> confirm);
    /// Asks what to do with the editor's unsaved changes before another
    /// profile is shown or the window closes; the default is a message box
    /// with "Save", "Discard" and "Cancel".
    void setAskUnsaved(std::function<UnsavedAnswer(const VPNProfile& edited)> ask);
    /// Without a tray host the tray menu lives in the window's menu bar.
    void setAppMenu(QMenu* menu);

    std::optional<Uuid> selection() const { return m_selection; }
    void select(const std::optional<Uuid>& profileID);

    /// Shows another profile as the user asked for it: unsaved changes in
    /// the editor are saved or dropped first, as the user answers; false
    /// when the user cancelled or the save failed, and nothing changed.
    bool switchTo(const std::optional<Uuid>& profileID);
    /// Settles the editor's unsaved changes by asking; true when the editor
    /// may go.
    bool settleUnsavedChanges();

    /// The add button: a new profile at the end, selected.
    void addProfile();
    /// The remove button or a row's Delete: confirm, then delete.
    void requestDelete(const Uuid& profileID);
    /// Removes the profile and its secrets, sends the remaining order to the
    /// daemon and moves the selection off it. A running tunnel of the
    /// profile keeps running.
    void deleteProfile(const VPNProfile& profile);

    ProfileListView* profileList() const { return m_profileList; }
    ProfileListModel* profileModel() const { return m_profileModel; }
    ImportFlow* importFlow() const { return m_importFlow; }
    QTabWidget* tabs() const { return m_tabs; }
    LogPane* logPane() const { return m_logPane; }
    QToolButton* addButton() const { return m_addButton; }
    QToolButton* removeButton() const { return m_removeButton; }
    QToolButton* importButton() const { return m_importButton; }
    /// "Start Torvane at login", and the reason it could not be changed.
    QCheckBox* autostartBox() const { return m_autostartBox; }
    QLabel* autostartMessage() const { return m_autostartMessage; }
    /// "Show notifications" (desktop notifications of tunnel changes).
    QCheckBox* notificationsBox() const { return m_notificationsBox; }
    /// The right-hand side: the editor, or the empty state.
    QWidget* detailWidget() const { return m_detail; }
    /// The editor of the selected profile, or null for the empty state.
    ProfileEditorView* editor() const;
    /// Under the list and the editor: the selected profile's connected
    /// tunnel, with its throughput from `trafficHistory`.
    TunnelDetailsView* tunnelDetails() const { return m_tunnelDetails; }
    /// "Check for Leaks…", enabled while some tunnel is connected; its
    /// dialog once opened.
    QPushButton* leakCheckButton() const { return m_leakCheckButton; }
    LeakCheckDialog* leakCheckDialog() const { return m_leakCheckDialog; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildConnectionsTab();
    QWidget* buildFooter();
    QWidget* buildEmptyState();
    void showDetail();
    void syncListSelection();
    void listSelectionChanged();
    void autostartToggled(bool enabled);
    void statusChanged();
    void showTunnelDetails();
    void checkForLeaks();
    void managedProfilesChanged();
    bool canDeleteSelection() const;

    ConnectionManager& m_connection;
    ProfileStore& m_store;
    ConfigWindowModel& m_windowModel;
    std::function<bool(const VPNProfile&)> m_confirmDelete;
    std::function<UnsavedAnswer(const VPNProfile&)> m_askUnsaved;
    std::optional<Uuid> m_selection;
    bool m_syncingSelection = false;

    QTabWidget* m_tabs = nullptr;
    QSplitter* m_splitter = nullptr;
    ProfileListView* m_profileList = nullptr;
    ProfileListModel* m_profileModel = nullptr;
    ImportFlow* m_importFlow = nullptr;
    LogPane* m_logPane = nullptr;
    QToolButton* m_addButton = nullptr;
    QToolButton* m_removeButton = nullptr;
    QToolButton* m_importButton = nullptr;
    QToolButton* m_footerLink = nullptr;
    QWidget* m_detail = nullptr;
    AutostartEntry m_autostart;
    QCheckBox* m_autostartBox = nullptr;
    QLabel* m_autostartMessage = nullptr;
    QCheckBox* m_notificationsBox = nullptr;
    TrafficHistory& m_traffic;
    TunnelDetailsView* m_tunnelDetails = nullptr;
    QPushButton* m_leakCheckButton = nullptr;
    LeakCheckDialog* m_leakCheckDialog = nullptr;
};

} // namespace torvane
