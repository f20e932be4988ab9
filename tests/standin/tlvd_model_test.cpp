// The .tlvd model: what the examples hold survives a round trip unchanged,
// every member is checked with a clear reason, and hostile documents are
// refused (or kept whole) without crashing or losing anything.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "standin/core/file_system.h"
#include "standin/document/document.h"
#include "tests/support/host_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using nlohmann::json;

class TlvdModel : public HostTest {
 protected:
  std::unique_ptr<standin::Document> LoadText(const std::string& text, std::string* error) {
    const std::string path = dir_.Write("doc.tlvd", text);
    return standin::Document::Load(path, host_.Files().Get(), error);
  }
  // A one-page document holding `items`.
  static json WithItems(const json& items, const json& extra = json::object()) {
    json doc = {{"format", "tlvd"},
                {"label", ""},
                {"swatches", json::parse(R"([{"name": "Ink", "model": "process",
                                              "cmyk": [0, 0, 0, 100]}])")},
                {"spreads",
                 {{{"uid", 2},
                   {"pages", {{{"uid", 3}, {"bounds", {0, 0, 100, 100}}, {"items", items}}}}}}}};
    for (auto it = extra.begin(); it != extra.end(); ++it) doc[it.key()] = it.value();
    return doc;
  }
  TempDir dir_;
};
class TlvdRobustness : public TlvdModel {};

TEST_F(TlvdModel, ExamplesRoundTripUnchanged) {
  for (const char* name : {"business-card.tlvd", "flyer.tlvd"}) {
    const std::string original = ReadFile(std::string(OSL_SOURCE_DIR) + "/examples/" + name);
    ASSERT_FALSE(original.empty()) << name;
    std::string error;
    auto doc = LoadText(original, &error);
    ASSERT_TRUE(doc) << error;
    // Every member the example spells out comes back as it was.
    EXPECT_EQ(doc->ToJson(), json::parse(original)) << name;
  }
}

TEST_F(TlvdModel, NewMembersAndUnknownOnesSurviveASave) {
  json doc = WithItems(json::parse(R"([
    {"uid": 10, "kind": "text", "bounds": [0, 0, 50, 20], "x-item": 1, "opacity": 55.5,
     "verticalJustification": "justify", "stroke": {"weight": 1.25, "color": "Ink", "x-stroke": true},
     "story": {"text": "ab", "x-story": [1], "runs": [
       {"length": 1, "font": "F", "style": "S", "size": 7, "color": "Ink", "x-run": "r"},
       {"length": 2, "color": {"model": "spot", "name": "Sp", "cmyk": [1, 2, 3, 4], "x-color": 0},
        "tint": -1, "underline": false, "align": "justify", "hscale": 50, "vscale": 200,
        "tracking": 0.125, "leading": -1}]}},
    {"uid": 11, "kind": "graphic", "bounds": [0, 0, 5, 5], "image": "img/a.jpg", "visible": false}
  ])"),
                       json::parse(R"({"fonts": [{"family": "Lost Sans", "style": "Regular",
                                                  "files": [], "x-font": 2},
                                                 {"family": "Boxed", "style": "Bold",
                                                  "files": ["f/boxed.ttc", "/abs/b.ttf"]}],
                                       "x-root": {"deep": [[["kept"]]]}})"));
  doc["swatches"][0]["x-swatch"] = "s";
  doc["spreads"][0]["x-spread"] = 3;
  doc["spreads"][0]["pasteboard"] =
      json::parse(R"([{"uid": 12, "kind": "other", "bounds": [0, 0, 1, 1], "x-paste": null}])");
  std::string error;
  auto loaded = standin::Document::FromJson(doc, dir_.path() + "/a.tlvd", &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->ToJson(), doc);
  // Saved and read again, the same.
  ASSERT_TRUE(loaded->Save(host_.Files().Get(), &error)) << error;
  auto again = standin::Document::Load(dir_.path() + "/a.tlvd", host_.Files().Get(), &error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(again->ToJson(), doc);
  ASSERT_NE(again->FindFontOverride("lost sans", "REGULAR"), nullptr);
  EXPECT_TRUE(again->FindFontOverride("Lost Sans", "Regular")->files.empty());
  EXPECT_EQ(again->FindItem(12)->page, nullptr);
  EXPECT_EQ(again->FindItem(10)->story->runs[1].leading, -1);
}

