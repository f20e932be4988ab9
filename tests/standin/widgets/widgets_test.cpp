// Contract tests of the widget interfaces: panels, text, string lists,
// drop-downs, tri-state boxes, buttons, subjects and observers.
#include <memory>

#include "host/CObserver.h"
#include "host/IBooleanControlData.h"
#include "host/IDropDownListController.h"
#include "host/IStringListControlData.h"
#include "host/ISubject.h"
#include "host/ITextControlData.h"
#include "host/ITriStateControlData.h"
#include "widget_test_support.h"

namespace osltest {
namespace {

struct Seen {
  ClassID change;
  PMIID protocol;
  WidgetID widget;
};

class RecordingObserver : public CObserver {
 public:
  explicit RecordingObserver(IPMUnknown* boss) : CObserver(boss) {}
  void Update(const ClassID& change, ISubject* subject, const PMIID& protocol, void*) override {
    InterfacePtr<IControlView> view(subject, IID_ICONTROLVIEW);
    seen.push_back({change, protocol, view ? view->GetWidgetID() : kInvalidWidgetID});
    if (onUpdate) onUpdate(subject);
  }
  std::vector<Seen> seen;
  std::function<void(ISubject*)> onUpdate;
};

constexpr RsrcID kPanel = 100;

const char* kPanelViews = R"({"views": [{"rsrc": 100, "kind": "panel", "widgets": [
  {"id": 1, "kind": "editbox", "text": "start"},
  {"id": 2, "kind": "text", "text": "test.key"},
  {"id": 3, "kind": "dropdown", "entries": ["a", "b", "c"], "selected": 1},
  {"id": 4, "kind": "checkbox", "state": 2},
  {"id": 5, "kind": "button", "caption": "Go"},
  {"id": 10, "kind": "panel", "widgets": [
    {"id": 11, "kind": "editbox"},
    {"id": 20, "kind": "panel", "widgets": [
      {"id": 21, "kind": "editbox"},
      {"id": 22, "kind": "panel", "widgets": [{"id": 23, "kind": "editbox"}]}]}]}]}]})";

class WidgetsTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    host_.Strings().Add("test.key", "Translated");
    RegisterViews(kPanelViews);
    std::string error;
    root_ = host_.Panels().GetPanel(kTestPlugin, kPanel, &error);
    ASSERT_NE(nullptr, root_) << error;
    observerBoss_ = std::make_unique<standin::Boss>("kTestObserverBoss");
    observer_ = observerBoss_->AddNew<RecordingObserver>(IID_IOBSERVER);
  }

  InterfacePtr<ISubject> SubjectOf(WidgetID id) {
    return Widget<ISubject>(root_, id, IID_ISUBJECT);
  }
  void Watch(WidgetID id, PMIID protocol) {
    ASSERT_TRUE(SubjectOf(id)->AttachObserver(observer_, protocol));
  }

  standin::WidgetNode* root_ = nullptr;
  std::unique_ptr<standin::Boss> observerBoss_;
  RecordingObserver* observer_ = nullptr;
};

TEST_F(WidgetsTest, FindWidgetSearchesNestedPanelsDownToTheGivenDepth) {
  InterfacePtr<IPanelControlData> panel(&root_->GetBoss(), IID_IPANELCONTROLDATA);
  ASSERT_TRUE(panel);
  EXPECT_EQ(6, panel->Length());
  EXPECT_EQ(WidgetID{1}, panel->GetWidget(0)->GetWidgetID());
  EXPECT_EQ(nullptr, panel->GetWidget(6));
  EXPECT_EQ(nullptr, panel->GetWidget(-1));

  EXPECT_EQ(WidgetID{10}, panel->FindWidget(10, 0)->GetWidgetID());
  EXPECT_EQ(nullptr, panel->FindWidget(11, 0));  // inside the nested panel
  EXPECT_EQ(WidgetID{11}, panel->FindWidget(11, 1)->GetWidgetID());
  EXPECT_EQ(nullptr, panel->FindWidget(21, 1));
  EXPECT_EQ(WidgetID{21}, panel->FindWidget(21, 2)->GetWidgetID());
  EXPECT_EQ(nullptr, panel->FindWidget(23, 2));
  EXPECT_EQ(WidgetID{23}, panel->FindWidget(23, 9999)->GetWidgetID());

  EXPECT_EQ(nullptr, panel->FindWidget(99, 9999));
  EXPECT_EQ(nullptr, panel->FindWidget(kInvalidWidgetID, 9999));
  EXPECT_EQ(nullptr, panel->FindWidget(1, -1));

  // A nested panel searches its own subtree only.
  InterfacePtr<IPanelControlData> nested(panel->FindWidget(20, 9999), IID_IPANELCONTROLDATA);
  ASSERT_TRUE(nested);
  EXPECT_EQ(nullptr, nested->FindWidget(1, 9999));
  EXPECT_EQ(WidgetID{23}, nested->FindWidget(23, 1)->GetWidgetID());
}

