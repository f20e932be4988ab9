// What the template operations mean, checked against a real SQLite store in a temporary folder.
#include "refservice/templates/template_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "refservice/common/identifiers.h"
#include "refservice/storage/sqlite_driver.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using refservice::AssetChange;
using refservice::AssetData;
using refservice::Credentials;
using refservice::FieldData;
using refservice::IsDecimalText;
using refservice::IsGuidText;
using refservice::kZeroGuid;
using refservice::LogicGroupData;
using refservice::NewGuid;
using refservice::ServiceError;
using refservice::SqliteStore;
using refservice::Store;
using refservice::TemplateData;
using refservice::TemplateKey;
using refservice::TemplateManager;

// The real store, except that ending a lease fails while `failRelease` is set (a database
// outage at the moment a run's fault is answered), and locking a template while `failLock` is.
class ReleaseFailingStore : public SqliteStore {
 public:
  bool failRelease = false;
  bool failLock = false;
  bool ReleasePublishLease(int64_t templateRow) override {
    return !failRelease && SqliteStore::ReleasePublishLease(templateRow);
  }
  bool LockTemplate(int64_t templateRow) override {
    return !failLock && SqliteStore::LockTemplate(templateRow);
  }
};

class TemplateManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    std::string error;
    ASSERT_TRUE(store_.Open(dir_.path() + "/service.db", &error)) << error;
    ASSERT_TRUE(accounts_.SetPassword("ann@example.org", "ann-pw"));
    ASSERT_TRUE(accounts_.SetPassword("bob@example.org", "bob-pw"));
  }

  // Creates a template through `manager` (the fixture's when null).
  TemplateData NewTemplate(const Credentials& user, const std::string& name,
                           TemplateManager* manager = nullptr) {
    if (manager == nullptr) manager = &manager_;
    TemplateData info;
    info.name = name;
    info.docId = kZeroGuid;
    info.docPassword = kZeroGuid;
    info.width = "612";
    info.height = "792";
    TemplateData stored;
    ServiceError error;
    EXPECT_TRUE(manager->SetTemplate(user, std::nullopt, std::nullopt, info, &stored, &error))
        << error.reason;
    return stored;
  }

  // Ann's setTemplate of `data` as an update of that template, through `manager`.
  bool Update(TemplateManager* manager, const TemplateData& data, ServiceError* error) {
    TemplateData stored;
    return manager->SetTemplate(ann_, data.docId, data.docPassword, data, &stored, error);
  }

  void Commit(const Credentials& user, const TemplateData& data) {
    TemplateData committed;
    ServiceError error;
    EXPECT_TRUE(manager_.CommitTemplate(user, KeyOf(data), &committed, &error)) << error.reason;
  }

  static TemplateKey KeyOf(const TemplateData& data) {
    return TemplateKey{data.docId, data.docPassword};
  }

  TempDir dir_;
  ReleaseFailingStore store_;
  refservice::Accounts accounts_{&store_};
  TemplateManager manager_{&store_, &accounts_};
  Credentials ann_{"ann@example.org", "ann-pw"};
  Credentials bob_{"bob@example.org", "bob-pw"};
};

TEST_F(TemplateManagerTest, WrongCredentialsAreRefused) {
  std::vector<TemplateData> list;
  ServiceError error;
  EXPECT_FALSE(manager_.GetLibraryTemplates({"ann@example.org", "wrong"}, &list, &error));
  EXPECT_TRUE(error.client);
  EXPECT_NE(error.reason.find("Invalid user name or password"), std::string::npos);
  EXPECT_FALSE(manager_.GetLibraryTemplates({"nobody@example.org", "ann-pw"}, &list, &error));
  EXPECT_FALSE(manager_.GetLibraryTemplates({"", ""}, &list, &error));
  // E-mail addresses match in any letter case; passwords do not.
  EXPECT_TRUE(manager_.GetLibraryTemplates({"ANN@example.org", "ann-pw"}, &list, &error));
  EXPECT_FALSE(manager_.GetLibraryTemplates({"ann@example.org", "ANN-PW"}, &list, &error));
}

