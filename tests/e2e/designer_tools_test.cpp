// The designer tools end to end: `osl check` (the lint) on documents made
// for each rule and on the samples, `osl preview` checked as a picture,
// `osl publish --dry-run` against a fresh osl-service compared with what a
// real publish then stores, `osl prefs --test`, several documents in one
// publish, and the JSON output.
#include <cairo.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/documents.h"
#include "tests/e2e/e2e_support.h"

namespace osltest {
namespace {

using nlohmann::json;

constexpr char kNamed[] = "docName:::Lint Test|||";

json Parse(const RunResult& run) { return ParseJsonOutput(run); }

// A group at (x, y) holding `children` (positions relative to the group).
json Group(unsigned uid, double x, double y, double w, double h, const json& children,
           const std::string& label = "") {
  json item = {{"uid", uid},
               {"kind", "group"},
               {"bounds", {0, 0, w, h}},
               {"matrix", {1, 0, 0, 1, x, y}},
               {"children", children}};
  if (!label.empty()) item["label"] = label;
  return item;
}

class DesignerTools : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& serviceArgs = {}) {
    std::string error;
    ASSERT_TRUE(world_.Start(serviceArgs, &error)) << error;
  }

  // `osl check --json` on `document`; the parsed output.
  json Check(const std::string& name, const json& document, RunResult* run = nullptr) {
    const std::string path = world_.WriteDocument(name, document);
    RunResult result = world_.Osl({"check", path, "--json"});
    if (run) *run = result;
    return Parse(result);
  }

  static std::vector<json> Findings(const json& report, const std::string& code) {
    std::vector<json> found;
    if (!report.contains("findings")) return found;
    for (const json& finding : report["findings"]) {
      if (finding.value("code", "") == code) found.push_back(finding);
    }
    return found;
  }

  // Every file under `dir` with its bytes.
  static std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    std::vector<std::string> pending{dir};
    while (!pending.empty()) {
      const std::string folder = pending.back();
      pending.pop_back();
      DIR* d = opendir(folder.c_str());
      if (!d) continue;
      while (dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
          pending.push_back(path);
        } else {
          files[path] = ReadFile(path);
        }
      }
      closedir(d);
    }
    return files;
  }

  RunResult Show(const std::string& id) {
    return RunProcess({BuiltProgram("osl-service"), "show", "--data", world_.dataDir(), id});
  }

  PublishWorld world_;
};

// ---- the lint -----------------------------------------------------------------------------

struct RuleCase {
  const char* code;
  json document;
  unsigned uid;  // the item the finding names (0: the document)
  const char* severity;
};

json Transformed(json item, const std::vector<double>& matrix);