TEST_F(TlvdModel, EveryMemberIsCheckedWithAClearReason) {
  struct Case {
    const char* items;  // the page's items
    const char* extra;  // members of the document
    const char* reason;
  } cases[] = {
      {"[]", R"({"swatches": [{"model": "process", "cmyk": [0, 0, 0, 0]}]})", "needs a \"name\""},
      {"[]", R"({"swatches": [{"name": "A", "model": "rgb", "cmyk": [0, 0, 0, 0]}]})",
       "unknown \"model\""},
      {"[]", R"({"swatches": [{"name": "A", "model": "spot", "cmyk": [0, 0, 101, 0]}]})",
       "from 0 to 100"},
      {"[]", R"({"swatches": [{"name": "A", "cmyk": [0, 0, 0]}]})", "\"cmyk\" must be"},
      {"[]",
       R"({"swatches": [{"name": "A", "cmyk": [0, 0, 0, 0]}, {"name": "A", "cmyk": [0, 0, 0, 0]}]})",
       "used twice"},
      {"[]", R"({"fonts": [{"family": "A", "style": "B"}]})", "\"files\" must be an array"},
      {"[]", R"({"fonts": [{"family": "", "style": "B", "files": []}]})", "must not be empty"},
      {"[]", R"({"fonts": [{"family": "A", "style": "B", "files": [3]}]})", "non-empty paths"},
      {"[]",
       R"({"fonts": [{"family": "A", "style": "B", "files": []}, {"family": "a", "style": "b", "files": []}]})",
       "overridden twice"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "ab",
          "runs": [{"length": 1, "color": "Nope"}, {"length": 1}]}}])",
       "{}", "names no swatch (\"Nope\")"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "ab",
          "runs": [{"length": 0}]}}])",
       "{}", "positive integer"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "ab",
          "runs": [{"length": 4}]}}])",
       "{}", "past the end"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "abc",
          "runs": [{"length": 2}]}}])",
       "{}", "cover 2 characters but the text has 3"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "size": "12"}]}}])",
       "{}", "\"size\" must be a finite number"},

      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "tint": -0.5}]}}])",
       "{}", "-1 (none) or from 0 to 100"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "tint": 100.5}]}}])",
       "{}", "out of range"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "align": "middle"}]}}])",
       "{}", "unknown \"align\" \"middle\""},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "underline": "yes"}]}}])",
       "{}", "true or false"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "hscale": 0}]}}])",
       "{}", "\"hscale\" 0 is out of range"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "color": {"model": "spot", "cmyk": [0, 0, 0, 0]}}]}}])",
       "{}", "a spot colour needs a \"name\""},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "story": {"text": "a",
          "runs": [{"length": 1, "color": 7}]}}])",
       "{}", "a swatch name or a colour object"},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "opacity": 101}])", "{}",
       "\"opacity\" 101 is out of range"},
      {R"([{"uid": 4, "kind": "other", "bounds": [0,0,1,1], "stroke": {"weight": -1}}])", "{}",
       "\"weight\" -1 is out of range"},
      {R"([{"uid": 4, "kind": "other", "bounds": [0,0,1,1], "stroke": {"color": "Ink"}}])", "{}",
       "missing \"weight\""},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "image": "a.png"}])", "{}",
       "only a graphic frame holds an \"image\""},
      {R"([{"uid": 4, "kind": "graphic", "bounds": [0,0,1,1], "image": ""}])", "{}",
       "non-empty path"},
      {R"([{"uid": 4, "kind": "graphic", "bounds": [0,0,1,1], "story": {"text": "x"}}])", "{}",
       "only a text frame has a \"story\""},
      {R"([{"uid": 4, "kind": "graphic", "bounds": [0,0,1,1], "verticalJustification": "top"}])",
       "{}", "only a text frame has a \"verticalJustification\""},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "verticalJustification": "middle"}])",
       "{}", "unknown \"verticalJustification\""},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,1,1], "label": 5}])", "{}",
       "\"label\" must be a string"},
      {R"([{"uid": 4, "bounds": [0,0,1,1]}])", "{}", "missing \"kind\""},
      {R"([{"uid": 4, "kind": "text", "bounds": [0,0,2e7,1]}])", "{}", "beyond 1e7 points"},
  };
  for (const auto& c : cases) {
    const json doc = WithItems(json::parse(c.items), json::parse(c.extra));
    std::string error;
    EXPECT_EQ(LoadText(doc.dump(), &error), nullptr) << c.items << c.extra;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  // A number too large for a double is not JSON the host reads.
  std::string overflow = WithItems(json::array()).dump();
  overflow.insert(overflow.rfind('}'), R"(, "x-big": 1e999)");
  std::string error;
  EXPECT_EQ(LoadText(overflow, &error), nullptr);
  EXPECT_NE(error.find("invalid JSON"), std::string::npos) << error;
  json pasteboard = WithItems(json::array());
  pasteboard["spreads"][0]["pasteboard"] = 1;
  EXPECT_EQ(LoadText(pasteboard.dump(), &error), nullptr);
  EXPECT_NE(error.find("\"pasteboard\" must be an array"), std::string::npos) << error;
}

