#include "Torvane/core/ProfileStore.h"

#include "Torvane/core/AppLog.h"
#include "tests/fakes/core/MemorySecretStore.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace torvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ProfileStoreTest : public ::testing::Test {
protected:
    ProfileStoreTest() {
        setAppSystemLogSink([this](std::string_view line) { logged.emplace_back(line); });
    }
    ~ProfileStoreTest() override { setAppSystemLogSink({}); }

    QString settingsPath() const { return dir.filePath("Torvane.conf"); }

    // A fresh settings object over the same file, as a new app run sees it.
    std::unique_ptr<QSettings> openSettings() const {
        return std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    }

    std::unique_ptr<ProfileStore> openStore() {
        settings = openSettings();
        return std::make_unique<ProfileStore>(*settings, secretStore);
    }

    static VPNProfile named(const std::string& name) {
        VPNProfile profile;
        profile.name = name;
        return profile;
    }

    static std::vector<std::string> names(const ProfileStore& store) {
        std::vector<std::string> result;
        for (const auto& profile : store.profiles()) {
            result.push_back(profile.name);
        }
        return result;
    }

    QTemporaryDir dir;
    testing::MemorySecretStore secretStore;
    std::unique_ptr<QSettings> settings;
    std::vector<std::string> logged;
};

TEST_F(ProfileStoreTest, CorruptListIsKeptAsideAndReplacedByTheNextChange) {
    VPNProfile bad = named("Bad");
    std::string blob = encodeProfileList({named("Good"), bad});
    blob.replace(blob.rfind("\"xauth\""), 7, "\"PSK\"");
    openSettings()->setValue("Profiles", QByteArray::fromStdString(blob));

    auto store = openStore();
    EXPECT_TRUE(store->profiles().empty());
    EXPECT_EQ(settings->value("Profiles.corrupt").toByteArray().toStdString(), blob);
    EXPECT_EQ(settings->value("Profiles").toByteArray().toStdString(), blob)
        << "left in place until the next change";
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_THAT(logged[0], HasSubstr("Torvane: failed to decode saved profiles ("));
    EXPECT_THAT(logged[0], HasSubstr(") \u2014 preserving raw data under 'Profiles.corrupt'"));

    store->add(named("New"));
    auto reopened = openStore();
    EXPECT_THAT(names(*reopened), ElementsAre("New"));
    EXPECT_EQ(settings->value("Profiles.corrupt").toByteArray().toStdString(), blob);
}

TEST_F(ProfileStoreTest, UpdateRemoveAndMoveFollowListSemantics) {
    auto store = openStore();
    const VPNProfile a = store->add(named("A"));
    VPNProfile twin = store->add(named("B"));
    store->add(named("C"));
    twin.name = "B2";
    store->add(twin); // the same id twice
    ASSERT_TRUE(store->saveSecrets({"pw", ""}, twin.id));

    twin.name = "B3";
    store->update(twin);
    EXPECT_THAT(names(*store), ElementsAre("A", "B3", "C", "B2")) << "only the first is replaced";
    store->update(named("D"));
    EXPECT_THAT(names(*store), ElementsAre("A", "B3", "C", "B2", "D"));

    store->move({0, 2}, 4); // A and C go before "D"
    EXPECT_THAT(names(*store), ElementsAre("B3", "B2", "A", "C", "D"));
    store->move({4}, 0);
    EXPECT_THAT(names(*store), ElementsAre("D", "B3", "B2", "A", "C"));
    store->move({1, 7, -1}, 5); // offsets outside the list are ignored
    EXPECT_THAT(names(*store), ElementsAre("D", "B2", "A", "C", "B3"));

    store->remove(twin);
    EXPECT_THAT(names(*store), ElementsAre("D", "A", "C"));
    EXPECT_TRUE(secretStore.items().empty());
    EXPECT_THAT(names(*openStore()), ElementsAre("D", "A", "C"));
    EXPECT_EQ(store->profiles()[1], a);
}

TEST_F(ProfileStoreTest, ImportAppendsDuplicatesAndOverwritesTheOneSecretItem) {
    auto store = openStore();
    const VPNProfile office = store->add(named("Office"));
    ASSERT_TRUE(store->saveSecrets({"old", "key"}, office.id));

    const auto [imported, saved] = store->importProfile(office, {"new", ""});
    EXPECT_TRUE(saved);
    EXPECT_EQ(imported, office);
    EXPECT_EQ(store->profiles().size(), 2u);
    EXPECT_EQ(secretStore.items().size(), 1u);
    EXPECT_EQ(store->secrets(office.id), (VPNSecrets{"new", ""}));
    EXPECT_EQ(secretStore.items().begin()->first, office.id.upperText());
}

TEST_F(ProfileStoreTest, FailedSecretWriteStillSavesTheProfile) {
    auto store = openStore();
    secretStore.failWrites = -25308;
    const VPNProfile profile = named("Locked");

    const auto [imported, saved] = store->importProfile(profile, {"pw", ""});
    EXPECT_FALSE(saved);
    EXPECT_THAT(names(*openStore()), ElementsAre("Locked"));
    EXPECT_THAT(logged, ElementsAre("Torvane: keyring write failed for " + profile.id.upperText() +
                                    ": OSStatus -25308"));
}

TEST_F(ProfileStoreTest, SecretsThatAreMissingOrUnreadableAreEmpty) {
    auto store = openStore();
    const VPNProfile profile = store->add(named("Office"));
    EXPECT_EQ(store->secrets(profile.id), (VPNSecrets{"", ""}));
    secretStore.write(profile.id.upperText(), R"({"xauthPassword":"only"})");
    EXPECT_EQ(store->secrets(profile.id), (VPNSecrets{"", ""}));
}

} // namespace
} // namespace torvane
