// The store's contract, run against both implementations: the SQLite file and the PostgreSQL
// database (on the private test cluster). Where several services share one database, two
// PostgresStore objects on one database stand for two services.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <optional>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include "refservice/common/identifiers.h"
#include "refservice/storage/postgres_driver.h"
#include "refservice/storage/sqlite_driver.h"
#include "refservice/uploads/upload_quota.h"
#include "tests/refservice/old_database.h"
#include "tests/support/pg_test_database.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

using refservice::FieldData;
using refservice::QuotaResult;
using refservice::ReserveResult;
using refservice::Store;
using refservice::TemplateData;
using refservice::UploadData;
using refservice::UploadQuota;

enum class Backend { kSqlite, kPostgres };

class StoreContractTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::kPostgres) OSL_CREATE_PG_DATABASE(db_);
    store_ = Open();
    ASSERT_NE(store_, nullptr);
  }

  // Another handle on the same state: a second service for PostgreSQL, the same store for
  // SQLite (whose file belongs to one service).
  Store* Second() {
    if (GetParam() == Backend::kSqlite) return store_.get();
    if (!second_) second_ = Open();
    return second_.get();
  }

  std::unique_ptr<Store> Open() {
    std::string error;
    if (GetParam() == Backend::kSqlite) {
      auto store = std::make_unique<refservice::SqliteStore>();
      EXPECT_TRUE(store->Open(dir_.path() + "/service.db", &error)) << error;
      return store;
    }
    auto store = std::make_unique<refservice::PostgresStore>();
    EXPECT_TRUE(store->Open(db_.url(), 6, &error)) << error;
    return store;
  }

  int64_t NewTemplate(Store* store, const std::string& name) {
    if (!store->SetUserCredential("ann@example.org", "c")) return 0;
    std::optional<refservice::UserRecord> user;
    if (!store->FindUser("ANN@example.org", &user) || !user) return 0;
    TemplateData data;
    data.name = name;
    data.docId = refservice::NewGuid();
    data.docPassword = "pw";
    data.userId = user->id;
    return store->InsertTemplate(data);
  }

  TempDir dir_;
  PgTestDatabase db_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<Store> second_;
};

TEST_P(StoreContractTest, TransactionsNestAndRollBackWhole) {
  int64_t row = NewTemplate(store_.get(), "Card");
  ASSERT_NE(row, 0);
  {
    Store::Transaction outer(store_.get());
    ASSERT_TRUE(store_->ReplaceFields(row, {{"a", "<a/>"}}));
    {
      Store::Transaction inner(store_.get());
      ASSERT_TRUE(store_->ReplaceFields(row, {{"b", "<b/>"}}));
      // Dropped: the outer transaction's change stays.
    }
    std::vector<FieldData> fields;
    ASSERT_TRUE(store_->GetFields(row, &fields));
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].name, "a");
    // Not committed: nothing of it stays.
  }
  std::vector<FieldData> fields;
  ASSERT_TRUE(store_->GetFields(row, &fields));
  EXPECT_TRUE(fields.empty());
  {
    Store::Transaction outer(store_.get());
    ASSERT_TRUE(store_->ReplaceFields(row, {{"c", "<c/>"}}));
    EXPECT_TRUE(outer.Commit());
  }
  ASSERT_TRUE(Second()->GetFields(row, &fields));
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(fields[0].name, "c");
}

// 10,000 records in one transaction, read back in order, byte for byte.
TEST_P(StoreContractTest, TenThousandFieldsAreWrittenAndReadInOneGo) {
  int64_t row = NewTemplate(store_.get(), "Big");
  ASSERT_NE(row, 0);
  std::vector<FieldData> fields;
  for (int i = 0; i < 10000; ++i) {
    std::string name = "field" + std::to_string(i);
    fields.push_back({name, "<r n=\"" + name + "\">\t\xC3\xA9\\x'\"</r>"});
  }
  Store* reader = Second();
  ASSERT_NE(reader, nullptr);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(store_->ReplaceFields(row, fields));
  auto written = std::chrono::steady_clock::now();
  std::vector<FieldData> read;
  ASSERT_TRUE(reader->GetFields(row, &read));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start)
                .count();
  ASSERT_EQ(read.size(), fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    ASSERT_EQ(read[i].name, fields[i].name);
    ASSERT_EQ(read[i].record, fields[i].record);
  }
  // One statement per record with a round trip and a sync each took seconds.
  EXPECT_LT(ms, 5000) << "write and read of 10,000 records took " << ms << " ms";
  std::cout << "[ timing ] 10,000 fields written in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(written - start).count()
            << " ms, written and read in " << ms << " ms\n";
}

