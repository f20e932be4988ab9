// The `osl` command line, run as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

struct CommandRun {
  int status;
  std::string out;
  std::string err;
};

CommandRun Osl(const std::string& args, const std::string& env = "") {
  const std::string errFile = "/tmp/osl-cli-test-" + std::to_string(getpid()) + ".err";
  const std::string command =
      env + " " + OSL_BINARY_DIR + "/bin/osl " + args + " 2>" + errFile + " </dev/null";
  CommandRun run{};
  FILE* pipe = popen(command.c_str(), "r");
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream in(errFile);
  std::ostringstream err;
  err << in.rdbuf();
  run.err = err.str();
  std::remove(errFile.c_str());
  return run;
}

std::string Copy(const std::string& example) {
  const std::string target = "/tmp/osl-cli-test-" + std::to_string(getpid()) + "-" + example;
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/examples/" + example, std::ios::binary);
  std::ofstream(target, std::ios::binary) << in.rdbuf();
  return target;
}

TEST(OslCommandLine, ItemsListsEveryItemWithItsTag) {
  const CommandRun run =
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

TEST(OslCommandLine, ScriptPropertyAndMethod) {
  const std::string doc = std::string(OSL_SOURCE_DIR) + "/examples/flyer.tlvd";
  CommandRun get = Osl("script " + doc + " --get");
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "Hello back to you\n");
  CommandRun call = Osl("script " + doc + " --call hi");
  EXPECT_EQ(call.status, 0) << call.err;
  EXPECT_EQ(call.err, "[info] hi\n");
  EXPECT_EQ(call.out, "");
}

TEST(OslCommandLine, UsageErrorsExitWithTwo) {
  const std::string doc = Copy("business-card.tlvd");
  EXPECT_EQ(Osl("items /nonexistent.tlvd").status, 2);
  EXPECT_EQ(Osl("items " + doc + " --select 424242").status, 2);
  EXPECT_EQ(Osl("items " + doc + " --select abc").status, 2);
  EXPECT_EQ(Osl("script " + doc).status, 2);
  EXPECT_EQ(Osl("frobnicate").status, 2);
  EXPECT_EQ(Osl("--plugin /nonexistent.pln items " + doc).status, 2);
  CommandRun bad = Osl("items " + std::string(OSL_SOURCE_DIR) + "/README.md");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("not a .tlvd document"), std::string::npos) << bad.err;
  std::remove(doc.c_str());
}

TEST(OslCommandLine, ReadOnlyCommandsDoNotRewriteTheDocument) {
  const std::string doc = Copy("flyer.tlvd");
  std::ifstream before(doc);
  std::ostringstream b;
  b << before.rdbuf();
  EXPECT_EQ(Osl("items " + doc + " --select 20").status, 0);
  EXPECT_EQ(Osl("script " + doc + " --get").status, 0);
  std::ifstream after(doc);
  std::ostringstream a;
  a << after.rdbuf();
  EXPECT_EQ(a.str(), b.str());
  std::remove(doc.c_str());
}

}  // namespace
