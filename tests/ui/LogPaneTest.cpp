#include "Torvane/ui/LogPane.h"

#include "tests/fakes/core/TrayTestBed.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(LogPaneTest, ShowsTheCappedLogFollowsTheNewestLineAndClears) {
    testing::TrayTestBed bed;
    bed.connection.appendLog(QStringLiteral("before the pane"));
    LogPane pane(bed.connection);
    pane.resize(400, 200);
    pane.show();
    EXPECT_EQ(pane.textEdit()->toPlainText(), QStringLiteral("before the pane"));
    EXPECT_TRUE(pane.textEdit()->isReadOnly());

    for (int i = 1; i <= ConnectionManager::kMaxLogLines; ++i) {
        bed.connection.appendLog(QStringLiteral("line %1").arg(i));
    }
    // The pane holds exactly what the manager holds: the first line dropped.
    EXPECT_EQ(pane.textEdit()->toPlainText(), bed.connection.logLines().join(QLatin1Char('\n')));
    EXPECT_EQ(pane.textEdit()->blockCount(), ConnectionManager::kMaxLogLines);
    EXPECT_TRUE(pane.textEdit()->toPlainText().startsWith(QStringLiteral("line 1\n")));
    QScrollBar* bar = pane.textEdit()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);
    bed.connection.appendLog(QStringLiteral("newest"));
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(pane.textEdit()->toPlainText().endsWith(QStringLiteral("line 2000\nnewest")));

    pane.clearButton()->click();
    EXPECT_TRUE(bed.connection.logLines().isEmpty());
    EXPECT_TRUE(pane.textEdit()->toPlainText().isEmpty());
    // Clearing an empty log is fine, and the next line starts a fresh text.
    pane.clearButton()->click();
    bed.connection.appendLog(QStringLiteral("after"));
    EXPECT_EQ(pane.textEdit()->toPlainText(), QStringLiteral("after"));
}

} // namespace
} // namespace torvane
