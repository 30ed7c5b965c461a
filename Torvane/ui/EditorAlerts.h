#pragma once

#include <QString>

namespace torvane::EditorAlerts {

// The editor's alert titles and its own message; the other messages come
// from the failing operation.

inline QString saveSecretsTitle() {
    return QStringLiteral("Couldn’t Save Secrets");
}
inline QString exportTitle() {
    return QStringLiteral("Couldn’t Export Profile");
}
inline QString certificateImportTitle() {
    return QStringLiteral("Couldn’t Import File");
}

inline QString saveSecretsMessage() {
    return QStringLiteral("The password and keys couldn’t be saved to your keyring (it may be "
                          "locked). Unlock your keyring and Save again.");
}

} // namespace torvane::EditorAlerts
