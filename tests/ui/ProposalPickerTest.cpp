#include "Torvane/ui/ProposalPicker.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace torvane {
namespace {

struct Shown {
    QString encryption, integrity, dhGroup, result;
    bool integrityShown = false;
    bool pickers = false;
};

Shown shownBy(const ProposalPicker& picker) {
    const auto combo = [&](const char* name) {
        return picker.findChild<QComboBox*>(QString::fromLatin1(name));
    };
    Shown shown;
    shown.pickers = combo("encryptionComboBox")->isVisibleTo(&picker);
    shown.encryption = combo("encryptionComboBox")->currentText();
    shown.integrity = combo("integrityComboBox")->currentText();
    shown.integrityShown = combo("integrityComboBox")->isVisibleTo(&picker);
    shown.dhGroup = combo("dhGroupComboBox")->currentText();
    shown.result = picker.findChild<QLabel*>(QStringLiteral("resultLabel"))->text();
    return shown;
}

void choose(const ProposalPicker& picker, const char* comboName, const QString& text) {
    auto* combo = picker.findChild<QComboBox*>(QString::fromLatin1(comboName));
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

TEST(ProposalPickerTest, PickerChoicesRewriteTheString) {
    ProposalPicker picker(/*showNoPFS=*/true);
    picker.setProposal(QStringLiteral("aes256-ecp384"));
    QSignalSpy changed(&picker, &ProposalPicker::proposalChanged);

    choose(picker, "encryptionComboBox", QStringLiteral("AES-256-GCM"));
    EXPECT_EQ(picker.proposal(), QStringLiteral("aes256gcm16-ecp384"));
    EXPECT_FALSE(shownBy(picker).integrityShown);
    choose(picker, "encryptionComboBox", QStringLiteral("AES-128"));
    EXPECT_EQ(picker.proposal(), QStringLiteral("aes128-sha256-ecp384"));
    choose(picker, "dhGroupComboBox", QStringLiteral("None (no PFS)"));
    EXPECT_EQ(picker.proposal(), QStringLiteral("aes128-sha256"));
    EXPECT_EQ(shownBy(picker).result, QStringLiteral("→ aes128-sha256"));
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed.last().at(0).toString(), QStringLiteral("aes128-sha256"));

    // An unusual but parseable group is shown as an extra entry.
    picker.setProposal(QStringLiteral("aes256-sha256-ecp224"));
    EXPECT_EQ(shownBy(picker).dhGroup, QStringLiteral("0 (ecp224)"));
}

TEST(ProposalPickerTest, ListsAndUnknownTokensAreLeftToTheTextField) {
    ProposalPicker picker(/*showNoPFS=*/false);
    auto* field = picker.findChild<QLineEdit*>(QStringLiteral("proposalLineEdit"));
    const QString list = QStringLiteral("aes256-sha256-ecp384,aes128-sha256-modp2048");
    picker.setProposal(list);
    EXPECT_FALSE(picker.showsPickers());
    EXPECT_TRUE(field->isVisibleTo(&picker));
    EXPECT_EQ(field->text(), list);
    EXPECT_EQ(picker.proposal(), list);

    // Typing stays in the field until editing ends, then the pickers take over.
    QSignalSpy changed(&picker, &ProposalPicker::proposalChanged);
    field->clear();
    QTest::keyClicks(field, QStringLiteral("aes128-sha1"));
    EXPECT_TRUE(field->isVisibleTo(&picker));
    EXPECT_EQ(changed.last().at(0).toString(), QStringLiteral("aes128-sha1"));
    emit field->editingFinished();
    EXPECT_TRUE(picker.showsPickers());
    EXPECT_EQ(shownBy(picker).integrity, QStringLiteral("SHA-1 (legacy)"));
}

} // namespace
} // namespace torvane
