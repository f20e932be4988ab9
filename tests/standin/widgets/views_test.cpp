// View resources: the format's checks and all-or-nothing registration.
#include <fstream>

#include "widget_test_support.h"

namespace osltest {
namespace {

using nlohmann::json;

std::string ParseError(const std::string& text) {
  std::vector<standin::ViewSpec> views;
  std::string error;
  if (standin::ParseViews(kTestPlugin, json::parse(text), &views, &error)) return "(accepted)";
  return error;
}

std::string OneWidget(const std::string& widget) {
  return R"({"views": [{"rsrc": 1, "kind": "dialog", "widgets": [)" + widget + "]}]}";
}

TEST(ViewFormatTest, RejectsMalformedViewsWithTheirPlace) {
  EXPECT_EQ("views: must be an object with a \"views\" list", ParseError("[]"));
  EXPECT_EQ("views: unknown member \"view\"", ParseError(R"({"view": []})"));
  EXPECT_EQ("views[0]: missing \"rsrc\"", ParseError(R"({"views": [{"kind": "dialog"}]})"));
  EXPECT_EQ("views[0] (rsrc 7): \"kind\" must be \"dialog\" or \"panel\"",
            ParseError(R"({"views": [{"rsrc": 7, "kind": "window"}]})"));
  EXPECT_EQ("views[1]: resource 7 is defined twice",
            ParseError(
                R"({"views": [{"rsrc": 7, "kind": "panel"}, {"rsrc": "0x7", "kind": "dialog"}]})"));
  EXPECT_EQ(
      "views[0] (rsrc 7): only panels have \"services\"",
      ParseError(R"({"views": [{"rsrc": 7, "kind": "dialog", "services": ["preferences"]}]})"));
  EXPECT_EQ("views[0] (rsrc 7): unknown service \"palette\" (known: \"preferences\")",
            ParseError(R"({"views": [{"rsrc": 7, "kind": "panel", "services": ["palette"]}]})"));

  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: unknown kind \"slider\"",
            ParseError(OneWidget(R"({"kind": "slider"})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: unknown kind \"panellist\"",
            ParseError(OneWidget(R"({"kind": "panellist"})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: unknown member \"wigets\"",
            ParseError(OneWidget(R"({"kind": "panel", "wigets": []})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[1]: identifier 0x5 is used twice in the view",
            ParseError(OneWidget(R"({"id": 5, "kind": "text"}, {"id": "0x5", "kind": "text"})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: identifier 0x5b200 belongs to the host",
            ParseError(OneWidget(R"({"id": "0x5B200", "kind": "button"})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: \"id\" is not a non-zero identifier",
            ParseError(OneWidget(R"({"id": 0, "kind": "text"})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: \"entries\" does not apply to kind editbox",
            ParseError(OneWidget(R"({"kind": "editbox", "entries": []})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: \"selected\" must lie between -1 and 1",
            ParseError(OneWidget(R"({"kind": "dropdown", "entries": ["a", "b"], "selected": 2})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: \"state\" must lie between 0 and 2",
            ParseError(OneWidget(R"({"kind": "checkbox", "state": 3})")));
  EXPECT_EQ("views[0] (rsrc 1) widgets[0]: every entry must be a string of at most 4096 bytes",
            ParseError(OneWidget(R"({"kind": "dropdown", "entries": [1]})")));
  EXPECT_EQ(
      "views[0] (rsrc 1) widgets[0].widgets[0]: \"enabled\" is not true or false",
      ParseError(OneWidget(R"({"kind": "panel", "widgets": [{"kind": "text", "enabled": 1}]})")));

  // Nesting and size limits.
  std::string deep = R"({"kind": "editbox"})";
  for (int i = 0; i < 40; ++i) deep = R"({"kind": "panel", "widgets": [)" + deep + "]}";
  EXPECT_NE(std::string::npos, ParseError(OneWidget(deep)).find("nested deeper than 32"));
  json many = json::parse(OneWidget(R"({"kind": "text"})"));
  auto& widgets = many["views"][0]["widgets"];
  for (int i = 0; i < 5000; ++i) widgets.push_back({{"kind", "text"}});
  EXPECT_NE(std::string::npos, ParseError(many.dump()).find("more than 4096 widgets"));
  EXPECT_NE(std::string::npos,
            ParseError(OneWidget(R"({"kind": "text", "text": ")" + std::string(5000, 'x') + "\"}"))
                .find("longer than 4096 bytes"));
}

class ViewsTest : public ToolkitTest {};

TEST_F(ViewsTest, RegistrationIsAllOrNothing) {
  RegisterViews(R"({"views": [{"rsrc": 5, "kind": "panel"}]})");
  std::string error;
  EXPECT_FALSE(host_.Views().Register(
      kTestPlugin, json::parse(R"({"views": [{"rsrc": 6, "kind": "panel"}, {"rsrc": 7}]})"),
      &error));
  EXPECT_NE(nullptr, host_.Views().Find(kTestPlugin, 5));
  EXPECT_EQ(nullptr, host_.Views().Find(kTestPlugin, 6));

  RegisterViews(R"({"views": [{"rsrc": 6, "kind": "panel"}]})");  // replaces the plug-in's views
  EXPECT_EQ(nullptr, host_.Views().Find(kTestPlugin, 5));
  EXPECT_NE(nullptr, host_.Views().Find(kTestPlugin, 6));
}

TEST_F(ViewsTest, DialogsGetTheHostsOkAndCancelButtons) {
  host_.Strings().Add("title.key", "Title");
  RegisterViews(R"({"views": [{"rsrc": 9, "kind": "dialog", "title": "title.key",
    "widgets": [{"id": 1, "kind": "dropdown", "entries": ["title.key", "plain"]},
                {"id": 2, "kind": "dropdown"}]}]})");
  auto boss = standin::BuildView(*host_.Views().Find(kTestPlugin, 9), host_.Toolkit());
  standin::WidgetNode* root = standin::WidgetNode::Of(boss.get());
  ASSERT_NE(nullptr, root);
  EXPECT_EQ("Title", root->Caption().GetUTF8String());
  EXPECT_EQ("kDialogBoss", boss->ClassName());
  const auto children = root->Children();
  ASSERT_EQ(4u, children.size());
  EXPECT_EQ(kOKButtonWidgetID, children[2]->Id());
  EXPECT_EQ(kCancelButtonWidgetID, children[3]->Id());
  // Entries are translated; a list with entries starts on the first one.
  ASSERT_EQ(2u, children[0]->entries.size());
  EXPECT_EQ("Title", children[0]->entries[0].GetUTF8String());
  EXPECT_EQ(0, children[0]->selected);
  EXPECT_EQ(-1, children[1]->selected);
}


}  // namespace
}  // namespace osltest
