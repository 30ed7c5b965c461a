#include "Torvane/ui/ExportSheet.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvane {

ExportSheet::ExportSheet(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Export Profile"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);

    auto* titleLabel = new QLabel(tr("Export Profile"), this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    QFont headline = titleLabel->font();
    headline.setBold(true);
    titleLabel->setFont(headline);
    layout->addWidget(titleLabel);

    auto* explanationLabel =
        new QLabel(tr("Choose a passphrase to protect the exported file. You’ll need "
                      "it to import the profile on another machine."),
                   this);
    explanationLabel->setObjectName(QStringLiteral("explanationLabel"));
    explanationLabel->setWordWrap(true);
    explanationLabel->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(explanationLabel);

    m_passphraseLineEdit = new QLineEdit(this);
    m_passphraseLineEdit->setObjectName(QStringLiteral("passphraseLineEdit"));
    m_passphraseLineEdit->setEchoMode(QLineEdit::Password);
    m_passphraseLineEdit->setPlaceholderText(tr("Passphrase"));
    m_passphraseLineEdit->setAccessibleName(tr("Passphrase"));
    layout->addWidget(m_passphraseLineEdit);

    m_confirmLineEdit = new QLineEdit(this);
    m_confirmLineEdit->setObjectName(QStringLiteral("confirmLineEdit"));
    m_confirmLineEdit->setEchoMode(QLineEdit::Password);
    m_confirmLineEdit->setPlaceholderText(tr("Confirm passphrase"));
    m_confirmLineEdit->setAccessibleName(tr("Confirm passphrase"));
    layout->addWidget(m_confirmLineEdit);

    m_mismatchLabel = new QLabel(tr("Passphrases don’t match."), this);
    m_mismatchLabel->setObjectName(QStringLiteral("mismatchLabel"));
    QPalette red = m_mismatchLabel->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_mismatchLabel->setPalette(red);
    layout->addWidget(m_mismatchLabel);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    cancelButton->setAccessibleName(tr("Cancel"));
    m_exportButton = buttons->addButton(tr("Export"), QDialogButtonBox::AcceptRole);
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_exportButton->setAccessibleName(tr("Export"));
    m_exportButton->setDefault(true);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (canExport()) {
            accept();
        }
    });
    connect(m_passphraseLineEdit, &QLineEdit::textChanged, this, &ExportSheet::update);
    connect(m_confirmLineEdit, &QLineEdit::textChanged, this, &ExportSheet::update);
    update();
}

QString ExportSheet::passphrase() const {
    return m_passphraseLineEdit->text();
}

bool ExportSheet::canExport() const {
    return !m_passphraseLineEdit->text().isEmpty() &&
           m_passphraseLineEdit->text() == m_confirmLineEdit->text();
}

bool ExportSheet::showsMismatch() const {
    return !m_mismatchLabel->isHidden();
}

std::optional<QString> ExportSheet::ask(QWidget* parent) {
    ExportSheet sheet(parent);
    if (sheet.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return sheet.passphrase();
}

void ExportSheet::update() {
    m_exportButton->setEnabled(canExport());
    m_mismatchLabel->setHidden(m_confirmLineEdit->text().isEmpty() ||
                               m_confirmLineEdit->text() == m_passphraseLineEdit->text());
}

} // namespace torvane
