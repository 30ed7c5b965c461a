#include "Torvane/ui/LeakCheckDialog.h"

#include "Torvane/core/ConnectionManager.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace torvane {

namespace {

enum Column { levelColumn, checkColumn, textColumn };

} // namespace

LeakCheckDialog::LeakCheckDialog(ConnectionManager& connection, QWidget* parent)
    : QDialog(parent), m_connection(connection), m_summary(new QLabel(this)),
      m_list(new QTreeWidget(this)) {
    setWindowTitle(tr("Check for Leaks"));
    setObjectName(QStringLiteral("leakCheck"));
    resize(760, 340);
    auto* layout = new QVBoxLayout(this);
    m_summary->setWordWrap(true);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_summary);
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({tr("Level"), tr("Check"), tr("Finding")});
    m_list->setRootIsDecorated(false);
    m_list->setWordWrap(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->header()->setSectionResizeMode(levelColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(checkColumn, QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    layout->addWidget(m_list, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_again = buttons->addButton(tr("Check Again"), QDialogButtonBox::ActionRole);
    connect(m_again, &QPushButton::clicked, this, &LeakCheckDialog::run);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

void LeakCheckDialog::run() {
    m_list->clear();
    m_list->hide();
    m_summary->setText(tr("Checking…"));
    m_again->setEnabled(false);
    QPointer<LeakCheckDialog> alive(this);
    m_connection.leakCheck([alive](const Expected<std::vector<LeakFinding>, std::string>& found) {
        if (alive) {
            alive->showFindings(found);
        }
    });
}

void LeakCheckDialog::showFindings(
    const Expected<std::vector<LeakFinding>, std::string>& findings) {
    m_again->setEnabled(true);
    m_list->clear();
    if (!findings) {
        m_summary->setText(tr("The leak check could not be run: %1")
                               .arg(QString::fromStdString(findings.error())));
        m_list->hide();
        return;
    }
    if (findings->empty()) {
        m_summary->setText(tr("No tunnel is up: there is nothing to check."));
        m_list->hide();
        return;
    }
    int problems = 0;
    for (const auto& finding : *findings) {
        auto* item = new QTreeWidgetItem(m_list);
        // The level words stay as the daemon and torvanectl write them, so
        // that what a user reports matches the command line's output.
        item->setText(levelColumn, QString::fromStdString(finding.level));
        item->setText(checkColumn, QString::fromStdString(finding.check));
        QString text = QString::fromStdString(finding.text);
        if (!finding.hint.empty()) {
            text += QLatin1Char('\n') + QString::fromStdString(finding.hint);
        }
        item->setText(textColumn, text);
        // A long finding is elided in the column; the whole of it is here.
        item->setToolTip(textColumn, text);
        if (finding.level != kLeakOK) {
            ++problems;
            QFont bold = item->font(levelColumn);
            bold.setBold(true);
            item->setFont(levelColumn, bold);
            const QColor colour =
                finding.level == kLeakFail ? QColor(0xc0, 0x39, 0x2b) : QColor(0xd3, 0x54, 0x00);
            item->setForeground(levelColumn, colour);
        }
    }
    m_summary->setText(problems == 0 ? tr("Every check passed.")
                                     : tr("Checks that found a problem: %1").arg(problems));
    m_list->show();
}

} // namespace torvane
