#pragma once

#include "shared/import/ImportResult.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace torvane {

/// What a profile file from another client would become, shown before
/// anything is saved: who signed it, each profile with its gateway, the
/// fields carried over (secrets masked) and those that were not, with the
/// reason. "Import" adds the profiles; "Cancel" leaves everything as it was.
class ImportPreviewSheet : public QDialog {
    Q_OBJECT

public:
    ImportPreviewSheet(const ImportResult& result, const QString& fileName,
                       QWidget* parent = nullptr);

    /// "Signed by …, trusted", "Signed by …, not trusted" or "Not signed".
    static QString signatureText(const ImportSignature& signature);

    QLabel* signerLabel() const { return m_signerLabel; }
    QTreeWidget* reportTree() const { return m_reportTree; }
    QPushButton* importButton() const { return m_importButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

private:
    QLabel* m_signerLabel = nullptr;
    QTreeWidget* m_reportTree = nullptr;
    QPushButton* m_importButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace torvane
