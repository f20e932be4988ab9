// Two osl-service processes on one PostgreSQL database and one shared files folder, driven by
// `osl` as designers would: each publish may go to either service, and both serve the same
// accounts, templates and uploaded files.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/refservice/raw_http.h"
#include "tests/support/pg_test_database.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

namespace fs = std::filesystem;

// Two services (a and b) on one database and files folder, each with a plug-in pointed at it.
class MultiInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { OSL_CREATE_PG_DATABASE(db_); }

  std::vector<std::string> StoreArgs() const {
    return {"--database", db_.url(), "--files", files_.path()};
  }

  void StartBoth(const std::vector<std::string>& argsA, const std::vector<std::string>& argsB) {
    std::string error;
    ASSERT_TRUE(a_.StartOn(StoreArgs(), argsA, &error)) << error;
    ASSERT_TRUE(b_.StartOn(StoreArgs(), argsB, &error)) << error;
  }

  // The template named `name` as service `world` lists it, with its fields; fails the test when
  // there is not exactly one of that name.
  std::vector<const osl_soap::OstrFieldInfo*> FieldsOf(PublishWorld& world, ServiceQuery& query,
                                                       const std::string& name) {
    std::string error;
    int count = 0;
    const osl_soap::docBuilderLibraryTemplate* found = nullptr;
    for (const auto* entry : query.Templates(&error)) {
      if (entry->docName != nullptr && *entry->docName == name) {
        ++count;
        found = entry;
      }
    }
    EXPECT_EQ(count, 1) << name << " at " << world.service().baseUrl() << error;
    if (found == nullptr) return {};
    return query.Fields(found->docID, found->docPassword, &error);
  }

  PgTestDatabase db_;
  TempDir files_;
  PublishWorld a_, b_;
};

TEST_F(MultiInstanceTest, APublishThroughOneAndAnUpdateThroughTheOtherGiveOneTemplate) {
  ASSERT_NO_FATAL_FAILURE(StartBoth({}, {}));
  const std::string doc = a_.CopyExample("business-card.tlvd");
  RunResult first = a_.Osl({"--yes", "publish", doc});
  ASSERT_EQ(first.status, 0) << first.err;
  const auto bound = DocumentData(doc);
  // The same document, published again through the other service, updates that template.
  RunResult second = b_.Osl({"--yes", "publish", doc});
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(DocumentData(doc).at("docID"), bound.at("docID"));

  ServiceQuery queryA(a_.service().baseUrl());
  ServiceQuery queryB(b_.service().baseUrl());
  std::string error;
  auto listedA = queryA.Templates(&error);
  ASSERT_EQ(listedA.size(), 1u) << error;
  ASSERT_EQ(queryB.Templates(&error).size(), 1u) << error;
  EXPECT_EQ(listedA[0]->docID, bound.at("docID"));
  auto fields = queryB.Fields(bound.at("docID"), bound.at("docPassword"), &error);
  EXPECT_EQ(fields.size(), 5u) << error;
  std::string commits;
  ASSERT_TRUE(PgQuery(db_.url(), "SELECT COUNT(*) FROM commits", &commits, &error)) << error;
  EXPECT_EQ(commits, "2");

  // Every address either service handed out is served by both, with the same bytes.
  std::string urls;
  ASSERT_TRUE(PgQuery(db_.url(),
                      "SELECT string_agg(url, ' ' ORDER BY url) FROM assets WHERE url LIKE "
                      "'%/files/%'",
                      &urls, &error))
      << error;
  std::istringstream addresses(urls);
  int served = 0;
  for (std::string url; addresses >> url; ++served) {
    std::string path = url.substr(url.find("/files/"));
    std::string viaA, viaB;
    ASSERT_TRUE(HttpGet(a_.service().baseUrl() + path, &viaA, &error)) << error;
    ASSERT_TRUE(HttpGet(b_.service().baseUrl() + path, &viaB, &error)) << error;
    EXPECT_FALSE(viaA.empty());
    EXPECT_EQ(viaA, viaB) << url;
  }
  EXPECT_GE(served, 2) << urls;
}

