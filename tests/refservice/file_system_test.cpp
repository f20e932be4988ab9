// The data folder's file system: no way out through "..", absolute paths or planted links, and
// atomic writes that leave nothing behind when any step fails (faults injected by wrapping the real
// file system and overriding one operation).
#include "refservice/storage/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "refservice/uploads/background_file_writer.h"
#include "refservice/common/sha256.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using refservice::AtomicFileWriter;
using refservice::AtomicWriteFile;
using refservice::BackgroundFileWriter;
using refservice::FileSystem;
using refservice::FileSystemWrapper;
using refservice::OpenFileSystem;
using refservice::UniqueFd;
using refservice::WritableFile;

namespace fs = std::filesystem;

// Every entry below `root`, relative, sorted.
std::vector<std::string> Tree(const std::string& root) {
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    entries.push_back(fs::relative(entry.path(), root).string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// A file whose Append fails from the `failAt`-th call on; Sync fails when `failSync`.
class FailingFile : public WritableFile {
 public:
  FailingFile(std::unique_ptr<WritableFile> target, int failAt, bool failSync)
      : target_(std::move(target)), failAt_(failAt), failSync_(failSync) {}
  bool Append(std::string_view data, std::string* error) override {
    if (++appends_ >= failAt_) {
      *error = "injected write failure";
      return false;
    }
    return target_->Append(data, error);
  }
  bool Sync(std::string* error) override {
    if (failSync_) {
      *error = "injected flush failure";
      return false;
    }
    return target_->Sync(error);
  }
  bool Close(std::string* error) override { return target_->Close(error); }

 private:
  std::unique_ptr<WritableFile> target_;
  int failAt_;
  bool failSync_;
  int appends_ = 0;
};

// The real file system with one operation made to fail.
class FaultyFileSystem : public FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  std::unique_ptr<WritableFile> NewFile(const std::string& path, std::string* error) override {
    std::unique_ptr<WritableFile> file = FileSystemWrapper::NewFile(path, error);
    if (!file || (failAppendAt == 0 && !failSync)) return file;
    return std::make_unique<FailingFile>(std::move(file),
                                         failAppendAt == 0 ? 1 << 30 : failAppendAt, failSync);
  }
  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    if (failRename) {
      *error = "injected rename failure";
      return false;
    }
    return FileSystemWrapper::Rename(from, to, error);
  }
  int failAppendAt = 0;
  bool failSync = false;
  bool failRename = false;
};

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    real_ = OpenFileSystem(dir_.path(), &error);
    ASSERT_NE(real_, nullptr) << error;
    ASSERT_TRUE(real_->CreateFolders("incoming", &error)) << error;
    ASSERT_TRUE(real_->CreateFolders("uploads/s", &error)) << error;
  }

  TempDir dir_;
  std::unique_ptr<FileSystem> real_;
};

TEST_F(FileSystemTest, AtomicWriteAppearsWholeAndLeavesNoTemporaryFile) {
  std::string error;
  AtomicFileWriter writer(real_.get(), "incoming");
  ASSERT_TRUE(writer.Open(&error)) << error;
  ASSERT_TRUE(writer.Append("first ", &error));
  ASSERT_TRUE(writer.Append(std::string("and\0second", 10), &error));
  EXPECT_EQ(writer.size(), 16u);
  EXPECT_FALSE(fs::exists(dir_.path() + "/uploads/s/a.bin"));
  ASSERT_TRUE(writer.Commit("uploads/s/a.bin", &error)) << error;
  EXPECT_EQ(ReadFile(dir_.path() + "/uploads/s/a.bin"), std::string("first and\0second", 16));
  EXPECT_EQ(Tree(dir_.path()),
            (std::vector<std::string>{"incoming", "uploads", "uploads/s", "uploads/s/a.bin"}));
  // An existing file is never replaced.
  EXPECT_FALSE(AtomicWriteFile(real_.get(), "incoming", "uploads/s/a.bin", "other", &error));
  EXPECT_EQ(ReadFile(dir_.path() + "/uploads/s/a.bin"), std::string("first and\0second", 16));
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
}

TEST_F(FileSystemTest, AFailedStepLeavesNoTemporaryFileBehind) {
  struct Case {
    const char* what;
    int failAppendAt;
    bool failSync;
    bool failRename;
  };
  for (const Case& c : {Case{"second write", 2, false, false}, Case{"first write", 1, false, false},
                        Case{"flush", 0, true, false}, Case{"rename", 0, false, true}}) {
    FaultyFileSystem faulty(real_.get());
    faulty.failAppendAt = c.failAppendAt;
    faulty.failSync = c.failSync;
    faulty.failRename = c.failRename;
    std::string error;
    AtomicFileWriter writer(&faulty, "incoming");
    ASSERT_TRUE(writer.Open(&error)) << error;
    EXPECT_FALSE(fs::is_empty(dir_.path() + "/incoming")) << "the temporary file exists";
    bool ok = writer.Append("one", &error) && writer.Append("two", &error) &&
              writer.Commit("uploads/s/b.bin", &error);
    EXPECT_FALSE(ok) << c.what;
    EXPECT_NE(error.find("injected"), std::string::npos) << c.what << ": " << error;
    EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming")) << c.what;
    EXPECT_FALSE(fs::exists(dir_.path() + "/uploads/s/b.bin")) << c.what;
  }
}