TEST_F(WidgetsTest, EditBoxTextIsKeptAsGivenAndNotifiesUnderItsProtocol) {
  Watch(1, IID_ITEXTCONTROLDATA);
  auto text = Widget<ITextControlData>(root_, 1, IID_ITEXTCONTROLDATA);
  EXPECT_EQ("start", text->GetString().GetUTF8String());

  text->SetString(PMString("test.key"), true, true);  // a translatable string stays as typed
  EXPECT_EQ("test.key", text->GetString().GetUTF8String());
  ASSERT_EQ(1u, observer_->seen.size());
  EXPECT_EQ(kTextChangeStateMessage, observer_->seen[0].change);
  EXPECT_EQ(IID_ITEXTCONTROLDATA, observer_->seen[0].protocol);
  EXPECT_EQ(WidgetID{1}, observer_->seen[0].widget);

  text->SetString(PMString("quiet"), true, false);
  EXPECT_EQ("quiet", text->GetString().GetUTF8String());
  EXPECT_EQ(1u, observer_->seen.size());
}

TEST_F(WidgetsTest, StaticTextTranslatesKeys) {
  auto text = Widget<ITextControlData>(root_, 2, IID_ITEXTCONTROLDATA);
  EXPECT_EQ("Translated", text->GetString().GetUTF8String());
  text->SetString(PMString("test.key", PMString::kDontTranslateDuringCall), true, false);
  EXPECT_EQ("test.key", text->GetString().GetUTF8String());
}

TEST_F(WidgetsTest, StringListEditsKeepTheSelectedEntry) {
  auto list = Widget<IStringListControlData>(root_, 3, IID_ISTRINGLISTCONTROLDATA);
  auto dropDown = Widget<IDropDownListController>(root_, 3, IID_IDROPDOWNLISTCONTROLLER);
  auto text = Widget<ITextControlData>(root_, 3, IID_ITEXTCONTROLDATA);
  Watch(3, IID_ISTRINGLISTCONTROLDATA);

  ASSERT_EQ(3, list->Length());
  EXPECT_EQ(1, dropDown->GetSelected());
  EXPECT_EQ("b", text->GetString().GetUTF8String());

  list->AddString(PMString("first"), 0, true, true);  // inserted before the selection
  EXPECT_EQ(2, dropDown->GetSelected());
  EXPECT_EQ("b", text->GetString().GetUTF8String());
  list->AddString(PMString("last"), IStringListControlData::kEnd, true, true);
  list->AddString(PMString("past"), 99, true, false);
  EXPECT_EQ(6, list->Length());
  EXPECT_EQ("past", list->GetString(5).GetUTF8String());
  EXPECT_EQ("", list->GetString(6).GetUTF8String());

  EXPECT_EQ(4, list->GetIndex(PMString("last")));
  EXPECT_EQ(-1, list->GetIndex(PMString("LAST")));  // exact match
  EXPECT_EQ(-1, list->GetIndex(PMString("missing")));

  list->RemoveString(0, true, true);
  EXPECT_EQ(1, dropDown->GetSelected());
  list->RemoveString(1, true, true);  // the selected entry
  EXPECT_EQ(IDropDownListController::kNoSelection, dropDown->GetSelected());
  EXPECT_EQ("", text->GetString().GetUTF8String());
  list->RemoveString(42, true, true);  // outside the list: nothing, no notification

  dropDown->Select(0, true, false);
  list->Clear(true, true);
  EXPECT_EQ(0, list->Length());
  EXPECT_EQ(IDropDownListController::kNoSelection, dropDown->GetSelected());

  ASSERT_EQ(5u, observer_->seen.size());  // two adds, two removes, the clear
  for (const auto& s : observer_->seen) {
    EXPECT_EQ(kListChangedMessage, s.change);
    EXPECT_EQ(IID_ISTRINGLISTCONTROLDATA, s.protocol);
  }
}