TEST_P(StoreContractTest, QuotasHoldToTheByteAcrossServices) {
  UploadQuota first(store_.get(), "i1", 100, 250);
  UploadQuota second(Second(), "i2", 100, 250);
  std::string why;
  uint64_t heldA = 0, heldB = 0, heldC = 0;
  // Steps larger than the limit fall back to exactly what is needed.
  EXPECT_EQ(first.Reserve("ra", "a", 60, &heldA, &why), ReserveResult::kReserved);
  EXPECT_EQ(heldA, 60u);
  EXPECT_EQ(second.Reserve("rb", "a", 40, &heldB, &why), ReserveResult::kReserved);
  EXPECT_EQ(second.Reserve("rb", "a", 41, &heldB, &why), ReserveResult::kRefused);
  EXPECT_EQ(why, "session a would hold more than its quota of 100 bytes of uploaded files");
  EXPECT_EQ(first.Reserve("rc", "c", 100, &heldC, &why), ReserveResult::kReserved);
  uint64_t heldD = 0;
  EXPECT_EQ(second.Reserve("rd", "d", 51, &heldD, &why), ReserveResult::kRefused);
  EXPECT_EQ(why, "the data folder would hold more than its quota of 250 bytes of uploaded files");
  // A stored upload keeps its size and gives back the rest of its reservation.
  ASSERT_TRUE(store_->BeginUpload(UploadData{"c", "rc", "f.bin", 0, "", "i1"}));
  ASSERT_TRUE(store_->RecordUpload(UploadData{"c", "rc", "f.bin", 30, "x", "i1"}));
  EXPECT_EQ(second.Reserve("rd", "d", 50, &heldD, &why), ReserveResult::kReserved) << why;
  second.Release("rd");
  uint64_t session = 0, total = 0;
  ASSERT_TRUE(Second()->UsedBytes("a", &session, &total));
  EXPECT_EQ(session, 100u);
  EXPECT_EQ(total, 130u);
  // A service that stopped gives its reservations back when it is forgotten.
  ASSERT_TRUE(Second()->ForgetInstance("i1"));
  ASSERT_TRUE(store_->UsedBytes("a", &session, &total));
  EXPECT_EQ(session, 40u);
  uint64_t huge = 0;
  EXPECT_EQ(UploadQuota(store_.get(), "i3", 0, 0).Reserve("re", "e", UINT64_MAX, &huge, &why),
            ReserveResult::kRefused)
      << "no overflow";
}

TEST_P(StoreContractTest, ConcurrentReservationsOfTwoServicesNeverPassTheLimit) {
  Store* stores[] = {store_.get(), Second()};
  std::atomic<int> granted{0};
  {
    ThreadGroup threads;
    for (int t = 0; t < 6; ++t) {
      threads.Start([&, t] {
        UploadQuota quota(stores[t % 2], "i" + std::to_string(t), 0, 40);
        std::string why;
        for (int i = 0; i < 20; ++i) {
          uint64_t held = 0;
          std::string reservation = "r" + std::to_string(t) + "-" + std::to_string(i);
          if (quota.Reserve(reservation, "s" + std::to_string(t), 1, &held, &why) ==
              ReserveResult::kReserved) {
            ++granted;
          }
        }
      });
    }
  }
  EXPECT_EQ(granted.load(), 40);
  uint64_t session = 0, total = 0;
  ASSERT_TRUE(store_->UsedBytes("s0", &session, &total));
  EXPECT_EQ(total, 40u);
}

