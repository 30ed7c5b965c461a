#include "Torvane/ui/ImportFlow.h"

#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/ImportPreviewSheet.h"
#include "Torvane/ui/PassphraseDialog.h"
#include "shared/JsonText.h"
#include "shared/import/ProfileImporter.h"

#include <algorithm>

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <nlohmann/json.hpp>

namespace torvane {

ImportDialogs ImportDialogs::standard() {
    ImportDialogs dialogs;
    dialogs.chooseFile = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(
            parent, ImportFlow::tr("Import Profile"), QString(),
            ImportFlow::tr("VPN profiles (*.torvane *.sswan *.mobileconfig);;Torvane profiles "
                           "(*.torvane *.json);;strongSwan profiles (*.sswan);;Configuration "
                           "profiles (*.mobileconfig);;All files (*)"));
    };
    dialogs.askPassphrase = [](QWidget* parent, const QString& profileName) {
        return PassphraseDialog::ask(profileName, parent);
    };
    dialogs.showError = [](QWidget* parent, const QString& message) {
        QMessageBox box(QMessageBox::Warning, ImportFlow::tr(ImportFlow::kErrorTitle),
                        ImportFlow::tr(ImportFlow::kErrorTitle), QMessageBox::Ok, parent);
        // File names and system texts are never markup.
        box.setInformativeText(Qt::convertFromPlainText(message));
        box.exec();
    };
    dialogs.askBundlePassword = [](QWidget* parent, const QString& fileName, const QString& what,
                                   bool again) {
        const QString prompt =
            again
                ? ImportFlow::tr("That password is wrong. Enter the password again (%1).").arg(what)
                : ImportFlow::tr("A certificate in the file is protected by a password (%1). "
                                 "Enter it to import the certificate and its key.")
                      .arg(what);
        return PassphraseDialog::ask(fileName, parent, prompt);
    };
    dialogs.confirmPreview = [](ImportPreviewSheet& sheet) {
        return sheet.exec() == QDialog::Accepted;
    };
    dialogs.confirmReplace = [](QWidget* parent, const QString& profileName) {
        QMessageBox box(QMessageBox::Question, ImportFlow::tr("Import Profile"),
                        ImportFlow::tr("Replace “%1”?").arg(profileName), QMessageBox::NoButton,
                        parent);
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(
            ImportFlow::tr("A profile with the same identity is already in the list. Replacing "
                           "it overwrites its settings and secrets with those of the file."));
        QPushButton* replace = box.addButton(ImportFlow::tr("Replace"), QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        return box.clickedButton() == replace;
    };
    return dialogs;
}

ImportFlow::ImportFlow(ProfileStore& store, QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_store(store), m_dialogParent(dialogParent),
      m_dialogs(ImportDialogs::standard()) {}

void ImportFlow::setDialogs(ImportDialogs dialogs) {
    const ImportDialogs standard = ImportDialogs::standard();
    m_dialogs.chooseFile = dialogs.chooseFile ? dialogs.chooseFile : standard.chooseFile;
    m_dialogs.askPassphrase =
        dialogs.askPassphrase ? dialogs.askPassphrase : standard.askPassphrase;
    m_dialogs.showError = dialogs.showError ? dialogs.showError : standard.showError;
    m_dialogs.askBundlePassword =
        dialogs.askBundlePassword ? dialogs.askBundlePassword : standard.askBundlePassword;
    m_dialogs.confirmPreview =
        dialogs.confirmPreview ? dialogs.confirmPreview : standard.confirmPreview;
    m_dialogs.confirmReplace =
        dialogs.confirmReplace ? dialogs.confirmReplace : standard.confirmReplace;
}

void ImportFlow::beginImport() {
    const QString path = m_dialogs.chooseFile(m_dialogParent);
    if (path.isEmpty()) {
        return;
    }
    importFile(path);
}

void ImportFlow::importFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showError(file.errorString());
        return;
    }
    if (file.size() > kMaxFileSize) {
        showError(QString::fromStdString(ExportFileError::notATorvaneFile().message()));
        return;
    }
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        showError(file.errorString());
        return;
    }
    // A file that grew between the size check and the read (a pipe, a log)
    // is no more a profile file than one that was large to begin with.
    if (data.size() > kMaxFileSize) {
        showError(QString::fromStdString(ExportFileError::notATorvaneFile().message()));
        return;
    }
    // Told by content, not by name: a renamed file or a download without
    // its extension is still what it holds. Every .torvane file is JSON
    // with a "format" member, which .sswan profiles never have.
    const std::string_view bytes(data.constData(), static_cast<std::size_t>(data.size()));
    const ImportFormat format = detectImportFormat(bytes);
    bool torvane = format == ImportFormat::unknown;
    if (format == ImportFormat::sswan) {
        const auto json = parseJsonText(bytes);
        torvane = !json || !json->is_object() || json->contains("format");
    }
    if (torvane) {
        importTorvaneFile(data);
    } else {
        importForeignFile(data, QFileInfo(path).fileName());
    }
}