std::vector<RuleCase> RuleCases() {
  const std::string groups = "StackingGroups:::Contact:::1---|||";
  json noColour = TextFrame(10, 10, 10, 100, 20, "x", FieldTag("Plain"));
  noColour["story"]["runs"][0].erase("color");
  json protectedFont = OnePage(kNamed, TextFrame(10, 10, 10, 100, 20, "x", FieldTag("Secret"),
                                                 "Locked Sans", "Regular"));
  protectedFont["fonts"] = json::array(
      {{{"family", "Locked Sans"}, {"style", "Regular"}, {"files", json::array()}}});
  json collection = OnePage(kNamed, TextFrame(10, 10, 10, 100, 20, "x", FieldTag("Many"),
                                              "Bundle Sans", "Regular"));
  collection["fonts"] = json::array(
      {{{"family", "Bundle Sans"}, {"style", "Regular"}, {"files", {"fonts/Bundle.TTC"}}}});
  json hidden = TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Hidden"));
  hidden["visible"] = false;
  // "Plain " then "Bold" in bold: one story, two styles.
  json twoStyles = TextFrame(10, 10, 10, 200, 20, "Plain Bold", FieldTag("Mixed"));
  twoStyles["story"]["runs"][0]["length"] = 6;
  twoStyles["story"]["runs"].push_back(twoStyles["story"]["runs"][0]);
  twoStyles["story"]["runs"][1]["length"] = 4;
  twoStyles["story"]["runs"][1]["style"] = "Bold";
  json stroked = TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Boxed"));
  stroked["stroke"] = {{"weight", 1}, {"color", "Black"}};
  json justified = TextFrame(10, 10, 10, 100, 20, "a b", FieldTag("Block"));
  justified["story"]["runs"][0]["align"] = "justify";
  json crowded = json::array();
  for (unsigned i = 0; i < 101; ++i) {
    crowded.push_back(TextFrame(100 + i, 2 + (i % 12) * 24.0, 2 + (i / 12) * 21.0, 20, 18, "x",
                                FieldTag("F" + std::string(1, char('a' + i % 26)) +
                                         std::string(1, char('a' + i / 26)))));
  }
  return {
      {"OSL001",
       OnePage(kNamed, {TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Same")),
                        TextFrame(11, 10, 40, 100, 20, "b", FieldTag("Same"))}),
       11, "error"},
      {"OSL002",
       OnePage(kNamed, {TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Name")),
                        TextFrame(11, 10, 40, 100, 20, "b", FieldTag("name"))}),
       11, "warning"},
      {"OSL003",
       OnePage(kNamed, Group(20, 10, 10, 200, 60,
                             json::array({TextFrame(21, 0, 0, 100, 20, "in", FieldTag("Inner")),
                                          TextFrame(22, 0, 30, 100, 20, "plain")}))),
       21, "error"},
      {"OSL004",
       OnePage(kNamed, Group(20, 10, 10, 200, 60,
                             json::array({TextFrame(21, 0, 0, 100, 20, "in", FieldTag("Inner")),
                                          TextFrame(22, 0, 30, 100, 20, "plain")}),
                             FieldTag("Whole"))),
       21, "warning"},
      {"OSL005",
       OnePage(kNamed, TextFrame(10, 10, 10, 100, 20, "a",
                                 FieldTag("Phone", "0", "MemberofGroup:::Nowhere|||"))),
       10, "error"},
      {"OSL006",
       OnePage(std::string(kNamed) + groups,
               {TextFrame(10, 10, 10, 100, 20, "a",
                          FieldTag("Phone", "0", "Dependson:::Ghost|||MemberofGroup:::Contact|||")),
                TextFrame(11, 10, 40, 100, 20, "b",
                          FieldTag("Mail", "0", "Dependson:::Mail|||MemberofGroup:::Contact|||"))}),
       10, "error"},
      {"OSL007",
       OnePage(std::string(kNamed) + "StackingGroups:::Empty:::0---|||",
               TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Alone"))),
       0, "warning"},
      {"OSL008", OnePage(kNamed, TextFrame(10, 250, 10, 100, 20, "a", FieldTag("Edge"))), 10,
       "warning"},
      {"OSL009",
       OnePage(kNamed, {TextFrame(10, 10, 10, 100, 30, "a", FieldTag("Under")),
                        TextFrame(11, 60, 20, 100, 30, "b", FieldTag("Over"))}),
       11, "warning"},
      {"OSL010", OnePage(kNamed, crowded), 200, "warning"},
      {"OSL011",
       OnePage(kNamed,
               GraphicFrame(10, 10, 10, 100, 50, FieldTag("Photo"), "images/not-there.png")),
       10, "error"},
      {"OSL012",
       OnePage(kNamed, TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Odd"), "No Such Family 42",
                                 "Regular")),
       10, "warning"},
      {"OSL013", protectedFont, 10, "warning"},
      {"OSL014", collection, 10, "warning"},
      {"OSL015", OnePage(kNamed, noColour), 10, "warning"},
      {"OSL016",
       OnePage(kNamed,
               TextFrame(10, 10, 10, 40, 14, "This sample text is far too long for its tiny frame.",
                         FieldTag("Long"))),
       10, "warning"},
      {"OSL017", OnePage("", TextFrame(10, 10, 10, 100, 20, "a", FieldTag("A"))), 0, "warning"},
      {"OSL018",
       OnePage("docName:::--- !!! ---|||", TextFrame(10, 10, 10, 100, 20, "a", FieldTag("A"))), 0,
       "error"},
      {"OSL019",
       OnePage(std::string(kNamed) + "clientType:::1|||",
               TextFrame(10, 10, 10, 100, 20, "https://example.org", FieldTag("Code", "4"))),
       10, "warning"},
      {"OSL020",
       OnePage(kNamed, Transformed(TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Flip")),
                                   {-1, 0, 0, 1, 120, 10})),
       10, "warning"},
      {"OSL021",
       OnePage(kNamed, Transformed(TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Lean")),
                                   {1, 0, 0.3, 1, 10, 10})),
       10, "warning"},
      {"OSL022", OnePage(kNamed, hidden), 10, "warning"},
      {"OSL023", OnePage(kNamed, twoStyles), 10, "warning"},
      {"OSL024",
       OnePage(kNamed, {TextFrame(10, 10, 10, 100, 20, "a", FieldTag("Covered")),
                        TextFrame(11, 50, 15, 100, 20, "on top")}),
       10, "warning"},
      {"OSL025", OnePage(kNamed, stroked), 10, "warning"},
      {"OSL026",
       OnePage(kNamed, Group(20, 10, 10, 200, 60,
                             json::array({TextFrame(21, 0, 0, 100, 20, "12 Market Street")}),
                             FieldTag("Address"))),
       20, "warning"},
      {"OSL027", OnePage(kNamed, justified), 10, "warning"},
  };
}