// `levels` groups, each inside the one before, around one text frame.
json NestedGroups(int levels, const std::string& payload = "") {
  json inner = {{"uid", 1000}, {"kind", "text"}, {"bounds", {0, 0, 1, 1}}};
  for (int i = levels; i > 0; --i) {
    json group = {{"uid", 100 + i},
                  {"kind", "group"},
                  {"bounds", {0, 0, 1, 1}},
                  {"matrix", {1, 0, 0, 1, 1, 1}},
                  {"children", json::array({std::move(inner)})}};
    if (!payload.empty()) group["x-payload"] = payload;
    inner = std::move(group);
  }
  return inner;
}

TEST_F(TlvdRobustness, GroupNestingIsBounded) {
  const int limit = standin::Document::kMaxGroupDepth;
  std::string error;
  auto deepest = LoadText(WithItems(json::array({NestedGroups(limit)})).dump(), &error);
  ASSERT_TRUE(deepest) << error;
  // The innermost frame sits one unit further per group.
  EXPECT_EQ(deepest->FindItem(1000)->InnerToSpread().Tx(), limit);
  EXPECT_EQ(deepest->FindItem(1000)->depth, limit);
  EXPECT_EQ(LoadText(WithItems(json::array({NestedGroups(limit + 1)})).dump(), &error), nullptr);
  EXPECT_NE(error.find("groups nested deeper than 64 levels"), std::string::npos) << error;
}

TEST_F(TlvdRobustness, DeepJsonIsRefusedWithoutRunningOutOfStack) {
  // A million levels in an unknown member, read from a file.
  const size_t levels = 1000000;
  std::string text = R"({"format": "tlvd", "spreads": [], "x": )";
  text.append(levels, '[');
  text.append(levels, ']');
  text += "}";
  std::string error;
  EXPECT_EQ(LoadText(text, &error), nullptr);
  EXPECT_NE(error.find("nested deeper than 256 levels"), std::string::npos) << error;
  EXPECT_NE(error.find("doc.tlvd"), std::string::npos) << error;
  // The same built in memory.
  json deep = json::array();
  for (int i = 0; i < 100000; ++i) deep = json::array({std::move(deep)});
  json doc = WithItems(json::array());
  doc["x"] = std::move(deep);
  EXPECT_EQ(standin::Document::FromJson(doc, "/tmp/deep.tlvd", &error), nullptr);
  EXPECT_NE(error.find("nested deeper than 256 levels"), std::string::npos) << error;
  // Nesting up to the limit is kept whole.
  json kept = "leaf";
  for (int i = 0; i < 200; ++i) kept = json::array({std::move(kept)});
  json shallow = WithItems(json::array());
  shallow["x"] = kept;
  auto loaded = LoadText(shallow.dump(), &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->ToJson()["x"], kept);
  EXPECT_EQ(LoadText("{\"format\": \"tlvd\", \"spreads\": [", &error), nullptr);
  EXPECT_NE(error.find("invalid JSON"), std::string::npos) << error;
}

