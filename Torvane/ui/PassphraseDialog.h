#pragma once

#include <optional>

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace torvane {

/// Asks for the passphrase an imported profile was exported with; "Import"
/// stays disabled until something is typed.
class PassphraseDialog : public QDialog {
    Q_OBJECT

public:
    PassphraseDialog(const QString& profileName, QWidget* parent = nullptr);

    QString passphrase() const;
    QLineEdit* passphraseLineEdit() const { return m_passphraseLineEdit; }
    QPushButton* importButton() const { return m_importButton; }

    /// Runs the dialog; the passphrase, or nothing when cancelled.
    static std::optional<QString> ask(const QString& profileName, QWidget* parent);

private:
    QLineEdit* m_passphraseLineEdit;
    QPushButton* m_importButton;
};

} // namespace torvane