// Services writing one template's fields at once: replacements leave one writer's whole list,
// never a mix of two, and a read-merge-write under the template's lock loses nobody's field.
TEST_P(StoreContractTest, ConcurrentWritersOfOneTemplatesFieldsNeitherMixNorLose) {
  int64_t row = NewTemplate(store_.get(), "Shared");
  ASSERT_NE(row, 0);
  Store* stores[] = {store_.get(), Second()};
  std::atomic<int> failures{0};
  {
    ThreadGroup threads;
    for (int t = 0; t < 4; ++t) {
      threads.Start([&, t] {
        std::vector<FieldData> list;
        for (int i = 0; i < 50; ++i) {
          list.push_back({"w" + std::to_string(t) + "-" + std::to_string(i), "<r/>"});
        }
        for (int round = 0; round < 15; ++round) {
          if (!stores[t % 2]->ReplaceFields(row, list)) ++failures;
        }
      });
    }
  }
  EXPECT_EQ(failures.load(), 0);
  std::vector<FieldData> fields;
  ASSERT_TRUE(store_->GetFields(row, &fields));
  ASSERT_EQ(fields.size(), 50u) << "one writer's list, not a mix of two";
  const std::string writer = fields[0].name.substr(0, fields[0].name.find('-') + 1);
  for (const FieldData& field : fields) EXPECT_EQ(field.name.rfind(writer, 0), 0u) << field.name;

  ASSERT_TRUE(store_->ReplaceFields(row, {}));
  {
    ThreadGroup threads;
    for (int t = 0; t < 4; ++t) {
      threads.Start([&, t] {
        Store* store = stores[t % 2];
        for (int i = 0; i < 10; ++i) {
          Store::Transaction transaction(store);
          std::vector<FieldData> current;
          if (!store->LockTemplate(row) || !store->GetFields(row, &current)) {
            ++failures;
            continue;
          }
          current.push_back({"m" + std::to_string(t) + "-" + std::to_string(i), "<r/>"});
          if (!store->ReplaceFields(row, current) || !transaction.Commit()) ++failures;
        }
      });
    }
  }
  EXPECT_EQ(failures.load(), 0);
  ASSERT_TRUE(store_->GetFields(row, &fields));
  EXPECT_EQ(fields.size(), 40u) << "every merge keeps the fields the others added";
}

// The check for an uncommitted template of the same name and the insert are one step for every
// service: of many creations at once, exactly one gets through.
TEST_P(StoreContractTest, OneTemplateOfANameWhateverServiceCreatesIt) {
  ASSERT_TRUE(store_->SetUserCredential("ann@example.org", "c"));
  std::optional<refservice::UserRecord> user;
  ASSERT_TRUE(store_->FindUser("ann@example.org", &user));
  ASSERT_TRUE(user.has_value());
  Store* stores[] = {store_.get(), Second()};
  std::atomic<int> created{0};
  {
    ThreadGroup threads;
    for (int t = 0; t < 8; ++t) {
      threads.Start([&, t] {
        Store* store = stores[t % 2];
        Store::Transaction transaction(store);
        std::optional<std::string> namesake;
        if (!store->FindUncommittedNamesake(user->id, "Same", &namesake) || namesake) return;
        TemplateData data;
        data.name = "Same";
        data.docId = refservice::NewGuid();
        data.docPassword = "pw";
        data.userId = user->id;
        if (store->InsertTemplate(data) != 0 && transaction.Commit()) ++created;
      });
    }
  }
  EXPECT_EQ(created.load(), 1);
  std::vector<TemplateData> templates;
  ASSERT_TRUE(store_->ListTemplates(user->id, &templates));
  EXPECT_EQ(templates.size(), 1u);
}

TEST_P(StoreContractTest, APublishLeaseIsHeldOnceByTheDatabaseClock) {
  int64_t row = NewTemplate(store_.get(), "Card");
  ASSERT_NE(row, 0);
  int64_t remaining = 0;
  EXPECT_EQ(store_->TakePublishLease(row, "run-1", 60000, &remaining),
            refservice::LeaseResult::kTaken);
  EXPECT_EQ(Second()->TakePublishLease(row, "run-2", 60000, &remaining),
            refservice::LeaseResult::kHeld);
  EXPECT_GT(remaining, 50000);
  EXPECT_LE(remaining, 60000);
  ASSERT_TRUE(Second()->ReleasePublishLease(row));
  EXPECT_EQ(Second()->TakePublishLease(row, "run-2", 1, &remaining),
            refservice::LeaseResult::kTaken);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(store_->TakePublishLease(row, "run-3", 60000, &remaining),
            refservice::LeaseResult::kTaken)
      << "an expired lease is taken over";
}

