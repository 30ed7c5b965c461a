#include "Torvane/ui/ExportFlow.h"

#include "Torvane/core/PrivateFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace torvane::ExportFlow {

QString suggestedFileName(const QString& profileName) {
    QString base = profileName.trimmed();
    base.replace(QLatin1Char('/'), QLatin1Char('-'));
    base.replace(QLatin1Char(':'), QLatin1Char('-'));
    if (base.isEmpty()) {
        base = QStringLiteral("profile");
    }
    return base + QStringLiteral(".torvane");
}

QString pathWithExtension(const QString& path) {
    if (QFileInfo(path).suffix() == QStringLiteral("torvane")) {
        return path;
    }
    return path + QStringLiteral(".torvane");
}

std::optional<QString> writeFile(const QString& path, const std::string& data) {
    if (const auto error = writePrivateFile(path.toStdString(), data)) {
        return QString::fromStdString(*error);
    }
    return std::nullopt;
}

QString chooseSavePath(QWidget* parent, const QString& suggestedName) {
    QFileDialog dialog(parent, QCoreApplication::translate("ExportFlow", "Export Profile"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, false);
    dialog.setNameFilter(QCoreApplication::translate("ExportFlow", "Torvane profile (*.torvane)"));
    dialog.setDirectory(QDir::homePath());
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace torvane::ExportFlow
