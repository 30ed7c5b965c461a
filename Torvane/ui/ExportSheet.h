#pragma once

#include <optional>

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace torvane {

/// Asks for the passphrase that protects an exported profile, typed twice.
/// Export is possible only once the passphrase is non-empty and both fields
/// agree; the mismatch note shows as soon as the confirmation holds text
/// that differs.
class ExportSheet : public QDialog {
    Q_OBJECT

public:
    explicit ExportSheet(QWidget* parent = nullptr);

    QString passphrase() const;
    bool canExport() const;
    /// Whether "Passphrases don’t match." is shown.
    bool showsMismatch() const;

    /// Runs the sheet modally; the passphrase, or nothing on Cancel.
    static std::optional<QString> ask(QWidget* parent);

private:
    void update();

    QLineEdit* m_passphraseLineEdit = nullptr;
    QLineEdit* m_confirmLineEdit = nullptr;
    QLabel* m_mismatchLabel = nullptr;
    QPushButton* m_exportButton = nullptr;
};

} // namespace torvane