// The item with its matrix replaced by `matrix` (a b c d tx ty).
json Transformed(json item, const std::vector<double>& matrix) {
  item["matrix"] = matrix;
  return item;
}

TEST_F(DesignerTools, EveryLintRuleFiresOnADocumentMadeForIt) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::vector<RuleCase> cases = RuleCases();
  std::set<std::string> codes;
  for (const RuleCase& rule : cases) {
    SCOPED_TRACE(rule.code);
    codes.insert(rule.code);
    RunResult run;
    const json report = Check(std::string(rule.code) + ".tlvd", rule.document, &run);
    const std::vector<json> found = Findings(report, rule.code);
    ASSERT_FALSE(found.empty()) << run.out << run.err;
    const json& finding = found.front();
    EXPECT_EQ(rule.severity, finding.value("severity", ""));
    EXPECT_EQ(rule.uid, finding.value("uid", 12345u));
    EXPECT_EQ(rule.uid == 0 ? 0 : 1, finding.value("page", -1));
    EXPECT_FALSE(finding.value("message", "").empty());
    EXPECT_FALSE(finding.value("fix", "").empty());
    EXPECT_FALSE(finding.value("rule", "").empty());
    // Exit 1 exactly when there is an error.
    EXPECT_EQ(report.value("errors", 0) > 0 ? 1 : 0, run.status) << run.err;
    EXPECT_EQ(run.status, report.value("exit", -1));
  }
  EXPECT_EQ(27u, codes.size());
}