// The read-only commands' listing: by owner, then name (absent names first), then identifier,
// each byte by byte, whatever the database's own collation would say.
TEST_P(StoreContractTest, AllTemplatesComeInByteOrderAbsentNamesFirst) {
  struct Row {
    const char* owner;
    std::optional<std::string> name;
    const char* docId;
  };
  const Row expected[] = {
      {"Zed@example.org", std::string("x"), "50000000-0000-4000-8000-000000000000"},
      {"ann@example.org", std::nullopt, "60000000-0000-4000-8000-000000000000"},
      {"ann@example.org", std::string("B"), "70000000-0000-4000-8000-000000000000"},
      {"ann@example.org", std::string("a"), "10000000-0000-4000-8000-000000000000"},
      {"ann@example.org", std::string("a"), "20000000-0000-4000-8000-000000000000"},
      {"ann@example.org", std::string("b"), "00000000-0000-4000-8000-000000000000"},
  };
  for (int i = 5; i >= 0; --i) {  // inserted the other way round
    const Row& row = expected[i];
    std::optional<refservice::UserRecord> owner;
    ASSERT_TRUE(store_->SetUserCredential(row.owner, "c"));
    ASSERT_TRUE(store_->FindUser(row.owner, &owner) && owner);
    TemplateData data;
    data.name = row.name;
    data.docId = row.docId;
    data.userId = owner->id;
    ASSERT_NE(store_->InsertTemplate(data), 0);
  }
  std::vector<refservice::TemplateSummary> all;
  ASSERT_TRUE(Second()->ListAllTemplates(&all));
  ASSERT_EQ(all.size(), 6u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].owner, expected[i].owner) << i;
    EXPECT_EQ(all[i].data.name, expected[i].name) << i;
    EXPECT_EQ(all[i].data.docId, expected[i].docId) << i;
  }
}

TEST_P(StoreContractTest, InstancesBeatAndAreForgotten) {
  ASSERT_TRUE(store_->RegisterInstance("one", "pid 1 on host a"));
  ASSERT_TRUE(Second()->RegisterInstance("two", "pid 2 on host b"));
  std::vector<refservice::InstanceData> instances;
  ASSERT_TRUE(store_->ListInstances(&instances));
  ASSERT_EQ(instances.size(), 2u);
  EXPECT_EQ(instances[1].description, "pid 2 on host b");
  EXPECT_LT(instances[1].heartbeatAgeMs, 5000);
  EXPECT_GE(instances[1].heartbeatAgeMs, 0);
  ASSERT_TRUE(store_->ForgetInstance("two"));
  // A heartbeat brings back an instance that another took as stopped.
  ASSERT_TRUE(Second()->Heartbeat("two", "pid 2 on host b"));
  ASSERT_TRUE(store_->ListInstances(&instances));
  EXPECT_EQ(instances.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreContractTest,
                         ::testing::Values(Backend::kSqlite, Backend::kPostgres),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
                         });

// Services started at once on a fresh database migrate it once.
TEST(PostgresMigrations, ServicesStartingAtOnceMigrateOnce) {
  PgTestDatabase db;
  OSL_CREATE_PG_DATABASE(db);
  std::atomic<int> opened{0};
  {
    ThreadGroup threads;
    for (int t = 0; t < 4; ++t) {
      threads.Start([&] {
        refservice::PostgresStore store;
        std::string error;
        if (store.Open(db.url(), 1, &error)) ++opened;
      });
    }
  }
  EXPECT_EQ(opened.load(), 4);
  std::string value, error;
  ASSERT_TRUE(PgQuery(db.url(), "SELECT COUNT(*) || ':' || MAX(version) FROM schema_migrations",
                      &value, &error))
      << error;
  EXPECT_EQ(value, "3:3");
  // Read-only opening refuses a database that is not this service's.
  PgTestDatabase empty;
  OSL_CREATE_PG_DATABASE(empty);
  refservice::PostgresStore reader;
  EXPECT_FALSE(reader.OpenReadOnly(empty.url(), &error));
  EXPECT_EQ(error, "the PostgreSQL database holds no data of this service");
}

