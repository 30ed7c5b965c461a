#include "Torvane/ui/LogPane.h"

#include "Torvane/core/ConnectionManager.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace torvane {

LogPane::LogPane(ConnectionManager& connection, QWidget* parent)
    : QWidget(parent), m_connection(connection), m_textEdit(new QPlainTextEdit(this)),
      m_clearButton(new QPushButton(tr("Clear"), this)) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1.0));
    m_textEdit->setFont(font);
    m_textEdit->setReadOnly(true);
    m_textEdit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_textEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The document drops its oldest lines exactly as the manager does, so
    // the pane never re-renders the whole log for one new line.
    m_textEdit->setMaximumBlockCount(m_connection.maxLogLines());
    m_textEdit->setAccessibleName(tr("Log"));
    m_textEdit->setPlainText(m_connection.logLines().join(QLatin1Char('\n')));
    m_clearButton->setAccessibleName(tr("Clear"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_textEdit, 1);
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addStretch(1);
    bottomRow->addWidget(m_clearButton);
    layout->addLayout(bottomRow);

    connect(m_clearButton, &QPushButton::clicked, this, [this] { m_connection.clearLog(); });
    connect(&m_connection, &ConnectionManager::logLineAppended, this, &LogPane::appendLine);
    connect(&m_connection, &ConnectionManager::logCleared, m_textEdit, &QPlainTextEdit::clear);
}

void LogPane::appendLine(const QString& line) {
    m_textEdit->appendPlainText(line);
    scrollToBottom();
}

void LogPane::scrollToBottom() {
    QScrollBar* bar = m_textEdit->verticalScrollBar();
    bar->setValue(bar->maximum());
}

} // namespace torvane