TEST_F(DesignerTools, TheLintsFindingsNameTheRightItemsAndNothingMore) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // Three uses of one name: two findings, at the second and third use;
  // the third item only differs in letter case from another name.
  json report = Check("names.tlvd",
                      OnePage(kNamed, {TextFrame(10, 10, 10, 80, 20, "a", FieldTag("Same")),
                                       TextFrame(11, 10, 40, 80, 20, "b", FieldTag("Same")),
                                       TextFrame(12, 10, 70, 80, 20, "c", FieldTag("Same")),
                                       TextFrame(13, 10, 100, 80, 20, "d", FieldTag("SAME"))}));
  const auto duplicates = Findings(report, "OSL001");
  ASSERT_EQ(2u, duplicates.size());
  EXPECT_EQ(11u, duplicates[0]["uid"]);
  EXPECT_EQ(12u, duplicates[1]["uid"]);
  const auto cases = Findings(report, "OSL002");
  ASSERT_EQ(1u, cases.size());
  EXPECT_EQ(13u, cases[0]["uid"]);
  // Frames that only touch do not overlap; a group's untagged members are
  // no findings; a field depending on another of its group is fine.
  report = Check("clean.tlvd",
                 OnePage(std::string(kNamed) + "StackingGroups:::Contact:::1---|||",
                         {TextFrame(10, 10, 10, 100, 20, "a",
                                    FieldTag("Phone", "0", "MemberofGroup:::Contact|||")),
                          TextFrame(11, 110, 10, 100, 20, "b",
                                    FieldTag("Mail", "0",
                                             "Dependson:::Phone|||MemberofGroup:::Contact|||")),
                          Group(20, 10, 100, 200, 60,
                                json::array({TextFrame(21, 0, 0, 100, 20, "plain")}))}));
  EXPECT_EQ(0u, report["findings"].size()) << report.dump(2);
  EXPECT_EQ(0, report["exit"]);
}

TEST_F(DesignerTools, WhatFilledDocumentsLoseIsFoundOnTheSamplesAndNothingElse) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::set<std::string> fidelity = {"OSL022", "OSL023", "OSL024",
                                          "OSL025", "OSL026", "OSL027"};
  auto found = [&](const json& report) {
    std::set<std::pair<std::string, unsigned>> out;
    for (const json& finding : report["findings"]) {
      const std::string code = finding.value("code", "");
      if (fidelity.count(code)) out.insert(std::make_pair(code, finding.value("uid", 0u)));
    }
    return out;
  };
  // The business card is clean (its underlined e-mail is a field record's underline). The flyer:
  // the offer text (22) turns bold and green midway; the store address (30) is a group of text
  // frames tagged as one field.
  const std::set<std::pair<std::string, unsigned>> card = {};
  const std::set<std::pair<std::string, unsigned>> flyer = {{"OSL023", 22}, {"OSL026", 30}};
  EXPECT_EQ(card, found(Check("card.tlvd", ReadDocument(world_.CopyExample("business-card.tlvd")))));
  EXPECT_EQ(flyer, found(Check("flyer.tlvd", ReadDocument(world_.CopyExample("flyer.tlvd")))));
  // Not findings: an item behind a field, a hidden item above one, a stroke on an image field,
  // two runs of one style, a group of frames that is no field, a justified untagged frame, an
  // underlined field (the record carries the underline).
  json behind = TextFrame(11, 10, 10, 100, 20, "behind");
  json field = TextFrame(12, 10, 10, 100, 20, "Same Same", FieldTag("Field"));
  field["story"]["runs"][0]["length"] = 5;
  field["story"]["runs"].push_back(field["story"]["runs"][0]);
  field["story"]["runs"][1]["length"] = 4;
  json ghost = TextFrame(13, 20, 15, 100, 20, "hidden above");
  ghost["visible"] = false;
  json photo = GraphicFrame(14, 10, 100, 100, 50, FieldTag("Photo"));
  photo["stroke"] = {{"weight", 2}, {"color", "Black"}};
  json justified = TextFrame(16, 150, 100, 100, 20, "justified");
  justified["story"]["runs"][0]["align"] = "justify";
  json lined = TextFrame(18, 150, 150, 100, 20, "lined", FieldTag("Lined"));
  lined["story"]["runs"][0]["underline"] = true;
  json clean = OnePage(kNamed, {behind, field, ghost, photo, lined,
                                Group(15, 10, 200, 200, 40,
                                      json::array({TextFrame(17, 0, 0, 100, 20, "plain")})),
                                justified});
  EXPECT_EQ((std::set<std::pair<std::string, unsigned>>{}), found(Check("clean.tlvd", clean)));
}