// A data folder written by the build before versioned schemas opens with everything it held.
TEST(SqliteMigrations, ADatabaseOfTheUnversionedSchemaKeepsEverything) {
  TempDir dir;
  const std::string path = dir.path() + "/service.db";
  const char* moreTables = R"sql(
CREATE TABLE fields(template_id INTEGER NOT NULL REFERENCES templates(id), position INTEGER NOT
  NULL, name TEXT NOT NULL, record TEXT NOT NULL, PRIMARY KEY(template_id, position));
CREATE TABLE logic_groups(id INTEGER PRIMARY KEY AUTOINCREMENT, template_id INTEGER NOT NULL
  REFERENCES templates(id), name TEXT NOT NULL, move_direction INTEGER NOT NULL);
CREATE TABLE assets(template_id INTEGER NOT NULL REFERENCES templates(id), position INTEGER NOT
  NULL, url TEXT, name TEXT, type INTEGER NOT NULL, image_picker_num INTEGER NOT NULL,
  PRIMARY KEY(template_id, position));
CREATE TABLE commits(id INTEGER PRIMARY KEY AUTOINCREMENT, template_id INTEGER NOT NULL
  REFERENCES templates(id), committed_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP, field_count
  INTEGER NOT NULL, asset_count INTEGER NOT NULL, group_count INTEGER NOT NULL);
CREATE TABLE files(session TEXT NOT NULL, token TEXT NOT NULL, name TEXT NOT NULL, size INTEGER
  NOT NULL, sha256 TEXT NOT NULL, uploaded_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP,
  PRIMARY KEY(session, token, name));
CREATE TABLE uploads(session TEXT NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, sha256
  TEXT NOT NULL, uploaded_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP, PRIMARY KEY(session, name));
CREATE TABLE pending_files(session TEXT NOT NULL, token TEXT NOT NULL, name TEXT NOT NULL,
  started_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP, PRIMARY KEY(session, token, name));
CREATE TABLE publish_leases(template_id INTEGER PRIMARY KEY REFERENCES templates(id), owner TEXT
  NOT NULL, taken_at_ms INTEGER NOT NULL, expires_at_ms INTEGER NOT NULL);
INSERT INTO users(email, salt, password_hash) VALUES('ann@example.org', '00', 'ab');
INSERT INTO templates(user_id, doc_id, doc_password, name, is_active, page_count, width, height,
  bleed, client_type, full_screen_window, committed) VALUES(1,
  '11111111-2222-4333-8444-555555555555', 'pw', 'Card', 1, 2, '612', '792', '0', 1, 0, 1);
INSERT INTO fields VALUES(1, 0, 'Name', '<f/>'), (1, 1, 'Phone', '<g/>');
INSERT INTO logic_groups(template_id, name, move_direction) VALUES(1, 'Address', 1);
INSERT INTO assets VALUES(1, 0, 'http://h/files/s/t/a.pdf', 'a.pdf', 2, 0);
INSERT INTO commits(template_id, field_count, asset_count, group_count) VALUES(1, 2, 1, 1);
INSERT INTO files(session, token, name, size, sha256) VALUES('s', 't', 'a.pdf', 1000, 'd');
INSERT INTO uploads(session, name, size, sha256) VALUES('s', 'old.png', 24, 'e');
INSERT INTO pending_files(session, token, name) VALUES('s', 'u', 'cut.bin');
INSERT INTO publish_leases VALUES(1, 'run', 0, 99999999999999);
)sql";
  ASSERT_NO_FATAL_FAILURE(
      RunSqlite(path, std::string(kUnversionedAccountsAndTemplates) + moreTables));

  refservice::SqliteStore store;
  std::string error;
  ASSERT_TRUE(store.Open(path, &error)) << error;
  std::optional<refservice::TemplateSummary> summary;
  ASSERT_TRUE(store.FindTemplateSummary("11111111-2222-4333-8444-555555555555", &summary));
  ASSERT_TRUE(summary.has_value());
  EXPECT_EQ(summary->owner, "ann@example.org");
  EXPECT_EQ(summary->fieldCount, 2);
  EXPECT_EQ(summary->groupCount, 1);
  EXPECT_EQ(summary->assetCount, 1);
  EXPECT_EQ(summary->commitCount, 1);
  EXPECT_TRUE(summary->data.committed);
  std::optional<refservice::UserRecord> user;
  ASSERT_TRUE(store.FindUser("ann@example.org", &user));
  EXPECT_EQ(user->credential, "sha256$00$ab");
  EXPECT_TRUE(store.FindUpload("s", "t", "a.pdf").has_value());
  EXPECT_TRUE(store.FindUpload("s", "", "old.png").has_value());
  std::vector<UploadData> pending;
  ASSERT_TRUE(store.PendingUploads(&pending));
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].instance, "") << "a pending upload of the old build belongs to no service";
  uint64_t session = 0, total = 0;
  ASSERT_TRUE(store.UsedBytes("s", &session, &total));
  EXPECT_EQ(session, 1024u);
  int64_t remaining = 0;
  EXPECT_EQ(store.TakePublishLease(summary->row, "other", 1000, &remaining),
            refservice::LeaseResult::kHeld);
}

}  // namespace
}  // namespace osltest
