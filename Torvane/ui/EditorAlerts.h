#pragma once

#include <QCoreApplication>
#include <QString>

namespace torvane::EditorAlerts {

// The editor's alert titles and its own message; the other messages come
// from the failing operation.

inline QString saveSecretsTitle() {
    return QCoreApplication::translate("EditorAlerts", "Couldn’t Save Secrets");
}
inline QString exportTitle() {
    return QCoreApplication::translate("EditorAlerts", "Couldn’t Export Profile");
}
inline QString certificateImportTitle() {
    return QCoreApplication::translate("EditorAlerts", "Couldn’t Import File");
}

inline QString saveSecretsMessage() {
    return QCoreApplication::translate(
        "EditorAlerts", "The password and keys couldn’t be saved to your keyring (it may be "
                        "locked). Unlock your keyring and Save again.");
}

} // namespace torvane::EditorAlerts
