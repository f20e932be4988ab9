// The data folder's lock and the reconciliation of uploads at start-up, on a real folder and a
// real SQLite store.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "refservice/storage/data_folder_lock.h"
#include "refservice/storage/file_system.h"
#include "refservice/common/identifiers.h"
#include "refservice/storage/sqlite_driver.h"
#include "refservice/uploads/upload_reconciler.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

namespace fs = std::filesystem;
using refservice::DataFolderLock;
using refservice::DescribeLockHolder;
using refservice::ReconcileCounts;
using refservice::ReconcileUploads;
using refservice::SqliteStore;
using refservice::Store;
using refservice::UploadData;

TEST(DataFolderLock, OneHolderAtATimeNamedByItsLockFile) {
  TempDir dir;
  std::string error;
  std::unique_ptr<DataFolderLock> held = DataFolderLock::Acquire(dir.path(), &error);
  ASSERT_NE(held, nullptr) << error;
  EXPECT_EQ(
      ReadFile(dir.path() + "/service.lock").rfind("pid " + std::to_string(getpid()) + "\n", 0),
      0u);
  // A second holder is refused, also within one process.
  EXPECT_EQ(DataFolderLock::Acquire(dir.path(), &error), nullptr);
  EXPECT_NE(error.find(" is in use by another osl-service (pid " + std::to_string(getpid()) +
                       " on host "),
            std::string::npos)
      << error;
  held.reset();
  EXPECT_NE(DataFolderLock::Acquire(dir.path(), &error), nullptr) << error;
}

TEST(DataFolderLock, TheHolderIsDescribedOnlyFromWhatCanBePrinted) {
  EXPECT_EQ(DescribeLockHolder("pid 12\nhost box\nstarted 2024-01-02T03:04:05Z\n"),
            "pid 12 on host box, started 2024-01-02T03:04:05Z");
  EXPECT_EQ(DescribeLockHolder(""), "an unnamed process");
  EXPECT_EQ(DescribeLockHolder("garbage\x01\n"), "an unnamed process");
  EXPECT_EQ(DescribeLockHolder("pid 7\x1b[2J\nhost \xe2\x80\xae"
                               "evil\n"),
            "pid 7[2J on host evil");
  EXPECT_EQ(DescribeLockHolder("host " + std::string(1000, 'h')),
            "pid ? on host " + std::string(80, 'h'));
}

class UploadReconcilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    files_ = refservice::OpenFileSystem(dir_.path(), &error);
    ASSERT_NE(files_, nullptr) << error;
    ASSERT_TRUE(files_->CreateFolders("uploads", &error)) << error;
    ASSERT_TRUE(files_->CreateFolders("incoming", &error)) << error;
    ASSERT_TRUE(store_.Open(dir_.path() + "/service.db", &error)) << error;
  }

  // Writes `path` (below the data folder) with its folders.
  void Put(const std::string& path) {
    fs::create_directories(fs::path(dir_.path() + "/" + path).parent_path());
    TempDir scratch;
    fs::copy_file(scratch.Write("f", path), dir_.path() + "/" + path);
  }
  bool Exists(const std::string& path) { return fs::exists(dir_.path() + "/" + path); }

  ReconcileCounts Reconcile(const refservice::ReconcileScope& scope = {}) {
    ReconcileCounts counts;
    std::vector<std::string> warnings;
    EXPECT_TRUE(ReconcileUploads(&store_, files_.get(), "uploads", "incoming", scope, &counts,
                                 &warnings));
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    return counts;
  }

  TempDir dir_;
  std::unique_ptr<refservice::FileSystem> files_;
  SqliteStore store_;
};

TEST_F(UploadReconcilerTest, KeepsRecordedFilesAndRemovesWhatACutRunLeft) {
  const std::string t1(32, '1'), t2(32, '2'), t3(32, '3'), t4(32, '4');
  // Recorded: kept.
  Put("uploads/s-1/" + t1 + "/kept.bin");
  ASSERT_TRUE(store_.RecordUpload(UploadData{"s-1", t1, "kept.bin", 8, "digest", ""}));
  // Pending, moved into place before the cut: removed with its record.
  ASSERT_TRUE(store_.BeginUpload(UploadData{"s-1", t2, "moved.bin", 0, "", ""}));
  Put("uploads/s-1/" + t2 + "/moved.bin");
  // Pending, cut before the move: its temporary file and its empty folder go.
  ASSERT_TRUE(store_.BeginUpload(UploadData{"s-1", t3, "never.bin", 0, "", ""}));
  fs::create_directories(dir_.path() + "/uploads/s-1/" + t3);
  Put("incoming/~tmp.0123456789abcdef");
  // No record at all, with a token and from before tokens: removed.
  Put("uploads/s-2/" + t4 + "/orphan.bin");
  Put("uploads/s-2/old.bin");
  // From before tokens and recorded in the older table: kept.
  Put("uploads/s-2/legacy.bin");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir_.path() + "/service.db").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         "INSERT INTO uploads(session, name, size, sha256) "
                         "VALUES('s-2', 'legacy.bin', 1, 'x')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  // Shapes no address can have: left alone.
  Put("uploads/stray.txt");
  Put("uploads/s-2/not-a-token/inner.bin");

  ReconcileCounts counts = Reconcile();
  EXPECT_EQ(counts.pending, 2);
  EXPECT_EQ(counts.orphans, 2);
  EXPECT_EQ(counts.partial, 1);
  EXPECT_TRUE(Exists("uploads/s-1/" + t1 + "/kept.bin"));
  EXPECT_FALSE(Exists("uploads/s-1/" + t2));
  EXPECT_FALSE(Exists("uploads/s-1/" + t3));
  EXPECT_FALSE(Exists("uploads/s-2/" + t4));
  EXPECT_FALSE(Exists("uploads/s-2/old.bin"));
  EXPECT_TRUE(Exists("uploads/s-2/legacy.bin"));
  EXPECT_TRUE(Exists("uploads/stray.txt"));
  EXPECT_TRUE(Exists("uploads/s-2/not-a-token/inner.bin"));
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
  std::vector<UploadData> pending;
  ASSERT_TRUE(store_.PendingUploads(&pending));
  EXPECT_TRUE(pending.empty());
  ASSERT_TRUE(store_.FindUpload("s-1", t1, "kept.bin").has_value());

  // A second pass finds nothing more to do.
  counts = Reconcile();
  EXPECT_EQ(counts.pending + counts.orphans + counts.partial, 0);
}

