// The state the plug-in gives the add-field-to-stacking-group menu item:
// enabled only when all five conditions hold, every other entry untouched.
#include <gtest/gtest.h>

#include <vector>

#include "host/ILabel.h"
#include "plugin_base/osl_id.h"
#include "tests/ui/ui_test_support.h"

namespace osltest {
namespace {

// The host's list of menu items with their states.
class StateList : public IActionStateList {
 public:
  explicit StateList(std::vector<std::pair<ActionID, int16>> entries) : entries_(entries) {}
  int32 Length() const override { return static_cast<int32>(entries_.size()); }
  ActionID GetNthAction(int32 n) const override { return entries_.at(n).first; }
  int16 GetNthActionState(int32 n) const override { return entries_.at(n).second; }
  void SetNthActionState(int32 n, int16 state) override { entries_.at(n).second = state; }
  std::vector<std::pair<ActionID, int16>> entries_;
};

// A label suite that reports two tags for the selection.
class TwoLabels : public CPMUnknown<ILabelSuite> {
 public:
  using CPMUnknown::CPMUnknown;
  void GetLabels(K2Vector<WideString>& labels) const override {
    labels.emplace_back("fieldName:::A|||");
    labels.emplace_back("fieldName:::B|||");
  }
  void SetLabel(const WideString&) override {}
};

class AddFieldState : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    doc_ = Open(SampleDocument());
    SetLabel(doc_, standin::Document::kDocumentUID, "StackingGroups:::Address:::0---|||");
    Selection().SelectItems(doc_, {10});  // tagged "Name"
  }
  // The states after the update, from a list where the add-field item
  // appears twice among items the plug-in does not enable.
  std::vector<std::pair<ActionID, int16>> Update() {
    StateList list({{kOslAddFieldToStackingGroupActionID, kDisabled_Unselected},
                    {kOslCreateStackingGroupActionID, kEnabledAction},
                    {kOslPublishAsNewActionID, kDisabled_Unselected},
                    {0x7E0001, 5},
                    {kOslAddFieldToStackingGroupActionID, kDisabled_Unselected}});
    Actions()->UpdateActionStates(host_.Dialogs().SessionContext(), &list, PMPoint(), nullptr);
    return list.entries_;
  }
  std::vector<std::pair<ActionID, int16>> Expected(int16 addFieldState) {
    return {{kOslAddFieldToStackingGroupActionID, addFieldState},
            {kOslCreateStackingGroupActionID, kEnabledAction},
            {kOslPublishAsNewActionID, kDisabled_Unselected},
            {0x7E0001, 5},
            {kOslAddFieldToStackingGroupActionID, addFieldState}};
  }

  standin::Document* doc_ = nullptr;
};

TEST_F(AddFieldState, EnabledWhenAllFiveConditionsHold) {
  EXPECT_EQ(Expected(kEnabledAction), Update());
  // A text selection inside the tagged frame counts as the frame.
  Selection().SelectText(doc_, 10);
  EXPECT_EQ(Expected(kEnabledAction), Update());
  // So does a single graphic frame.
  SetLabel(doc_, 11, "fieldName:::Logo|||");
  Selection().SelectItems(doc_, {11});
  EXPECT_EQ(Expected(kEnabledAction), Update());
}

TEST_F(AddFieldState, NoFrontDocumentLeavesTheEntriesAlone) {
  Selection().Clear();
  host_.GetSession().CloseDocument(doc_);
  EXPECT_EQ(Expected(kDisabled_Unselected), Update());
}

TEST_F(AddFieldState, ADocumentWithoutStackingGroupsLeavesTheEntriesAlone) {
  for (const char* label :
       {"", "StackingGroups:::|||", "StackingGroups:::Address---|||", "docName:::Card|||"}) {
    SetLabel(doc_, standin::Document::kDocumentUID, label);
    EXPECT_EQ(Expected(kDisabled_Unselected), Update()) << label;
  }
}

TEST_F(AddFieldState, NotExactlyOneItemLeavesTheEntriesAlone) {
  SetLabel(doc_, 11, "fieldName:::Logo|||");
  Selection().SelectItems(doc_, {10, 11});
  EXPECT_EQ(Expected(kDisabled_Unselected), Update());
  Selection().SelectItems(doc_, {});
  EXPECT_EQ(Expected(kDisabled_Unselected), Update());
  SetLabel(doc_, 12, "fieldName:::Guide|||");
  Selection().SelectItems(doc_, {12});  // a guide is nothing usable
  EXPECT_EQ(Expected(kDisabled_Unselected), Update());
}

TEST_F(AddFieldState, TwoTagStringsLeaveTheEntriesAlone) {
  // The selection's label suite, replaced for this test.
  Selection().AbstractBoss().AddNew<TwoLabels>(IID_ILABELSUITE);
  EXPECT_EQ(Expected(kDisabled_Unselected), Update());
}

TEST_F(AddFieldState, AnItemWithoutAFieldNameLeavesTheEntriesAlone) {
  for (const char* label : {"", "fieldName:::|||controlType:::0|||", "promptText:::p|||"}) {
    SetLabel(doc_, 10, label);
    EXPECT_EQ(Expected(kDisabled_Unselected), Update()) << label;
  }
}

}  // namespace
}  // namespace osltest
