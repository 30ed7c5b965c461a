#pragma once

#include <optional>
#include <string>

#include <QString>

class QWidget;

namespace torvane::ExportFlow {

/// The file name a save dialog suggests for a profile: the trimmed name with
/// "/" and ":" made "-" (neither may appear in a file name on every system
/// the file travels to), "profile" when nothing is left, plus ".torvane".
QString suggestedFileName(const QString& profileName);

/// `path` unchanged when its extension is exactly "torvane", otherwise with
/// ".torvane" appended, so an import dialog finds the file again.
QString pathWithExtension(const QString& path);

/// Writes `data` atomically, readable by the owner alone from its creation
/// on: the file appears complete or not at all. The error's description on
/// failure.
std::optional<QString> writeFile(const QString& path, const std::string& data);

/// The save dialog for an export; empty when the user cancels.
QString chooseSavePath(QWidget* parent, const QString& suggestedName);

} // namespace torvane::ExportFlow
