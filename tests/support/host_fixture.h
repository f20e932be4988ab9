// Test fixture: a fresh stand-in host per test (made in the fixture, gone
// with it), alerts and dialog reports kept quiet in logs the test reads.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/CPMUnknown.h"
#include "standin/app/host.h"

namespace osltest {

class HostTest : public ::testing::Test {
 protected:
  HostTest() {
    host_.AlertLog().SetEcho(false);
    host_.Dialogs().SetEcho(false);
  }

  // Registers implementation class Impl under `id` (once) for `plugin` and
  // declares it on boss class `bossClass` for interface `iid`.
  template <class Impl>
  void AddIn(const std::string& bossClass, PMIID iid, ImplementationID id,
             PluginID plugin = 0x7E0000) {
    auto& objects = host_.Objects();
    if (!objects.Find(id)) {
      ASSERT_EQ(kSuccess, objects.Register({plugin, id, &CreateImplementation<Impl>,
                                            &DestroyImplementation<Impl>,
                                            &ImplementationSize<Impl>}));
    }
    objects.DeclareAddIn(bossClass, {iid, id}, plugin);
  }

  // Opens a document built from `json` as the front document.
  standin::Document* Open(const nlohmann::json& json, const std::string& path = "/tmp/t.tlvd") {
    std::string error;
    auto doc = standin::Document::FromJson(json, path, &error);
    EXPECT_TRUE(doc) << error;
    return doc ? host_.GetSession().AddDocument(std::move(doc)) : nullptr;
  }
  standin::SelectionManager& Selection() { return host_.GetSession().ActiveSelection(); }
  // The alerts shown since the last call.
  std::vector<standin::AlertRecord> Alerts() { return host_.AlertLog().TakeLog(); }
  std::vector<std::string> DialogLog() { return host_.Dialogs().TakeLog(); }

  standin::Host host_;
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
