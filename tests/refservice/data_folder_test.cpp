// The data folder across runs of osl-service: one service at a time (a second one refuses to
// start, names the holder and leaves the first one's uploads alone), a kill between an upload's
// file and its record leaves nothing behind after the restart, and the quotas rebuilt at a start
// count every stored file.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

namespace fs = std::filesystem;

class DataFolderTest : public ServiceFixture {
 protected:
  // Starts `osl-service` on the test's folder as a child the test can kill; sets its port.
  void StartChild(ChildProcess* child, const std::vector<std::string>& extra, uint16_t* port) {
    std::vector<std::string> argv = {BuiltProgram("osl-service"), "--listen", "127.0.0.1:0",
                                     "--data", dir_.path()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(child->Start(argv, {}, &error)) << error;
    std::string line;
    ASSERT_TRUE(child->ReadLine(&line, 10000)) << child->Stderr();
    const std::string prefix = "listening on http://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    *port = static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));
  }

  RunResult Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {BuiltProgram("osl-service")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, RunOptions{{}, "", 20000, ""});
  }

  // Regular files below `folder` of the data folder, relative to it.
  std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path() + "/" + folder)) {
      if (entry.is_regular_file()) {
        files.push_back(fs::relative(entry.path(), dir_.path() + "/" + folder).string());
      }
    }
    return files;
  }
};

TEST_F(DataFolderTest, ASecondServiceRefusesTheFolderAndNamesTheHolder) {
  ChildProcess first;
  uint16_t port = 0;
  ASSERT_NO_FATAL_FAILURE(StartChild(&first, {}, &port));

  // An upload of the first service is half way in when the second one tries to start.
  std::string upload = UploadRequest(port, "inflight", "half.bin", std::string(300000, 'h'));
  Connection connection(port);
  ASSERT_TRUE(connection.Send(upload.substr(0, upload.size() / 2)));
  bool partial = false;
  for (int i = 0; i < 200 && !partial; ++i) {
    partial = !FilesIn("incoming").empty();
    if (!partial) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(partial) << "no upload in flight";

  RunResult second = Run({"--listen", "127.0.0.1:0", "--data", dir_.path()});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, "");
  const std::string expected = "osl-service: the data folder " + dir_.path() +
                               " is in use by another osl-service (pid " +
                               std::to_string(first.pid()) + " on host ";
  EXPECT_EQ(second.err.rfind(expected, 0), 0u) << second.err;
  EXPECT_NE(second.err.find("); stop that one first, or give this one another --data folder\n"),
            std::string::npos)
      << second.err;

  // The first service's upload was left alone and completes.
  ASSERT_TRUE(connection.Send(upload.substr(upload.size() / 2)));
  bool closed = false;
  HttpReply reply = ParseReply(connection.Receive(10000, &closed));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(Get(port, reply.body.substr(reply.body.find("/files/"))).body,
            std::string(300000, 'h'));
  // The read-only commands still work beside it.
  EXPECT_EQ(Run({"list", "--data", dir_.path()}).status, 0);

  // A killed holder leaves no lock behind.
  first.Signal(SIGKILL);
  EXPECT_EQ(first.Wait(10000), -1);
  StartService();
  EXPECT_EQ(Get(service_.port(), reply.body.substr(reply.body.find("/files/"))).status, 200);
}

TEST_F(DataFolderTest, ALinkInPlaceOfTheLockFileStopsTheStart) {
  TempDir outside;
  std::string target = outside.Write("victim", "keep");
  fs::create_symlink(target, dir_.path() + "/service.lock");
  RunResult start = Run({"--listen", "127.0.0.1:0", "--data", dir_.path()});
  EXPECT_EQ(start.status, 1);
  EXPECT_NE(start.err.find("service.lock: a symbolic link is in the way"), std::string::npos)
      << start.err;
  EXPECT_EQ(ReadFile(target), "keep");
}

