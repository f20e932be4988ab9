// The `osl` command line, run as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/plugin_patch.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

// Runs `osl` with `args`.
RunResult OslArgs(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {BuiltProgram("osl")};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

// Runs `osl` with the words of `args` (split at blanks).
RunResult Osl(const std::string& args) {
  std::vector<std::string> words;
  std::istringstream in(args);
  for (std::string word; in >> word;) words.push_back(word);
  return OslArgs(words);
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
       {"uid 10 ", "uid 11 ", "uid 12 ", "uid 14 ", "uid 15 ", "uid 16 ", "uid 17 "}) {
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

TEST_F(OslCommandLine, AlertsKeepTheirLinesAndShowControlCharactersEscaped) {
  const std::string doc = std::string(OSL_SOURCE_DIR) + "/examples/flyer.tlvd";
  RunResult run = OslArgs({"script", doc, "--call", "first line\nsecond\tline"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "[info] first line\n       second\tline\n");
  // Nothing a text holds can move the cursor or change the terminal.
  run = OslArgs({"script", doc, "--call", "bell\a clear\x1b[2J cr\rend \xc2\x85"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "[info] bell\\x07 clear\\x1b[2J cr\\rend \\u0085\n");
}

// A command that saves, run on a symbolic link to the document, saves into
// the document the link leads to; the link stays a link.
TEST_F(OslCommandLine, SavingThroughASymbolicLinkKeepsTheLink) {
  const std::string doc = Copy("business-card.tlvd");
  const std::string link = dir_.path() + "/card-link.tlvd";
  ASSERT_EQ(0, symlink(doc.c_str(), link.c_str()));
  const RunResult run = OslArgs({"tag", link, "10", "--name", "Renamed"});
  EXPECT_EQ(run.status, 0) << run.err;
  struct stat info;
  ASSERT_EQ(0, lstat(link.c_str(), &info));
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(ReadFile(doc).find("fieldName:::Renamed|||"), std::string::npos);
}

// A copy of the plug-in, beside the library it loads from its own folder.
class PatchedPlugInTest : public OslCommandLine {
 protected:
  std::string Patch(const std::function<void(nlohmann::json&)>& edit) {
    dir_.Write("libosl_soapns.so", ReadFile(BuiltProgram("libosl_soapns.so")));
    return PatchedPlugIn(BuiltProgram("Osl.pln"), dir_, "Osl.pln", edit);
  }
};

TEST_F(OslCommandLine, ExportPdfWithAndWithoutTheFields) {
  const std::string doc = std::string(OSL_SOURCE_DIR) + "/examples/business-card.tlvd";
  const std::string before = ReadFile(doc);
  const std::string all = dir_.path() + "/all.pdf";
  const RunResult full = OslArgs({"export-pdf", doc, all});
  EXPECT_EQ(full.status, 0) << full.err;
  EXPECT_EQ(full.err, "");
  const std::string text = RunProcess({"/usr/bin/pdftotext", all, "-"}).out;
  EXPECT_NE(text.find("Jane Doe"), std::string::npos) << text;
  EXPECT_NE(text.find("jane.doe@example.com"), std::string::npos) << text;

  // Tagged items are left out (members of an untagged group too); the
  // document itself is not changed.
  const std::string proof = dir_.path() + "/proof.pdf";
  const RunResult hidden = OslArgs({"export-pdf", doc, proof, "--hide-fields"});
  EXPECT_EQ(hidden.status, 0) << hidden.err;
  const std::string shown = RunProcess({"/usr/bin/pdftotext", proof, "-"}).out;
  for (const char* field : {"Jane Doe", "Head of Printing", "555 0100", "jane.doe"})
    EXPECT_EQ(shown.find(field), std::string::npos) << field << "\n" << shown;
  EXPECT_NE(shown.find("PRINTED"), std::string::npos) << shown;
  EXPECT_EQ(ReadFile(doc), before);
  EXPECT_EQ(RunProcess({"/usr/bin/pdfimages", "-list", proof}).out.find(" image "),
            std::string::npos);

  // Failures: a folder that does not exist, missing arguments.
  const RunResult failed = OslArgs({"export-pdf", doc, dir_.path() + "/no/such/folder.pdf"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("was not exported"), std::string::npos) << failed.err;
  EXPECT_EQ(OslArgs({"export-pdf", doc}).status, 2);
}

TEST_F(PatchedPlugInTest, MissingOrMalformedScriptingNamesAreUsageErrorsNotCrashes) {
  const std::string doc = Copy("flyer.tlvd");
  std::string plugin = Patch([](nlohmann::json& r) { r.erase("scripting"); });
  RunResult run = OslArgs({"--plugin", plugin, "script", doc, "--get"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("no plug-in offers scripting"), std::string::npos) << run.err;

  plugin = Patch([](nlohmann::json& r) {
    r["scripting"]["methods"] = "speak";
    r["scripting"]["properties"] = {{{"id", -3}}, 5};
  });
  run = OslArgs({"--plugin", plugin, "script", doc, "--get"});
  EXPECT_EQ(run.signal, 0) << run.err;
  EXPECT_EQ(run.status, 1) << run.err;  // no property the provider knows
  EXPECT_NE(run.err.find("the script request failed"), std::string::npos) << run.err;
  run = OslArgs({"--plugin", plugin, "script", doc, "--call", "hi"});
  EXPECT_EQ(run.signal, 0) << run.err;
  EXPECT_EQ(run.status, 1) << run.err;
}

// The host shows fields, takes entry names and finds actions only as the
// plug-in declares them: without its page-item properties `osl items`
// shows bare tags, without its entry names a name is not offered, and an
// action is found by its declared name, not by a number the host knows.
TEST_F(PatchedPlugInTest, FieldsEntryNamesAndActionsComeFromThePlugInsDeclarations) {
  const std::string doc = Copy("flyer.tlvd");
  const std::string field = "field: Headline, control type 0 on a text frame (Text box)";
  EXPECT_NE(OslArgs({"items", doc}).out.find(field), std::string::npos);
  std::string plugin = Patch([](nlohmann::json& r) {
    auto& properties = r["scripting"]["properties"];
    properties.erase(properties.begin() + 1, properties.end());
  });
  RunResult run = OslArgs({"--plugin", plugin, "items", doc});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("field:"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("tag: controlType:::0|||fieldName:::Headline|||"), std::string::npos);

  plugin = Patch([](nlohmann::json& r) { r.erase("choices"); });
  run = OslArgs({"--plugin", plugin, "tag", doc, "20", "--type", "textbox"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("--type textbox: not offered here; the list offers positions 0 to 3"),
            std::string::npos)
      << run.err;

  plugin = Patch([](nlohmann::json& r) {
    for (auto& action : r["actions"]) {
      if (action["name"] == "create-group") action["name"] = "new-group";
    }
  });
  run = OslArgs({"--plugin", plugin, "group", "create", doc, "Stack"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("group create: no plug-in offers the menu action create-group"),
            std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace osltest
