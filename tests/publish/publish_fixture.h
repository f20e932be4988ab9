// Fixture of the publishing tests: the stand-in host with the plug-in's
// implementations, boss declarations and views (no string tables, so every
// translated text reads as its key), a document opened as
// the front document, and the plug-in's menu actions run through its action
// component as the host's menu runs them.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/CActionComponent.h"
#include "host/InterfacePtr.h"
#include "plugin_base/osl_id.h"
#include "service_client/plugin_data.h"
#include "standin/ui/dialog_script.h"
#include "tests/support/plugin_host.h"

namespace osltest {

inline nlohmann::json PluginViews() {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/plugin/resources/views.json");
  return nlohmann::json::parse(in);
}

// One entry list for the action component's state update.
class OneActionState : public IActionStateList {
 public:
  explicit OneActionState(ActionID id) : id_(id) {}
  int32 Length() const override { return 1; }
  ActionID GetNthAction(int32) const override { return id_; }
  int16 GetNthActionState(int32) const override { return state_; }
  void SetNthActionState(int32, int16 state) override { state_ = state; }

 private:
  ActionID id_;
  int16 state_ = kDisabled_Unselected;
};

class PublishTest : public PluginHostTest {
 protected:
  PublishTest() {
    std::string error;
    EXPECT_TRUE(host_.Views().Register(kOslPluginID, PluginViews(), &error)) << error;
    host_.AlertLog().SetInteractive(false);
    GetOslPlugInData().dialogResult = 0;
  }

  // Queues `steps` (dialog script) for the next opening of the template
  // properties dialog.
  void QueueTemplateDialog(const std::string& steps) {
    standin::DialogScript script;
    std::string error;
    ASSERT_TRUE(standin::ParseDialogScript(steps, &script, &error)) << error;
    host_.Dialogs().QueueScript("250", script);
  }

  InterfacePtr<IActionComponent> Actions() {
    auto& boss = host_.GetSession().PlugInBoss("kOslActionComponentBoss");
    return InterfacePtr<IActionComponent>(&boss, IID_IACTIONCOMPONENT);
  }
  void RunAction(ActionID id) {
    auto actions = Actions();
    ASSERT_TRUE(actions);
    actions->DoAction(host_.Dialogs().SessionContext(), id, PMPoint(), nullptr);
  }
  // The state the action component gives `id` (starting from disabled).
  int16 ActionState(ActionID id) {
    OneActionState list(id);
    auto actions = Actions();
    if (actions)
      actions->UpdateActionStates(host_.Dialogs().SessionContext(), &list, PMPoint(), nullptr);
    return list.GetNthActionState(0);
  }

  // The alerts shown since the last call, as "<kind>: <text>".
  std::vector<std::string> AlertTexts() {
    std::vector<std::string> texts;
    for (const auto& alert : Alerts()) {
      texts.push_back(std::string(standin::AlertKindName(alert.kind)) + ": " + alert.text);
    }
    return texts;
  }

  // The front document's label as text.
  std::string DocumentLabel() {
    standin::Document* doc = host_.GetSession().FrontDocument();
    return doc ? doc->Label().GetUTF8String() : std::string();
  }
};

// A one-page document (200 x 100) with the given document label and items.
inline nlohmann::json OnePageDocument(const std::string& label, const nlohmann::json& items) {
  nlohmann::json page = nlohmann::json::object();
  page["uid"] = 3u;
  page["bounds"] = {0, 0, 200, 100};
  page["items"] = items;
  nlohmann::json spread = nlohmann::json::object();
  spread["uid"] = 2u;
  spread["pages"] = nlohmann::json::array({page});
  nlohmann::json doc = nlohmann::json::object();
  doc["format"] = "tlvd";
  doc["version"] = 1;
  doc["label"] = label;
  doc["spreads"] = nlohmann::json::array({spread});
  return doc;
}

}  // namespace osltest
