#pragma once

#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace torvane {

class ConnectionManager;

/// The Log tab: the connection manager's log lines in a monospaced,
/// selectable text that follows the newest line, and "Clear".
class LogPane : public QWidget {
    Q_OBJECT

public:
    /// `connection` must outlive the pane.
    explicit LogPane(ConnectionManager& connection, QWidget* parent = nullptr);

    QPlainTextEdit* textEdit() const { return m_textEdit; }
    QPushButton* clearButton() const { return m_clearButton; }

private:
    void appendLine(const QString& line);
    void scrollToBottom();

    ConnectionManager& m_connection;
    QPlainTextEdit* m_textEdit;
    QPushButton* m_clearButton;
};

} // namespace torvane