TEST_F(MultiInstanceTest, TwentyPublishesAtOnceSpreadOverBothAreAllWholeAndNoneTwice) {
  ASSERT_NO_FATAL_FAILURE(StartBoth({"--threads", "4"}, {"--threads", "4"}));
  const std::string source = a_.CopyExample("business-card.tlvd");
  const nlohmann::json card = ReadDocument(source);
  constexpr int kPublishes = 20;
  std::vector<std::string> docs;
  for (int i = 0; i < kPublishes; ++i) {
    docs.push_back(a_.WriteDocument("card-" + std::to_string(i) + ".tlvd", card));
  }
  std::vector<RunResult> runs(kPublishes);
  {
    ThreadGroup publishes;
    for (int i = 0; i < kPublishes; ++i) {
      publishes.Start([&, i] {
        PublishWorld& world = i % 2 == 0 ? a_ : b_;
        runs[i] = world.Osl({"--yes", "publish", docs[i], "--name", "Card " + std::to_string(i)});
      });
    }
  }
  for (int i = 0; i < kPublishes; ++i) EXPECT_EQ(runs[i].status, 0) << i << ": " << runs[i].err;

  ServiceQuery queryA(a_.service().baseUrl());
  ServiceQuery queryB(b_.service().baseUrl());
  std::string error;
  auto templates = queryB.Templates(&error);
  ASSERT_EQ(templates.size(), static_cast<size_t>(kPublishes)) << error;
  std::set<std::string> ids;
  for (int i = 0; i < kPublishes; ++i) {
    const std::string name = "Card " + std::to_string(i);
    auto fields = FieldsOf(i % 2 == 0 ? b_ : a_, i % 2 == 0 ? queryB : queryA, name);
    EXPECT_EQ(fields.size(), 5u) << name;
    ids.insert(DocumentData(docs[i]).at("docID"));
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(kPublishes)) << "every document has its own template";
  std::string whole;
  ASSERT_TRUE(PgQuery(db_.url(),
                      "SELECT COUNT(*) FROM templates t WHERE committed AND (SELECT COUNT(*) FROM "
                      "commits c WHERE c.template_id = t.id) = 1 AND (SELECT COUNT(*) FROM "
                      "assets a WHERE a.template_id = t.id) >= 2",
                      &whole, &error))
      << error;
  EXPECT_EQ(whole, std::to_string(kPublishes)) << "each template committed once with its assets";
}

TEST_F(MultiInstanceTest, TwoFirstPublishesOfOneNameThroughBothCreateOneTemplate) {
  // Every setFields is held back, so that each run keeps its template while the other meets it.
  ASSERT_NO_FATAL_FAILURE(StartBoth({"--fault", "setFields:delay", "--delay-ms", "1500"},
                                    {"--fault", "setFields:delay", "--delay-ms", "1500"}));
  const std::string first = a_.CopyExample("business-card.tlvd");
  const std::string second = a_.WriteDocument("business-card-2.tlvd", ReadDocument(first));
  std::vector<RunResult> runs(2);
  {
    ThreadGroup publishes;
    publishes.Start([&] { runs[0] = a_.Osl({"--yes", "publish", first}); });
    publishes.Start([&] { runs[1] = b_.Osl({"--yes", "publish", second}); });
  }
  EXPECT_EQ((runs[0].status == 0) + (runs[1].status == 0), 1)
      << runs[0].err << "\n---\n" << runs[1].err;
  ServiceQuery query(a_.service().baseUrl());
  std::string error;
  EXPECT_EQ(query.Templates(&error).size(), 1u) << error;
}

