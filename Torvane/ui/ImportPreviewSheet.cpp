#include "Torvane/ui/ImportPreviewSheet.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace torvane {

namespace {

enum Column { fieldColumn, valueColumn, outcomeColumn };

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

QTreeWidgetItem* addGroup(QTreeWidgetItem* parent, const QString& title) {
    auto* group = new QTreeWidgetItem(parent, {title});
    QFont bold = group->font(fieldColumn);
    bold.setBold(true);
    group->setFont(fieldColumn, bold);
    group->setFirstColumnSpanned(true);
    return group;
}

// Carried fields first, so that what is lost stands together below them.
void addReport(QTreeWidgetItem* parent, const std::vector<ImportReportLine>& report) {
    QTreeWidgetItem* carried = nullptr;
    QTreeWidgetItem* dropped = nullptr;
    for (const auto& line : report) {
        if (line.carried && carried == nullptr) {
            carried = addGroup(parent, ImportPreviewSheet::tr("Carried over"));
        }
        if (!line.carried && dropped == nullptr) {
            dropped = addGroup(parent, ImportPreviewSheet::tr("Not carried over"));
        }
    }
    for (const auto& line : report) {
        const QString outcome = line.carried ? ImportPreviewSheet::tr("→ %1").arg(text(line.target))
                                             : text(line.reason);
        auto* item = new QTreeWidgetItem(line.carried ? carried : dropped,
                                         {text(line.field), text(line.value), outcome});
        item->setToolTip(valueColumn, text(line.value));
        item->setToolTip(outcomeColumn, outcome);
    }
}

} // namespace

QString ImportPreviewSheet::signatureText(const ImportSignature& signature) {
    switch (signature.state) {
    case ImportSignature::State::trusted:
        return tr("Signed by %1, trusted").arg(text(signature.signer));
    case ImportSignature::State::notTrusted:
        return tr("Signed by %1, not trusted").arg(text(signature.signer));
    case ImportSignature::State::notSigned:
        break;
    }
    return tr("Not signed");
}

ImportPreviewSheet::ImportPreviewSheet(const ImportResult& result, const QString& fileName,
                                       QWidget* parent)
    : QDialog(parent), m_signerLabel(new QLabel(signatureText(result.signature), this)),
      m_reportTree(new QTreeWidget(this)) {
    setWindowTitle(tr("Import Profile"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* titleLabel = new QLabel(tr("Import from “%1”?").arg(fileName), this);
    titleLabel->setTextFormat(Qt::PlainText);
    QFont headline = titleLabel->font();
    headline.setBold(true);
    titleLabel->setFont(headline);
    layout->addWidget(titleLabel);

    // The signer is what a user weighs before trusting the file's gateway
    // and certificates; it is never a reason to skip this sheet.
    m_signerLabel->setTextFormat(Qt::PlainText);
    m_signerLabel->setObjectName(QStringLiteral("signerLabel"));
    m_signerLabel->setWordWrap(true);
    layout->addWidget(m_signerLabel);

    m_reportTree->setColumnCount(3);
    m_reportTree->setHeaderLabels({tr("Field"), tr("Value"), tr("Result")});
    m_reportTree->setRootIsDecorated(true);
    m_reportTree->setAlternatingRowColors(true);
    // Wide enough for most reasons to be read without scrolling; the
    // longest scroll, and each row's tool tip holds the full text.
    m_reportTree->setMinimumSize(880, 340);
    for (const auto& imported : result.profiles) {
        auto* profileItem = new QTreeWidgetItem(
            m_reportTree,
            {tr("%1 — %2").arg(text(imported.profile.name), text(imported.profile.remoteAddr))});
        QFont bold = profileItem->font(fieldColumn);
        bold.setBold(true);
        profileItem->setFont(fieldColumn, bold);
        profileItem->setFirstColumnSpanned(true);
        addReport(profileItem, imported.report);
    }
    if (!result.fileReport.empty()) {
        auto* fileItem = new QTreeWidgetItem(m_reportTree, {tr("The file itself")});
        fileItem->setFirstColumnSpanned(true);
        addReport(fileItem, result.fileReport);
    }
    m_reportTree->expandAll();
    m_reportTree->header()->setSectionResizeMode(QHeaderView::Interactive);
    m_reportTree->resizeColumnToContents(fieldColumn);
    m_reportTree->resizeColumnToContents(valueColumn);
    m_reportTree->resizeColumnToContents(outcomeColumn);
    layout->addWidget(m_reportTree, 1);

    auto* buttons = new QDialogButtonBox(this);
    m_cancelButton = buttons->addButton(QDialogButtonBox::Cancel);
    m_importButton = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
    m_importButton->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

} // namespace torvane
