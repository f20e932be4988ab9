// Session panels: observers attach when a panel shows and detach when it
// hides; ActiveSelectionObserver follows the active selection; panel
// creators build panels from their views.
#include "host/ActiveSelectionObserver.h"
#include "host/CPanelCreator.h"
#include "host/ISubject.h"
#include "host/ITextControlData.h"
#include "standin/document/document.h"
#include "standin/selection/selection_manager.h"
#include "widget_test_support.h"

namespace osltest {
namespace {

constexpr WidgetID kNameBox = 0x7E31;

// Follows the selection like the field panel's observer, and watches one
// edit box of its panel.
class TestSelectionObserver : public ActiveSelectionObserver {
 public:
  explicit TestSelectionObserver(IPMUnknown* boss) : ActiveSelectionObserver(boss, IID_IOBSERVER) {}

  void AutoAttach() override {
    ActiveSelectionObserver::AutoAttach();
    if (InterfacePtr<ISubject> subject = BoxSubject()) {
      subject->AttachObserver(this, IID_ITEXTCONTROLDATA, GetAttachIID());
    }
  }
  void AutoDetach() override {
    ActiveSelectionObserver::AutoDetach();
    if (InterfacePtr<ISubject> subject = BoxSubject()) {
      subject->DetachObserver(this, IID_ITEXTCONTROLDATA, GetAttachIID());
    }
  }
  void Update(const ClassID& change, ISubject* subject, const PMIID& protocol,
              void* changedBy) override {
    ActiveSelectionObserver::Update(change, subject, protocol, changedBy);
    if (protocol == IID_ITEXTCONTROLDATA) ++edits;
  }

  int changes = 0;
  int activeChanges = 0;
  int edits = 0;
  size_t lastSelected = 0;
  bool hadSelection = false;

 protected:
  void HandleSelectionChanged(const ISelectionMessage* message) override {
    ++changes;
    InterfacePtr<ISelectionManager> selection(QueryAbstractSelection());
    hadSelection = selection != nullptr;
    lastSelected = standin::Host::Current().GetSession().ActiveSelection().SelectedItems().size();
    EXPECT_TRUE(message == nullptr ||
                message->GetMessageType() == ISelectionMessage::kSelectionChanged);
  }
  void HandleActiveSelectionChanged() override {
    ++activeChanges;
    ActiveSelectionObserver::HandleActiveSelectionChanged();
  }

 private:
  InterfacePtr<ISubject> BoxSubject() {
    InterfacePtr<IPanelControlData> panel(this, IID_IPANELCONTROLDATA);
    return InterfacePtr<ISubject>(panel ? panel->FindWidget(kNameBox, 9999) : nullptr,
                                  IID_ISUBJECT);
  }
};

class TestCreator : public CPanelCreator {
 public:
  explicit TestCreator(IPMUnknown* boss) : CPanelCreator(boss) {}
};

class AutoShowCreator : public CPanelCreator {
 public:
  explicit AutoShowCreator(IPMUnknown* boss) : CPanelCreator(boss) {}
  bool16 AutoShowPanel() const override { return 1; }
  RsrcID GetPanelRsrcID() const override { return 801; }
};

const char* kViews = R"({"views": [
  {"rsrc": 800, "kind": "panel", "boss": "kTestFieldPanelBoss", "widgets": [
    {"kind": "panel", "widgets": [{"id": "0x7E31", "name": "field", "kind": "editbox"}]}]},
  {"rsrc": 801, "kind": "panel", "id": "0x7E40", "boss": "kTestCreatedPanelBoss", "widgets": []}]})";

class PanelsTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    AddIn<TestSelectionObserver>("kTestFieldPanelBoss", IID_IOBSERVER, 0x7E0301);
    AddIn<TestCreator>("kTestCreatedPanelBoss", IID_IPANELCREATOR, 0x7E0302);
    RegisterViews(kViews);
    std::string error;
    doc_ = host_.GetSession().AddDocument(standin::Document::Load(
        std::string(OSL_SOURCE_DIR) + "/examples/business-card.tlvd", host_.Files().Get(), &error));
    ASSERT_NE(nullptr, doc_) << error;
  }

  TestSelectionObserver* PanelObserver() {
    std::string error;
    standin::WidgetNode* root = host_.Panels().GetPanel(kTestPlugin, 800, &error);
    InterfacePtr<IObserver> observer(root ? &root->GetBoss() : nullptr, IID_IOBSERVER);
    return static_cast<TestSelectionObserver*>(observer.get());
  }

  void Select(const std::vector<UID>& uids) {
    host_.GetSession().ActiveSelection().SelectItems(doc_, uids);
  }

  standin::Document* doc_ = nullptr;
};

