// The `osl` command line, run as a user runs it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/subprocess.h"

namespace osltest {
namespace {

// Runs `osl` with the words of `args` (split at blanks) and `env`.
RunResult Osl(const std::string& args, const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv = {BuiltProgram("osl")};
  std::istringstream words(args);
  for (std::string word; words >> word;) argv.push_back(word);
  RunOptions options;
  options.env = env;
  return RunProcess(argv, options);
}

class OslCommandLine : public ::testing::Test {
 protected:
  // A copy of an example document in a folder of the test's own.
  std::string Copy(const std::string& example) {
    return dir_.Write(example, ReadFile(std::string(OSL_SOURCE_DIR) + "/examples/" + example));
  }
  TempDir dir_;
};

TEST_F(OslCommandLine, ItemsListsEveryItemWithItsTag) {
  const RunResult run =
      Osl("items " + std::string(OSL_SOURCE_DIR) + "/examples/business-card.tlvd");
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* uid :
       {"uid 10 ", "uid 11 ", "uid 12 ", "uid 13 ", "uid 14 ", "uid 15 ", "uid 16 ", "uid 17 "}) {
    EXPECT_NE(run.out.find(uid), std::string::npos) << uid << "\n" << run.out;
  }
  EXPECT_NE(run.out.find("fieldName:::FullName"), std::string::npos);
  EXPECT_NE(run.out.find("guide"), std::string::npos);
  EXPECT_NE(run.out.find("rotated 90.00"), std::string::npos);
  EXPECT_EQ(run.err, "");
}

TEST_F(OslCommandLine, ScriptPropertyAndMethod) {
  const std::string doc = std::string(OSL_SOURCE_DIR) + "/examples/flyer.tlvd";
  RunResult get = Osl("script " + doc + " --get");
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "Hello back to you\n");
  RunResult call = Osl("script " + doc + " --call hi");
  EXPECT_EQ(call.status, 0) << call.err;
  EXPECT_EQ(call.err, "[info] hi\n");
  EXPECT_EQ(call.out, "");
}

TEST_F(OslCommandLine, UsageErrorsExitWithTwo) {
  const std::string doc = Copy("business-card.tlvd");
  EXPECT_EQ(Osl("items /nonexistent.tlvd").status, 2);
  EXPECT_EQ(Osl("items " + doc + " --select 424242").status, 2);
  EXPECT_EQ(Osl("items " + doc + " --select abc").status, 2);
  EXPECT_EQ(Osl("script " + doc).status, 2);
  EXPECT_EQ(Osl("frobnicate").status, 2);
  EXPECT_EQ(Osl("--plugin /nonexistent.pln items " + doc).status, 2);
  RunResult bad = Osl("items " + std::string(OSL_SOURCE_DIR) + "/README.md");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("not a .tlvd document"), std::string::npos) << bad.err;
}

TEST_F(OslCommandLine, ReadOnlyCommandsDoNotRewriteTheDocument) {
  const std::string doc = Copy("flyer.tlvd");
  const std::string before = ReadFile(doc);
  EXPECT_EQ(Osl("items " + doc + " --select 20").status, 0);
  EXPECT_EQ(Osl("script " + doc + " --get").status, 0);
  EXPECT_EQ(ReadFile(doc), before);
}

}  // namespace
}  // namespace osltest
