// Test fixture: a fresh stand-in session with the plug-in's implementations
// (linked into the test) registered and its boss declarations applied from
// the plug-in's real resource file.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/IPlugIn.h"
#include "plugin/OslID.h"
#include "standin/runtime/alerts.h"
#include "standin/runtime/document.h"
#include "standin/runtime/plugin_loader.h"
#include "standin/runtime/selection.h"
#include "standin/runtime/session.h"

extern "C" IPlugIn* GetPlugIn();

namespace osltest {

inline nlohmann::json PluginResources() {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/plugin/resources/osl.json");
  return nlohmann::json::parse(in);
}

class PluginHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& session = standin::Session::Get();
    session.Reset();
    standin::AlertCenter::Get().Reset();
    standin::AlertCenter::Get().SetEcho(false);
    GetPlugIn()->RegisterImplementations(kOslPluginID);
    const nlohmann::json resources = PluginResources();
    for (const auto& boss : resources["bosses"]) {
      for (const auto& entry : boss["interfaces"]) {
        PMIID iid = 0;
        uint32 impl = 0;
        ASSERT_TRUE(standin::ParseInterfaceID(entry["iid"], &iid));
        ASSERT_TRUE(standin::ParseNumericID(entry["impl"], &impl));
        session.DeclareAddIn(boss["class"].get<std::string>(),
                             {iid, static_cast<ImplementationID>(impl)});
      }
    }
  }
  void TearDown() override { standin::Session::Get().Reset(); }

  // Opens a document built from `json` as the front document.
  standin::Document* Open(const nlohmann::json& json, const std::string& path = "/tmp/t.tlvd") {
    std::string error;
    auto doc = standin::Document::FromJson(json, path, &error);
    EXPECT_TRUE(doc) << error;
    return doc ? standin::Session::Get().AddDocument(std::move(doc)) : nullptr;
  }
  standin::SelectionManager& Selection() { return standin::Session::Get().ActiveSelection(); }
  std::vector<standin::AlertRecord> Alerts() { return standin::AlertCenter::Get().TakeLog(); }
};

// A one-page document: text frame 10, graphic frame 11, guide 12, group 13
// holding text frame 14, other item 15.
inline nlohmann::json SampleDocument() {
  return nlohmann::json::parse(R"({
    "format": "tlvd", "version": 1, "label": "",
    "spreads": [{"uid": 2, "pages": [{"uid": 3, "bounds": [0, 0, 200, 100], "items": [
      {"uid": 10, "kind": "text", "bounds": [0, 0, 50, 20], "story": {"text": "Hello"},
       "label": "controlType:::0|||fieldName:::Name|||"},
      {"uid": 11, "kind": "graphic", "bounds": [0, 0, 40, 40], "matrix": [1, 0, 0, 1, 60, 0]},
      {"uid": 12, "kind": "guide", "bounds": [0, 0, 0, 100], "matrix": [1, 0, 0, 1, 5, 0]},
      {"uid": 13, "kind": "group", "bounds": [0, 0, 30, 30], "children": [
        {"uid": 14, "kind": "text", "bounds": [0, 0, 30, 10], "story": {"text": "x"}}]},
      {"uid": 15, "kind": "other", "bounds": [0, 0, 10, 10], "x-custom": {"keep": [1, 2]}}
    ]}]}]})");
}

}  // namespace osltest
