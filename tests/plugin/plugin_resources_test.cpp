// The plug-in's resources as the host reads them: views that hold every
// widget the plug-in's code looks up, on the boss classes it declares.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "plugin_base/osl_id.h"
#include "standin/ui/views.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

using nlohmann::json;

class ViewsTest : public HostTest {};

// The plug-in's views carry every widget its controllers and observers look
// up, on the boss classes its resources declare.
TEST_F(ViewsTest, ThePlugInsViewsHoldTheWidgetsItsCodeFinds) {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/plugin/resources/views.json");
  ASSERT_TRUE(in.good());
  std::string error;
  ASSERT_TRUE(host_.Views().Register(kOslPluginID, json::parse(in), &error)) << error;
  const auto& registry = host_.Views();

  struct Expect {
    RsrcID rsrc;
    const char* boss;
    std::vector<WidgetID> widgets;
  };
  const std::vector<Expect> expected = {
      {kOslTemplateDialogRsrcID,
       "kOslTemplateDialogBoss",
       {kOslDocNameWidgetID, kOslClientTypeWidgetID, kOslRefreshBoxWidgetID}},
      {kCreateStackingGroupDialogRsrcID,
       "kCreateStackingGroupDialogBoss",
       {kOslMoveDirectionWidgetID, kOslGroupNameWidgetID}},
      {kAddFieldToStackingGroupDialogRsrcID,
       "kAddFieldToStackingGroupDialogBoss",
       {kOslMemberOfGroupWidgetID, kOslDependsOnWidgetID}},
      {850, "kOslPrefPanelBoss", {kOslServerWidgetID, kOslUserWidgetID, kOslPasswordWidgetID}},
  };
  for (const auto& e : expected) {
    const standin::ViewSpec* view = registry.Find(kOslPluginID, e.rsrc);
    ASSERT_NE(nullptr, view) << e.rsrc;
    EXPECT_EQ(e.boss, view->bossClass) << e.rsrc;
    auto boss = standin::BuildView(*view, host_.Toolkit());
    standin::WidgetNode* root = standin::WidgetNode::Of(boss.get());
    for (WidgetID id : e.widgets) EXPECT_NE(nullptr, root->Find(id, 9999)) << e.rsrc << " " << id;
  }

  const standin::ViewSpec* prefs = registry.FindPanelOfBoss("kOslPrefPanelBoss");
  ASSERT_NE(nullptr, prefs);
  EXPECT_EQ(kOslPrefPanelID, prefs->root.id);
  EXPECT_EQ(std::vector<ServiceID>{kPreferencesPanelService}, prefs->services);

  const standin::ViewSpec* field = registry.FindPanelOfBoss("kOslFieldPanelBoss");
  ASSERT_NE(nullptr, field);
  auto boss = standin::BuildView(*field, host_.Toolkit());
  standin::WidgetNode* root = standin::WidgetNode::Of(boss.get());
  for (WidgetID id : {kOslControlTypeLabelWidgetID, kOslControlTypeWidgetID,
                      kOslFieldNameLabelWidgetID, kOslFieldNameWidgetID, kOslTemplateNameWidgetID,
                      kOslPromptTextLabelWidgetID, kOslPromptTextWidgetID}) {
    EXPECT_NE(nullptr, root->Find(id, 9999)) << id;
  }
  EXPECT_EQ("kOslEditBoxBoss", root->Find(kOslFieldNameWidgetID, 9999)->GetBoss().ClassName());
  // The client-type list offers at least the three positions publishing knows.
  auto dialog = standin::BuildView(*registry.Find(kOslPluginID, kOslTemplateDialogRsrcID), host_.Toolkit());
  EXPECT_EQ(
      3u,
      standin::WidgetNode::Of(dialog.get())->Find(kOslClientTypeWidgetID, 9999)->entries.size());
}

}  // namespace
}  // namespace osltest
