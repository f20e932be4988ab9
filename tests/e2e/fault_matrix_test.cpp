// Every fault osl-service can inject, on every operation a publish makes
// and on the upload: each run stops at the call that met the fault with
// the alert that call shows, the document keeps what the run had stored
// before the fault, reloads, and nothing is committed. A slow answer
// ("delay") is waited for and the publish completes.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace osltest {
namespace {

struct FaultCase {
  std::string operation;
  std::string kind;
};

// The calls a publish of the business card makes, in order. getFields is
// made only when the document's template exists already.
const char* const kOperations[] = {"getLibraryTemplates", "getFields",     "setTemplate",
                                   "upload",              "getLogicGroups", "setLogicGroups",
                                   "setFields",           "setAssets",     "commitTemplate"};
const char* const kKinds[] = {"soap-fault", "http-503", "garbage", "close", "delay"};

std::vector<FaultCase> AllCases() {
  std::vector<FaultCase> cases;
  for (const char* operation : kOperations) {
    for (const char* kind : kKinds) cases.push_back({operation, kind});
  }
  return cases;
}

// Whether the template's identifier is in the document once a fault hit
// `operation`: it is written as soon as setTemplate has answered.
bool IdentifierStoredBefore(const std::string& operation) {
  return operation != "getLibraryTemplates" && operation != "setTemplate";
}

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.operation << ":" << c.kind; }

// The entry `key` of `data`, "" when the label has none.
std::string Entry(const std::map<std::string, std::string>& data, const std::string& key) {
  auto found = data.find(key);
  return found == data.end() ? std::string() : found->second;
}

class PublishFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PublishFault, StopsAtTheFaultyCallAndLeavesAReloadableDocument) {
  const FaultCase& c = GetParam();
  PublishWorld world;
  std::string error;
  ASSERT_TRUE(world.Start({"--fault", c.operation + ":" + c.kind + ":1", "--delay-ms", "50"},
                          &error))
      << error;
  const std::string doc = world.CopyExample("business-card.tlvd");
  const std::vector<std::string> publish = {"--yes", "publish", doc};

  // getFields is asked only about an existing template: publish once first
  // (that run makes no getFields call, so the fault is still armed).
  int commitsBefore = 0;
  if (c.operation == "getFields") {
    const RunResult first = world.Osl(publish);
    ASSERT_EQ(0, first.status) << first.err;
    commitsBefore = 1;
  }
  const std::map<std::string, std::string> before = DocumentData(doc);

  const RunResult run = world.Osl(publish);
  const std::map<std::string, std::string> after = DocumentData(doc);
  const RunResult reload = world.Osl({"items", doc});
  EXPECT_EQ(0, reload.status) << reload.err;
  EXPECT_EQ("Business Card", Entry(after, "docName"));

  if (c.kind == "delay") {
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(0, CountLines(run.err, "[error]")) << run.err;
    EXPECT_EQ(1, CountLines(run.err, c.operation == "getFields"
                                         ? "[info] 0x199e00kupdateTemplateOKKey"
                                         : "[info] 0x199e00ksaveTemplateOKKey"))
        << run.err;
    EXPECT_EQ(commitsBefore + 1, CommitCount(world.dataDir(), Entry(after, "docID")));
    return;
  }

  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_EQ(0, CountLines(run.err, "TemplateOKKey")) << "no success alert:\n" << run.err;
  if (c.operation == "upload") {
    // The first upload is the document copy.
    EXPECT_EQ(1, CountLines(run.err, "[error] 0x199e00kuploadFailedKeyBusinessCard.tlvd"))
        << run.err;
  } else {
    // The failed call's report: one "error: " line, then the fault report.
    EXPECT_EQ(1, CountLines(run.err, "[error] error: ")) << run.err;
    EXPECT_GE(CountLines(run.err, "[error]"), 2) << run.err;
  }
  const bool stored = IdentifierStoredBefore(c.operation);
  EXPECT_EQ(stored, !Entry(after, "docID").empty()) << run.err;
  EXPECT_EQ(stored, !Entry(after, "docPassword").empty()) << run.err;
  if (c.operation == "getFields") {
    EXPECT_EQ(before, after);
  }
  if (stored) {
    EXPECT_EQ(commitsBefore, CommitCount(world.dataDir(), Entry(after, "docID")));
  }
}

std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
  std::string name = info.param.operation + "_" + info.param.kind;
  for (char& ch : name) {
    if (ch == '-') ch = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryOperationAndKind, PublishFault, ::testing::ValuesIn(AllCases()),
                         CaseName);

}  // namespace
}  // namespace osltest