TEST_F(TemplateManagerTest, ZeroIdCreatesAndKnownIdUpdates) {
  TemplateData created = NewTemplate(ann_, "Card");
  EXPECT_TRUE(IsGuidText(created.docId));
  EXPECT_TRUE(IsGuidText(created.docPassword));
  EXPECT_NE(created.docId, kZeroGuid);
  EXPECT_NE(created.docId, created.docPassword);
  EXPECT_GT(created.userId, 0);
  // Each update is a publish run of its own: the one before has ended with its commit.
  Commit(ann_, created);

  TemplateData update = created;
  update.name = "Card v2";
  update.pageCount = 3;
  update.bleed = "9.5";
  TemplateData stored;
  ServiceError error;
  ASSERT_TRUE(
      manager_.SetTemplate(ann_, created.docId, created.docPassword, update, &stored, &error))
      << error.reason;
  EXPECT_EQ(stored.docId, created.docId);
  EXPECT_EQ(stored.docPassword, created.docPassword);

  std::vector<TemplateData> list;
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name.value_or(""), "Card v2");
  EXPECT_EQ(list[0].pageCount, 3);
  EXPECT_EQ(list[0].bleed, "9.5");
  EXPECT_EQ(list[0].docPassword, created.docPassword);

  // The identifier may also come from the record alone, in upper case.
  Commit(ann_, created);
  std::string upper = created.docId;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  update.docId = upper;
  EXPECT_TRUE(manager_.SetTemplate(ann_, std::nullopt, std::nullopt, update, &stored, &error))
      << error.reason;
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  EXPECT_EQ(list.size(), 1u);
}

TEST_F(TemplateManagerTest, WrongTemplatePasswordAndUnknownIdAreRefused) {
  TemplateData created = NewTemplate(ann_, "Card");
  TemplateData stored;
  ServiceError error;
  EXPECT_FALSE(manager_.SetTemplate(ann_, created.docId, NewGuid(), created, &stored, &error));
  EXPECT_NE(error.reason.find("Wrong template password"), std::string::npos);
  EXPECT_FALSE(manager_.SetTemplate(ann_, NewGuid(), NewGuid(), created, &stored, &error));
  EXPECT_NE(error.reason.find("does not exist"), std::string::npos);
  EXPECT_FALSE(
      manager_.SetTemplate(ann_, std::string("not-a-guid"), NewGuid(), created, &stored, &error));
  TemplateData bad = created;
  bad.width = "12,5";
  EXPECT_FALSE(manager_.SetTemplate(ann_, std::nullopt, std::nullopt, bad, &stored, &error));
  std::vector<FieldData> fields;
  EXPECT_FALSE(manager_.GetFields(ann_, {created.docId, "wrong"}, &fields, &error));
  EXPECT_FALSE(manager_.GetFields(ann_, {"", ""}, &fields, &error));
}

TEST_F(TemplateManagerTest, UsersAreIsolated) {
  TemplateData anns = NewTemplate(ann_, "Ann's card");
  NewTemplate(bob_, "Bob's card");
  std::vector<TemplateData> list;
  ServiceError error;
  ASSERT_TRUE(manager_.GetLibraryTemplates(bob_, &list, &error));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name.value_or(""), "Bob's card");

  // Even with Ann's identifier and password, Bob can neither read nor change her template, and
  // learns nothing beyond "does not exist".
  std::vector<FieldData> fields;
  EXPECT_FALSE(manager_.GetFields(bob_, KeyOf(anns), &fields, &error));
  EXPECT_NE(error.reason.find("does not exist"), std::string::npos);
  TemplateData stored;
  TemplateData takeover = anns;
  takeover.name = "mine now";
  EXPECT_FALSE(manager_.SetTemplate(bob_, anns.docId, anns.docPassword, takeover, &stored, &error));
  EXPECT_FALSE(manager_.CommitTemplate(bob_, KeyOf(anns), &stored, &error));
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name.value_or(""), "Ann's card");
  EXPECT_FALSE(list[0].committed);
}

