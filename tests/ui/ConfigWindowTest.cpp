#include "Torvane/ui/ConfigWindow.h"

#include "Torvane/ui/ImportFlow.h"
#include "Torvane/ui/ImportPreviewSheet.h"
#include "Torvane/ui/LeakCheckDialog.h"
#include "Torvane/ui/ProfileEditorView.h"
#include "Torvane/ui/ProfileListModel.h"
#include "Torvane/ui/ProfileListView.h"
#include "Torvane/ui/Sparkline.h"
#include "Torvane/ui/TrayIcon.h"
#include "Torvane/ui/TrayMenu.h"
#include "Torvane/ui/TunnelDetailsView.h"
#include "tests/fakes/core/TrayTestBed.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::runUntil;
using testing::settle;

std::vector<std::string> namesIn(const ProfileStore& store) {
    std::vector<std::string> names;
    for (const auto& profile : store.profiles()) {
        names.push_back(profile.name);
    }
    return names;
}

std::vector<std::string> idsIn(const ProfileStore& store) {
    std::vector<std::string> ids;
    for (const auto& profile : store.profiles()) {
        ids.push_back(profile.id.upperText());
    }
    return ids;
}

class ConfigWindowTest : public ::testing::Test {
protected:
    testing::TrayTestBed bed;
    ConfigWindowModel windowModel;
    TrafficHistory traffic{bed.connection};
    std::unique_ptr<ConfigWindow> window;

    void open() {
        window = std::make_unique<ConfigWindow>(bed.connection, bed.store, windowModel, traffic);
        window->setConfirmDelete([](const VPNProfile&) { return true; });
    }
    bool showsEmptyState() const {
        return window->detailWidget()->objectName() == QStringLiteral("emptyState");
    }
    /// Waits for the priority pushes the daemon has seen.
    std::vector<std::vector<std::string>> pushes(std::size_t expected) {
        runUntil([&] { return bed.helper.priorities().size() >= expected; }, 1000);
        settle();
        return bed.helper.priorities();
    }
};

TEST_F(ConfigWindowTest, OpensOnTheModelsTabAndFollowsIt) {
    windowModel.setSelectedTab(ConfigTab::log);
    open();
    EXPECT_EQ(window->tabs()->currentIndex(), 1);

    windowModel.setSelectedTab(ConfigTab::connections);
    EXPECT_EQ(window->tabs()->currentIndex(), 0);
    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(windowModel.selectedTab(), ConfigTab::log);

    EXPECT_TRUE(showsEmptyState());
    EXPECT_FALSE(window->removeButton()->isEnabled());
}

