#pragma once

#include "Torvane/core/ExportFile.h"
#include "shared/Uuid.h"
#include "shared/import/ImportResult.h"

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

class QWidget;

namespace torvane {

class ImportPreviewSheet;
class ProfileStore;

/// The dialogs of an import, replaceable so that tests answer them without
/// a modal loop. Empty members keep the standard dialog.
struct ImportDialogs {
    /// The file to import; empty when the user cancels.
    std::function<QString(QWidget* parent)> chooseFile;
    /// The passphrase for the profile named `profileName`; nothing when the
    /// user cancels.
    std::function<std::optional<QString>(QWidget* parent, const QString& profileName)>
        askPassphrase;
    /// The "Couldn’t Import Profile" alert; returns once dismissed.
    std::function<void(QWidget* parent, const QString& message)> showError;
    /// The password of a certificate bundle in another client's file;
    /// `what` names the bundle, `again` follows a wrong password. Nothing
    /// when the user cancels.
    std::function<std::optional<QString>(QWidget* parent, const QString& fileName,
                                         const QString& what, bool again)>
        askBundlePassword;
    /// Runs the preview of another client's file; true for "Import".
    std::function<bool(ImportPreviewSheet& sheet)> confirmPreview;
    /// "Replace …?" for a profile whose id is already in the list; true
    /// replaces it.
    std::function<bool(QWidget* parent, const QString& profileName)> confirmReplace;

    static ImportDialogs standard();
};

/// Importing profiles from a file. A .torvane file: read it, ask for the
/// passphrase (naming the profile), open the secrets and add the profile
/// with them. Another client's file (.sswan, .mobileconfig): read it, asking
/// for a certificate bundle's password if needed, show the preview, and on
/// "Import" add each profile, asking before one replaces a profile with the
/// same id. Every failure ends in one alert and adds nothing, except a
/// failed secret write, which keeps the imported profile.
class ImportFlow : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kErrorTitle = QT_TR_NOOP("Couldn’t Import Profile");
    static constexpr const char* kSecretsNotSavedMessage =
        QT_TR_NOOP("The profile was imported, but its password and keys couldn’t be saved to your "
                   "keyring (it may be locked). Open the profile and Save again.");
    /// Export files are a few kilobytes; anything this large is not one, and
    /// is not read into memory.
    static constexpr qint64 kMaxFileSize = 8 * 1024 * 1024;

    /// `store` must outlive the flow; `dialogParent` parents the dialogs.
    ImportFlow(ProfileStore& store, QWidget* dialogParent, QObject* parent = nullptr);

    void setDialogs(ImportDialogs dialogs);

    /// The import button: asks for a file, then imports it.
    void beginImport();
    /// Reads `path` and tells its kind by content, then imports it.
    void importFile(const QString& path);
    /// Opens the secrets with `passphrase` and adds the profile.
    void finishImport(const ProfileExportDocument& document, const QString& passphrase);

signals:
    /// The profile is in the store (its secrets perhaps not).
    void imported(const torvane::Uuid& profileID);

private:
    void importTorvaneFile(const QByteArray& data);
    void importForeignFile(const QByteArray& data, const QString& fileName);
    /// Adds or replaces the previewed profiles; the last one is selected.
    void addProfiles(const std::vector<ImportedProfile>& profiles);
    void showError(const QString& message);

    ProfileStore& m_store;
    QWidget* m_dialogParent;
    ImportDialogs m_dialogs;
};

} // namespace torvane
