#include "Torvane/ui/PasswordPromptDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvane {

PasswordPromptDialog::PasswordPromptDialog(const VPNProfile& profile, const QString& label,
                                           QWidget* parent)
    : QDialog(parent), m_secretLineEdit(new QLineEdit(this)) {
    setWindowTitle(QStringLiteral("Torvane"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* nameLabel = new QLabel(QString::fromStdString(profile.name), this);
    nameLabel->setTextFormat(Qt::PlainText);
    QFont bold = nameLabel->font();
    bold.setBold(true);
    nameLabel->setFont(bold);
    layout->addWidget(nameLabel);
    layout->addWidget(new QLabel(tr("Enter %1 to connect.").arg(label), this));

    m_secretLineEdit->setEchoMode(QLineEdit::Password);
    m_secretLineEdit->setPlaceholderText(label);
    m_secretLineEdit->setAccessibleName(label);
    m_secretLineEdit->setFixedWidth(280);
    layout->addWidget(m_secretLineEdit);

    auto* buttons = new QDialogButtonBox(this);
    m_connectButton = buttons->addButton(tr("Connect"), QDialogButtonBox::AcceptRole);
    m_connectButton->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_secretLineEdit->setFocus();
}

std::optional<std::string> PasswordPromptDialog::request(const VPNProfile& profile,
                                                         const QString& label) {
    PasswordPromptDialog dialog(profile, label);
    if (dialog.exec() != QDialog::Accepted || dialog.secretLineEdit()->text().isEmpty()) {
        return std::nullopt;
    }
    return dialog.secretLineEdit()->text().toStdString();
}

} // namespace torvane
