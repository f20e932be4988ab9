// Test fixture of the widget toolkit: a fresh host per test, test
// implementations registered through its object model, and helpers to
// register test views.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/CPMUnknown.h"
#include "host/IControlView.h"
#include "host/IPanelControlData.h"
#include "host/InterfacePtr.h"
#include "standin/ui/views.h"
#include "standin/ui/widgets.h"
#include "tests/support/host_fixture.h"

namespace osltest {

constexpr PluginID kTestPlugin = 0x7E0000;

class ToolkitTest : public HostTest {
 protected:
  void RegisterViews(const nlohmann::json& views) {
    std::string error;
    ASSERT_TRUE(host_.Views().Register(kTestPlugin, views, &error)) << error;
  }
  void RegisterViews(const char* json) { RegisterViews(nlohmann::json::parse(json)); }
};

// The widget `id` of the tree under `root`, queried for `iid`.
template <class T>
InterfacePtr<T> Widget(standin::WidgetNode* root, WidgetID id, PMIID iid) {
  standin::WidgetNode* node = root ? root->Find(id, 9999) : nullptr;
  return InterfacePtr<T>(node ? &node->GetBoss() : nullptr, iid);
}

}  // namespace osltest
