// The plug-in's resources as the user interface needs them: a text for
// every display key, the key filter bound to the field-name box, and the
// add-field item enabled by the plug-in.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "model/control_types.h"
#include "tests/support/plugin_host.h"

namespace osltest {
namespace {

using nlohmann::json;

json Views() {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/plugin/resources/views.json");
  return json::parse(in);
}

// Every string-table key a view shows.
void CollectKeys(const json& node, std::set<std::string>* keys) {
  for (const char* member : {"title", "caption", "text"}) {
    if (node.contains(member) && node[member].is_string()) {
      const std::string text = node[member].get<std::string>();
      if (text.rfind("0x199e00k", 0) == 0) keys->insert(text);
    }
  }
  if (node.contains("entries")) {
    for (const auto& entry : node["entries"]) keys->insert(entry.get<std::string>());
  }
  if (node.contains("widgets")) {
    for (const auto& child : node["widgets"]) CollectKeys(child, keys);
  }
}

TEST(UiResources, EveryDisplayKeyHasAnEnglishText) {
  const json strings = PluginResources().at("strings");
  std::set<std::string> keys = {"0x199e00kNoneKey", "0x199e00kVoidTemplateKey"};
  const json views = Views();
  for (const auto& view : views.at("views")) CollectKeys(view, &keys);
  for (auto kind : {controltypes::FrameKind::kText, controltypes::FrameKind::kGraphic}) {
    for (int32 code = 0; code < 5; ++code) {
      if (const char* key = controltypes::DisplayKeyOfCode(kind, code)) keys.insert(key);
    }
  }
  EXPECT_GE(keys.size(), 30u);
  for (const std::string& key : keys) {
    ASSERT_TRUE(strings.contains(key)) << key;
    const std::string text = strings[key].get<std::string>();
    EXPECT_FALSE(text.empty()) << key;
    EXPECT_EQ(std::string::npos, text.find("0x199e00k")) << key;
  }
}

// The entries of drop-down `id` in the views, as the texts a person reads.
std::vector<std::string> Captions(const json& views, const std::string& id) {
  const json strings = PluginResources().at("strings");
  std::vector<std::string> captions;
  const std::function<void(const json&)> find = [&](const json& node) {
    if (node.value("id", "") == id && node.contains("entries")) {
      for (const auto& key : node["entries"]) captions.push_back(strings.value(key, "?"));
    }
    if (node.contains("widgets")) {
      for (const auto& child : node["widgets"]) find(child);
    }
  };
  for (const auto& view : views.at("views")) find(view);
  return captions;
}

// What each list position means is fixed (0 = move up, client type 1 =
// barcodes as text boxes, control-type positions by code): a swap of two
// entries or of two texts in the resources shows a person the wrong choice.
TEST(UiResources, EachListPositionShowsItsOwnCaption) {
  const json views = Views();
  EXPECT_EQ((std::vector<std::string>{"Move up", "Move down"}), Captions(views, "0x199E0D"));
  EXPECT_EQ((std::vector<std::string>{"Standard", "Web client (barcodes as text boxes)", "Other"}),
            Captions(views, "0x199E09"));
  const json strings = PluginResources().at("strings");
  auto texts = [&strings](controltypes::FrameKind kind) {
    std::vector<std::string> shown;
    for (int32 p = 0; p < controltypes::ListLength(kind); ++p) {
      shown.push_back(strings.value(controltypes::ListKey(kind, p), "?"));
    }
    return shown;
  };
  EXPECT_EQ((std::vector<std::string>{"Text box", "Text area", "Rich text", "Barcode"}),
            texts(controltypes::FrameKind::kText));
  EXPECT_EQ((std::vector<std::string>{"Standard image upload", "Advanced image upload",
                                      "Non-printable area"}),
            texts(controltypes::FrameKind::kGraphic));
}

TEST(UiResources, TheFieldNameBoxUsesTheKeyFilterAndTheAddFieldItemIsCustomEnabled) {
  const json resources = PluginResources();
  bool filterBound = false;
  for (const auto& boss : resources.at("bosses")) {
    if (boss.at("class") != "kOslEditBoxBoss") continue;
    for (const auto& entry : boss.at("interfaces")) {
      filterBound |= entry.at("iid") == "IEventHandler" && entry.at("impl") == "0x199E10";
    }
  }
  EXPECT_TRUE(filterBound);
  std::string boxBoss;
  const std::function<void(const json&)> find = [&](const json& node) {
    if (node.value("id", "") == "0x199E05" && node.contains("boss")) boxBoss = node["boss"];
    if (node.contains("widgets")) {
      for (const auto& child : node["widgets"]) find(child);
    }
  };
  const json views = Views();
  for (const auto& view : views.at("views")) {
    if (view.at("rsrc") == 350) find(view);
  }
  EXPECT_EQ("kOslEditBoxBoss", boxBoss);
  bool customEnabled = false;
  for (const auto& action : resources.at("actions")) {
    if (action.at("id") == "0x199E06") customEnabled = action.value("customEnable", false);
  }
  EXPECT_TRUE(customEnabled);
}

}  // namespace
}  // namespace osltest
