// Test fixture of the widget toolkit: a fresh session and toolkit, test
// implementations registered through the session's registry, and helpers to
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
#include "standin/runtime/alerts.h"
#include "standin/runtime/dialogs.h"
#include "standin/runtime/panels.h"
#include "standin/runtime/session.h"
#include "standin/runtime/string_tables.h"
#include "standin/runtime/views.h"
#include "standin/runtime/widgets.h"

namespace widgettest {

constexpr PluginID kTestPlugin = 0x7E0000;

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ResetWidgets();
    standin::Session::Get().Reset();
    standin::AlertCenter::Get().Reset();
    standin::AlertCenter::Get().SetEcho(false);
    standin::DialogHost::Get().SetEcho(false);
    standin::DialogHost::Get().SetInteractive(false);
    standin::StringTables::Get().Clear();
  }
  void TearDown() override {
    standin::ResetWidgets();
    standin::Session::Get().Reset();
  }

  // Registers implementation class Impl under `id` and declares it on boss
  // class `bossClass` for interface `iid`.
  template <class Impl>
  static void AddIn(const std::string& bossClass, PMIID iid, ImplementationID id) {
    auto& session = standin::Session::Get();
    if (!session.Registry().Find(id)) {
      ASSERT_EQ(kSuccess, session.Registry().Register({kTestPlugin, id, &CreateImplementation<Impl>,
                                                       &DestroyImplementation<Impl>,
                                                       &ImplementationSize<Impl>}));
    }
    session.DeclareAddIn(bossClass, {iid, id});
  }

  static void RegisterViews(const nlohmann::json& views) {
    std::string error;
    ASSERT_TRUE(standin::RegisterViews(kTestPlugin, views, &error)) << error;
  }
  static void RegisterViews(const char* json) { RegisterViews(nlohmann::json::parse(json)); }

  static std::vector<std::string> DialogLog() { return standin::DialogHost::Get().TakeLog(); }
};

// The widget `id` of the tree under `root`, queried for `iid`.
template <class T>
InterfacePtr<T> Widget(standin::WidgetNode* root, WidgetID id, PMIID iid) {
  standin::WidgetNode* node = root ? root->Find(id, 9999) : nullptr;
  return InterfacePtr<T>(node ? &node->GetBoss() : nullptr, iid);
}

}  // namespace widgettest