TEST_F(FileSystemTest, AWriterDroppedBeforeCommitLeavesNothing) {
  std::string error;
  {
    AtomicFileWriter writer(real_.get(), "incoming");
    ASSERT_TRUE(writer.Open(&error));
    ASSERT_TRUE(writer.Append("partial", &error));
  }
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
}

TEST_F(FileSystemTest, NoPathLeadsOutOfTheFolder) {
  TempDir outside;
  outside.Write("secret.txt", "secret");
  // Links planted inside the data folder: a folder link, a file link, a link as the last step.
  fs::create_directory_symlink(outside.path(), dir_.path() + "/uploads/evil");
  fs::create_symlink(outside.path() + "/secret.txt", dir_.path() + "/uploads/s/link.txt");
  std::string error;
  uint64_t size = 0;
  EXPECT_FALSE(real_->OpenForRead("uploads/evil/secret.txt", &size, &error).valid());
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_FALSE(real_->OpenForRead("uploads/s/link.txt", &size, &error).valid());
  EXPECT_FALSE(real_->CreateFolders("uploads/evil/sub", &error));
  EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
  EXPECT_EQ(real_->NewFile("uploads/evil/new.txt", &error), nullptr);
  EXPECT_FALSE(AtomicWriteFile(real_.get(), "incoming", "uploads/evil/x.bin", "x", &error));
  EXPECT_FALSE(real_->Rename("uploads/s/link.txt", "uploads/evil/moved", &error));
  std::vector<std::string> names;
  EXPECT_FALSE(real_->List("uploads/evil", &names, &error));
  for (const char* path :
       {"../x", "/etc/passwd", "uploads/../../x", "uploads//s", "./uploads", ""}) {
    EXPECT_EQ(real_->NewFile(path, &error), nullptr) << path;
    EXPECT_FALSE(real_->OpenForRead(path, &size, &error).valid()) << path;
  }
  // Nothing was written outside.
  EXPECT_EQ(Tree(outside.path()), std::vector<std::string>{"secret.txt"});
  // Real files and folders still work.
  ASSERT_TRUE(AtomicWriteFile(real_.get(), "incoming", "uploads/s/ok.txt", "fine", &error))
      << error;
  UniqueFd fd = real_->OpenForRead("uploads/s/ok.txt", &size, &error);
  EXPECT_TRUE(fd.valid()) << error;
  EXPECT_EQ(size, 4u);
  EXPECT_FALSE(real_->OpenForRead("uploads/s", &size, &error).valid()) << "a folder is not a file";
}

// The upload's writing thread: every byte in order whatever the pieces, the digest of exactly
// those bytes, a failed append that stops the writing and leaves no file, and an upload dropped
// half-way that ends the thread without writing on.
TEST_F(FileSystemTest, BackgroundWriterKeepsOrderAndHashesWhatItWrote) {
  std::string content;
  for (size_t i = 0; content.size() < 3 * BackgroundFileWriter::kMaxQueuedBytes / 2; ++i) {
    content += std::string(1 + (i * 7919) % 300000, static_cast<char>('a' + i % 26));
  }
  std::string error;
  AtomicFileWriter writer(real_.get(), "incoming");
  ASSERT_TRUE(writer.Open(&error)) << error;
  {
    BackgroundFileWriter storing(&writer);
    for (size_t at = 0, i = 0; at < content.size(); ++i) {
      const size_t piece = std::min(content.size() - at, i % 3 == 0 ? size_t{1} : 65536 + i * 31);
      ASSERT_TRUE(storing.Append(std::string_view(content).substr(at, piece)));
      at += piece;
    }
    ASSERT_TRUE(storing.Finish()) << storing.error();
    EXPECT_EQ(storing.HexDigest(), refservice::Sha256Hex(content));
  }
  EXPECT_EQ(writer.size(), content.size());
  ASSERT_TRUE(writer.Commit("uploads/s/big.bin", &error)) << error;
  EXPECT_EQ(ReadFile(dir_.path() + "/uploads/s/big.bin"), content);
}

TEST_F(FileSystemTest, BackgroundWriterStopsAtAFailedAppend) {
  FaultyFileSystem faulty(real_.get());
  faulty.failAppendAt = 2;
  std::string error;
  AtomicFileWriter writer(&faulty, "incoming");
  ASSERT_TRUE(writer.Open(&error)) << error;
  BackgroundFileWriter storing(&writer);
  const std::string block(BackgroundFileWriter::kBlockBytes, 'x');
  bool refused = false;
  for (int i = 0; i < 64 && !refused; ++i) refused = !storing.Append(block);
  EXPECT_FALSE(storing.Finish());
  EXPECT_EQ(storing.error(), "injected write failure");
  EXPECT_EQ(writer.size(), BackgroundFileWriter::kBlockBytes);
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
}

TEST_F(FileSystemTest, ABackgroundWriterDroppedHalfWayEndsItsThread) {
  std::string error;
  {
    AtomicFileWriter writer(real_.get(), "incoming");
    ASSERT_TRUE(writer.Open(&error)) << error;
    BackgroundFileWriter storing(&writer);
    const std::string block(BackgroundFileWriter::kBlockBytes, 'y');
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(storing.Append(block));
  }
  EXPECT_TRUE(fs::is_empty(dir_.path() + "/incoming"));
}

}  // namespace
}  // namespace osltest
