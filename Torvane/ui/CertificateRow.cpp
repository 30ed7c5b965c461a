#include "Torvane/ui/CertificateRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace torvane {

CertificateRow::CertificateRow(const QString& title, QWidget* parent) : QWidget(parent) {
    setAccessibleName(title);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("stateLabel"));
    m_stateLabel->setAccessibleName(tr("%1 state").arg(title));
    layout->addWidget(m_stateLabel);
    layout->addStretch(1);

    m_importButton = new QPushButton(tr("Import…"), this);
    m_importButton->setObjectName(QStringLiteral("importButton"));
    m_importButton->setAccessibleName(tr("Import %1").arg(title));
    layout->addWidget(m_importButton);
    connect(m_importButton, &QPushButton::clicked, this, &CertificateRow::importRequested);

    setLoaded(false);
}

void CertificateRow::setLoaded(bool loaded) {
    m_loaded = loaded;
    m_stateLabel->setText(loaded ? tr("Loaded") : tr("Not set"));
    QPalette palette = this->palette();
    const QColor colour =
        loaded ? QColor(0x2e, 0x9d, 0x3a) : palette.color(QPalette::Disabled, QPalette::WindowText);
    palette.setColor(QPalette::WindowText, colour);
    m_stateLabel->setPalette(palette);
}

} // namespace torvane
