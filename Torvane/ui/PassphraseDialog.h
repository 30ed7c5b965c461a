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
    /// `prompt` replaces the line about an exported profile's passphrase,
    /// for the password of a certificate bundle in another client's file.
    PassphraseDialog(const QString& profileName, QWidget* parent = nullptr,
                     const QString& prompt = QString());

    QString passphrase() const;
    QLineEdit* passphraseLineEdit() const { return m_passphraseLineEdit; }
    QPushButton* importButton() const { return m_importButton; }

    /// Runs the dialog; the passphrase, or nothing when cancelled.
    static std::optional<QString> ask(const QString& profileName, QWidget* parent,
                                      const QString& prompt = QString());

private:
    QLineEdit* m_passphraseLineEdit;
    QPushButton* m_importButton;
};

} // namespace torvane