// The geometry rules at their edges: rotated frames overlap by their drawn shapes (their
// upright boxes overlap in both cases), a rotation alone is neither mirrored nor skewed, and a
// page of exactly 100 fields is within the limit.
TEST_F(DesignerTools, TheGeometryRulesFireOnlyWhereTheDrawnShapesSaySo) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const double k = std::sqrt(0.5);  // cos and sin of 45 degrees
  // Two parallel bars turned by 45 degrees, `gap` points apart across their length.
  auto bars = [k](double gap) {
    return json::array(
        {Transformed(TextFrame(10, 0, 0, 100, 10, "a", FieldTag("Under")), {k, k, -k, k, 100, 20}),
         Transformed(TextFrame(11, 0, 0, 100, 10, "b", FieldTag("Over")),
                     {k, k, -k, k, 100 - gap * k, 20 + gap * k})});
  };
  auto crowded = [](unsigned count) {
    json items = json::array();
    for (unsigned i = 0; i < count; ++i) {
      items.push_back(TextFrame(100 + i, 2 + (i % 12) * 24.0, 2 + (i / 12) * 21.0, 20, 18, "x",
                                FieldTag("F" + std::to_string(i))));
    }
    return items;
  };
  struct Case {
    const char* what;
    json items;
    const char* code;
    size_t findings;
  };
  const std::vector<Case> cases = {
      {"bars apart", bars(30), "OSL009", 0},
      {"bars touching over their length", bars(5), "OSL009", 1},
      {"turned by 90 degrees",
       Transformed(TextFrame(10, 0, 0, 100, 20, "a", FieldTag("Turned")), {0, 1, -1, 0, 100, 20}),
       "OSL020", 0},
      {"turned by 180 degrees",
       Transformed(TextFrame(10, 0, 0, 100, 20, "a", FieldTag("Turned")), {-1, 0, 0, -1, 150, 60}),
       "OSL020", 0},
      {"turned by 45 degrees",
       Transformed(TextFrame(10, 0, 0, 100, 20, "a", FieldTag("Turned")), {k, k, -k, k, 100, 20}),
       "OSL021", 0},
      {"flipped vertically",
       Transformed(TextFrame(10, 0, 0, 100, 20, "a", FieldTag("Flip")), {1, 0, 0, -1, 100, 60}),
       "OSL020", 1},
      {"100 fields", crowded(100), "OSL010", 0},
      {"101 fields", crowded(101), "OSL010", 1},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    RunResult run;
    const json report = Check("geometry.tlvd", OnePage(kNamed, test.items), &run);
    EXPECT_EQ(test.findings, Findings(report, test.code).size()) << run.out;
  }
}

TEST_F(DesignerTools, CheckNeverChangesTheDocumentAndStrictFailsOnWarnings) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // Only warnings (overlap, barcode in a client type without barcodes).
  const std::string path = world_.WriteDocument(
      "warn.tlvd", OnePage(std::string(kNamed) + "clientType:::1|||",
                           {TextFrame(10, 10, 10, 100, 30, "a", FieldTag("Under", "4")),
                            TextFrame(11, 60, 20, 100, 30, "b", FieldTag("Over"))}));
  const std::string before = ReadFile(path);
  RunResult run = world_.Osl({"check", path});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("warning OSL009 uid 11 page 1 field \"Over\""))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find("0 errors, 2 warnings")) << run.out;
  run = world_.Osl({"check", path, "--strict"});
  EXPECT_EQ(1, run.status) << run.out;
  run = world_.Osl({"check", "--strict", "--json", path});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(1, Parse(run)["exit"]);
  // The barcode rule is only reported: the tag keeps its barcode type.
  EXPECT_EQ(before, ReadFile(path));
  // A document that cannot be read is a usage error.
  run = world_.Osl({"check", world_.dataDir() + "/missing.tlvd"});
  EXPECT_EQ(2, run.status);
}

