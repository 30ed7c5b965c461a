#pragma once

#include "shared/VPNProfile.h" // also Uuid; moc trips over Uuid.h included first
#include "shared/VPNSecrets.h"
#include "shared/managed/ManagedProfile.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolBar;

namespace torvane {

class CertificateRow;
class ConnectionManager;
class ProfileStore;
class ProposalPicker;

/// The dialogs the editor opens, as replaceable functions so that tests and
/// other front ends can answer them without a modal loop. Every member has a
/// working default (file dialogs, the export sheet, message boxes).
struct ProfileEditorDialogs {
    /// The certificate or key file to read; empty when the user cancels.
    std::function<QString(QWidget* parent)> chooseCertificateFile;
    /// The passphrase for an export; nothing when the user cancels.
    std::function<std::optional<QString>(QWidget* parent)> askExportPassphrase;
    /// Where to write an export, given the suggested file name; empty when
    /// the user cancels.
    std::function<QString(QWidget* parent, const QString& suggestedName)> chooseExportPath;
    /// A warning with a title and a message; returns once it is dismissed.
    std::function<void(QWidget* parent, const QString& title, const QString& message)> showAlert;

    static ProfileEditorDialogs standard();
};

/// Edits one profile and its secrets on private copies: nothing reaches the
/// store until Save, Export… or Connect/Disconnect (each saves first). The
/// configuration window makes one editor per selected profile and asks
/// before throwing away one that has unsaved changes.
///
/// Lives on the main thread, like the store and the connection manager it
/// borrows; both must outlive it.
class ProfileEditorView : public QWidget {
    Q_OBJECT

public:
    /// The certificate fields a file can be imported into.
    enum class CertificateField { caCertificate, clientCertificate, clientPrivateKey };

    ProfileEditorView(ConnectionManager& connection, ProfileStore& store,
                      QWidget* parent = nullptr);
    ~ProfileEditorView() override;

    /// Shows the profile with this id: the stored copy and its stored
    /// secrets, or `profile` itself when the store does not hold it yet.
    /// Only the first call loads; the window makes a new editor for another
    /// selection.
    void setProfile(const VPNProfile& profile);
    /// The same for an id alone; a profile the store lacks shows defaults.
    void setProfileID(const Uuid& profileID);

    /// Shows an administrator's profile read-only: every field disabled, no
    /// Save or Export…, a line naming its file; Connect/Disconnect remain
    /// (with the user's stored secrets for its id). Only before a load.
    void setManagedProfile(const ManagedProfile& managed);
    bool isReadOnly() const { return m_readOnly; }
    /// The line over a managed profile's fields.
    QLabel* managedNotice() const { return m_managedNotice; }

    /// Replaces the dialogs (tests); members left empty keep the default.
    void setDialogs(ProfileEditorDialogs dialogs);

    /// The working copies, with the three list fields as last saved.
    const VPNProfile& profile() const { return m_profile; }
    const VPNSecrets& secrets() const { return m_secrets; }
    bool isLoaded() const { return m_loaded; }
    /// The connection manager has a tunnel for this profile in a state other
    /// than disconnected.
    bool isActive() const;

    /// The form differs from what was last loaded or saved.
    bool hasUnsavedChanges() const;

    /// Writes the working profile (with the list texts split) to the store,
    /// then the secrets; a failed secret write shows "Couldn’t Save
    /// Secrets" and returns false. Does nothing before a profile is loaded.
    bool save();
    /// Reads a file chosen by the user into a certificate field, unchanged.
    void importPEM(CertificateField field);
    /// Resolves the secrets (asking for a missing password or key) and
    /// connects the working profile.
    void initiateConnect();
    /// The toolbar's Connect/Disconnect: saves, then disconnects an active
    /// tunnel or connects.
    void toggleConnection();
    /// The toolbar's Export…: saves, asks for a passphrase, then exports.
    void beginExport();
    /// Builds the file from the working copies, asks where to put it and
    /// writes it; failures show "Couldn’t Export Profile".
    void exportProfile(const QString& passphrase);

signals:
    /// The working profile was written to the store.
    void saved(const torvane::VPNProfile& profile);

private:
    void buildForm();
    QWidget* buildGeneralSection();
    QWidget* buildAuthenticationSection();
    QWidget* buildGatewaySection();
    QWidget* buildProposalSection(const QString& title, bool showNoPFS);
    QWidget* buildRoutingSection();
    QWidget* buildKeepaliveSection();
    void buildToolbar();

