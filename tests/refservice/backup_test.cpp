// `osl-service backup`: a copy taken while a service publishes into the data folder opens as a
// data folder of its own, with whole templates and their files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "osl_soapH.h"
#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

namespace fs = std::filesystem;
using namespace osl_soap;

RunResult Command(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {BuiltProgram("osl-service")};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions options;
  options.timeoutMs = 60000;
  return RunProcess(argv, options);
}

// `osl-service list` of a folder, one entry per template: identifier -> its line.
std::map<std::string, std::string> Templates(const std::string& dir) {
  RunResult list = Command({"list", "--data", dir});
  EXPECT_EQ(list.status, 0) << list.err;
  std::map<std::string, std::string> out;
  std::istringstream lines(list.out);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> columns;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) columns.push_back(cell);
    if (columns.size() >= 3) out[columns[2]] = line;
  }
  return out;
}

std::string Show(const std::string& dir, const std::string& id) {
  RunResult show = Command({"show", "--data", dir, id});
  EXPECT_EQ(show.status, 0) << show.err;
  return show.out;
}

// Every file below `dir`/uploads, relative path -> content.
std::map<std::string, std::string> Uploads(const std::string& dir) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir + "/uploads", ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file()) {
      out[fs::relative(it->path(), dir + "/uploads").string()] = ReadFile(it->path().string());
    }
  }
  return out;
}

class BackupTest : public ServiceFixture {};

TEST_F(BackupTest, ACopyTakenWhileTheServicePublishesOpensWithWholeTemplatesAndTheirFiles) {
  ASSERT_NO_FATAL_FAILURE(StartService());
  const uint16_t port = service_.port();
  std::atomic<bool> stop{false};
  std::atomic<int> published{0};
  std::atomic<int> failures{0};
  ThreadGroup writers([&] { stop = true; });
  // One designer publishing template after template: create, 30 fields, an uploaded document as
  // asset, commit. A template is never changed after its commit.
  writers.Start([&] {
    SoapClient client(port, kAnn, kAnnPw);
    for (int i = 0; i < 400 && !stop; ++i) {
      auto [id, password] = client.CreateTemplate("Card " + std::to_string(i));
      HttpReply upload = Upload(port, "session-" + std::to_string(i), "card.tlvd",
                                "document " + std::to_string(i) + std::string(5000, 'x'));
      std::vector<ns2__OstrFieldInfo*> fields;
      for (int f = 0; f < 30; ++f) fields.push_back(client.NewField("field " + std::to_string(f)));
      std::vector<ns2__OstrFieldInfo*> stored;
      std::vector<ns2__assetInfo*> assets;
      ns2__libraryTemplate* committed = nullptr;
      if (id.empty() || upload.status != 200 ||
          client.SetFields(id, password, fields, true, &stored) != SOAP_OK ||
          client.SetAssets(id, password, {AssetSpec{upload.body, "card.tlvd"}}, &assets) !=
              SOAP_OK ||
          client.CommitTemplate(id, password, &committed) != SOAP_OK) {
        ++failures;
        return;
      }
      ++published;
    }
  });
  auto waitFor = [&](int count) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (published < count && failures == 0 && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return published >= count;
  };
  ASSERT_TRUE(waitFor(3)) << "the publishing client is stuck";

  TempDir backups;
  const std::string live = backups.path() + "/live";
  RunResult backup = Command({"backup", "--data", dir_.path(), live});
  const int afterBackup = published;
  ASSERT_EQ(backup.status, 0) << backup.err;
  EXPECT_NE(backup.out.find("osl-service: backed up " + dir_.path() + " into " + live + ": "),
            std::string::npos)
      << backup.out;
  // Publishing went on during and after the copy.
  ASSERT_TRUE(waitFor(afterBackup + 2)) << "the publishing client is stuck";
  writers.JoinAll();
  ASSERT_EQ(failures, 0);
  EXPECT_FALSE(fs::exists(live + ".partial"));

  // What the copy holds is what the folder held at one instant: fewer templates than now, each
  // committed one exactly as in the folder, each of its files byte for byte the folder's.
  std::map<std::string, std::string> now = Templates(dir_.path());
  std::map<std::string, std::string> copied = Templates(live);
  EXPECT_GE(copied.size(), 3u);
  EXPECT_LT(copied.size(), now.size());
  int committed = 0;
  for (const auto& [id, line] : copied) {
    ASSERT_TRUE(now.count(id)) << line;
    if (line.find("\tcommitted\t") == std::string::npos) continue;
    ++committed;
    EXPECT_EQ(line, now[id]);
    EXPECT_NE(line.find("fields=30"), std::string::npos) << line;
    EXPECT_EQ(Show(live, id), Show(dir_.path(), id));
  }
  EXPECT_GE(committed, 3);
  std::map<std::string, std::string> sourceFiles = Uploads(dir_.path());
  std::map<std::string, std::string> copiedFiles = Uploads(live);
  EXPECT_GE(copiedFiles.size(), static_cast<size_t>(committed));
  for (const auto& [path, content] : copiedFiles) EXPECT_EQ(content, sourceFiles[path]) << path;

  // The copy opens like any data folder and serves its templates and files.
  ServiceProcess restored;
  std::string error;
  ASSERT_TRUE(restored.Start(live, {}, &error)) << error;
  SoapClient client(restored.port(), kAnn, kAnnPw);
  std::vector<ns4__libraryTemplate*> list;
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK) << FaultText(client.soap());
  EXPECT_EQ(list.size(), copied.size());
  const std::string firstFile = copiedFiles.begin()->first;
  HttpReply served = Get(restored.port(), "/files/" + firstFile);
  EXPECT_EQ(served.status, 200);
  EXPECT_EQ(served.body, copiedFiles.begin()->second);
  EXPECT_EQ(restored.Stop(), 0);

  // With nothing running, a copy is the folder: every template and file.
  const std::string quiet = backups.path() + "/quiet";
  ASSERT_EQ(::mkdir(quiet.c_str(), 0700), 0);  // an empty folder is accepted
  RunResult second = Command({"backup", "--data", dir_.path(), quiet + "/"});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(Templates(quiet), now);
  EXPECT_EQ(Uploads(quiet), sourceFiles);
}