TEST_F(DesignerTools, TheSamplesGiveNoError) {
  ASSERT_NO_FATAL_FAILURE(Start());
  for (const char* sample : {"business-card.tlvd", "flyer.tlvd"}) {
    SCOPED_TRACE(sample);
    const std::string path = world_.CopyExample(sample);
    const std::string before = ReadFile(path);
    const RunResult run = world_.Osl({"check", path, "--json"});
    const json report = Parse(run);
    EXPECT_EQ(0, run.status) << run.out << run.err;
    EXPECT_EQ(0, report.value("errors", -1)) << report.dump(2);
    EXPECT_EQ(before, ReadFile(path));
  }
}

// ---- the preview ----------------------------------------------------------------------------

struct Picture {
  cairo_surface_t* surface = nullptr;
  ~Picture() {
    if (surface) cairo_surface_destroy(surface);
  }
  bool Load(const std::string& path) {
    surface = cairo_image_surface_create_from_png(path.c_str());
    return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  }
  int Width() const { return cairo_image_surface_get_width(surface); }
  int Height() const { return cairo_image_surface_get_height(surface); }
  uint32_t Rgb(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0xFFFFFFFF;
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
  }
  // True when a pixel within `reach` of (x, y) is close to `rgb`.
  bool Near(int x, int y, uint32_t rgb, int reach = 1) const {
    for (int dy = -reach; dy <= reach; ++dy) {
      for (int dx = -reach; dx <= reach; ++dx) {
        const uint32_t p = Rgb(x + dx, y + dy);
        if (p == 0xFFFFFFFF) continue;
        int distance = 0;
        for (int shift : {0, 8, 16})
          distance += std::abs(int((p >> shift) & 0xFF) - int((rgb >> shift) & 0xFF));
        if (distance < 120) return true;
      }
    }
    return false;
  }
};

constexpr uint32_t kFieldBlue = 0x1F6FEB;
constexpr uint32_t kGroupGreen = 0x2DA44E;
constexpr uint32_t kErrorRed = 0xD1242F;

TEST_F(DesignerTools, ThePreviewOutlinesEveryFieldWhereItsBoundsLie) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string path = world_.WriteDocument(
      "preview.tlvd",
      OnePage(std::string(kNamed) + "StackingGroups:::Contact:::1---|||",
              {TextFrame(10, 40, 30, 100, 50, "Sample", FieldTag("Title")),
               TextFrame(11, 160, 120, 80, 40, "x",
                         FieldTag("Phone", "0", "MemberofGroup:::Contact|||")),
               TextFrame(12, 20, 150, 60, 30, "y", FieldTag("Twice")),
               TextFrame(13, 200, 20, 60, 30, "z", FieldTag("Twice"))}));
  const std::string before = ReadFile(path);
  for (int dpi : {72, 144}) {
    SCOPED_TRACE(dpi);
    const double s = dpi / 72.0;
    const std::string out = world_.dataDir() + "/preview-" + std::to_string(dpi) + ".png";
    const RunResult run = world_.Osl({"preview", path, out, "--dpi", std::to_string(dpi)});
    ASSERT_EQ(0, run.status) << run.err << run.out;
    EXPECT_NE(std::string::npos, run.out.find("4 fields outlined, 1 item marked")) << run.out;
    Picture picture;
    ASSERT_TRUE(picture.Load(out));
    EXPECT_EQ(int(300 * s), picture.Width());
    EXPECT_EQ(int(200 * s), picture.Height());
    // Title: left edge at x = 40 pt, right at 140 pt, from y = 30 to 80 pt.
    const int midY = int(55 * s);
    EXPECT_TRUE(picture.Near(int(40 * s), midY, kFieldBlue));
    EXPECT_TRUE(picture.Near(int(140 * s), midY, kFieldBlue));
    EXPECT_TRUE(picture.Near(int(90 * s), int(80 * s), kFieldBlue));
    EXPECT_FALSE(picture.Near(int(60 * s), midY, kFieldBlue, 0));
    EXPECT_FALSE(picture.Near(int(30 * s), midY, kFieldBlue, 2));
    EXPECT_FALSE(picture.Near(int(150 * s), midY, kFieldBlue, 2));
    // The group's member in the group's colour.
    EXPECT_TRUE(picture.Near(int(160 * s), int(140 * s), kGroupGreen));
    EXPECT_TRUE(picture.Near(int(240 * s), int(140 * s), kGroupGreen));
    EXPECT_FALSE(picture.Near(int(160 * s), int(140 * s), kFieldBlue, 0));
    // The second "Twice" has an error: a red marker just outside its box.
    EXPECT_TRUE(picture.Near(int(200 * s) - 3, int(35 * s), kErrorRed, 2));
    EXPECT_FALSE(picture.Near(int(20 * s) - 3, int(165 * s), kErrorRed, 2));
  }
  EXPECT_EQ(before, ReadFile(path));
  // A page the document lacks is a usage error, and nothing is written.
  const RunResult run =
      world_.Osl({"preview", path, world_.dataDir() + "/none.png", "--page", "2"});
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("", ReadFile(world_.dataDir() + "/none.png"));
}