TEST_F(ConfigWindowTest, StartAtLoginWritesAndRemovesTheAutostartEntry) {
    QTemporaryDir config;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString entry = config.filePath(QStringLiteral("autostart/torvane.desktop"));

    open();
    EXPECT_FALSE(window->autostartBox()->isChecked());
    window->autostartBox()->click();
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    for (const char* line : {"Type=Application\n", "Name=Torvane\n", "Exec=torvane\n",
                             "Icon=torvane\n", "X-GNOME-Autostart-enabled=true\n"}) {
        EXPECT_TRUE(text.contains(line)) << line;
    }
    EXPECT_TRUE(window->autostartMessage()->isHidden());

    // A new window reads the setting back from the file.
    open();
    EXPECT_TRUE(window->autostartBox()->isChecked());
    window->autostartBox()->click();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(window->autostartBox()->isChecked());

    // A file where the folder should be fails the write even for root,
    // whom a read-only folder would not stop.
    ASSERT_TRUE(QDir(config.filePath(QStringLiteral("autostart"))).removeRecursively());
    QFile blocker(config.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    window->autostartBox()->click();
    EXPECT_FALSE(window->autostartBox()->isChecked());
    EXPECT_FALSE(window->autostartMessage()->isHidden());
    EXPECT_TRUE(window->autostartMessage()->text().startsWith(
        QStringLiteral("Torvane could not create %1: ").arg(config.filePath("autostart"))))
        << window->autostartMessage()->text().toStdString();

    if (wasSet) {
        qputenv("XDG_CONFIG_HOME", saved);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}

TEST_F(ConfigWindowTest, AddingSelectsTheNewProfileAndClickingARowSelectsIt) {
    const auto first = bed.add("First");
    open();
    window->addButton()->click();
    ASSERT_EQ(bed.store.profiles().size(), 2u);
    EXPECT_EQ(window->selection(), bed.store.profiles()[1].id);
    EXPECT_FALSE(showsEmptyState());
    EXPECT_TRUE(window->removeButton()->isEnabled());

    window->profileList()->selectionModel()->setCurrentIndex(window->profileModel()->index(0),
                                                             QItemSelectionModel::ClearAndSelect);
    EXPECT_EQ(window->selection(), first.id);
}

TEST_F(ConfigWindowTest, DeletingMovesTheSelectionAndSendsTheRemainingOrder) {
    const auto a = bed.add("A");
    const auto b = bed.add("B");
    const auto c = bed.add("C");
    open();

    // Deleting an unselected profile keeps the selection.
    window->select(b.id);
    window->deleteProfile(c);
    EXPECT_EQ(window->selection(), b.id);
    EXPECT_THAT(pushes(1), ElementsAre(ElementsAre(a.id.upperText(), b.id.upperText())));

    // Deleting the selected one selects the new first profile.
    window->removeButton()->click();
    EXPECT_EQ(window->selection(), a.id);
    EXPECT_FALSE(showsEmptyState());

    // A declined confirmation deletes nothing.
    window->setConfirmDelete([](const VPNProfile&) { return false; });
    window->removeButton()->click();
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A"));

    window->setConfirmDelete([](const VPNProfile&) { return true; });
    emit window->profileList()->deleteRequested(0);
    EXPECT_TRUE(bed.store.profiles().empty());
    EXPECT_FALSE(window->selection().has_value());
    EXPECT_TRUE(showsEmptyState());
    EXPECT_EQ(pushes(3).back(), std::vector<std::string>{});
}

TEST_F(ConfigWindowTest, ADropMovesTheProfileAndSendsTheFullOrderOnce) {
    bed.add("A");
    bed.add("B");
    const auto c = bed.add("C");
    open();
    window->select(c.id);
    ProfileListModel& model = *window->profileModel();

    // C dragged to the top.
    ASSERT_TRUE(model.moveRows(QModelIndex(), 2, 1, QModelIndex(), 0));
    EXPECT_THAT(namesIn(bed.store), ElementsAre("C", "A", "B"));
    EXPECT_THAT(pushes(1), ElementsAre(idsIn(bed.store)));
    // The selection stays on the moved profile.
    EXPECT_EQ(window->selection(), c.id);
    EXPECT_EQ(window->profileList()->currentIndex().row(), 0);

    // The drop path of a drag between views: C dropped below the last row.
    std::unique_ptr<QMimeData> mime(model.mimeData({model.index(0)}));
    ASSERT_TRUE(model.dropMimeData(mime.get(), Qt::MoveAction, -1, 0, QModelIndex()));
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A", "B", "C"));
    EXPECT_EQ(pushes(2).size(), 2u);
    EXPECT_EQ(bed.helper.priorities().back(), idsIn(bed.store));

    // Dropping a row onto itself changes nothing and tells the daemon nothing.
    EXPECT_TRUE(model.moveRows(QModelIndex(), 1, 1, QModelIndex(), 2));
    // Rows that are not there refuse the move.
    EXPECT_FALSE(model.moveRows(QModelIndex(), 3, 1, QModelIndex(), 0));
    QMimeData bogus;
    bogus.setData(QString::fromLatin1(ProfileListModel::kMimeType), QByteArray("\x01\x02", 2));
    EXPECT_FALSE(model.dropMimeData(&bogus, Qt::MoveAction, 0, 0, QModelIndex()));
    EXPECT_EQ(pushes(3).size(), 2u);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A", "B", "C"));

    // Ctrl+Up / Ctrl+Down move the selected row the same way, one place at a
    // time; at the edge nothing moves and the daemon hears nothing.
    QTest::keyClick(window->profileList(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A", "C", "B"));
    EXPECT_EQ(pushes(3).back(), idsIn(bed.store));
    EXPECT_EQ(window->selection(), c.id);
    QTest::keyClick(window->profileList(), Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(window->profileList(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A", "B", "C"));
    EXPECT_EQ(pushes(5).size(), 4u);
    EXPECT_EQ(bed.helper.priorities().back(), idsIn(bed.store));
    EXPECT_EQ(window->profileList()->currentIndex().row(), 2);
}

TEST_F(ConfigWindowTest, StatusDotsFollowTheTunnels) {
    const auto a = bed.add("A");
    bed.add("B");
    open();
    bed.setStates({{a, VPNConnState::connecting}});
    const auto stateOf = [&](int row) {
        return static_cast<VPNConnState>(
            window->profileModel()->index(row).data(ProfileListModel::StateRole).toInt());
    };
    EXPECT_EQ(stateOf(0), VPNConnState::connecting);
    EXPECT_EQ(stateOf(1), VPNConnState::disconnected);
    // Not in colour alone: a screen reader reads the state with the name.
    const auto spoken = [&](int row) {
        return window->profileModel()->index(row).data(Qt::AccessibleTextRole).toString();
    };
    EXPECT_EQ(spoken(0), QStringLiteral("A, Connecting"));
    EXPECT_EQ(spoken(1), QStringLiteral("B, Disconnected"));
}

class UnsavedEditsTest : public ConfigWindowTest {
protected:
    ConfigWindow::UnsavedAnswer answer = ConfigWindow::UnsavedAnswer::cancel;
    std::vector<std::string> asked;
    std::vector<QString> alerts;

    void openOn(const VPNProfile& profile) {
        open();
        window->setAskUnsaved([this](const VPNProfile& edited) {
            asked.push_back(edited.name);
            return answer;
        });
        window->select(profile.id);
    }
    /// Types into the name field of the editor shown now, whose alerts are
    /// collected instead of shown.
    ProfileEditorView* typeName(const QString& text) {
        ProfileEditorView* editor = window->editor();
        ProfileEditorDialogs dialogs;
        dialogs.showAlert = [this](QWidget*, const QString& title, const QString&) {
            alerts.push_back(title);
        };
        editor->setDialogs(std::move(dialogs));
        QTest::keyClicks(editor->findChild<QLineEdit*>(QStringLiteral("nameLineEdit")), text);
        return editor;
    }
    void clickRow(int row) {
        window->profileList()->selectionModel()->setCurrentIndex(
            window->profileModel()->index(row), QItemSelectionModel::ClearAndSelect);
    }
};

TEST_F(UnsavedEditsTest, SwitchingProfilesAsksToSaveDiscardOrStay) {
    const auto a = bed.add("A");
    const auto b = bed.add("B");
    openOn(a);
    ProfileEditorView* editor = typeName(QStringLiteral("1"));

    answer = ConfigWindow::UnsavedAnswer::cancel;
    clickRow(1);
    EXPECT_THAT(asked, ElementsAre("A1"));
    EXPECT_EQ(window->selection(), a.id);
    EXPECT_EQ(window->profileList()->currentIndex().row(), 0);
    EXPECT_EQ(window->editor(), editor);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A", "B"));

    // A save that fails keeps the editor and its edits where they are.
    answer = ConfigWindow::UnsavedAnswer::save;
    bed.secrets.failWrites = 5;
    clickRow(1);
    EXPECT_THAT(alerts, ElementsAre(QStringLiteral("Couldn’t Save Secrets")));
    EXPECT_EQ(window->selection(), a.id);
    EXPECT_EQ(window->profileList()->currentIndex().row(), 0);
    EXPECT_EQ(window->editor(), editor);

    bed.secrets.failWrites = 0;
    typeName(QStringLiteral("2"));
    clickRow(1);
    EXPECT_EQ(window->selection(), b.id);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A12", "B"));

    // An editor without changes lets go without asking.
    answer = ConfigWindow::UnsavedAnswer::discard;
    clickRow(0);
    EXPECT_EQ(asked.size(), 3u);
    typeName(QStringLiteral("3"));
    window->addButton()->click();
    EXPECT_EQ(asked.size(), 4u);
    EXPECT_EQ(window->selection(), bed.store.profiles()[2].id);
    EXPECT_EQ(bed.store.profiles()[0].name, "A12");
}

TEST_F(UnsavedEditsTest, ClosingAsksToSaveDiscardOrStayOpen) {
    const auto a = bed.add("A");
    openOn(a);
    typeName(QStringLiteral("1"));
    int closedCount = 0;
    QObject::connect(window.get(), &ConfigWindow::closed, [&] { ++closedCount; });

    answer = ConfigWindow::UnsavedAnswer::cancel;
    EXPECT_FALSE(window->close());
    EXPECT_EQ(closedCount, 0);

    answer = ConfigWindow::UnsavedAnswer::discard;
    EXPECT_TRUE(window->close());
    EXPECT_EQ(closedCount, 1);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A"));

    answer = ConfigWindow::UnsavedAnswer::save;
    bed.secrets.failWrites = 5;
    EXPECT_FALSE(window->close());
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_EQ(closedCount, 1);

    bed.secrets.failWrites = 0;
    typeName(QStringLiteral("2"));
    EXPECT_TRUE(window->close());
    EXPECT_EQ(closedCount, 2);
    EXPECT_THAT(namesIn(bed.store), ElementsAre("A12"));
    EXPECT_EQ(asked.size(), 4u);
}

class ImportTest : public ConfigWindowTest {
protected:
    std::vector<QString> errors;
    std::vector<QString> askedNames;
    std::optional<QString> passphrase;

    void SetUp() override {
        open();
        answerWith(QString());
    }

    /// The dialogs answer from the fields above; the file chooser with `path`.
    void answerWith(const QString& path) {
        ImportDialogs dialogs;
        dialogs.chooseFile = [path](QWidget*) {
            return path;
        };
        dialogs.askPassphrase = [this](QWidget*, const QString& name) {
            askedNames.push_back(name);
            return passphrase;
        };
        dialogs.showError = [this](QWidget*, const QString& message) {
            errors.push_back(message);
        };
        window->importFlow()->setDialogs(dialogs);
    }

    QString writeFile(const QString& name, const std::string& content) {
        return bed.writeFile(name, QByteArray::fromStdString(content));
    }

    /// An export file of a profile named "Branch", sealed with "open sesame"
    /// at few rounds so that the test stays fast.
    std::string exportFile() {
        ProfileExportDocument document;
        document.name = "Branch";
        document.profile = testing::profileNamed("Branch", VPNAuthMethod::psk);
        document.encryption.rounds = 1000;
        const auto sealed =
            ExportFile::seal(document, encodeSecrets(VPNSecrets{"psk-value", ""}), "open sesame",
                             std::string(16, 's'), std::string(12, 'n'));
        EXPECT_TRUE(sealed);
        return ExportFile::encodeDocument(sealed ? *sealed : document);
    }
};

TEST_F(ImportTest, AJsonFileThatIsNotAProfileIsRefusedWithoutAskingForThePassphrase) {
    window->importFlow()->importFile(writeFile("other.json", R"({"format": "something else"})"));
    EXPECT_THAT(errors, ElementsAre(QStringLiteral("This isn’t a Torvane profile file.")));
    EXPECT_TRUE(askedNames.empty());
    EXPECT_TRUE(bed.store.profiles().empty());

    window->importFlow()->importFile(bed.dir.filePath("missing.torvane"));
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_FALSE(errors.back().isEmpty());

    // A huge file is refused before it is read into memory.
    window->importFlow()->importFile(writeFile(
        "huge.torvane", std::string(static_cast<std::size_t>(ImportFlow::kMaxFileSize) + 1, ' ')));
    EXPECT_EQ(errors.back(), QStringLiteral("This isn’t a Torvane profile file."));
    EXPECT_TRUE(askedNames.empty());
    EXPECT_TRUE(bed.store.profiles().empty());
}

TEST_F(ImportTest, TheChosenFileIsImportedWithItsSecretsAndSelected) {
    answerWith(writeFile("branch.torvane", exportFile()));

    passphrase = QStringLiteral("wrong");
    window->importButton()->click();
    EXPECT_THAT(askedNames, ElementsAre(QStringLiteral("Branch")));
    EXPECT_THAT(errors, ElementsAre(QStringLiteral(
                            "Incorrect passphrase, or the file was changed after it was "
                            "exported — the secrets couldn’t be decrypted.")));
    EXPECT_TRUE(bed.store.profiles().empty());

    passphrase.reset(); // cancelled
    window->importButton()->click();
    EXPECT_TRUE(bed.store.profiles().empty());
    EXPECT_EQ(errors.size(), 1u);

    passphrase = QStringLiteral("open sesame");
    window->importButton()->click();
    ASSERT_EQ(bed.store.profiles().size(), 1u);
    const VPNProfile imported = bed.store.profiles()[0];
    EXPECT_EQ(imported.name, "Branch");
    EXPECT_EQ(bed.store.secrets(imported.id).xauthPassword, "psk-value");
    EXPECT_EQ(window->selection(), imported.id);
    EXPECT_EQ(errors.size(), 1u);

    // A secret store that refuses the write still keeps the profile.
    bed.secrets.failWrites = 5;
    window->importButton()->click();
    ASSERT_EQ(bed.store.profiles().size(), 2u);
    EXPECT_EQ(window->selection(), bed.store.profiles()[1].id);
    EXPECT_EQ(errors.back(), QString::fromUtf8(ImportFlow::kSecretsNotSavedMessage));
}

// Files from other clients, made here with the openssl command: a .sswan
// profile carrying a password-protected PKCS#12, and a signed configuration
// profile with a shared secret.
class ForeignImportTest : public ImportTest {
protected:
    std::vector<std::optional<QString>> bundleAnswers;
    std::vector<QString> bundleAsks;
    bool previewAnswer = false;
    QStringList previewLines;
    QString signerLine;
    std::vector<QString> replaceAsks;
    bool replaceAnswer = false;

    void answerForeign(const QString& path) {
        ImportDialogs dialogs;
        dialogs.chooseFile = [path](QWidget*) {
            return path;
        };
        dialogs.askPassphrase = [this](QWidget*, const QString& name) {
            askedNames.push_back(name);
            return passphrase;
        };
        dialogs.showError = [this](QWidget*, const QString& message) {
            errors.push_back(message);
        };
        dialogs.askBundlePassword = [this](QWidget*, const QString&, const QString& what,
                                           bool again) -> std::optional<QString> {
            bundleAsks.push_back(what + (again ? QStringLiteral(" again") : QString()));
            if (bundleAsks.size() > bundleAnswers.size()) {
                return std::nullopt;
            }
            return bundleAnswers[bundleAsks.size() - 1];
        };
        dialogs.confirmPreview = [this](ImportPreviewSheet& sheet) {
            signerLine = sheet.signerLabel()->text();
            previewLines.clear();
            for (QTreeWidgetItemIterator it(sheet.reportTree()); *it; ++it) {
                previewLines << (*it)->text(0) + QLatin1Char('|') + (*it)->text(1) +
                                    QLatin1Char('|') + (*it)->text(2);
            }
            return previewAnswer;
        };
        dialogs.confirmReplace = [this](QWidget*, const QString& name) {
            replaceAsks.push_back(name);
            return replaceAnswer;
        };
        window->importFlow()->setDialogs(dialogs);
    }

    void openssl(const QStringList& arguments) {
        QProcess process;
        process.setWorkingDirectory(bed.dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("openssl"), arguments);
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAll().toStdString();
    }
    QByteArray base64Of(const QString& name) {
        QFile file(bed.dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().toBase64();
    }
    std::string sswan(const char* name) {
        return std::string(R"({"uuid": "0b1a8f4e-8b7a-4a43-9d4c-0c4c1f6a2e11", "name": ")") + name +
               R"(", "type": "ikev2-cert", "remote": {"addr": "vpn.example.org", "port": 4501},
                  "local": {"p12": ")" +
               base64Of(QStringLiteral("client.p12")).toStdString() + R"("}})";
    }
};

TEST_F(ForeignImportTest, AFileFromAnotherClientIsPreviewedAndSavedOnlyOnImport) {
    const QStringList ec{"-newkey", "ec",    "-pkeyopt", "ec_paramgen_curve:P-256",
                         "-nodes",  "-days", "2"};
    openssl(QStringList{"req", "-x509", "-keyout", "ca.key", "-out", "ca.pem", "-subj",
                        "/O=Example/CN=Test CA"} +
            ec);
    openssl(QStringList{"req", "-x509", "-keyout", "client.key", "-out", "client.pem", "-subj",
                        "/CN=client@example.org", "-CA", "ca.pem", "-CAkey", "ca.key"} +
            ec);
    openssl({"pkcs12", "-export", "-inkey", "client.key", "-in", "client.pem", "-passout",
             "pass:bundle-pass", "-out", "client.p12"});

    // A cancelled password asks nothing more and says nothing.
    answerForeign(writeFile("office.sswan", sswan("Office")));
    window->importButton()->click();
    EXPECT_EQ(bundleAsks.size(), 1u);
    EXPECT_TRUE(previewLines.isEmpty());
    EXPECT_TRUE(errors.empty());

    // A wrong password asks again; Cancel in the preview saves nothing.
    bundleAsks.clear();
    bundleAnswers = {QStringLiteral("wrong"), QStringLiteral("bundle-pass")};
    window->importButton()->click();
    ASSERT_EQ(bundleAsks.size(), 2u);
    EXPECT_TRUE(bundleAsks[1].endsWith(QStringLiteral(" again")));
    EXPECT_EQ(signerLine, QStringLiteral("Not signed"));
    EXPECT_TRUE(previewLines.contains(QStringLiteral("Office — vpn.example.org||")));
    EXPECT_TRUE(previewLines.contains(QStringLiteral("Not carried over||")));
    EXPECT_EQ(previewLines.filter(QStringLiteral("remote.port|4501|")).size(), 1);
    EXPECT_TRUE(previewLines.contains(QStringLiteral("local.p12 (private key)|") +
                                      QString::fromUtf8(kMaskedValue) +
                                      QStringLiteral("|→ privateKeyPEM")));
    EXPECT_TRUE(bed.store.profiles().empty());
    EXPECT_TRUE(bed.secrets.items().empty());

    bundleAsks.clear();
    previewAnswer = true;
    window->importButton()->click();
    ASSERT_THAT(namesIn(bed.store), ElementsAre("Office"));
    const Uuid officeID = bed.store.profiles()[0].id;
    EXPECT_EQ(bed.store.profiles()[0].authMethod, VPNAuthMethod::certificate);
    EXPECT_THAT(bed.store.secrets(officeID).privateKeyPEM, HasSubstr("BEGIN PRIVATE KEY"));
    EXPECT_EQ(window->selection(), officeID);

    // The same id again asks before replacing; "No" keeps the old profile.
    answerForeign(writeFile("renamed.sswan", sswan("Office renamed")));
    bundleAsks.clear();
    window->importButton()->click();
    EXPECT_THAT(replaceAsks, ElementsAre(QStringLiteral("Office")));
    EXPECT_THAT(namesIn(bed.store), ElementsAre("Office"));
    replaceAnswer = true;
    bundleAsks.clear();
    window->importButton()->click();
    EXPECT_THAT(namesIn(bed.store), ElementsAre("Office renamed"));

    // A signed configuration profile shows its signer, untrusted here; its
    // shared secret goes to the keyring and never into the preview.
    const QString plist = QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>PayloadType</key><string>Configuration</string>
<key>PayloadUUID</key><string>5B3C1F6E-0000-4000-8000-000000000001</string>
<key>PayloadContent</key><array><dict>
 <key>PayloadType</key><string>com.apple.vpn.managed</string>
 <key>PayloadUUID</key><string>5B3C1F6E-0000-4000-8000-000000000002</string>
 <key>UserDefinedName</key><string>Branch</string>
 <key>VPNType</key><string>IKEv2</string>
 <key>IKEv2</key><dict>
  <key>RemoteAddress</key><string>198.51.100.7</string>
  <key>AuthenticationMethod</key><string>SharedSecret</string>
  <key>SharedSecret</key><string>group-psk-value</string>
  <key>DisableMOBIKE</key><integer>1</integer>
 </dict>
</dict></array></dict></plist>)");
    writeFile("branch.xml", plist.toStdString());
    openssl({"cms", "-sign", "-nodetach", "-binary", "-outform", "DER", "-in", "branch.xml",
             "-signer", "ca.pem", "-inkey", "ca.key", "-out", "branch.mobileconfig"});
    answerForeign(bed.dir.filePath(QStringLiteral("branch.mobileconfig")));
    previewAnswer = false;
    window->importButton()->click();
    EXPECT_EQ(signerLine, QStringLiteral("Signed by O=Example, CN=Test CA, not trusted"));
    EXPECT_TRUE(previewLines.contains(QStringLiteral("Branch — 198.51.100.7||")));
    EXPECT_EQ(previewLines.filter(QStringLiteral("IKEv2.DisableMOBIKE|")).size(), 1);
    EXPECT_TRUE(previewLines.filter(QStringLiteral("group-psk-value")).isEmpty());
    EXPECT_EQ(bed.store.profiles().size(), 1u);

    previewAnswer = true;
    window->importButton()->click();
    ASSERT_THAT(namesIn(bed.store), ElementsAre("Office renamed", "Branch"));
    EXPECT_EQ(bed.store.secrets(bed.store.profiles()[1].id).xauthPassword, "group-psk-value");
    EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
}

} // namespace
} // namespace torvane

namespace torvane {
namespace {

VPNRuntimeStatus officeUp(const VPNProfile& office, std::int64_t bytesIn, std::int64_t bytesOut) {
    VPNTunnelStatus tunnel = testing::tunnelOf(office, VPNConnState::connected);
    VPNSaDetails sa;
    sa.bytesIn = bytesIn;
    sa.bytesOut = bytesOut;
    sa.packetsIn = 900;
    sa.packetsOut = 400;
    sa.ikeProposal = "AES_GCM_16-256 / PRF_HMAC_SHA2_384 / ECP_384";
    sa.espProposal = "AES_GCM_16-256";
    sa.establishedSeconds = 192;
    sa.ikeRekeySeconds = 3720;
    sa.localAddress = "10.10.0.2[4500]";
    sa.remoteAddress = "10.10.0.1[4500]";
    sa.localTrafficSelectors = {"10.99.0.1/32"};
    sa.remoteTrafficSelectors = {"10.200.0.0/24"};
    tunnel.tunnelSA = sa;
    return VPNRuntimeStatus{.tunnels = {tunnel}};
}

// Two reports 2 s apart give a rate; a counter that went down starts over.
// The tray tooltip and the details area read the same counters.
TEST_F(ConfigWindowTest, ConnectedTunnelShowsItsDetailsTrafficAndLeakCheck) {
    const VPNProfile office = bed.add("Office");
    open();
    TrayMenu menu{bed.connection, bed.store};
    TrayIcon tray{bed.connection, menu};
    std::int64_t now = 0;
    traffic.setClock([&now] { return now; });
    window->select(office.id);
    TunnelDetailsView* details = window->tunnelDetails();
    EXPECT_TRUE(details->isHidden());
    EXPECT_FALSE(window->leakCheckButton()->isEnabled());

    bed.connection.setStatus(officeUp(office, 1'000'000, 200'000));
    EXPECT_FALSE(details->isHidden());
    EXPECT_THAT(details->text().toStdString(),
                AllOf(HasSubstr("IKE: AES_GCM_16-256 / PRF_HMAC_SHA2_384 / ECP_384"),
                      HasSubstr("Connected for: 3 min 12 s"),
                      HasSubstr("Next rekey: IKE in 1 h 02 min, ESP not scheduled"),
                      HasSubstr("10.99.0.1/32 ⇄ 10.200.0.0/24"),
                      HasSubstr("Received: ↓ 1.0 MB (900 packets)"), HasSubstr("Measuring…")));
    settle();
    const QList<QAction*> rows = menu.menu()->actions();
    now = 2000;
    bed.connection.setStatus(officeUp(office, 1'200'000, 240'000));
    settle();
    EXPECT_EQ(menu.menu()->actions(), rows) << "new counters alone keep an open menu as it is";
    EXPECT_THAT(details->text().toStdString(), HasSubstr("Throughput: ↓ 100 kB/s  ↑ 20 kB/s"));
    EXPECT_EQ(details->sparkline()->rates().size(), 1U);
    EXPECT_THAT(tray.systemTrayIcon().toolTip().toStdString(),
                HasSubstr("\nOffice ↓ 1.2 MB ↑ 240 kB"));

    now = 4000;
    bed.connection.setStatus(officeUp(office, 5'000, 1'000));
    EXPECT_TRUE(details->sparkline()->rates().empty());
    EXPECT_THAT(details->text().toStdString(), HasSubstr("Measuring…"));

    bed.helper.leakCheckResult = std::vector<LeakFinding>{
        {"routes", "OK", "every route points into a tunnel", ""},
        {"dns", "FAIL", "DNS goes to 192.0.2.53 outside the tunnel", "Reconnect Office."}};
    ASSERT_TRUE(window->leakCheckButton()->isEnabled());
    window->leakCheckButton()->click();
    LeakCheckDialog* dialog = window->leakCheckDialog();
    ASSERT_TRUE(runUntil([&] { return dialog->list()->topLevelItemCount() == 2; }));
    EXPECT_FALSE(dialog->isModal());
    const QTreeWidgetItem* dns = dialog->list()->topLevelItem(1);
    EXPECT_EQ(dns->text(0), QStringLiteral("FAIL"));
    EXPECT_TRUE(dns->font(0).bold());
    EXPECT_EQ(dns->text(2),
              QStringLiteral("DNS goes to 192.0.2.53 outside the tunnel\nReconnect Office."));

    bed.helper.leakCheckResult = Unexpected{std::string("the helper cannot be reached")};
    dialog->run();
    ASSERT_TRUE(runUntil([&] {
        return dialog->list()->isHidden() &&
               dialog->summary()->text().contains(QStringLiteral("could"));
    }));
    EXPECT_EQ(dialog->summary()->text(),
              QStringLiteral("The leak check could not be run: the helper cannot be reached"));

    bed.connection.setStatus({});
    EXPECT_TRUE(details->isHidden());
    EXPECT_FALSE(window->leakCheckButton()->isEnabled());
}

TEST_F(ConfigWindowTest, ManagedProfilesComeFirstLockedReadOnlyAndFollowTheRevision) {
    const VPNProfile home = bed.add("Home");
    const VPNProfile lab = bed.add("Lab");
    ManagedProfile office;
    office.profile = testing::profileNamed("Office", VPNAuthMethod::psk);
    office.alwaysOn = true;
    office.secretsOrigin = ManagedSecretsOrigin::secretsFile;
    office.sourceFile = "profiles.d/office.json";
    // The user's own copy under the same id is hidden behind the managed one.
    VPNProfile copy = office.profile;
    copy.name = "My office";
    bed.store.add(copy);
    bed.helper.managed = {office};
    VPNRuntimeStatus status;
    status.managedRevision = 1;
    bed.connection.setStatus(status);
    ASSERT_TRUE(runUntil([&] { return bed.connection.managedProfiles().size() == 1; }));
    open();
    TrayMenu menu(bed.connection, bed.store);
    settle();

    ProfileListModel* model = window->profileModel();
    std::vector<QString> rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        rows.push_back(model->index(row).data().toString());
    }
    EXPECT_THAT(rows, ElementsAre("Managed by your organisation", "Office", "Your profiles", "Home",
                                  "Lab"));
    EXPECT_FALSE(model->index(1).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(model->flags(model->index(1)) & Qt::ItemIsDragEnabled);
    EXPECT_FALSE(model->flags(model->index(0)) & Qt::ItemIsSelectable);
    QAction* heading = menu.menu()->actions().at(2);
    QAction* officeRow = menu.menu()->actions().at(3);
    EXPECT_EQ(heading->text(), TrayMenu::managedSectionTitle());
    EXPECT_FALSE(heading->isEnabled());
    EXPECT_THAT(officeRow->text().toStdString(), HasSubstr("Office"));
    EXPECT_FALSE(officeRow->icon().isNull());
    EXPECT_THAT(bed.connection.logLines().join('\n').toStdString(),
                HasSubstr("'My office' is hidden"));
    // Its row starts the administrator's record, without asking for the key
    // the daemon holds.
    menu.profileClicked(office.profile.id);
    ASSERT_TRUE(runUntil([&] { return bed.helper.started().size() == 1; }));
    EXPECT_EQ(bed.helper.started()[0].profile.name, "Office");
    ASSERT_TRUE(runUntil([&] { return !bed.connection.busy(); }));

    // Read-only: every field disabled, nothing to save, export or delete.
    window->select(office.profile.id);
    ProfileEditorView* editor = window->editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isReadOnly());
    EXPECT_FALSE(editor->findChild<QLineEdit*>(QStringLiteral("nameLineEdit"))->isEnabled());
    EXPECT_FALSE(editor->findChild<QAction*>(QStringLiteral("saveAction"))->isVisible());
    EXPECT_FALSE(editor->findChild<QAction*>(QStringLiteral("exportAction"))->isVisible());
    EXPECT_TRUE(editor->findChild<QAction*>(QStringLiteral("connectAction"))->isVisible());
    EXPECT_THAT(editor->managedNotice()->text().toStdString(),
                AllOf(HasSubstr("profiles.d/office.json"), HasSubstr("Always on")));
    EXPECT_FALSE(window->removeButton()->isEnabled());
    window->requestDelete(office.profile.id);
    EXPECT_EQ(bed.store.profiles().size(), 3U);

    // Managed rows neither move nor take the user's; the priorities sent
    // are the user's alone.
    EXPECT_FALSE(model->moveProfiles({1}, 5));
    EXPECT_TRUE(model->moveProfiles({4}, 1));
    EXPECT_THAT(pushes(1), ElementsAre(ElementsAre(lab.id.upperText(), home.id.upperText())));

    // A new revision fetches again; gone from it, the user's copy is back,
    // editable.
    bed.helper.managed.clear();
    status.managedRevision = 2;
    bed.connection.setStatus(status);
    ASSERT_TRUE(runUntil([&] { return bed.connection.managedProfiles().empty(); }));
    settle();
    EXPECT_EQ(bed.helper.managedFetches(), 2);
    EXPECT_EQ(model->rowCount(), 3);
    ASSERT_NE(window->editor(), nullptr);
    EXPECT_FALSE(window->editor()->isReadOnly());
    EXPECT_EQ(window->editor()->profile().name, "My office");
}

} // namespace
} // namespace torvane