TEST_F(DataFolderTest, AKillBetweenAnUploadsFileAndItsRecordLeavesNothingAfterTheRestart) {
  StartService();
  HttpReply kept = Upload(service_.port(), "s-1", "kept.bin", "stored before");
  ASSERT_EQ(kept.status, 200) << kept.body;
  const std::string keptPath = kept.body.substr(kept.body.find("/files/"));
  ASSERT_EQ(StopService(), 0);

  // The service is killed right after the upload's file reached its address.
  ChildProcess crashing;
  uint16_t port = 0;
  ASSERT_NO_FATAL_FAILURE(StartChild(&crashing, {"--fault", "upload:crash:1"}, &port));
  RawResult cut = RawSend(port, UploadRequest(port, "s-1", "cut.bin", std::string(70000, 'c')));
  EXPECT_EQ(ParseReply(cut.bytes).status, 0) << "the client got no answer";
  EXPECT_EQ(crashing.Wait(10000), -1) << "the service must have been killed";
  std::string cutPath;
  for (const std::string& file : FilesIn("uploads")) {
    if (file.size() > 8 && file.compare(file.size() - 8, 8, "/cut.bin") == 0) cutPath = file;
  }
  ASSERT_FALSE(cutPath.empty()) << "the kill must come after the file was moved into place";
  // A file that no record names, as a kill before this service recorded uploads as pending left.
  const std::string planted = "s-2/0123456789abcdef0123456789abcdef/planted.bin";
  fs::create_directories(dir_.path() + "/uploads/" + fs::path(planted).parent_path().string());
  TempDir scratch;
  fs::copy_file(scratch.Write("planted.bin", "nobody's"), dir_.path() + "/uploads/" + planted);

  StartService();
  EXPECT_NE(service_.Stderr().find("removed 2 uploaded file(s) that an interrupted run left "
                                   "unrecorded"),
            std::string::npos)
      << service_.Stderr();
  EXPECT_EQ(FilesIn("uploads").size(), 1u);
  EXPECT_EQ(Get(service_.port(), "/files/" + cutPath).status, 404);
  EXPECT_EQ(Get(service_.port(), "/files/" + planted).status, 404);
  EXPECT_EQ(Get(service_.port(), keptPath).body, "stored before");
  EXPECT_TRUE(FilesIn("incoming").empty());
}

// Four files of equal size fill a session's quota exactly, and two such sessions the data
// folder's; after a restart, the quotas rebuilt from the database count every one of them.
TEST_F(DataFolderTest, QuotasRebuiltAfterARestartCountEveryStoredFile) {
  const std::vector<std::string> limits = {"--max-session-mb", "1", "--max-data-mb", "2"};
  StartService(limits);
  const std::string quarter(256 * 1024, 'q');
  for (const char* session : {"s-a", "s-b"}) {
    for (int i = 0; i < 4; ++i) {
      HttpReply reply = Upload(service_.port(), session, "part.bin", quarter);
      ASSERT_EQ(reply.status, 200) << session << " " << i << ": " << reply.body;
    }
  }
  ASSERT_EQ(StopService(), 0);
  StartService(limits);
  HttpReply session = Upload(service_.port(), "s-a", "one.bin", "1");
  EXPECT_EQ(session.status, 507);
  EXPECT_EQ(session.body,
            "upload refused: session s-a would hold more than its quota of 1 MiB of uploaded "
            "files\n");
  HttpReply folder = Upload(service_.port(), "s-c", "one.bin", "1");
  EXPECT_EQ(folder.status, 507);
  EXPECT_EQ(folder.body,
            "upload refused: the data folder would hold more than its quota of 2 MiB of "
            "uploaded files\n");
  EXPECT_EQ(FilesIn("uploads").size(), 8u);
}

// Where the state is kept must be said in a way that names one place for the database and one for
// the files; a database that cannot be reached stops the start before anything is served.
TEST_F(DataFolderTest, StoreOptionsThatNameNoUsablePlaceAreRefusedClearly) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::string url = "postgresql:///osl?host=" + dir_.path() + "/no-server";
  const std::vector<Case> cases = {
      {{}, 2, "osl-service: --data DIR is required\n"},
      {{"--files", dir_.path()},
       2,
       "osl-service: --files needs --database: services share a files folder through one "
       "PostgreSQL database (with SQLite, --data DIR holds both)\n"},
      {{"--database", "mysql://db/osl", "--data", dir_.path()},
       2,
       "osl-service: --database expects a PostgreSQL URL (postgresql://...)\n"},
      {{"--database", url, "--data", dir_.path(), "--files", dir_.path()},
       2,
       "osl-service: give either --data DIR or --files DIR, not both\n"},
      {{"--database", url}, 2,
       "osl-service: --files DIR (shared by several services) or --data DIR (one service's) is "
       "required with --database\n"},
      {{"--database", url, "--files", dir_.path()}, 1,
       "osl-service: cannot connect to the PostgreSQL database: "},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--listen", "127.0.0.1:0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult run = Run(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.err.substr(0, c.message.size()), c.message);
    EXPECT_EQ(run.out, "");
  }
  // list and show need no files folder; render does.
  EXPECT_EQ(Run({"list", "--database", url}).err.rfind(
                "osl-service: cannot connect to the PostgreSQL database: ", 0),
            0u);
  EXPECT_EQ(Run({"render", "--database", url, "x", "--values", "v.json", "out.pdf"}).status, 2);
  EXPECT_FALSE(fs::exists(dir_.path() + "/service.db")) << "nothing was opened as SQLite";
}

}  // namespace
}  // namespace osltest