TEST_F(TemplateManagerTest, SetFieldsMergesAndDeleteOthersRemoves) {
  TemplateData t = NewTemplate(ann_, "Card");
  std::vector<FieldData> out;
  ServiceError error;
  ASSERT_TRUE(manager_.SetFields(ann_, KeyOf(t), {{"name", "r1"}, {"title", "r2"}, {"phone", "r3"}},
                                 true, &out, &error))
      << error.reason;
  ASSERT_EQ(out.size(), 3u);

  // Without deleteOthers: "title" replaced in place, "email" appended, the rest kept.
  ASSERT_TRUE(
      manager_.SetFields(ann_, KeyOf(t), {{"email", "r4"}, {"title", "r2b"}}, false, &out, &error));
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[1].name, "title");
  EXPECT_EQ(out[1].record, "r2b");
  EXPECT_EQ(out[3].name, "email");

  // With deleteOthers: exactly the sent fields remain; duplicates of one name are both kept.
  ASSERT_TRUE(
      manager_.SetFields(ann_, KeyOf(t), {{"phone", "p1"}, {"phone", "p2"}}, true, &out, &error));
  ASSERT_EQ(out.size(), 2u);
  std::vector<FieldData> read;
  ASSERT_TRUE(manager_.GetFields(ann_, KeyOf(t), &read, &error));
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].record, "p1");
  EXPECT_EQ(read[1].record, "p2");

  // An empty list with deleteOthers clears the template; a nameless field is refused.
  ASSERT_TRUE(manager_.SetFields(ann_, KeyOf(t), {}, true, &out, &error));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(manager_.SetFields(ann_, KeyOf(t), {{"", "x"}}, true, &out, &error));
}

TEST_F(TemplateManagerTest, LogicGroupsKeepTheirIdsByName) {
  TemplateData t = NewTemplate(ann_, "Card");
  std::vector<LogicGroupData> out;
  ServiceError error;
  ASSERT_TRUE(
      manager_.SetLogicGroups(ann_, KeyOf(t), {{0, "Address", 0}, {0, "Phones", 1}}, &out, &error))
      << error.reason;
  ASSERT_EQ(out.size(), 2u);
  int addressId = out[0].id;
  int phonesId = out[1].id;
  EXPECT_GT(addressId, 0);
  EXPECT_NE(addressId, phonesId);

  // Known names keep their ids (whatever id is sent); new names get new ids.
  ASSERT_TRUE(
      manager_.SetLogicGroups(ann_, KeyOf(t), {{0, "Phones", 0}, {999, "Extra", 1}}, &out, &error));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].id, addressId);
  EXPECT_EQ(out[1].id, phonesId);
  EXPECT_EQ(out[1].moveDirection, 0);
  EXPECT_NE(out[2].id, 999);
  EXPECT_GT(out[2].id, phonesId);

  // An unknown name with a known id renames that group.
  ASSERT_TRUE(manager_.SetLogicGroups(ann_, KeyOf(t), {{addressId, "Postal", 1}}, &out, &error));
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].id, addressId);
  EXPECT_EQ(out[0].name, "Postal");

  // Ids are per service: another template's groups never share them.
  TemplateData other = NewTemplate(ann_, "Other");
  std::vector<LogicGroupData> otherGroups;
  ASSERT_TRUE(manager_.SetLogicGroups(ann_, KeyOf(other), {{addressId, "Address", 0}}, &otherGroups,
                                      &error));
  ASSERT_EQ(otherGroups.size(), 1u);
  EXPECT_NE(otherGroups[0].id, addressId);
  EXPECT_FALSE(manager_.SetLogicGroups(ann_, KeyOf(t), {{0, "", 0}}, &out, &error));
}

TEST_F(TemplateManagerTest, AssetsReplaceByNameAndDelete) {
  TemplateData t = NewTemplate(ann_, "Card");
  std::vector<AssetData> out;
  ServiceError error;
  auto asset = [](const char* url, const char* name, int type) {
    return AssetChange{AssetData{std::string(url), std::string(name), type, 0}, false};
  };
  ASSERT_TRUE(
      manager_.SetAssets(ann_, KeyOf(t),
                         {asset("http://h/1/Card.tlvd", "Card.tlvd", 4),
                          asset("http://h/1/logo.png", "logo.png", 2), asset("", "Card.pdf", 0)},
                         &out, &error))
      << error.reason;
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[2].url.value_or("?"), "");

  AssetChange removal = asset("", "logo.png", 2);
  removal.remove = true;
  ASSERT_TRUE(manager_.SetAssets(
      ann_, KeyOf(t), {asset("http://h/2/Card.pdf", "Card.pdf", 0), removal}, &out, &error));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].name.value_or(""), "Card.tlvd");
  EXPECT_EQ(out[1].url.value_or(""), "http://h/2/Card.pdf");
}

