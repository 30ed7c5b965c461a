#include "Torvane/ui/ProposalPicker.h"

#include "shared/import/ProposalModel.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace torvane {
namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The known algorithms' labels are marked for translation where they hold
// words; the rest (and labels made from a typed proposal) come back as is.
QString translatedLabel(const std::string& label) {
    return QCoreApplication::translate("ProposalModel", label.c_str());
}

// Refills a picker and selects the entry named `current`; the option lists
// always hold the current value, so something is always selected.
template <class Option, class LabelOf>
void fill(QComboBox* comboBox, const std::vector<Option>& options, const std::string& current,
          LabelOf labelOf) {
    const QSignalBlocker blocker(comboBox);
    comboBox->clear();
    for (const auto& option : options) {
        comboBox->addItem(labelOf(option), qt(option.name));
        if (option.name == current) {
            comboBox->setCurrentIndex(comboBox->count() - 1);
        }
    }
}

} // namespace

ProposalPicker::ProposalPicker(bool showNoPFS, QWidget* parent)
    : QWidget(parent), m_showNoPFS(showNoPFS) {
    m_layout = new QFormLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);

    m_encryptionComboBox = new QComboBox(this);
    m_encryptionComboBox->setObjectName(QStringLiteral("encryptionComboBox"));
    m_encryptionComboBox->setAccessibleName(tr("Encryption"));
    m_layout->addRow(tr("Encryption"), m_encryptionComboBox);

    m_integrityComboBox = new QComboBox(this);
    m_integrityComboBox->setObjectName(QStringLiteral("integrityComboBox"));
    m_integrityComboBox->setAccessibleName(tr("Integrity"));
    m_layout->addRow(tr("Integrity"), m_integrityComboBox);

    m_dhGroupComboBox = new QComboBox(this);
    m_dhGroupComboBox->setObjectName(QStringLiteral("dhGroupComboBox"));
    m_dhGroupComboBox->setAccessibleName(tr("DH Group"));
    m_layout->addRow(tr("DH Group"), m_dhGroupComboBox);

    m_resultLabel = new QLabel(this);
    m_resultLabel->setObjectName(QStringLiteral("resultLabel"));
    m_resultLabel->setAccessibleName(tr("Resulting proposal"));
    m_resultLabel->setForegroundRole(QPalette::PlaceholderText);
    QFont caption = m_resultLabel->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    m_resultLabel->setFont(caption);
    m_layout->addRow(m_resultLabel);

    m_proposalLineEdit = new QLineEdit(this);
    m_proposalLineEdit->setObjectName(QStringLiteral("proposalLineEdit"));
    m_proposalLineEdit->setAccessibleName(tr("Proposal (strongSwan syntax)"));
    m_proposalLineEdit->setPlaceholderText(tr("Proposal (strongSwan syntax)"));
    m_layout->addRow(m_proposalLineEdit);

    for (QComboBox* comboBox : {m_encryptionComboBox, m_integrityComboBox, m_dhGroupComboBox}) {
        connect(comboBox, &QComboBox::activated, this,
                [this, comboBox](int index) { choose(comboBox, index); });
    }
    connect(m_proposalLineEdit, &QLineEdit::textEdited, this, &ProposalPicker::takeEditedText);
    // Switching to the pickers while the user is still typing would take the
    // field away after the first parseable prefix ("aes"), so the view
    // follows the text once editing ends.
    connect(m_proposalLineEdit, &QLineEdit::editingFinished, this, &ProposalPicker::refresh);

    refresh();
}

void ProposalPicker::setProposal(const QString& proposal) {
    m_proposal = proposal;
    refresh();
}

void ProposalPicker::refresh() {
    const std::string text = m_proposal.toStdString();
    const auto parsed = ParsedProposal::parse(text);
    m_showsPickers = parsed.has_value();

    if (parsed) {
        fill(m_encryptionComboBox, encryptionOptions(*parsed), parsed->encryption,
             [](const EncAlg& option) { return translatedLabel(option.label); });
        fill(m_integrityComboBox, integrityOptions(*parsed), parsed->integrity,
             [](const IntegAlg& option) { return translatedLabel(option.label); });
        if (parsed->integrity.empty()) {
            const QSignalBlocker blocker(m_integrityComboBox);
            m_integrityComboBox->setCurrentIndex(-1);
        }
        fill(m_dhGroupComboBox, dhGroupOptions(*parsed, m_showNoPFS), parsed->dhGroup,
             [](const DHGroup& option) { return qt(option.label()); });
        m_resultLabel->setText(QStringLiteral("→ ") + m_proposal);
    } else if (m_proposalLineEdit->text() != m_proposal) {
        m_proposalLineEdit->setText(m_proposal);
    }

    m_layout->setRowVisible(m_encryptionComboBox, m_showsPickers);
    m_layout->setRowVisible(m_integrityComboBox, m_showsPickers && !parsed->encIsAEAD());
    m_layout->setRowVisible(m_dhGroupComboBox, m_showsPickers);
    m_layout->setRowVisible(m_resultLabel, m_showsPickers);
    m_layout->setRowVisible(m_proposalLineEdit, !m_showsPickers);
}

void ProposalPicker::choose(QComboBox* comboBox, int index) {
    if (index < 0) {
        return;
    }
    const std::string name = comboBox->itemData(index).toString().toStdString();
    const std::string text = m_proposal.toStdString();
    std::string updated;
    if (comboBox == m_encryptionComboBox) {
        updated = chooseEncryption(text, name);
    } else if (comboBox == m_integrityComboBox) {
        updated = chooseIntegrity(text, name);
    } else {
        updated = chooseDHGroup(text, name);
    }
    m_proposal = qt(updated);
    refresh();
    emit proposalChanged(m_proposal);
}

void ProposalPicker::takeEditedText(const QString& text) {
    m_proposal = text;
    emit proposalChanged(m_proposal);
}

} // namespace torvane