TEST_F(WidgetsTest, DropDownSelectionOutsideTheListSelectsNothing) {
  auto dropDown = Widget<IDropDownListController>(root_, 3, IID_IDROPDOWNLISTCONTROLLER);
  auto text = Widget<ITextControlData>(root_, 3, IID_ITEXTCONTROLDATA);
  Watch(3, IID_ISTRINGLISTCONTROLDATA);
  Watch(3, IID_ITEXTCONTROLDATA);

  dropDown->Select(2, true, true);
  EXPECT_EQ(2, dropDown->GetSelected());
  EXPECT_TRUE(dropDown->IsSelected(2));
  EXPECT_EQ("c", text->GetString().GetUTF8String());
  dropDown->Select(3, true, true);  // one past the last entry
  EXPECT_EQ(IDropDownListController::kNoSelection, dropDown->GetSelected());
  EXPECT_FALSE(dropDown->IsSelected(-1));
  dropDown->Select(1, true, false);
  dropDown->Deselect(true, true);
  EXPECT_EQ(IDropDownListController::kNoSelection, dropDown->GetSelected());

  // Setting the text chooses the entry with that text.
  text->SetString(PMString("a"), true, true);
  EXPECT_EQ(0, dropDown->GetSelected());
  text->SetString(PMString("zzz"), true, true);
  EXPECT_EQ(IDropDownListController::kNoSelection, dropDown->GetSelected());

  ASSERT_EQ(5u, observer_->seen.size());
  for (const auto& s : observer_->seen) {
    EXPECT_EQ(kPopupChangeStateMessage, s.change);
    EXPECT_EQ(IID_ISTRINGLISTCONTROLDATA, s.protocol);
  }
}

TEST_F(WidgetsTest, TriStateBoxHasThreeStatesAndAnnouncesEach) {
  auto box = Widget<ITriStateControlData>(root_, 4, IID_ITRISTATECONTROLDATA);
  Watch(4, IID_ITRISTATECONTROLDATA);
  EXPECT_EQ(ITriStateControlData::kUnknown, box->GetState());
  EXPECT_TRUE(box->IsUnknown());

  box->Select(true, true);
  EXPECT_TRUE(box->IsSelected());
  box->Deselect(true, true);
  EXPECT_TRUE(box->IsDeselected());
  box->SetState(ITriStateControlData::kUnknown, true, true);
  EXPECT_EQ(2, box->GetState());
  box->SetState(static_cast<ITriStateControlData::TriState>(7), true, false);
  EXPECT_EQ(ITriStateControlData::kUnknown, box->GetState());

  ASSERT_EQ(3u, observer_->seen.size());
  EXPECT_EQ(kTrueStateMessage, observer_->seen[0].change);
  EXPECT_EQ(kFalseStateMessage, observer_->seen[1].change);
  EXPECT_EQ(kUnknownStateMessage, observer_->seen[2].change);
  EXPECT_EQ(IID_ITRISTATECONTROLDATA, observer_->seen[2].protocol);
}

TEST_F(WidgetsTest, ButtonsAreMomentary) {
  auto button = Widget<IBooleanControlData>(root_, 5, IID_IBOOLEANCONTROLDATA);
  Watch(5, IID_IBOOLEANCONTROLDATA);
  button->Select(true, true);
  EXPECT_FALSE(button->IsSelected());
  ASSERT_EQ(1u, observer_->seen.size());
  EXPECT_EQ(kTrueStateMessage, observer_->seen[0].change);
}

TEST_F(WidgetsTest, ControlViewKeepsEnableStateAndVisibility) {
  auto view = Widget<IControlView>(root_, 11, IID_ICONTROLVIEW);
  auto panel = Widget<IControlView>(root_, 10, IID_ICONTROLVIEW);
  standin::WidgetNode* node = root_->Find(11, 9999);
  root_->visible = true;
  EXPECT_TRUE(view->IsEnabled());
  EXPECT_TRUE(node->IsOperable());
  panel->Disable(true);
  EXPECT_TRUE(view->IsEnabled());    // its own state is kept...
  EXPECT_FALSE(node->IsOperable());  // ...but a person cannot use it
  panel->Enable(true, true);
  view->Hide();
  EXPECT_FALSE(view->IsVisible());
  EXPECT_FALSE(node->IsOperable());
  view->Show(true);
  view->Enable(false, true);
  EXPECT_FALSE(view->IsEnabled());
}