TEST_F(TemplateManagerTest, CommitMarksCommittedAndChangesUncommit) {
  TemplateData t = NewTemplate(ann_, "Card");
  EXPECT_FALSE(t.committed);
  TemplateData committed;
  ServiceError error;
  ASSERT_TRUE(manager_.CommitTemplate(ann_, KeyOf(t), &committed, &error)) << error.reason;
  EXPECT_TRUE(committed.committed);
  EXPECT_EQ(committed.docId, t.docId);
  EXPECT_EQ(committed.name.value_or(""), "Card");
  int64_t row = 0;
  ASSERT_TRUE(store_.FindTemplate(t.docId, &row).has_value());
  EXPECT_EQ(store_.CommitCount(row), 1);

  std::vector<FieldData> out;
  ASSERT_TRUE(manager_.SetFields(ann_, KeyOf(t), {{"name", "r"}}, true, &out, &error));
  EXPECT_FALSE(store_.FindTemplate(t.docId, &row)->committed);
}

TEST_F(TemplateManagerTest, EverythingSurvivesReopening) {
  TemplateData t = NewTemplate(ann_, "Card");
  std::vector<FieldData> fields;
  std::vector<LogicGroupData> groups;
  std::vector<AssetData> assets;
  ServiceError error;
  ASSERT_TRUE(manager_.SetFields(ann_, KeyOf(t), {{"name", "<record/>"}}, true, &fields, &error));
  ASSERT_TRUE(manager_.SetLogicGroups(ann_, KeyOf(t), {{0, "G", 1}}, &groups, &error));
  ASSERT_TRUE(manager_.SetAssets(
      ann_, KeyOf(t), {AssetChange{AssetData{std::string("u"), std::string("n"), 4, 0}, false}},
      &assets, &error));

  SqliteStore reopened;
  std::string openError;
  ASSERT_TRUE(reopened.Open(dir_.path() + "/service.db", &openError)) << openError;
  refservice::Accounts reopenedAccounts(&reopened);
  TemplateManager again(&reopened, &reopenedAccounts);
  std::vector<TemplateData> list;
  ASSERT_TRUE(again.GetLibraryTemplates(ann_, &list, &error)) << error.reason;
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].docPassword, t.docPassword);
  ASSERT_TRUE(again.GetFields(ann_, KeyOf(t), &fields, &error));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].record, "<record/>");
  ASSERT_TRUE(again.GetLogicGroups(ann_, KeyOf(t), &groups, &error));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].moveDirection, 1);
}

// The seconds a "being published" refusal says the template stays held, or -1.
int SecondsLeft(const std::string& reason) {
  const std::string marker = "free again in ";
  size_t at = reason.find(marker);
  if (at == std::string::npos) return -1;
  return std::atoi(reason.c_str() + at + marker.size());
}

TEST_F(TemplateManagerTest, OnePublishRunOfATemplateAtATime) {
  TemplateData created = NewTemplate(ann_, "Card");
  Commit(ann_, created);

  // Run A takes the template with its setTemplate.
  TemplateData a = created;
  a.name = "Card by A";
  TemplateData stored;
  ServiceError error;
  ASSERT_TRUE(manager_.SetTemplate(ann_, created.docId, created.docPassword, a, &stored, &error))
      << error.reason;

  // Run B may read, but its setTemplate is refused and changes nothing.
  std::vector<FieldData> fields;
  EXPECT_TRUE(manager_.GetFields(ann_, KeyOf(created), &fields, &error)) << error.reason;
  TemplateData b = created;
  b.name = "Card by B";
  EXPECT_FALSE(manager_.SetTemplate(ann_, created.docId, created.docPassword, b, &stored, &error));
  EXPECT_FALSE(error.client) << "a conflict that passes: the same request may succeed later";
  EXPECT_EQ(error.reason, "Template " + created.docId +
                              " is being published by another run; try again when that publish "
                              "has ended (if it stopped midway, the template is free again in " +
                              std::to_string(SecondsLeft(error.reason)) + " s).");
  EXPECT_GT(SecondsLeft(error.reason), 0);
  EXPECT_LE(SecondsLeft(error.reason), 300);
  std::vector<TemplateData> list;
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name.value_or(""), "Card by A");

  // A goes on and commits; then B's run may start.
  std::vector<FieldData> out;
  ASSERT_TRUE(manager_.SetFields(ann_, KeyOf(created), {{"a", "ra"}}, true, &out, &error));
  Commit(ann_, created);
  EXPECT_TRUE(manager_.SetTemplate(ann_, created.docId, created.docPassword, b, &stored, &error))
      << error.reason;
  // Another user's attempt is refused for what it is, not as a conflict.
  EXPECT_FALSE(manager_.SetTemplate(bob_, created.docId, created.docPassword, b, &stored, &error));
  EXPECT_NE(error.reason.find("does not exist"), std::string::npos) << error.reason;
}

