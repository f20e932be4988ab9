// Two `osl publish` runs at once against one osl-service. The service lets one publish of a
// template run at a time and creates no second template of a name still being created, so the
// template ends whole (the fields, document copy and proof of one run) and the other run stops
// at its setTemplate with the service's reason. Every setFields is held back, so each run keeps
// its template long enough for the other to meet it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/thread_group.h"

namespace osltest {
namespace {

constexpr char kBeingPublished[] =
    " is being published by another run; try again when that publish has ended";

// `document` without the field tag named `name` (its item stays, untagged).
nlohmann::json WithoutField(nlohmann::json document, const std::string& name) {
  for (auto& item : document["spreads"][0]["pages"][0]["items"]) {
    if (item.contains("label") &&
        item["label"].get<std::string>().find("fieldName:::" + name + "|||") != std::string::npos) {
      item.erase("label");
    }
  }
  return document;
}

// Runs `osl --yes publish DOC` for both documents at once.
std::vector<RunResult> PublishBothAtOnce(PublishWorld* world, const std::string& first,
                                         const std::string& second) {
  std::vector<RunResult> runs(2);
  ThreadGroup publishes;
  publishes.Start([&] { runs[0] = world->Osl({"--yes", "publish", first}); });
  publishes.Start([&] { runs[1] = world->Osl({"--yes", "publish", second}); });
  publishes.JoinAll();
  return runs;
}

// The index of the run that succeeded; the other must have stopped with an error alert that
// holds one of `refusals`.
int Winner(const std::vector<RunResult>& runs, const std::vector<std::string>& refusals) {
  int winner = -1;
  for (int i = 0; i < 2; ++i) {
    if (runs[i].status == 0) {
      EXPECT_EQ(winner, -1) << "both runs succeeded:\n" << runs[0].err << "\n" << runs[1].err;
      winner = i;
    } else {
      EXPECT_EQ(runs[i].status, 1) << runs[i].err;
      EXPECT_EQ(CountLines(runs[i].err, "TemplateOKKey"), 0) << runs[i].err;
      bool refused = false;
      for (const std::string& refusal : refusals) {
        refused = refused || runs[i].err.find(refusal) != std::string::npos;
      }
      EXPECT_TRUE(refused) << runs[i].err;
    }
  }
  return winner;
}

TEST(ConcurrentPublish, TwoRunsOfOneTemplateAtOnceLeaveItWhole) {
  PublishWorld world;
  std::string error;
  ASSERT_TRUE(world.Start({"--fault", "setFields:delay", "--delay-ms", "1500"}, &error)) << error;
  const std::string first = world.CopyExample("business-card.tlvd");
  RunResult bound = world.Osl({"--yes", "publish", first});
  ASSERT_EQ(bound.status, 0) << bound.err;
  // A copy bound to the same template, with one field less.
  const std::string second =
      world.WriteDocument("business-card-2.tlvd", WithoutField(ReadDocument(first), "Logo"));
  const auto data = DocumentData(first);

  std::vector<RunResult> runs = PublishBothAtOnce(&world, first, second);
  int winner = Winner(runs, {kBeingPublished});
  ASSERT_NE(winner, -1) << runs[0].err << "\n" << runs[1].err;
  // The stored fields are the winner's, and so is the one commit besides the first publish.
  ServiceQuery query(world.service().baseUrl());
  auto fields = query.Fields(data.at("docID"), data.at("docPassword"), &error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(FieldNamed(fields, "Logo") != nullptr, winner == 0);
  EXPECT_NE(FieldNamed(fields, "FullName"), nullptr);
  EXPECT_EQ(CommitCount(world.dataDir(), data.at("docID")), 2);
}

TEST(ConcurrentPublish, TwoFirstPublishesOfOneNameCreateOneTemplate) {
  PublishWorld world;
  std::string error;
  ASSERT_TRUE(world.Start({"--fault", "setFields:delay", "--delay-ms", "1500"}, &error)) << error;
  const std::string first = world.CopyExample("business-card.tlvd");
  const std::string second = world.WriteDocument("business-card-2.tlvd", ReadDocument(first));

  std::vector<RunResult> runs = PublishBothAtOnce(&world, first, second);
  // The other run meets the template either while it is being created (no name yet in its list)
  // or after (it then asks to update it, and is refused as a second run of it).
  int winner = Winner(runs, {"A template named \"Business Card\" (", kBeingPublished});
  ASSERT_NE(winner, -1) << runs[0].err << "\n" << runs[1].err;
  ServiceQuery query(world.service().baseUrl());
  ASSERT_EQ(query.Templates(&error).size(), 1u) << error;
  const std::string winnerDoc = winner == 0 ? first : second;
  const std::string loserDoc = winner == 0 ? second : first;
  EXPECT_EQ(query.Template("Business Card")->docID, DocumentData(winnerDoc).at("docID"));
  // The run that stopped bound its document to nothing; its next publish finds the template.
  const auto loser = DocumentData(loserDoc);
  EXPECT_TRUE(loser.find("docID") == loser.end() || loser.at("docID").empty());
}

}  // namespace
}  // namespace osltest
