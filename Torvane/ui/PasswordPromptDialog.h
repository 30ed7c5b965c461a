#pragma once

#include "shared/VPNProfile.h"

#include <optional>
#include <string>

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace torvane {

/// The modal prompt for a password or pre-shared key that is not stored:
/// the profile's name, "Enter <label> to connect.", a secret field with the
/// label as placeholder, "Connect" and "Cancel".
class PasswordPromptDialog : public QDialog {
    Q_OBJECT

public:
    PasswordPromptDialog(const VPNProfile& profile, const QString& label,
                         QWidget* parent = nullptr);

    QLineEdit* secretLineEdit() const { return m_secretLineEdit; }
    QPushButton* connectButton() const { return m_connectButton; }

    /// The typed text after "Connect" with a non-empty field; nothing
    /// otherwise. Blocks in a modal loop.
    static std::optional<std::string> request(const VPNProfile& profile, const QString& label);

private:
    QLineEdit* m_secretLineEdit;
    QPushButton* m_connectButton;
};

} // namespace torvane
