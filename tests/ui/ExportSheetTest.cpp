#include "Torvane/ui/ExportSheet.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace torvane {
namespace {

TEST(ExportSheetTest, ExportNeedsTwoEqualNonEmptyPassphrases) {
    ExportSheet sheet;
    auto* passphrase = sheet.findChild<QLineEdit*>(QStringLiteral("passphraseLineEdit"));
    auto* confirm = sheet.findChild<QLineEdit*>(QStringLiteral("confirmLineEdit"));
    auto* exportButton = sheet.findChild<QPushButton*>(QStringLiteral("exportButton"));
    EXPECT_EQ(passphrase->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(exportButton->isEnabled());
    EXPECT_FALSE(sheet.showsMismatch());

    QTest::keyClicks(passphrase, QStringLiteral("abc"));
    EXPECT_FALSE(exportButton->isEnabled());
    EXPECT_FALSE(sheet.showsMismatch()); // nothing typed in the confirmation yet

    QTest::keyClicks(confirm, QStringLiteral("ab"));
    EXPECT_FALSE(exportButton->isEnabled());
    EXPECT_TRUE(sheet.showsMismatch());

    QTest::keyClicks(confirm, QStringLiteral("c"));
    EXPECT_TRUE(exportButton->isEnabled());
    EXPECT_FALSE(sheet.showsMismatch());

    exportButton->click();
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(sheet.passphrase(), QStringLiteral("abc"));
}

TEST(ExportSheetTest, ReturnDoesNotExportWhileThePassphrasesDiffer) {
    ExportSheet sheet;
    QTest::keyClicks(sheet.findChild<QLineEdit*>(QStringLiteral("passphraseLineEdit")),
                     QStringLiteral("one"));
    auto* confirm = sheet.findChild<QLineEdit*>(QStringLiteral("confirmLineEdit"));
    QTest::keyClicks(confirm, QStringLiteral("two"));
    QTest::keyClick(confirm, Qt::Key_Return);
    EXPECT_NE(sheet.result(), QDialog::Accepted);
}

} // namespace
} // namespace torvane