TEST_F(MultiInstanceTest, QuotasHoldAcrossBoth) {
  ASSERT_NO_FATAL_FAILURE(StartBoth({"--max-session-mb", "1", "--max-data-mb", "2"},
                                    {"--max-session-mb", "1", "--max-data-mb", "2"}));
  const uint16_t portA = a_.service().port();
  const uint16_t portB = b_.service().port();
  const std::string piece(600 * 1024, 'q');
  ASSERT_EQ(Upload(portA, "s-1", "a.bin", piece).status, 200);
  HttpReply overSession = Upload(portB, "s-1", "b.bin", piece);
  EXPECT_EQ(overSession.status, 507) << overSession.body;
  EXPECT_EQ(overSession.body,
            "upload refused: session s-1 would hold more than its quota of 1 MiB of uploaded "
            "files\n");
  ASSERT_EQ(Upload(portB, "s-2", "c.bin", piece).status, 200);
  ASSERT_EQ(Upload(portA, "s-3", "d.bin", piece).status, 200);
  HttpReply overFolder = Upload(portB, "s-4", "e.bin", piece);
  EXPECT_EQ(overFolder.status, 507) << overFolder.body;
  // Uploads to both at once: the bytes in flight count for both, so of four uploads of 400 KiB
  // into a session with 1 MiB at most, at most two are stored.
  std::vector<HttpReply> replies(4);
  {
    ThreadGroup uploads;
    for (int i = 0; i < 4; ++i) {
      uploads.Start([&, i] {
        replies[i] = Upload(i % 2 == 0 ? portA : portB, "s-9", "f" + std::to_string(i) + ".bin",
                            std::string(400 * 1024, 'z'));
      });
    }
  }
  int stored = 0;
  for (const HttpReply& reply : replies) {
    EXPECT_TRUE(reply.status == 200 || reply.status == 507) << reply.status << reply.body;
    stored += reply.status == 200;
  }
  EXPECT_LE(stored, 2);
  std::string bytes, error;
  ASSERT_TRUE(PgQuery(db_.url(), "SELECT COALESCE(SUM(size), 0) FROM files WHERE session = 's-9'",
                      &bytes, &error))
      << error;
  EXPECT_LE(std::stoll(bytes), 1 << 20);
}

TEST_F(MultiInstanceTest, AStartLeavesTheOtherServicesUploadInFlightAlone) {
  std::string error;
  ASSERT_TRUE(a_.StartOn(StoreArgs(), {}, &error)) << error;
  const uint16_t portA = a_.service().port();
  // Half of an upload reaches a; its temporary file sits in a's own incoming folder.
  std::string request = UploadRequest(portA, "s-1", "big.bin", std::string(400000, 'k'));
  Connection connection(portA);
  ASSERT_TRUE(connection.ok());
  ASSERT_TRUE(connection.Send(request.substr(0, request.size() / 2)));
  auto partialFiles = [&] {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(files_.path() + "/incoming")) {
      count += entry.is_regular_file() && entry.file_size() > 0;
    }
    return count;
  };
  for (int i = 0; i < 200 && partialFiles() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(partialFiles(), 1);

  // b starts on the same folder and database while a's upload is in flight: it touches nothing
  // of a's.
  ASSERT_TRUE(b_.StartOn(StoreArgs(), {}, &error)) << error;
  EXPECT_EQ(partialFiles(), 1);
  EXPECT_EQ(b_.service().Stderr().find("removed"), std::string::npos) << b_.service().Stderr();
  ASSERT_TRUE(connection.Send(request.substr(request.size() / 2)));
  std::string received;
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) received += connection.Receive(100, &closed);
  HttpReply reply = ParseReply(received);
  ASSERT_EQ(reply.status, 200) << reply.body;
  const std::string path = reply.body.substr(reply.body.find("/files/"));
  EXPECT_EQ(Get(b_.service().port(), path).body, std::string(400000, 'k'));
}