TEST_F(TemplateManagerTest, ANewTemplateIsHeldByTheRunThatCreatedIt) {
  TemplateData created = NewTemplate(ann_, "Fresh");
  TemplateData stored;
  ServiceError error;
  EXPECT_FALSE(
      manager_.SetTemplate(ann_, created.docId, created.docPassword, created, &stored, &error));
  EXPECT_NE(error.reason.find("is being published by another run"), std::string::npos)
      << error.reason;
}

TEST_F(TemplateManagerTest, TheRunsLaterCallsRenewTheLeaseAndAFaultEndsIt) {
  TemplateManager manager(&store_, &accounts_, 60000);
  TemplateData created = NewTemplate(ann_, "Renewed", &manager);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ServiceError error;
  ASSERT_FALSE(Update(&manager, created, &error));
  EXPECT_LT(SecondsLeft(error.reason), 60) << error.reason;
  // setFields renews the lease to its full time, and so does getLogicGroups, the call a live
  // run renews with while its own work goes on.
  std::vector<FieldData> out;
  ASSERT_TRUE(manager.SetFields(ann_, KeyOf(created), {{"a", "r"}}, true, &out, &error));
  ASSERT_FALSE(Update(&manager, created, &error));
  EXPECT_EQ(SecondsLeft(error.reason), 60) << error.reason;
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  std::vector<LogicGroupData> groups;
  ASSERT_TRUE(manager.GetLogicGroups(ann_, KeyOf(created), &groups, &error)) << error.reason;
  ASSERT_FALSE(Update(&manager, created, &error));
  EXPECT_EQ(SecondsLeft(error.reason), 60) << error.reason;
  // A fault answered to one of the run's calls ends it at once.
  manager.AbandonPublish(ann_, {created.docId, "wrong password"});
  EXPECT_FALSE(Update(&manager, created, &error));
  manager.AbandonPublish(ann_, KeyOf(created));
  EXPECT_TRUE(Update(&manager, created, &error)) << error.reason;
}

TEST(TemplateManagerOutage, ARunEndedByAFaultDuringAnOutageHoldsItsTemplateNoLonger) {
  TempDir dir;
  ReleaseFailingStore store;
  std::string why;
  ASSERT_TRUE(store.Open(dir.path() + "/service.db", &why)) << why;
  refservice::Accounts accounts(&store);
  ASSERT_TRUE(accounts.SetPassword("ann@example.org", "ann-pw"));
  const Credentials ann{"ann@example.org", "ann-pw"};
  TemplateManager manager(&store, &accounts, 60000);
  TemplateData info;
  info.name = "Outage";
  info.docId = kZeroGuid;
  info.docPassword = kZeroGuid;
  TemplateData created;
  ServiceError error;
  ASSERT_TRUE(manager.SetTemplate(ann, std::nullopt, std::nullopt, info, &created, &error))
      << error.reason;
  const TemplateKey key{created.docId, created.docPassword};

  store.failRelease = true;
  manager.AbandonPublish(ann, key);
  TemplateData again;
  // Still down: the next run is told the store failed, not that the template is held.
  EXPECT_FALSE(manager.SetTemplate(ann, key.code, key.password, created, &again, &error));
  EXPECT_EQ(error.reason.find("is being published"), std::string::npos) << error.reason;
  // Back up: the ended run's lease goes first, and the next run takes the template at once.
  store.failRelease = false;
  EXPECT_TRUE(manager.SetTemplate(ann, key.code, key.password, created, &again, &error))
      << error.reason;
  // Only once: the new run's own lease holds.
  EXPECT_FALSE(manager.SetTemplate(ann, key.code, key.password, created, &again, &error));
  EXPECT_NE(error.reason.find("is being published"), std::string::npos) << error.reason;
}