TEST_F(TlvdRobustness, EachObjectKeepsOnlyItsOwnUnknownMembers) {
  // Memory stays linear: no item holds a copy of what lies below it.
  const std::string payload(4096, 'p');
  const json doc = WithItems(json::array({NestedGroups(40, payload)}));
  const std::string text = doc.dump();
  std::string error;
  auto loaded = LoadText(text, &error);
  ASSERT_TRUE(loaded) << error;
  size_t kept = 0;
  for (const standin::PageItem* item : loaded->AllItems()) {
    EXPECT_FALSE(item->extras.contains("children"));
    EXPECT_FALSE(item->extras.contains("uid"));
    kept += item->extras.dump().size();
  }
  EXPECT_LE(kept, text.size());
  EXPECT_EQ(loaded->ToJson(), doc);
}

TEST_F(TlvdRobustness, GeometryThatCannotBeShownIsRefused) {
  std::string error;
  // Each matrix is finite; their product is not.
  json group = NestedGroups(1);
  group["matrix"] = {1e200, 0, 0, 1e-200, 0, 0};
  group["bounds"] = {0, 0, 1e-300, 1};
  group["children"][0]["matrix"] = {1e200, 0, 0, 1e-200, 0, 0};
  EXPECT_EQ(LoadText(WithItems(json::array({group})).dump(), &error), nullptr);
  EXPECT_NE(error.find("cannot be shown"), std::string::npos) << error;
  EXPECT_NE(error.find("item 1000"), std::string::npos) << error;
  // Finite entries whose determinant overflows cannot be inverted.
  json item = {{"uid", 4},
               {"kind", "text"},
               {"bounds", {0, 0, 1, 1}},
               {"matrix", {1e300, 0, 0, 1e300, 0, 0}}};
  EXPECT_EQ(LoadText(WithItems(json::array({item})).dump(), &error), nullptr);
  EXPECT_NE(error.find("cannot be inverted"), std::string::npos) << error;
  // A translation that puts the item beyond every page.
  item["matrix"] = {1, 0, 0, 1, 5e9, 0};
  EXPECT_EQ(LoadText(WithItems(json::array({item})).dump(), &error), nullptr);
  EXPECT_NE(error.find("cannot be shown"), std::string::npos) << error;
}

TEST_F(TlvdRobustness, ALabelWithANulCharacterIsKeptWhole) {
  json item = {{"uid", 4},
               {"kind", "text"},
               {"bounds", {0, 0, 1, 1}},
               {"label", std::string("fieldName:::a\0b|||", 18)}};
  json doc = WithItems(json::array({item}));
  doc["label"] = std::string("doc\0Name", 8);
  std::string error;
  auto loaded = LoadText(doc.dump(), &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->FindItem(4)->label.Text(), std::u16string(u"fieldName:::a\0b|||", 18));
  EXPECT_EQ(loaded->Label().CharCount(), 8);
  ASSERT_TRUE(loaded->Save(host_.Files().Get(), &error)) << error;
  const std::string saved = ReadFile(dir_.path() + "/doc.tlvd");
  EXPECT_NE(saved.find("a\\u0000b"), std::string::npos);
  auto again = standin::Document::Load(dir_.path() + "/doc.tlvd", host_.Files().Get(), &error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(again->FindItem(4)->label, loaded->FindItem(4)->label);
  EXPECT_EQ(again->Label(), loaded->Label());
}

}  // namespace
}  // namespace osltest