// A files folder is either shared by services (--files) or one service's own (--data), never both.
TEST_F(MultiInstanceTest, ASharedFilesFolderAndAServicesOwnFolderExcludeEachOther) {
  std::string error;
  ASSERT_TRUE(a_.StartOn(StoreArgs(), {}, &error)) << error;
  RunResult own = RunProcess({BuiltProgram("osl-service"), "--listen", "127.0.0.1:0",
                              "--database", db_.url(), "--data", files_.path()},
                             RunOptions{{}, "", 20000, ""});
  EXPECT_EQ(own.status, 1);
  EXPECT_NE(own.err.find("the data folder " + files_.path() + " is in use by another osl-service"),
            std::string::npos)
      << own.err;
  ASSERT_EQ(a_.service().Stop(), 0);

  TempDir folder;
  ChildProcess alone;
  ASSERT_TRUE(alone.Start({BuiltProgram("osl-service"), "--listen", "127.0.0.1:0", "--database",
                           db_.url(), "--data", folder.path()},
                          {}, &error))
      << error;
  std::string line;
  ASSERT_TRUE(alone.ReadLine(&line, 10000)) << alone.Stderr();
  RunResult shared = RunProcess({BuiltProgram("osl-service"), "--listen", "127.0.0.1:0",
                                 "--database", db_.url(), "--files", folder.path()},
                                RunOptions{{}, "", 20000, ""});
  EXPECT_EQ(shared.status, 1);
  EXPECT_NE(shared.err.find("the files folder " + folder.path() +
                            " is the data folder of another osl-service"),
            std::string::npos)
      << shared.err;
  EXPECT_EQ(alone.Stop(), 0);
}

TEST_F(MultiInstanceTest, AServiceKilledDuringSetFieldsLeavesTheOtherServingAndTheDataWhole) {
  // a holds every setFields answer back, so the kill lands while the publish waits for it.
  ASSERT_NO_FATAL_FAILURE(
      StartBoth({"--fault", "setFields:delay", "--delay-ms", "20000", "--publish-timeout", "2",
                 "--instance-timeout", "2"},
                {"--publish-timeout", "2", "--instance-timeout", "2"}));
  const std::string doc = a_.CopyExample("business-card.tlvd");
  RunResult cut;
  ThreadGroup publish;
  publish.Start([&] { cut = a_.Osl({"--yes", "publish", doc}); });
  // Wait (through b) until a has stored the fields and holds its answer back.
  ServiceQuery query(b_.service().baseUrl());
  std::string error;
  bool stored = false;
  for (int i = 0; i < 300 && !stored; ++i) {
    std::string count;
    stored = PgQuery(db_.url(), "SELECT COUNT(*) FROM fields", &count, &error) && count == "5";
    if (!stored) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(stored) << error;
  ::kill(a_.service().pid(), SIGKILL);
  publish.JoinAll();
  EXPECT_NE(cut.status, 0) << cut.err;

  // b still serves; the template holds the whole field list, and once the dead run's lease has
  // run out a publish through b completes it.
  auto templates = query.Templates(&error);
  ASSERT_EQ(templates.size(), 1u) << error;
  EXPECT_EQ(query.Fields(templates[0]->docID, templates[0]->docPassword, &error).size(), 5u);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  RunResult again = b_.Osl({"--yes", "publish", doc});
  EXPECT_EQ(again.status, 0) << again.err;
  templates = query.Templates(&error);
  ASSERT_EQ(templates.size(), 1u) << error;
  std::string whole;
  ASSERT_TRUE(PgQuery(db_.url(),
                      "SELECT COUNT(*) || ' ' || bool_and(committed) FROM templates", &whole,
                      &error))
      << error;
  EXPECT_EQ(whole, "1 true");
  // A service started after a's heart stopped gives up what a left behind.
  PublishWorld c;
  ASSERT_TRUE(c.StartOn(StoreArgs(), {"--instance-timeout", "2"}, &error)) << error;
  std::string instances;
  ASSERT_TRUE(PgQuery(db_.url(), "SELECT COUNT(*) FROM instances", &instances, &error)) << error;
  EXPECT_EQ(instances, "2") << "b and c";
}

}  // namespace
}  // namespace osltest