TEST_F(DesignerTools, PreviewsOfTheSamplesAreWrittenUnderTheBuildFolder) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string folder = std::string(OSL_BUILD_DIR) + "/previews";
  mkdir(folder.c_str(), 0755);
  const std::map<std::string, int> samples = {{"business-card", 1}, {"flyer", 2}};
  for (const auto& [sample, pages] : samples) {
    const std::string path = world_.CopyExample(sample + ".tlvd");
    for (int page = 1; page <= pages; ++page) {
      SCOPED_TRACE(sample + " page " + std::to_string(page));
      const std::string out = folder + "/" + sample + "-page" + std::to_string(page) + ".png";
      // The plug-in's own texts, not their keys: these pictures are for people.
      const RunResult run = world_.Osl(
          {"preview", path, out, "--page", std::to_string(page), "--dpi", "110"}, {"OSL_LOCALE="});
      EXPECT_EQ(0, run.status) << run.err << run.out;
      Picture picture;
      ASSERT_TRUE(picture.Load(out));
      EXPECT_GT(picture.Width(), 100);
    }
  }
}

// ---- the connection check ---------------------------------------------------------------------

TEST_F(DesignerTools, PrefsTestSaysInOneLineWhatIsWrong) {
  ASSERT_NO_FATAL_FAILURE(Start());
  RunResult run = world_.Osl({"prefs", "--test"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("ok: signed in to")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("has 0 templates")) << run.out;
  run = world_.Osl({"prefs", "--test", "--json"});
  json report = Parse(run);
  EXPECT_EQ(1, report["schema"]);
  EXPECT_EQ(true, report["ok"]);
  EXPECT_EQ(0, report["templates"]);

  const std::string settings = world_.pluginDir() + "/Osl.cfg";
  const std::string good = ReadFile(settings);
  {
    std::ofstream out(settings, std::ios::trunc);
    out << "server:" << world_.service().baseUrl() << "\nuser:" << kE2eUser << "\npass:wrong\n";
  }
  run = world_.Osl({"prefs", "--test", "--json"});
  EXPECT_EQ(1, run.status);
  report = Parse(run);
  EXPECT_EQ("credentials", report["problem"]) << run.out;
  run = world_.Osl({"prefs", "--test"});
  EXPECT_EQ(1, CountLines(run.out, "failed: the service refused the user name or password"))
      << run.out;

  world_.service().Stop();
  {
    std::ofstream out(settings, std::ios::trunc);
    out << good;
  }
  run = world_.Osl({"prefs", "--test", "--json"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("no-service", Parse(run)["problem"]) << run.out;
}

TEST_F(DesignerTools, PrefsTestNamesAnHttpErrorOfTheService) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "getLibraryTemplates:http-503"}));
  const RunResult run = world_.Osl({"prefs", "--test", "--json"});
  EXPECT_EQ(1, run.status) << run.err;
  const json report = Parse(run);
  EXPECT_EQ("http", report["problem"]) << run.out;
  EXPECT_NE(std::string::npos, report["message"].get<std::string>().find("503")) << run.out;
}

}  // namespace
}  // namespace osltest