TEST_F(WidgetsTest, ObserversGetOnlyTheirProtocolAndNothingAfterDetach) {
  auto subject = SubjectOf(3);
  auto dropDown = Widget<IDropDownListController>(root_, 3, IID_IDROPDOWNLISTCONTROLLER);
  auto list = Widget<IStringListControlData>(root_, 3, IID_ISTRINGLISTCONTROLDATA);
  auto text = Widget<ITextControlData>(root_, 1, IID_ITEXTCONTROLDATA);

  EXPECT_TRUE(subject->AttachObserver(observer_, IID_ISTRINGLISTCONTROLDATA));
  EXPECT_FALSE(subject->AttachObserver(observer_, IID_ISTRINGLISTCONTROLDATA));  // not twice
  EXPECT_FALSE(subject->AttachObserver(nullptr, IID_ISTRINGLISTCONTROLDATA));
  EXPECT_TRUE(subject->IsAttached(observer_, IID_ISTRINGLISTCONTROLDATA));

  dropDown->Select(0, true, true);
  text->SetString(PMString("elsewhere"), true, true);            // another widget
  subject->Change(kTrueStateMessage, IID_ITRISTATECONTROLDATA);  // another protocol
  EXPECT_EQ(1u, observer_->seen.size());

  observer_->SetEnabled(false);
  dropDown->Select(1, true, true);
  EXPECT_EQ(1u, observer_->seen.size());
  observer_->SetEnabled(true);

  EXPECT_TRUE(subject->DetachObserver(observer_, IID_ISTRINGLISTCONTROLDATA));
  EXPECT_FALSE(subject->DetachObserver(observer_, IID_ISTRINGLISTCONTROLDATA));
  list->AddString(PMString("d"), IStringListControlData::kEnd, true, true);
  dropDown->Select(2, true, true);
  EXPECT_EQ(1u, observer_->seen.size());
}

TEST_F(WidgetsTest, AnObserverDetachedDuringANotificationIsNotCalled) {
  standin::Boss secondBoss("kTestObserverBoss");
  auto* second = secondBoss.AddNew<RecordingObserver>(IID_IOBSERVER);
  auto subject = SubjectOf(1);
  Watch(1, IID_ITEXTCONTROLDATA);
  ASSERT_TRUE(subject->AttachObserver(second, IID_ITEXTCONTROLDATA));
  observer_->onUpdate = [&](ISubject* s) { s->DetachObserver(second, IID_ITEXTCONTROLDATA); };
  Widget<ITextControlData>(root_, 1, IID_ITEXTCONTROLDATA)->SetString(PMString("x"), true, true);
  EXPECT_EQ(1u, observer_->seen.size());
  EXPECT_TRUE(second->seen.empty());
}

TEST_F(WidgetsTest, ADestroyedObserverIsDetachedFromItsSubjects) {
  Watch(1, IID_ITEXTCONTROLDATA);
  const IObserver* dead = observer_;
  observerBoss_.reset();  // destroys the observer while attached
  observer_ = nullptr;
  auto subject = SubjectOf(1);
  EXPECT_FALSE(subject->IsAttached(const_cast<IObserver*>(dead), IID_ITEXTCONTROLDATA));
  // Under AddressSanitizer a call into the dead observer would fail here.
  Widget<ITextControlData>(root_, 1, IID_ITEXTCONTROLDATA)->SetString(PMString("y"), true, true);
}

TEST_F(WidgetsTest, EndlessNotificationLoopsAreCut) {
  auto text = Widget<ITextControlData>(root_, 1, IID_ITEXTCONTROLDATA);
  Watch(1, IID_ITEXTCONTROLDATA);
  // An observer without a guard that answers every change with another.
  observer_->onUpdate = [&](ISubject*) { text->SetString(PMString("again"), true, true); };
  text->SetString(PMString("start"), true, true);
  EXPECT_EQ(32u, observer_->seen.size());
  EXPECT_EQ(0, host_.Subjects().NotificationDepth());
}

}  // namespace
}  // namespace osltest