void ImportFlow::importTorvaneFile(const QByteArray& data) {
    auto document = ExportFile::readDocument(std::string_view(data.constData(), data.size()));
    if (!document) {
        showError(QString::fromStdString(document.error().message()));
        return;
    }
    const auto passphrase =
        m_dialogs.askPassphrase(m_dialogParent, QString::fromStdString(document->name));
    if (!passphrase) {
        return;
    }
    finishImport(*document, *passphrase);
}

void ImportFlow::finishImport(const ProfileExportDocument& document, const QString& passphrase) {
    const QByteArray utf8 = passphrase.toUtf8();
    auto decoded = ExportFile::decode(document, std::string_view(utf8.constData(), utf8.size()));
    if (!decoded) {
        showError(QString::fromStdString(decoded.error().message()));
        return;
    }
    const auto [profile, secretsSaved] = m_store.importProfile(decoded->first, decoded->second);
    emit imported(profile.id);
    if (!secretsSaved) {
        showError(tr(kSecretsNotSavedMessage));
    }
}

void ImportFlow::importForeignFile(const QByteArray& data, const QString& fileName) {
    bool passwordCancelled = false;
    ImportOptions options;
    options.askPassword = [&](const std::string& what, bool again) -> std::optional<std::string> {
        const auto password = m_dialogs.askBundlePassword(m_dialogParent, fileName,
                                                          QString::fromStdString(what), again);
        if (!password) {
            passwordCancelled = true;
            return std::nullopt;
        }
        return password->toStdString();
    };
    const auto result = importProfileFile(
        std::string_view(data.constData(), static_cast<std::size_t>(data.size())), options);
    if (!result) {
        // A cancelled password prompt is the user's choice, not a failure.
        if (!passwordCancelled) {
            showError(QString::fromStdString(result.error().message));
        }
        return;
    }
    if (result->profiles.empty()) {
        showError(tr("The file holds no VPN profile that Torvane can use."));
        return;
    }
    ImportPreviewSheet sheet(*result, fileName, m_dialogParent);
    if (!m_dialogs.confirmPreview(sheet)) {
        return;
    }
    addProfiles(result->profiles);
}

void ImportFlow::addProfiles(const std::vector<ImportedProfile>& profiles) {
    bool secretsSaved = true;
    std::optional<Uuid> last;
    for (const auto& imported : profiles) {
        const auto& existing = m_store.profiles();
        const auto same = std::find_if(existing.begin(), existing.end(), [&](const VPNProfile& p) {
            return p.id == imported.profile.id;
        });
        if (same == existing.end()) {
            secretsSaved =
                m_store.importProfile(imported.profile, imported.secrets).second && secretsSaved;
        } else {
            if (!m_dialogs.confirmReplace(m_dialogParent, QString::fromStdString(same->name))) {
                continue;
            }
            // Settings first, in place: the profile keeps its position in
            // the list, and a failed secret write leaves the new settings.
            m_store.update(imported.profile);
            secretsSaved =
                m_store.saveSecrets(imported.secrets, imported.profile.id) && secretsSaved;
        }
        last = imported.profile.id;
    }
    if (last) {
        emit imported(*last);
    }
    if (!secretsSaved) {
        showError(tr(kSecretsNotSavedMessage));
    }
}

void ImportFlow::showError(const QString& message) {
    m_dialogs.showError(m_dialogParent, message);
}

} // namespace torvane