// Every operation on a named template checks, in this order: the credentials, the template
// (another account's as a missing one, then its password), what the request itself asks, and
// for a change the store's lock of the template. A refusal changes nothing.
TEST_F(TemplateManagerTest, OperationsCheckCredentialsThenTemplateThenRequestThenLock) {
  const TemplateData created = NewTemplate(ann_, "Checked");
  const TemplateKey key = KeyOf(created);
  ServiceError error;

  // `named`: the records sent have names.
  using Operation =
      std::function<bool(const Credentials&, const TemplateKey&, bool named, ServiceError*)>;
  struct Case {
    const char* name;
    Operation run;
    const char* requestFault;  // what an unnamed record is refused with; null: nothing to refuse
    bool changes;              // takes the store's lock of the template
  };
  std::vector<FieldData> fields;
  std::vector<LogicGroupData> groups;
  std::vector<AssetData> assets;
  TemplateData committed;
  const Case cases[] = {
      {"getFields",
       [&](auto& user, auto& k, bool, auto* e) { return manager_.GetFields(user, k, &fields, e); },
       nullptr, false},
      {"setFields",
       [&](auto& user, auto& k, bool named, auto* e) {
         FieldData field;
         field.name = named ? "Name" : "";
         return manager_.SetFields(user, k, {field}, false, &fields, e);
       },
       "Every field needs a fieldName.", true},
      {"getLogicGroups",
       [&](auto& user, auto& k, bool, auto* e) {
         return manager_.GetLogicGroups(user, k, &groups, e);
       },
       nullptr, false},
      {"setLogicGroups",
       [&](auto& user, auto& k, bool named, auto* e) {
         LogicGroupData group;
         group.name = named ? "Group" : "";
         return manager_.SetLogicGroups(user, k, {group}, &groups, e);
       },
       "Every logic group needs a logicGroupName.", true},
      {"setAssets",
       [&](auto& user, auto& k, bool, auto* e) {
         return manager_.SetAssets(user, k, {}, &assets, e);
       },
       nullptr, true},
      {"commitTemplate",
       [&](auto& user, auto& k, bool, auto* e) {
         return manager_.CommitTemplate(user, k, &committed, e);
       },
       nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A wrong password of an unknown account each time, so that no sign-in throttle answers.
    const Credentials stranger{std::string(c.name) + "@example.org", "wrong"};
    EXPECT_FALSE(c.run(stranger, {key.code, "wrong"}, false, &error));
    EXPECT_EQ(error.reason, "Invalid user name or password.");
    EXPECT_FALSE(c.run({"bob@example.org", "bob-pw"}, {key.code, "wrong"}, false, &error));
    EXPECT_EQ(error.reason, "Template " + key.code + " does not exist.");
    EXPECT_FALSE(c.run(ann_, {key.code, "wrong"}, false, &error));
    EXPECT_EQ(error.reason, "Wrong template password for template " + key.code + ".");
    EXPECT_TRUE(error.client);
    store_.failLock = true;
    if (c.requestFault != nullptr) {
      EXPECT_FALSE(c.run(ann_, key, false, &error));
      EXPECT_EQ(error.reason, c.requestFault);
      EXPECT_TRUE(error.client);
    }
    EXPECT_EQ(c.run(ann_, key, true, &error), !c.changes);
    if (c.changes) {
      EXPECT_EQ(error.reason, "The template store could not be updated; nothing was changed.");
      EXPECT_FALSE(error.client);
    }
    store_.failLock = false;
  }
  // Nothing was changed by the refused requests; the commit above committed the template.
  ASSERT_TRUE(manager_.GetFields(ann_, key, &fields, &error));
  EXPECT_TRUE(fields.empty());
  ASSERT_TRUE(manager_.GetLogicGroups(ann_, key, &groups, &error));
  EXPECT_TRUE(groups.empty());
  std::vector<TemplateData> list;
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].committed);
}

