#include "Torvane/ui/ImportFlow.h"

#include "Torvane/core/ProfileStore.h"
#include "Torvane/ui/PassphraseDialog.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextDocument>

namespace torvane {

ImportDialogs ImportDialogs::standard() {
    ImportDialogs dialogs;
    dialogs.chooseFile = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(
            parent, ImportFlow::tr("Import Profile"), QString(),
            ImportFlow::tr("Torvane profiles (*.torvane *.json);;All files (*)"));
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

void ImportFlow::showError(const QString& message) {
    m_dialogs.showError(m_dialogParent, message);
}

} // namespace torvane
