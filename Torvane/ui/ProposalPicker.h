#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;

namespace torvane {

/// Edits one proposal string. A single proposal the proposal model can parse
/// shows as three pickers (encryption, integrity, DH group) with the
/// resulting string under them; anything else shows as raw text. Every
/// picker change rewrites the string, so the profile always holds plain
/// strongSwan syntax; the view keeps nothing but that string.
class ProposalPicker : public QWidget {
    Q_OBJECT

public:
    /// `showNoPFS` puts "None (no PFS)" first among the DH groups (ESP).
    explicit ProposalPicker(bool showNoPFS, QWidget* parent = nullptr);

    QString proposal() const { return m_proposal; }
    /// Shows `proposal` without announcing it as a change.
    void setProposal(const QString& proposal);

    /// Whether the pickers (rather than the text field) are shown.
    bool showsPickers() const { return m_showsPickers; }

signals:
    /// The user changed the string through a picker or the text field.
    void proposalChanged(const QString& proposal);

private:
    void refresh();
    void choose(QComboBox* comboBox, int index);
    void takeEditedText(const QString& text);

    bool m_showNoPFS;
    QString m_proposal;
    bool m_showsPickers = false;

    QFormLayout* m_layout = nullptr;
    QComboBox* m_encryptionComboBox = nullptr;
    QComboBox* m_integrityComboBox = nullptr;
    QComboBox* m_dhGroupComboBox = nullptr;
    QLabel* m_resultLabel = nullptr;
    QLineEdit* m_proposalLineEdit = nullptr;
};

} // namespace torvane
