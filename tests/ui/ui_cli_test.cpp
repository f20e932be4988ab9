// `osl tag`, `osl group`, `osl prefs`, `osl dialog` and the field summary
// of `osl items`, run as a designer runs them: the saved document and the
// settings file are checked byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/HostInterfaceIDs.h"
#include "standin/app/host.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

class UiCommandLine : public ::testing::Test {
 protected:
  RunResult Osl(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {BuiltProgram("osl")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
  }
  // A copy of an example document in the test's own folder.
  std::string Copy(const std::string& example) {
    return dir_.Write(example, ReadFile(std::string(OSL_SOURCE_DIR) + "/examples/" + example));
  }
  // The label of item `uid` in the saved document (the document's own for 0).
  static std::string Label(const std::string& path, unsigned uid) {
    const nlohmann::json doc = nlohmann::json::parse(ReadFile(path));
    if (uid == 0) return doc.value("label", "");
    std::string found = "(no item)";
    std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& items) {
      for (const auto& item : items) {
        if (item.at("uid") == uid) found = item.value("label", "");
        if (item.contains("children")) walk(item["children"]);
      }
    };
    for (const auto& spread : doc.at("spreads")) {
      for (const auto& page : spread.at("pages")) walk(page.at("items"));
    }
    return found;
  }
  // Whether the stand-in's documents offer the layout's spread list.
  static bool HostListsSpreads(const std::string& path) {
    standin::Host host;
    std::string error;
    standin::Document* doc = host.OpenDocument(path, &error);
    return doc && doc->DocumentBoss().Has(IID_ISPREADLIST);
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
  TempDir dir_;
};

TEST_F(UiCommandLine, TagEditsTheFieldPanelAndSavesTheTag) {
  const std::string doc = Copy("flyer.tlvd");
  RunResult run = Osl(
      {"tag", doc, "23", "--name", "Discount value 2", "--prompt", "Your discount", "--type", "3"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("controlType:::4|||fieldName:::Discountvalue|||promptText:::Your discount|||",
            Label(doc, 23));
  // A graphic frame's list: position 2 is the non-printable area, code 3.
  run = Osl({"tag", doc, "21", "--type", "2"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("controlType:::3|||fieldName:::StorePhoto|||promptText:::Photo of your store|||",
            Label(doc, 21));
  // An untagged item gets the panel's values for every key.
  run = Osl({"tag", doc, "34", "--name", "Badge"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("controlType:::0|||fieldName:::Badge|||promptText:::|||", Label(doc, 34));
  // Without options the panel is shown and nothing changes.
  const std::string before = ReadFile(doc);
  run = Osl({"tag", doc, "22"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(run.out, "kOslFieldNameWidgetID editbox \"BodyCopy\"\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "*2 \"Rich text\"")) << run.out;
  EXPECT_EQ(before, ReadFile(doc));
}

TEST_F(UiCommandLine, TagRefusesWhatThePanelCannotDo) {
  const std::string doc = Copy("flyer.tlvd");
  const std::string before = ReadFile(doc);
  RunResult run = Osl({"tag", doc, "24", "--name", "Guide"});  // a guide
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(Has(run.err, "the field panel cannot be used for uid 24")) << run.err;
  run = Osl({"tag", doc, "20", "--type", "4"});  // the text list has 4 entries
  EXPECT_EQ(2, run.status);
  EXPECT_TRUE(Has(run.err, "positions 0 to 3")) << run.err;
  run = Osl({"tag", doc, "21", "--type", "3"});  // the graphic list has 3
  EXPECT_EQ(2, run.status);
  EXPECT_EQ(2, Osl({"tag", doc, "999", "--name", "X"}).status);
  EXPECT_EQ(before, ReadFile(doc));
}

// Option values by name: the same entry whatever its position, and a name
// the item's list does not offer is a usage error naming what it offers.
TEST_F(UiCommandLine, ListOptionsTakeNames) {
  const std::string doc = Copy("flyer.tlvd");
  RunResult run = Osl({"tag", doc, "23", "--type", "barcode"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(Label(doc, 23), "controlType:::4|||")) << Label(doc, 23);
  run = Osl({"tag", doc, "21", "--type", "nonprint"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(Label(doc, 21), "controlType:::3|||")) << Label(doc, 21);
  const std::string before = ReadFile(doc);
  run = Osl({"tag", doc, "21", "--type", "textbox"});
  EXPECT_EQ(2, run.status);
  EXPECT_TRUE(Has(run.err,
                  "--type textbox: not offered here; the list offers image, advimage, "
                  "nonprint (or positions 0 to 2) for uid 21"))
      << run.err;
  EXPECT_EQ(before, ReadFile(doc));

  run = Osl({"group", "create", doc, "Footer", "--direction", "down"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(Label(doc, 0), "Footer:::1---")) << Label(doc, 0);
  run = Osl({"group", "create", doc, "Footer", "--direction", "up"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(Label(doc, 0), "Footer:::0---")) << Label(doc, 0);
  EXPECT_EQ(2, Osl({"group", "create", doc, "Footer", "--direction", "left"}).status);

  run = Osl({"tag", "--help"});
  EXPECT_TRUE(Has(run.out, "textbox|textarea|richtext|barcode|image|advimage|nonprint")) << run.out;
  run = Osl({"action", doc, "list"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(run.out, "0x199E03  publish  Publish Template\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "0x199E07  preferences  ")) << run.out;
}

TEST_F(UiCommandLine, PrefsRefusesAServerThatCannotBeReached) {
  const std::string plugin = dir_.path() + "/Osl.pln";
  for (const char* file : {"Osl.pln", "libosl_soapns.so"}) {
    ASSERT_FALSE(dir_.Write(file, ReadFile(BuiltProgram(file))).empty());
  }
  dir_.Write("Osl.cfg", "Server:http://ok.test\nuser:u\npass:p\n");
  const std::string before = ReadFile(dir_.path() + "/Osl.cfg");
  for (const char* bad : {"127.0.0.1:8080", "http://my host", "ftp://host", "http://"}) {
    const RunResult run = Osl({"--plugin", plugin, "prefs", "--server", bad});
    EXPECT_EQ(2, run.status) << bad;
    EXPECT_TRUE(Has(run.err, "osl: prefs: --server ")) << run.err;
    EXPECT_EQ(before, ReadFile(dir_.path() + "/Osl.cfg")) << bad;
  }
  const RunResult good = Osl({"--plugin", plugin, "prefs", "--server", "https://new.test:8443"});
  EXPECT_EQ(0, good.status) << good.err;
  EXPECT_TRUE(Has(ReadFile(dir_.path() + "/Osl.cfg"), "Server:https://new.test:8443\n"));
}

TEST_F(UiCommandLine, GroupCreateAddsOrRedirectsAGroup) {
  const std::string doc = Copy("business-card.tlvd");
  RunResult run = Osl({"group", "create", doc, "Address", "--direction", "1"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "StackingGroups:::Address:::1---Contact:::1---|||clientType:::0|||docName:::Business "
      "Card|||",
      Label(doc, 0));
  run = Osl({"group", "create", doc, "Contact"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "StackingGroups:::Address:::1---Contact:::0---|||clientType:::0|||docName:::Business "
      "Card|||",
      Label(doc, 0));
}

TEST_F(UiCommandLine, AGroupNameTheDialogRefusesIsAnErrorNamingTheField) {
  const std::string doc = Copy("business-card.tlvd");
  const std::string before = ReadFile(doc);
  for (const char* name : {"a---b", "x:::y", "p|||q", ""}) {
    RunResult run = Osl({"group", "create", doc, name});
    EXPECT_EQ(1, run.status) << name;
    EXPECT_TRUE(Has(run.err, "the group name \"" + std::string(name) + "\"")) << run.err;
    EXPECT_TRUE(Has(run.err, "0x199E0F (kOslGroupNameWidgetID)")) << run.err;
    EXPECT_TRUE(Has(run.err, "stayed open")) << run.err;
  }
  RunResult run = Osl({"group", "create", doc, "Top", "--direction", "2"});
  EXPECT_EQ(2, run.status);
  EXPECT_TRUE(Has(run.err, "--direction 2")) << run.err;
  EXPECT_EQ(before, ReadFile(doc));
}

TEST_F(UiCommandLine, GroupAddPutsTheFieldIntoAGroup) {
  const std::string doc = Copy("business-card.tlvd");
  RunResult run = Osl({"group", "add", doc, "12", "--group", "Contact"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Dependson:::|||MemberofGroup:::Contact|||controlType:::0|||fieldName:::JobTitle|||"
      "promptText:::Job title|||",
      Label(doc, 12));
  // Omitted options choose the none entries: both values are cleared.
  run = Osl({"group", "add", doc, "14"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Dependson:::|||MemberofGroup:::|||controlType:::0|||fieldName:::Phone|||"
      "promptText:::Phone number|||",
      Label(doc, 14));
  // A name the list does not offer is a usage error.
  const std::string before = ReadFile(doc);
  run = Osl({"group", "add", doc, "12", "--group", "Nope"});
  EXPECT_EQ(2, run.status);
  EXPECT_TRUE(Has(run.err, "--group: drop-down 0x199E13 has no entry \"Nope\"")) << run.err;
  EXPECT_EQ(before, ReadFile(doc));
}

TEST_F(UiCommandLine, GroupAddNamesTheFieldItDependsOn) {
  const std::string doc = Copy("business-card.tlvd");
  if (!HostListsSpreads(doc)) {
    GTEST_SKIP() << "the stand-in's documents offer no spread list, which the depends-on list "
                    "walks";
  }
  RunResult run = Osl({"group", "add", doc, "12", "--group", "Contact", "--depends", "FullName"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Dependson:::FullName|||MemberofGroup:::Contact|||controlType:::0|||fieldName:::JobTitle|||"
      "promptText:::Job title|||",
      Label(doc, 12));
  run = Osl({"group", "add", doc, "12", "--group", "Contact", "--depends", "Phone"});
  EXPECT_EQ(0, run.status) << run.err;
  // A name no field on the pages carries is not offered.
  run = Osl({"group", "add", doc, "12", "--group", "Contact", "--depends", "Fax"});
  EXPECT_EQ(2, run.status);
  EXPECT_TRUE(Has(run.err, "--depends: drop-down 0x199E15 has no entry \"Fax\"")) << run.err;
}

TEST_F(UiCommandLine, GroupAddOnADisabledMenuItemExitsOne) {
  const std::string flyer = Copy("flyer.tlvd");  // no stacking groups
  const std::string before = ReadFile(flyer);
  RunResult run = Osl({"group", "add", flyer, "20", "--group", "Contact"});
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(Has(run.err, "(0x199E06) is disabled now")) << run.err;
  EXPECT_TRUE(Has(run.err, "must be a tagged field")) << run.err;
  EXPECT_EQ(before, ReadFile(flyer));
  const std::string card = Copy("business-card.tlvd");
  run = Osl({"group", "add", card, "16"});  // an untagged text frame
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(Has(run.err, "disabled")) << run.err;
}

TEST_F(UiCommandLine, PrefsWritesAndShowsTheSettingsBesideThePlugIn) {
  dir_.Write("libosl_soapns.so", ReadFile(BuiltProgram("libosl_soapns.so")));
  const std::string plugin = dir_.Write("Osl.pln", ReadFile(BuiltProgram("Osl.pln")));
  const std::string settings = dir_.path() + "/Osl.cfg";

  RunResult run = Osl({"--plugin", plugin, "prefs"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("server: \nuser: \npassword: (none)\n", run.out);

  run = Osl({"--plugin", plugin, "prefs", "--server", "http://127.0.0.1:8080", "--user",
             "anne@example.com", "--password", "se cret"});
  EXPECT_EQ(0, run.status) << run.err;
  // A change is confirmed in one line, the password masked.
  EXPECT_EQ(
      "saved: server http://127.0.0.1:8080, user anne@example.com, password ********; check "
      "the connection with `osl prefs --test`\n",
      run.out);
  EXPECT_EQ(
      "//begin config file\n"
      "//UploadURL:http://127.0.0.1:8080/fileUpload.aspx?sessionid=\n"
      "//EndPoint:http://127.0.0.1:8080/services/templateMgr.svc\n"
      "//EndPointDoc:http://127.0.0.1:8080/services/builddoc.asmx\n"
      "Server:http://127.0.0.1:8080\n"
      "user:anne@example.com\n"
      "pass:se cret\n",
      ReadFile(settings));
  struct stat st {};
  ASSERT_EQ(0, stat(settings.c_str(), &st));
  EXPECT_EQ(0600, static_cast<int>(st.st_mode & 0777));

  // One option changes one value; the others stay.
  run = Osl({"--plugin", plugin, "prefs", "--user", "bob"});
  EXPECT_EQ(0, run.status) << run.err;
  run = Osl({"--plugin", plugin, "prefs"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("server: http://127.0.0.1:8080\nuser: bob\npassword: ********\n", run.out);
  EXPECT_FALSE(Has(run.out + run.err, "se cret"));
}

TEST_F(UiCommandLine, DialogPlaysAScriptOnTheDialogAnActionOpens) {
  const std::string doc = Copy("flyer.tlvd");
  RunResult run =
      Osl({"dialog", doc, "0x199E05", "--script", "text 0x199E0F Footer; select 0x199E0D 1; ok"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("StackingGroups:::Footer:::1---|||clientType:::1|||docName:::Spring Sale Flyer|||",
            Label(doc, 0));
  run = Osl({"dialog", doc, "create-group", "--script", "1056:text 0x199E0F a|||b; ok"});
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(Has(run.err, "refused the value of widget 0x199E0F (kOslGroupNameWidgetID)"))
      << run.err;
  run = Osl({"dialog", doc, "0x199E05", "--script", "frobnicate"});
  EXPECT_EQ(2, run.status);
}

TEST_F(UiCommandLine, ItemsNamesEachFieldsControlTypeForItsKindOfFrame) {
  const std::string doc = Copy("flyer.tlvd");
  RunResult run = Osl({"items", doc});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(run.out, "field: BodyCopy, control type 3 on a text frame (Rich text)"))
      << run.out;
  EXPECT_TRUE(
      Has(run.out, "field: StorePhoto, control type 1 on a graphic frame (Advanced image upload)"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "field: QrLink, control type 4 on a text frame (Barcode)")) << run.out;
  // The meaning follows what the panel stores.
  EXPECT_EQ(0, Osl({"tag", doc, "21", "--type", "2"}).status);
  run = Osl({"items", doc});
  EXPECT_TRUE(Has(run.out, "control type 3 on a graphic frame (Non-printable area)")) << run.out;
  // Control characters a document holds are shown escaped.
  const std::string card = Copy("business-card.tlvd");
  std::string text = ReadFile(card);
  const std::string from = "fieldName:::JobTitle";
  text.replace(text.find(from), from.size(), "fieldName:::Job\\u001b[2JTitle");
  dir_.Write("business-card.tlvd", text);
  run = Osl({"items", card});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Has(run.out, "Job\\x1b[2JTitle")) << run.out;
  EXPECT_FALSE(Has(run.out, "\x1b")) << run.out;
}

}  // namespace
}  // namespace osltest
