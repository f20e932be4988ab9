#include "model/selection_suite.h"

#include <gtest/gtest.h>

#include "host/InterfacePtr.h"
#include "standin/core/command_state.h"
#include "tests/support/plugin_host.h"

namespace osltest {
namespace {

using Concrete = standin::SelectionManager::Concrete;

class SelectionSuite : public PluginHostTest {
 protected:
  void SetUp() override {
    PluginHostTest::SetUp();
    doc_ = Open(SampleDocument());
  }
  InterfacePtr<IOslSuite> Suite() {
    return InterfacePtr<IOslSuite>(Selection().Interface(), IID_IOSLSUITE);
  }
  int Kind() { return Suite()->GetSelectionKind(); }
  standin::Document* doc_ = nullptr;
};

TEST_F(SelectionSuite, KindOfRealSelections) {
  ASSERT_TRUE(Suite());
  Selection().SelectItems(doc_, {});
  EXPECT_EQ(Kind(), 0);
  Selection().SelectItems(doc_, {10});
  EXPECT_EQ(Kind(), -1);  // a text frame
  Selection().SelectItems(doc_, {11});
  EXPECT_EQ(Kind(), 1);  // a graphic frame
  Selection().SelectItems(doc_, {13});
  EXPECT_EQ(Kind(), 1);  // a group
  Selection().SelectItems(doc_, {15});
  EXPECT_EQ(Kind(), 1);  // any other item
  Selection().SelectItems(doc_, {12});
  EXPECT_EQ(Kind(), 0);  // a guide is never a field
  Selection().SelectItems(doc_, {10, 11, 15});
  EXPECT_EQ(Kind(), 3);
  Selection().SelectText(doc_, 10);
  EXPECT_EQ(Kind(), -1);  // a text selection
  Selection().Clear();
  EXPECT_EQ(Kind(), 0);  // only the defaults selection
}

TEST_F(SelectionSuite, LastConcreteSelectionWithAnAnswerDecides) {
  Selection().SelectItems(doc_, {11});
  Selection().SetConcrete({Concrete::kText, Concrete::kLayout});
  EXPECT_EQ(Kind(), 1);  // the layout selection is last
  Selection().SetConcrete({Concrete::kLayout, Concrete::kText});
  EXPECT_EQ(Kind(), -1);  // the text selection is last
  // An empty layout selection answers 0, so the text selection before it decides.
  Selection().SelectItems(doc_, {});
  Selection().SetConcrete({Concrete::kText, Concrete::kLayout});
  EXPECT_EQ(Kind(), -1);
}

TEST_F(SelectionSuite, DispatchRulesOverSeveralConcreteSelections) {
  Selection().SelectItems(doc_, {10});
  Selection().SetConcrete({Concrete::kLayout, Concrete::kText, Concrete::kDefaults});
  auto suite = Suite();
  K2Vector<int32> values;
  suite->CollectValues(values);
  EXPECT_EQ(values, (K2Vector<int32>{1, 1, 1}));
  EXPECT_TRUE(suite->CanApply());
  EXPECT_TRUE(suite->IsApplicable());

  // The process rule stops at the first concrete answer (1), inside one
  // command sequence, and publishes it as the global error code.
  const int before = host_.Commands().Opened();
  EXPECT_EQ(suite->Apply(), 1);
  EXPECT_EQ(host_.Commands().Opened(), before + 1);
  EXPECT_EQ(host_.Commands().Depth(), 0);
  EXPECT_EQ(suite->ApplyValue(7), 0);
  EXPECT_EQ(host_.Commands().Opened(), before + 2);

  // No concrete selection: process answers 0 and opens no sequence.
  Selection().SetConcrete({});
  EXPECT_EQ(Suite()->Apply(), 0);
  EXPECT_EQ(host_.Commands().Opened(), before + 2);
  EXPECT_FALSE(Suite()->CanApply());
  EXPECT_TRUE(Suite()->IsApplicable());
}

TEST_F(SelectionSuite, ItemDataUsesTheFallbackOnlyWithoutLayoutTarget) {
  // A text selection has no layout target: the text is kept in the
  // concrete implementation's fallback string.
  Selection().SelectText(doc_, 10);
  auto suite = Suite();
  EXPECT_EQ(suite->SetItemData(WideString("kept")), 0);
  WideString out("before");
  EXPECT_EQ(suite->GetItemData(out), 0);
  EXPECT_EQ(out.GetUTF8String(), "kept");

  // Two selected items: the caller's string stays as it was.
  Selection().SelectItems(doc_, {10, 11});
  WideString unchanged("unchanged");
  Suite()->GetItemData(unchanged);
  EXPECT_EQ(unchanged.GetUTF8String(), "unchanged");
  // One selected item without its own suite: nothing changes either.
  Selection().SelectItems(doc_, {11});
  Suite()->GetItemData(unchanged);
  EXPECT_EQ(unchanged.GetUTF8String(), "unchanged");
  // Doc data on non-persistent selection bosses reaches nothing.
  EXPECT_EQ(Suite()->SetDocData(WideString("x")), 0);
  EXPECT_EQ(Suite()->GetDocData(unchanged), 0);
  EXPECT_EQ(unchanged.GetUTF8String(), "unchanged");
  // Nothing of this touched the document.
  EXPECT_FALSE(doc_->IsDirty());
}

TEST_F(SelectionSuite, IsDocAnnouncesWhatEachConcreteSelectionSees) {
  Selection().SelectItems(doc_, {10});
  Selection().SetConcrete({Concrete::kText, Concrete::kLayout});
  Alerts();
  EXPECT_EQ(Suite()->IsDoc(), 0);
  const auto alerts = Alerts();
  std::vector<std::string> texts;
  for (const auto& a : alerts) texts.push_back(a.text);
  // Layout (last) first, then the text selection.
  EXPECT_EQ(texts, (std::vector<std::string>{"int OslSuiteCSB::IsDoc(void)", "idoc.1", "idoc.2",
                                             "int OslSuiteCSB::IsDoc(void)"}));
}

TEST_F(SelectionSuite, ReferencesAreBalanced) {
  Selection().SelectItems(doc_, {10});
  auto& boss = Selection().AbstractBoss();
  const int32 before = boss.RefCount();
  { EXPECT_EQ(Kind(), -1); }
  EXPECT_EQ(boss.RefCount(), before);
  EXPECT_EQ(doc_->FindBoss(10)->RefCount(), 0);
}

}  // namespace
}  // namespace osltest