TEST_F(PanelsTest, ASelectionObserverFollowsTheSelectionWhileItsPanelShows) {
  TestSelectionObserver* observer = PanelObserver();
  ASSERT_NE(nullptr, observer);
  Select({10});
  EXPECT_EQ(0, observer->changes);  // built, not shown: not attached

  std::string error;
  ASSERT_TRUE(host_.Panels().Show(kTestPlugin, 800, &error)) << error;
  EXPECT_TRUE(host_.Panels().IsShown(kTestPlugin, 800));
  EXPECT_EQ(1, observer->changes);  // shows the current selection at once
  EXPECT_EQ(1u, observer->lastSelected);
  EXPECT_TRUE(observer->hadSelection);

  Select({10, 11});
  EXPECT_EQ(2, observer->changes);
  EXPECT_EQ(2u, observer->lastSelected);
  host_.GetSession().ActiveSelection().SelectText(doc_, 11);
  EXPECT_EQ(3, observer->changes);

  ASSERT_TRUE(host_.Panels().Show(kTestPlugin, 800, &error));  // shown already
  EXPECT_EQ(3, observer->changes);

  host_.Panels().Hide(kTestPlugin, 800);
  Select({12});
  EXPECT_EQ(3, observer->changes);
}

TEST_F(PanelsTest, WidgetObserversOfAPanelAttachOnlyWhileItShows) {
  TestSelectionObserver* observer = PanelObserver();
  ASSERT_NE(nullptr, observer);
  std::string error;
  standin::WidgetNode* root = host_.Panels().GetPanel(kTestPlugin, 800, &error);
  auto text = Widget<ITextControlData>(root, kNameBox, IID_ITEXTCONTROLDATA);
  text->SetString(PMString("before"), true, true);
  EXPECT_EQ(0, observer->edits);

  ASSERT_TRUE(host_.Panels().Show(kTestPlugin, 800, &error));
  standin::ViewDriver driver(*root);
  ASSERT_TRUE(driver.SetText("field", "typed", &error)) << error;
  EXPECT_EQ(1, observer->edits);

  host_.Panels().Hide(kTestPlugin, 800);
  text->SetString(PMString("after"), true, true);
  EXPECT_EQ(1, observer->edits);
  EXPECT_FALSE(driver.SetText("field", "hidden", &error));  // a hidden panel cannot be used
}

TEST_F(PanelsTest, ObserversKeepFollowingWhenTheSelectionIsRebuilt) {
  TestSelectionObserver* observer = PanelObserver();
  std::string error;
  ASSERT_TRUE(host_.Panels().Show(kTestPlugin, 800, &error));
  ASSERT_EQ(1, observer->changes);

  // Declaring an add-in rebuilds the selection's bosses; the selection
  // and its observers stay.
  host_.Objects().DeclareAddIn("kSomeOtherBoss", {0x7E7777, 0x7E0399});
  EXPECT_EQ(1, observer->changes);
  Select({10});
  EXPECT_EQ(2, observer->changes);
  host_.Panels().Hide(kTestPlugin, 800);
  Select({11});
  EXPECT_EQ(2, observer->changes);
}

TEST_F(PanelsTest, PanelCreatorsBuildTheirViews) {
  auto provider = host_.Objects().MakeBoss("kTestCreatedPanelBoss");
  InterfacePtr<IPanelCreator> creator(provider.get(), IID_IPANELCREATOR);
  ASSERT_TRUE(creator);
  EXPECT_EQ(801, creator->GetPanelRsrcID());
  EXPECT_EQ(801, creator->GetPanelViewRsrcID());
  EXPECT_FALSE(creator->AutoShowPanel());
  K2Vector<ServiceID> services;
  creator->GetServiceIDs(services);
  EXPECT_TRUE(services.empty());
  EXPECT_EQ(nullptr, creator->CreatePanelForDialog(nullptr));

  IControlView* panel = creator->CreatePanel();
  ASSERT_NE(nullptr, panel);
  EXPECT_EQ(WidgetID{0x7E40}, panel->GetWidgetID());
  EXPECT_FALSE(host_.Panels().IsShown(kTestPlugin, 801));

  // A creator bound to another class names its resource itself.
  AddIn<AutoShowCreator>("kAutoShowCreatorBoss", IID_IPANELCREATOR, 0x7E0303);
  auto other = host_.Objects().MakeBoss("kAutoShowCreatorBoss");
  InterfacePtr<IPanelCreator> autoShow(other.get(), IID_IPANELCREATOR);
  ASSERT_TRUE(autoShow);
  ASSERT_NE(nullptr, autoShow->CreatePanel());
  EXPECT_TRUE(host_.Panels().IsShown(kTestPlugin, 801));
}

TEST_F(PanelsTest, MissingPanelViewsAreReported) {
  std::string error;
  EXPECT_FALSE(host_.Panels().Show(kTestPlugin, 999, &error));
  EXPECT_NE(std::string::npos, error.find("999")) << error;
  AddIn<TestCreator>("kNoViewBoss", IID_IPANELCREATOR, 0x7E0302);
  auto withCreator = host_.Objects().MakeBoss("kNoViewBoss");
  InterfacePtr<IPanelCreator> creator(withCreator.get(), IID_IPANELCREATOR);
  ASSERT_TRUE(creator);
  EXPECT_EQ(0, creator->GetPanelRsrcID());
  EXPECT_EQ(nullptr, creator->CreatePanel());
}

}  // namespace
}  // namespace osltest
