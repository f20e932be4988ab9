// The create-stacking-group and add-field-to-stacking-group dialogs, opened
// by their menu actions and driven through the stand-in's widgets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin_base/osl_id.h"
#include "service_client/plugin_data.h"
#include "tests/ui/ui_test_support.h"
#include "ui/create_stacking_group_controller.h"

namespace osltest {
namespace {

constexpr UID kDocument = standin::Document::kDocumentUID;

class StackingGroups : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    doc_ = Open(SampleDocument());
    ProvideSpreadList(doc_);
  }
  void Create(const std::string& steps) {
    RunAction(kOslCreateStackingGroupActionID, "1056", steps);
  }
  // Opens the add-field dialog, records its lists, then plays `steps`.
  void AddField(const std::string& steps) {
    standin::DialogScript script = Script("show;" + steps);
    script.show = [this](standin::WidgetNode& root) {
      groups_ = Entries(Node(&root, kOslMemberOfGroupWidgetID));
      fields_ = Entries(Node(&root, kOslDependsOnWidgetID));
      groupShown_ = Node(&root, kOslMemberOfGroupWidgetID)->selected;
      fieldShown_ = Node(&root, kOslDependsOnWidgetID)->selected;
    };
    RunAction(kOslAddFieldToStackingGroupActionID, "2056", std::move(script));
  }
  std::string None() { return host_.Strings().Lookup("0x199e00kNoneKey"); }
  bool Refused() {
    for (const std::string& line : DialogLog()) {
      if (line == "[dialog] 1056 invalid 0x199e0f") return true;
    }
    return false;
  }

  standin::Document* doc_ = nullptr;
  std::vector<std::string> groups_, fields_;
  int32 groupShown_ = -2, fieldShown_ = -2;
};

TEST_F(StackingGroups, CreatingAGroupStoresItWithItsDirection) {
  Create("text 0x199E0F Footer; select 0x199E0D 1; ok");
  EXPECT_EQ("StackingGroups:::Footer:::1---|||", LabelOf(doc_, kDocument));
  // The dialog opens with the first direction and an empty name.
  Create("text 0x199E0F Address; ok");
  EXPECT_EQ("StackingGroups:::Address:::0---Footer:::1---|||", LabelOf(doc_, kDocument));
  EXPECT_TRUE(doc_->IsDirty());
}

TEST_F(StackingGroups, AnExistingGroupGetsTheNewDirectionAndOtherDataStays) {
  SetLabel(doc_, kDocument,
           "docName:::Card|||StackingGroups:::Footer:::1---Address:::0---|||docID:::|||");
  Create("text 0x199E0F Address; select 0x199E0D 1; ok");
  EXPECT_EQ("StackingGroups:::Address:::1---Footer:::1---|||docID:::|||docName:::Card|||",
            LabelOf(doc_, kDocument));
  Create("text 0x199E0F Footer; ok");
  EXPECT_EQ("StackingGroups:::Address:::1---Footer:::0---|||docID:::|||docName:::Card|||",
            LabelOf(doc_, kDocument));
}

TEST_F(StackingGroups, NamesThatCannotBeStoredKeepTheDialogOpen) {
  SetLabel(doc_, kDocument, "StackingGroups:::Footer:::1---|||");
  for (const char* name : {"", "a---b", "x:::y", "p|||q", "Phone:", "Top|", "---", ":::"}) {
    Create(std::string("text 0x199E0F ") + name + "; select 0x199E0D 1; ok");
    EXPECT_TRUE(Refused()) << name;
    EXPECT_EQ("StackingGroups:::Footer:::1---|||", LabelOf(doc_, kDocument)) << name;
    // The designer is told which sequences a name cannot hold.
    const auto alerts = host_.AlertLog().TakeLog();
    ASSERT_EQ(1u, alerts.size()) << name;
    EXPECT_EQ(standin::AlertKind::kWarning, alerts[0].kind);
    EXPECT_EQ(
        "This stacking group name cannot be stored: a group name must not be empty, must not "
        "contain \"---\", \":::\" or \"|||\", and must not end in \":\" or \"|\".",
        alerts[0].text);
  }
  // Spaces, single separator characters, a trailing "-" and other
  // punctuation are names: the message claims no more than is refused.
  for (const char* name : {"   ", "a-b", "a:b", "a|b", "-Top", ":x", "End-", "End--",
                           "Stra\xc3\x9f"
                           "e"}) {
    Create(std::string("text 0x199E0F ") + name + "; ok");
    EXPECT_FALSE(Refused()) << name;
    EXPECT_TRUE(host_.AlertLog().TakeLog().empty()) << name;
  }
  EXPECT_EQ(
      "StackingGroups:::   :::0----Top:::0---:x:::0---End-:::0---End--:::0---Footer:::1---"
      "Stra\xc3\x9f"
      "e:::0---a-b:::0---a:b:::0---a|b:::0---|||",
      LabelOf(doc_, kDocument));
}

