#include "Torvane/ui/PassphraseDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvane {

PassphraseDialog::PassphraseDialog(const QString& profileName, QWidget* parent,
                                   const QString& prompt)
    : QDialog(parent), m_passphraseLineEdit(new QLineEdit(this)) {
    setWindowTitle(tr("Import Profile"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* titleLabel = new QLabel(tr("Import “%1”").arg(profileName), this);
    titleLabel->setTextFormat(Qt::PlainText);
    QFont headline = titleLabel->font();
    headline.setBold(true);
    titleLabel->setFont(headline);
    layout->addWidget(titleLabel);
    auto* promptLabel = new QLabel(
        prompt.isEmpty() ? tr("Enter the passphrase this profile was exported with.") : prompt,
        this);
    promptLabel->setTextFormat(Qt::PlainText);
    promptLabel->setWordWrap(true);
    layout->addWidget(promptLabel);

    m_passphraseLineEdit->setEchoMode(QLineEdit::Password);
    m_passphraseLineEdit->setPlaceholderText(tr("Passphrase"));
    m_passphraseLineEdit->setAccessibleName(tr("Passphrase"));
    m_passphraseLineEdit->setMinimumWidth(280);
    layout->addWidget(m_passphraseLineEdit);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Cancel);
    m_importButton = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
    m_importButton->setDefault(true);
    m_importButton->setEnabled(false);
    layout->addWidget(buttons);

    connect(m_passphraseLineEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_importButton->setEnabled(!text.isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        // Return in the field reaches the default button even when disabled.
        if (!m_passphraseLineEdit->text().isEmpty()) {
            accept();
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_passphraseLineEdit->setFocus();
}

QString PassphraseDialog::passphrase() const {
    return m_passphraseLineEdit->text();
}

std::optional<QString> PassphraseDialog::ask(const QString& profileName, QWidget* parent,
                                             const QString& prompt) {
    PassphraseDialog dialog(profileName, parent, prompt);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.passphrase();
}

} // namespace torvane