// Services sharing a files folder: a start removes only what services that are gone left behind.
TEST_F(UploadReconcilerTest, ASharedStartLeavesALiveServicesUploadsAlone) {
  const std::string self(32, 'a'), live(32, 'b'), gone(32, 'c'), unknown(32, 'd');
  const std::string t1(32, '1'), t2(32, '2'), t3(32, '3');
  ASSERT_TRUE(store_.RegisterInstance(self, "self"));
  ASSERT_TRUE(store_.RegisterInstance(live, "live"));
  ASSERT_TRUE(store_.RegisterInstance(gone, "gone"));
  // The live service: an upload moved into place but not recorded yet, one still arriving, and
  // quota bytes reserved for it.
  UploadData liveUpload{"s-1", t1, "live.bin", 0, "", live};
  ASSERT_TRUE(store_.BeginUpload(liveUpload));
  Put("uploads/s-1/" + t1 + "/live.bin");
  Put("incoming/" + live + "/~tmp.0000000000000001");
  ASSERT_EQ(store_.ReserveUploadBytes(t3, live, "s-1", 100, {}), refservice::QuotaResult::kReserved);
  // The stopped service: the same, and a folder of a service nobody knows any more.
  UploadData goneUpload{"s-1", t2, "gone.bin", 0, "", gone};
  ASSERT_TRUE(store_.BeginUpload(goneUpload));
  Put("uploads/s-1/" + t2 + "/gone.bin");
  Put("incoming/" + gone + "/~tmp.0000000000000002");
  Put("incoming/" + unknown + "/~tmp.0000000000000003");
  ASSERT_EQ(store_.ReserveUploadBytes(std::string(32, '4'), gone, "s-1", 50, {}),
            refservice::QuotaResult::kReserved);
  // Only "gone" has been silent for long: its heartbeat is set back by a minute.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir_.path() + "/service.db").c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db,
                         ("UPDATE instances SET heartbeat_ms = heartbeat_ms - 60000 WHERE id = '" +
                          gone + "'").c_str(),
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  refservice::ReconcileScope shared;
  shared.self = self;
  shared.exclusive = false;
  shared.staleAfterMs = 30000;
  ReconcileCounts counts = Reconcile(shared);
  EXPECT_EQ(counts.pending, 1);
  EXPECT_EQ(counts.partial, 2);
  EXPECT_EQ(counts.instances, 1);
  EXPECT_TRUE(Exists("uploads/s-1/" + t1 + "/live.bin"));
  EXPECT_TRUE(Exists("incoming/" + live + "/~tmp.0000000000000001"));
  EXPECT_FALSE(Exists("uploads/s-1/" + t2));
  EXPECT_FALSE(Exists("incoming/" + gone));
  EXPECT_FALSE(Exists("incoming/" + unknown));
  std::vector<UploadData> pending;
  ASSERT_TRUE(store_.PendingUploads(&pending));
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].token, t1);
  uint64_t session = 0, total = 0;
  ASSERT_TRUE(store_.UsedBytes("s-1", &session, &total));
  EXPECT_EQ(session, 100u) << "the live service's reservation stays, the stopped one's is given back";
  // The live service records its upload: a later start keeps it too.
  ASSERT_TRUE(store_.RecordUpload(UploadData{"s-1", t1, "live.bin", 8, "digest", live}));
  EXPECT_EQ(Reconcile(shared).orphans, 0);
  EXPECT_TRUE(Exists("uploads/s-1/" + t1 + "/live.bin"));

  // A service that holds the folder alone takes every other one as stopped.
  counts = Reconcile(refservice::ReconcileScope{self, true, 30000});
  EXPECT_EQ(counts.partial, 1);
  EXPECT_FALSE(Exists("incoming/" + live));
  EXPECT_TRUE(Exists("uploads/s-1/" + t1 + "/live.bin"));
}

}  // namespace
}  // namespace osltest