TEST(StorableGroupNames, OnlyNamesThatReadBackUnchanged) {
  EXPECT_TRUE(IsStorableGroupName(PMString("Address")));
  EXPECT_TRUE(IsStorableGroupName(PMString("a--b")));
  EXPECT_TRUE(IsStorableGroupName(PMString("a::b||c")));
  EXPECT_FALSE(IsStorableGroupName(PMString("")));
  EXPECT_FALSE(IsStorableGroupName(PMString("a---")));
  EXPECT_FALSE(IsStorableGroupName(PMString(":::a")));
  EXPECT_FALSE(IsStorableGroupName(PMString("a|||")));
  EXPECT_FALSE(IsStorableGroupName(PMString("a::")));
  EXPECT_FALSE(IsStorableGroupName(PMString("a||")));
}

TEST_F(StackingGroups, WithoutAFrontDocumentNothingIsWritten) {
  Selection().Clear();
  host_.GetSession().CloseDocument(doc_);
  Create("text 0x199E0F Footer; ok");
  EXPECT_FALSE(Refused());
  AddField("ok");
  EXPECT_EQ(std::vector<std::string>{None()}, groups_);
  EXPECT_EQ(std::vector<std::string>{None()}, fields_);
}

TEST_F(StackingGroups, TheGroupListHoldsTheNoneEntryAndTheGroupsInNameOrder) {
  SetLabel(doc_, kDocument, "StackingGroups:::Footer:::1---Address:::0---|||");
  SetLabel(doc_, 10, "fieldName:::City|||MemberofGroup:::Footer|||");
  Selection().SelectItems(doc_, {10});
  AddField("cancel");
  EXPECT_EQ((std::vector<std::string>{None(), "Address", "Footer"}), groups_);
  EXPECT_EQ(2, groupShown_);
  EXPECT_EQ(0, fieldShown_);
}

TEST_F(StackingGroups, TheDependsOnListHoldsEveryOtherNameAsItComes) {
  SetLabel(doc_, kDocument, "StackingGroups:::Address:::0---|||");
  SetLabel(doc_, 10, "fieldName:::City|||Dependson:::Zip|||");
  SetLabel(doc_, 11, "fieldName:::Zip|||");
  SetLabel(doc_, 15, "fieldName:::Zip|||");
  SetLabel(doc_, 14, "fieldName:::Inner|||");  // inside a group: not collected
  SetLabel(doc_, 13, "promptText:::no name|||");
  Selection().SelectItems(doc_, {10});
  AddField("cancel");
  EXPECT_EQ((std::vector<std::string>{None(), "Zip", "Zip"}), fields_);
  EXPECT_EQ(1, fieldShown_);
  EXPECT_EQ(0, groupShown_);  // no group yet
}

TEST_F(StackingGroups, TheDependsOnListKeepsTheOrderInWhichItemsAreCollected) {
  // The page's items in the host's order (10, 11, 15), not in name order.
  SetLabel(doc_, 10, "fieldName:::Zeta|||");
  SetLabel(doc_, 11, "fieldName:::Alpha|||");
  SetLabel(doc_, 15, "fieldName:::Mid|||");
  SetLabel(doc_, 13, "fieldName:::Beta|||");
  Selection().SelectItems(doc_, {13});
  AddField("cancel");
  EXPECT_EQ((std::vector<std::string>{None(), "Zeta", "Alpha", "Mid"}), fields_);
}