    void load(const Uuid& profileID, const std::optional<VPNProfile>& fallback);
    void showValues();
    void changeMethod(int index);
    void showIkeVersion();
    void updateMethodRows();
    void updateCertificateRows();
    void updateRoutesLabel();
    void updateDnsmasqBlock();
    void updateConnectAction();
    void showAlert(const QString& title, const QString& message);
    /// The working profile with the three list texts split as Save would.
    VPNProfile formProfile() const;

    ConnectionManager& m_connection;
    ProfileStore& m_store;
    ProfileEditorDialogs m_dialogs;

    Uuid m_profileID;
    VPNProfile m_profile;
    VPNSecrets m_secrets;
    bool m_loaded = false;
    // What the store holds for this editor as of the last load or save; the
    // form is compared with it to tell whether there is anything to lose.
    VPNProfile m_savedProfile;
    VPNSecrets m_savedSecrets;
    // Set while the form shows loaded values, so that the method picker's
    // change is not taken as the user's choice.
    bool m_filling = false;
    bool m_readOnly = false;

    QToolBar* m_toolBar = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_connectAction = nullptr;
    QLabel* m_managedNotice = nullptr;
    QWidget* m_fields = nullptr;

    QLineEdit* m_nameLineEdit = nullptr;
    QCheckBox* m_connectOnLaunchCheckBox = nullptr;

    QFormLayout* m_authLayout = nullptr;
    QComboBox* m_methodComboBox = nullptr;
    QButtonGroup* m_ikeVersionGroup = nullptr;
    QLineEdit* m_userLineEdit = nullptr;
    QLineEdit* m_passwordLineEdit = nullptr;
    QLineEdit* m_pskLineEdit = nullptr;
    QLineEdit* m_pskLocalIDLineEdit = nullptr;
    QLineEdit* m_certLocalIDLineEdit = nullptr;
    CertificateRow* m_caCertificateRow = nullptr;
    CertificateRow* m_clientCertificateRow = nullptr;
    CertificateRow* m_clientKeyRow = nullptr;

    QLineEdit* m_remoteAddrLineEdit = nullptr;
    QLineEdit* m_remoteIDLineEdit = nullptr;
    QLineEdit* m_remoteTSLineEdit = nullptr;
    QCheckBox* m_requestVIPCheckBox = nullptr;

    ProposalPicker* m_ikeProposalPicker = nullptr;
    ProposalPicker* m_espProposalPicker = nullptr;

    QLabel* m_routesLabel = nullptr;
    QPlainTextEdit* m_routesTextEdit = nullptr;
    QPlainTextEdit* m_dnsTextEdit = nullptr;
    QLineEdit* m_searchLineEdit = nullptr;
    QCheckBox* m_preventIPv6CheckBox = nullptr;
    QCheckBox* m_killSwitchCheckBox = nullptr;
    QCheckBox* m_dnsmasqCheckBox = nullptr;
    QWidget* m_dnsmasqBlock = nullptr;
    QLabel* m_dnsmasqConfigLabel = nullptr;
    QPlainTextEdit* m_dnsmasqConfigTextEdit = nullptr;
    QLabel* m_dnsmasqCaptionLabel = nullptr;

    QLineEdit* m_keepaliveIPLineEdit = nullptr;
    QLineEdit* m_keepaliveIntervalLineEdit = nullptr;
};

} // namespace torvane