TEST_F(TemplateManagerTest, TheLeaseOfARunThatVanishedExpires) {
  TemplateManager manager(&store_, &accounts_, 300);
  TemplateData created = NewTemplate(ann_, "Vanished", &manager);
  const auto start = std::chrono::steady_clock::now();
  ServiceError error;
  bool taken = false;
  int refusals = 0;
  for (int i = 0; i < 200 && !taken; ++i) {
    taken = Update(&manager, created, &error);
    if (!taken) {
      ++refusals;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  EXPECT_TRUE(taken) << error.reason;
  EXPECT_GT(refusals, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
}

TEST_F(TemplateManagerTest, ANameIsNotCreatedTwiceBeforeItsFirstCommit) {
  TemplateData first = NewTemplate(ann_, "Card");
  TemplateData info;
  info.name = "Card";
  TemplateData stored;
  ServiceError error;
  EXPECT_FALSE(manager_.SetTemplate(ann_, std::nullopt, std::nullopt, info, &stored, &error));
  EXPECT_FALSE(error.client);
  EXPECT_EQ(error.reason, "A template named \"Card\" (" + first.docId +
                              ") has not been committed yet, probably because it is being "
                              "published right now; a second template of that name is not "
                              "created. Try again when that publish has ended.");
  std::vector<TemplateData> list;
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  EXPECT_EQ(list.size(), 1u);

  // Names match byte for byte; other accounts have names of their own.
  NewTemplate(ann_, "card");
  NewTemplate(ann_, "Card ");
  NewTemplate(bob_, "Card");
  // Once the first is committed, a template of that name may be created again, as before.
  Commit(ann_, first);
  NewTemplate(ann_, "Card");
  ASSERT_TRUE(manager_.GetLibraryTemplates(ann_, &list, &error));
  EXPECT_EQ(list.size(), 4u);
}

TEST(Store, APublishLeaseIsTakenOnceUntilItExpiresOrIsReleased) {
  TempDir dir;
  SqliteStore store;
  std::string error;
  ASSERT_TRUE(store.Open(dir.path() + "/service.db", &error)) << error;
  ASSERT_TRUE(store.SetUserCredential("ann@example.org", "opaque"));
  std::optional<refservice::UserRecord> user;
  ASSERT_TRUE(store.FindUser("ann@example.org", &user));
  ASSERT_TRUE(user);
  TemplateData data;
  data.docId = NewGuid();
  data.docPassword = NewGuid();
  data.userId = user->id;
  int64_t row = store.InsertTemplate(data);
  ASSERT_NE(row, 0);

  int64_t left = 0;
  EXPECT_EQ(store.TakePublishLease(row, "run-1", 60000, &left), refservice::LeaseResult::kTaken);
  EXPECT_EQ(store.TakePublishLease(row, "run-2", 60000, &left), refservice::LeaseResult::kHeld);
  EXPECT_GT(left, 50000);
  EXPECT_LE(left, 60000);
  ASSERT_TRUE(store.ReleasePublishLease(row));
  EXPECT_EQ(store.TakePublishLease(row, "run-3", 1, &left), refservice::LeaseResult::kTaken);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // An expired lease is neither renewed nor in the way.
  ASSERT_TRUE(store.RenewPublishLease(row, 60000));
  EXPECT_EQ(store.TakePublishLease(row, "run-4", 60000, &left), refservice::LeaseResult::kTaken);

  // The lease is in the database: another connection sees it.
  SqliteStore other;
  ASSERT_TRUE(other.Open(dir.path() + "/service.db", &error)) << error;
  EXPECT_EQ(other.TakePublishLease(row, "run-5", 60000, &left), refservice::LeaseResult::kHeld);
}

TEST(Store, RefusesAFileThatIsNotItsDatabase) {
  TempDir dir;
  std::string path = dir.path() + "/service.db";
  std::ofstream(path) << "this is not a database, just text that is long enough to matter....";
  SqliteStore store;
  std::string error;
  EXPECT_FALSE(store.Open(path, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace osltest