TEST_F(StackingGroups, ApplyingWritesGroupAndDependencyAndKeepsTheOtherKeys) {
  SetLabel(doc_, kDocument, "StackingGroups:::Address:::0---Footer:::1---|||");
  SetLabel(doc_, 10, "promptText:::Town|||fieldName:::City|||controlType:::1|||");
  SetLabel(doc_, 11, "fieldName:::Zip|||");
  Selection().SelectItems(doc_, {10});
  AddField("pick 0x199E13 Address; pick 0x199E15 Zip; ok");
  EXPECT_EQ(
      "Dependson:::Zip|||MemberofGroup:::Address|||controlType:::1|||fieldName:::City|||"
      "promptText:::Town|||",
      LabelOf(doc_, 10));
  EXPECT_EQ("fieldName:::Zip|||", LabelOf(doc_, 11));

  // The dialog opens on the stored values; the none group clears both.
  AddField("select 0x199E13 0; ok");
  EXPECT_EQ(1, groupShown_);
  EXPECT_EQ(1, fieldShown_);
  EXPECT_EQ(
      "Dependson:::|||MemberofGroup:::|||controlType:::1|||fieldName:::City|||"
      "promptText:::Town|||",
      LabelOf(doc_, 10));
}

TEST_F(StackingGroups, ValuesMissingFromTheListsOpenOnTheNoneEntry) {
  SetLabel(doc_, kDocument, "StackingGroups:::Address:::0---|||");
  SetLabel(doc_, 10, "fieldName:::City|||MemberofGroup:::Gone|||Dependson:::Nobody|||");
  Selection().SelectItems(doc_, {10});
  AddField("ok");
  EXPECT_EQ(0, groupShown_);
  EXPECT_EQ(0, fieldShown_);
  EXPECT_EQ("Dependson:::|||MemberofGroup:::|||fieldName:::City|||", LabelOf(doc_, 10));
}

TEST_F(StackingGroups, WithTwoItemsSelectedTheListsOpenOnNoneAndOkChangesNothing) {
  SetLabel(doc_, kDocument, "StackingGroups:::Address:::0---|||");
  SetLabel(doc_, 10, "fieldName:::City|||MemberofGroup:::Address|||");
  SetLabel(doc_, 11, "fieldName:::Zip|||");
  Selection().SelectItems(doc_, {10, 11});
  AddField("pick 0x199E13 Address; ok");
  EXPECT_EQ(0, groupShown_);
  EXPECT_EQ(0, fieldShown_);
  EXPECT_EQ("fieldName:::City|||MemberofGroup:::Address|||", LabelOf(doc_, 10));
  EXPECT_EQ("fieldName:::Zip|||", LabelOf(doc_, 11));
}

TEST_F(StackingGroups, TheActionsOpenModalDialogsWithTheResultReset) {
  GetOslPlugInData().dialogResult = 7;
  host_.Dialogs().QueueScript("1056", Script("text 0x199E0F Footer; ok"));
  Actions()->DoAction(host_.Dialogs().SessionContext(), kOslCreateStackingGroupActionID, PMPoint(),
                      nullptr);
  // The dialog ran before the action returned.
  EXPECT_EQ("StackingGroups:::Footer:::0---|||", LabelOf(doc_, kDocument));
  EXPECT_EQ(0, GetOslPlugInData().dialogResult);
  EXPECT_EQ((std::vector<std::string>{"[dialog] 1056 opened", "[dialog] 1056 ok"}), DialogLog());

  GetOslPlugInData().dialogResult = 7;
  SetLabel(doc_, 10, "fieldName:::City|||");
  Selection().SelectItems(doc_, {10});
  host_.Dialogs().QueueScript("2056", Script("pick 0x199E13 Footer; ok"));
  Actions()->DoAction(host_.Dialogs().SessionContext(), kOslAddFieldToStackingGroupActionID,
                      PMPoint(), nullptr);
  EXPECT_EQ("Dependson:::|||MemberofGroup:::Footer|||fieldName:::City|||", LabelOf(doc_, 10));
  EXPECT_EQ(0, GetOslPlugInData().dialogResult);
}

}  // namespace
}  // namespace osltest
