#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace torvane {

/// One certificate field of the editor: whether the field holds anything
/// ("Loaded" or "Not set") and an "Import…" button. The PEM text itself is
/// never shown.
class CertificateRow : public QWidget {
    Q_OBJECT

public:
    /// `title` names the field for screen readers ("CA certificate", …).
    explicit CertificateRow(const QString& title, QWidget* parent = nullptr);

    void setLoaded(bool loaded);
    bool isLoaded() const { return m_loaded; }

    QLabel* stateLabel() const { return m_stateLabel; }
    QPushButton* importButton() const { return m_importButton; }

signals:
    void importRequested();

private:
    bool m_loaded = false;
    QLabel* m_stateLabel = nullptr;
    QPushButton* m_importButton = nullptr;
};

} // namespace torvane
