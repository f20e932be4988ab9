// Saving is atomic even when the saving process is killed: the file on disk
// is always the old or the new document, whole, and temporary files that a
// killed save leaves behind are removed by the next save in that folder.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "standin/core/file_system.h"
#include "standin/document/document.h"
#include "tests/support/host_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using nlohmann::json;

class AtomicSave : public ::testing::Test {
 protected:
  // The names of the temporary files of saves in the test's folder.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    const RunResult listing = RunProcess({"/bin/ls", "-A", dir_.path()});
    size_t start = 0;
    while (start < listing.out.size()) {
      const size_t end = listing.out.find('\n', start);
      const std::string name = listing.out.substr(start, end - start);
      if (name.rfind(standin::FileSystem::kTempPrefix, 0) == 0) names.push_back(name);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return names;
  }
  TempDir dir_;
  standin::FileSystem files_;
};

// A document of `count` text frames with labels and stories, about 250
// bytes each once written.
json LargeDocument(int count) {
  json items = json::array();
  for (int i = 0; i < count; ++i) {
    const std::string text = "Text of frame " + std::to_string(i);
    items.push_back(
        {{"uid", 100 + i},
         {"kind", "text"},
         {"bounds", {0, 0, 100, 20}},
         {"matrix", {1, 0, 0, 1, i % 500, i / 500}},
         {"label", "fieldName:::Field" + std::to_string(i) + "|||controlType:::0|||"},
         {"story", {{"text", text}, {"runs", {{{"length", text.size()}, {"size", 9}}}}}}});
  }
  return {
      {"format", "tlvd"},
      {"label", "docName:::original|||"},
      {"spreads",
       {{{"uid", 2},
         {"pages", {{{"uid", 3}, {"bounds", {0, 0, 600, 800}}, {"items", std::move(items)}}}}}}}};
}

TEST_F(AtomicSave, KilledSavesLeaveTheOldOrTheNewDocumentWhole) {
  const int kItems = 1500;
  const std::string path = dir_.Write("big.tlvd", LargeDocument(kItems).dump(2));
  const std::regex generation("docName:::(original|generation [0-9]+)\\|\\|\\|");
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  int leftBehind = 0;
  // Up to 100 kills, but at least 20 and no more than a minute of them, so a
  // loaded machine still finishes well inside the test's time limit.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int rounds = 0;
  for (int round = 0; round < 100 && (round < 20 || std::chrono::steady_clock::now() < deadline);
       ++round, ++rounds) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start({BuiltProgram("tlvd_save_loop"), path}, {}, &error)) << error;
    std::string line;
    ASSERT_TRUE(child.ReadLine(&line, 30000)) << child.Stderr();
    ASSERT_EQ(line, "ready");
    // One save's time, measured; the kill falls anywhere in the next one.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(child.ReadLine(&line, 30000)) << child.Stderr();
    ASSERT_EQ(line, "saved 1");
    const auto cycle = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (cycle.count() + 1)));
    child.Signal(SIGKILL);
    ASSERT_EQ(child.Wait(10000), -1) << "round " << round << ": " << child.Stderr();

    auto doc = standin::Document::Load(path, files_, &error);
    ASSERT_TRUE(doc) << "round " << round << ": " << error;
    EXPECT_TRUE(std::regex_match(doc->Label().GetUTF8String(), generation))
        << doc->Label().GetUTF8String();
    ASSERT_EQ(doc->AllItems().size(), static_cast<size_t>(kItems));
    EXPECT_EQ(doc->FindItem(100 + kItems - 1)->story->text, U"Text of frame 1499");
    // Each save removed what the saves killed before it left behind: at
    // most the last killed one's temporary file is there.
    const auto temps = TempFiles();
    EXPECT_LE(temps.size(), 1u) << "round " << round;
    leftBehind += static_cast<int>(temps.size());
  }
  // The next save cleans up.
  std::string error;
  auto doc = standin::Document::Load(path, files_, &error);
  ASSERT_TRUE(doc) << error;
  doc->MarkDirty();
  ASSERT_TRUE(doc->Save(files_, &error)) << error;
  EXPECT_TRUE(TempFiles().empty());
  RecordProperty("killed saves", rounds);
  RecordProperty("killed saves that left a temporary file", leftBehind);
}

TEST_F(AtomicSave, TheNextSaveRemovesTemporaryFilesOfEndedProcessesOnly) {
  ChildProcess ended, running;
  std::string error;
  ASSERT_TRUE(ended.Start({"/bin/true"}, {}, &error)) << error;
  const pid_t endedPid = ended.pid();
  ASSERT_EQ(ended.Wait(10000), 0);
  ASSERT_TRUE(running.Start({"/bin/sleep", "30"}, {}, &error)) << error;
  const std::string prefix = standin::FileSystem::kTempPrefix;
  const std::string stale = prefix + std::to_string(endedPid) + "-a1b2c3";
  const std::string live = prefix + std::to_string(running.pid()) + "-d4e5f6";
  const std::string own = prefix + std::to_string(getpid()) + "-g7h8i9";
  const std::string foreign = prefix + "Xy12Z9";
  for (const auto& name : {stale, live, own, foreign}) dir_.Write(name, "partial");
  // A temporary file elsewhere is not this folder's business.
  TempDir other;
  other.Write(stale, "partial");

  const std::string path = dir_.Write("doc.tlvd", SampleDocument().dump());
  auto doc = standin::Document::Load(path, files_, &error);
  ASSERT_TRUE(doc) << error;
  doc->MarkDirty();
  ASSERT_TRUE(doc->Save(files_, &error)) << error;
  auto temps = TempFiles();
  std::sort(temps.begin(), temps.end());
  std::vector<std::string> expected{live, own, foreign};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(temps, expected);
  EXPECT_EQ(ReadFile(other.path() + "/" + stale), "partial");
  running.Stop(1000);
}

}  // namespace
}  // namespace osltest