TEST_F(BackupTest, ABackupNeverOverwritesAndNeverLeavesAHalfCopy) {
  ASSERT_NO_FATAL_FAILURE(StartService());
  TempDir target;
  const std::string base = target.path() + "/target";
  ASSERT_TRUE(fs::create_directories(base));
  std::string keep = base + "/keep.txt";
  { std::ofstream(keep) << "mine"; }
  RunResult notEmpty = Command({"backup", "--data", dir_.path(), base});
  EXPECT_EQ(notEmpty.status, 2);
  EXPECT_NE(notEmpty.err.find("is not empty"), std::string::npos) << notEmpty.err;
  EXPECT_EQ(ReadFile(keep), "mine");

  RunResult isFile = Command({"backup", "--data", dir_.path(), keep});
  EXPECT_EQ(isFile.status, 2);
  EXPECT_EQ(ReadFile(keep), "mine");

  // A leftover of an interrupted backup is not taken for a fresh one.
  ASSERT_TRUE(fs::create_directories(base + "/new.partial"));
  RunResult leftover = Command({"backup", "--data", dir_.path(), base + "/new"});
  EXPECT_EQ(leftover.status, 2);
  EXPECT_NE(leftover.err.find("new.partial exists"), std::string::npos) << leftover.err;
  EXPECT_FALSE(fs::exists(base + "/new"));

  // No database: nothing is made.
  RunResult noData = Command({"backup", "--data", base + "/none", base + "/other"});
  EXPECT_EQ(noData.status, 1);
  EXPECT_NE(noData.err.find("no service database"), std::string::npos) << noData.err;
  EXPECT_FALSE(fs::exists(base + "/other"));
  EXPECT_FALSE(fs::exists(base + "/other.partial"));

  // Not a database of this service: refused, and nothing is left behind.
  const std::string foreign = base + "/foreign";
  ASSERT_TRUE(fs::create_directories(foreign));
  { std::ofstream(foreign + "/service.db") << std::string(4096, 'z'); }
  RunResult bad = Command({"backup", "--data", foreign, base + "/copy"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_FALSE(fs::exists(base + "/copy"));
  EXPECT_FALSE(fs::exists(base + "/copy.partial"));

  // A target inside the data folder (the next start would take it for stray uploads), also
  // reached through a link or "..", is refused and nothing is made there; a sibling is fine.
  fs::create_directory_symlink(dir_.path(), base + "/link");
  for (const std::string& inside :
       {dir_.path() + "/uploads/bk", dir_.path() + "/incoming/bk", dir_.path() + "/bk",
        base + "/link/uploads/bk", dir_.path() + "/uploads/../bk", dir_.path()}) {
    SCOPED_TRACE(inside);
    RunResult refused = Command({"backup", "--data", dir_.path(), inside});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("is inside the data folder"), std::string::npos) << refused.err;
  }
  EXPECT_FALSE(fs::exists(dir_.path() + "/uploads/bk"));
  EXPECT_FALSE(fs::exists(dir_.path() + "/bk"));
  EXPECT_FALSE(fs::exists(dir_.path() + "/bk.partial"));
  EXPECT_EQ(Command({"backup", "--data", dir_.path(), dir_.path() + "-sibling"}).status, 0);
  fs::remove_all(dir_.path() + "-sibling");
}

}  // namespace
}  // namespace osltest
