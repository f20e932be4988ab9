// Dialogs: the dialog manager, the standard OK path, dialog scripts, modal
// runs and the preferences dialog with its panel list.
#include <memory>

#include "host/CDialogController.h"
#include "host/CDialogObserver.h"
#include "host/CPanelCreator.h"
#include "host/IApplication.h"
#include "host/IDialogCreator.h"
#include "host/IDialogMgr.h"
#include "host/IDialogPanelSwitcher.h"
#include "host/IDropDownListController.h"
#include "host/IServiceRegistry.h"
#include "host/ISession.h"
#include "host/ITextControlData.h"
#include "standin/document/document.h"
#include "widget_test_support.h"

namespace osltest {
namespace {

constexpr WidgetID kName = 0x7E01;
constexpr WidgetID kKind = 0x7E02;
constexpr WidgetID kBox = 0x7E03;
constexpr WidgetID kPrefPanelA = 0x7E60;
constexpr WidgetID kPrefServer = 0x7E61;
constexpr WidgetID kPrefPanelB = 0x7E70;
constexpr WidgetID kPrefOther = 0x7E71;

struct ControllerLog {
  int init = 0;
  int validate = 0;
  int apply = 0;
  int cancelled = 0;
  int closing = 0;
  bool hadDocument = false;
  std::string applied;
  int32 kind = -2;
  int32 box = -1;
  WidgetID appliedBy = 0;
};
ControllerLog gDialog;
ControllerLog gPanel;

// Fills the name box, refuses an empty name and records what it applies.
class TestController : public CDialogController {
 public:
  explicit TestController(IPMUnknown* boss) : CDialogController(boss) {}
  void InitializeDialogFields(IActiveContext* context) override {
    CDialogController::InitializeDialogFields(context);
    ++gDialog.init;
    gDialog.hadDocument = context && context->GetContextDocument();
    SetTextControlData(kName, PMString("initial", PMString::kDontTranslateDuringCall));
  }
  WidgetID ValidateDialogFields(IActiveContext* context) override {
    ++gDialog.validate;
    const WidgetID base = CDialogController::ValidateDialogFields(context);
    return GetTextControlData(kName).IsEmpty() ? kName : base;
  }
  void ApplyDialogFields(IActiveContext* context, const WidgetID& widget) override {
    CDialogController::ApplyDialogFields(context, widget);
    ++gDialog.apply;
    gDialog.applied = GetTextControlData(kName).GetUTF8String();
    gDialog.appliedBy = widget;
    gDialog.box = GetTriStateControlData(kBox);
    InterfacePtr<IPanelControlData> panel(QueryIfNilElseAddRef(nullptr));
    InterfacePtr<IDropDownListController> kind(panel->FindWidget(kKind, 9999),
                                               IID_IDROPDOWNLISTCONTROLLER);
    gDialog.kind = kind ? kind->GetSelected() : -2;
  }
  void UserCancelled() override { ++gDialog.cancelled; }
  void ClosingDialog() override { ++gDialog.closing; }
};

class TestDialogObserver : public CDialogObserver {
 public:
  explicit TestDialogObserver(IPMUnknown* boss) : CDialogObserver(boss) {}
};

// The controller of a preferences panel: stores the server box on OK.
class TestPrefController : public CDialogController {
 public:
  explicit TestPrefController(IPMUnknown* boss) : CDialogController(boss) {}
  void InitializeDialogFields(IActiveContext*) override {
    ++gPanel.init;
    SetTextControlData(kPrefServer, PMString("http://stored", PMString::kDontTranslateDuringCall));
  }
  WidgetID ValidateDialogFields(IActiveContext*) override {
    ++gPanel.validate;
    return GetTextControlData(kPrefServer) == PMString("bad") ? kPrefServer : kDefaultWidgetId;
  }
  void ApplyDialogFields(IActiveContext*, const WidgetID&) override {
    ++gPanel.apply;
    gPanel.applied = GetTextControlData(kPrefServer).GetUTF8String();
  }
};

class TestPanelCreator : public CPanelCreator {
 public:
  explicit TestPanelCreator(IPMUnknown* boss) : CPanelCreator(boss) {}
};

const char* kViews = R"({"views": [
  {"rsrc": 500, "kind": "dialog", "boss": "kTestDialogBoss", "title": "Test dialog",
   "widgets": [{"kind": "panel", "widgets": [
     {"id": "0x7E01", "name": "name", "kind": "editbox"},
     {"id": "0x7E02", "name": "kind", "kind": "dropdown", "entries": ["x", "y", "z"]},
     {"id": "0x7E03", "name": "box", "kind": "checkbox"},
     {"id": "0x7E04", "name": "off", "kind": "editbox", "enabled": false}]}]},
  {"rsrc": 501, "kind": "dialog", "boss": "kPlainDialogBoss",
   "widgets": [{"id": "0x7E01", "name": "name", "kind": "editbox"}]},
  {"rsrc": 502, "kind": "panel", "widgets": []},
  {"rsrc": 600, "kind": "panel", "id": "0x7E60", "boss": "kTestPrefPanelBoss",
   "services": ["preferences"], "widgets": [{"id": "0x7E61", "name": "server", "kind": "editbox"}]},
  {"rsrc": 601, "kind": "panel", "id": "0x7E70", "name": "other", "services": ["preferences"],
   "widgets": [{"id": "0x7E71", "kind": "editbox"}]}]})";

class DialogsTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    gDialog = ControllerLog();
    gPanel = ControllerLog();
    AddIn<TestController>("kTestDialogBoss", IID_IDIALOGCONTROLLER, 0x7E0101);
    AddIn<TestDialogObserver>("kTestDialogBoss", IID_IOBSERVER, 0x7E0102);
    AddIn<TestController>("kPlainDialogBoss", IID_IDIALOGCONTROLLER, 0x7E0101);
    AddIn<TestPrefController>("kTestPrefPanelBoss", IID_IDIALOGCONTROLLER, 0x7E0103);
    AddIn<TestPanelCreator>("kTestPrefPanelBoss", IID_IPANELCREATOR, 0x7E0104);
    RegisterViews(kViews);
  }

  // Through the host's interfaces, as a plug-in would.
  IDialog* NewDialog(RsrcID rsrc, RsrcType type = kViewRsrcType) {
    InterfacePtr<IApplication> app(GetExecutionContextSession(), IID_IAPPLICATION);
    if (!app) return nullptr;
    InterfacePtr<IDialogMgr> mgr(app->QueryDialogMgr());
    if (!mgr) return nullptr;
    return mgr->CreateNewDialog(RsrcSpec(LocaleSetting::GetLocale(), kTestPlugin, type, rsrc, true),
                                IDialog::kMovableModal);
  }

  standin::WidgetNode* Root(IDialog* dialog) {
    return standin::WidgetNode::Of(dialog->GetDialogPanel());
  }

  void Queue(const std::string& spec) {
    std::string error;
    ASSERT_TRUE(host_.Dialogs().QueueScriptSpec(spec, &error)) << error;
  }
};

TEST_F(DialogsTest, OkValidatesAppliesAndClosesAndAFailedValidationKeepsTheDialogOpen) {
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  EXPECT_FALSE(dialog->IsOpen());
  dialog->Open();
  EXPECT_TRUE(dialog->IsOpen());
  EXPECT_EQ(1, gDialog.init);
  EXPECT_EQ("initial", Widget<ITextControlData>(Root(dialog), kName, IID_ITEXTCONTROLDATA)
                           ->GetString()
                           .GetUTF8String());

  standin::ViewDriver driver(*Root(dialog));
  std::string error;
  ASSERT_TRUE(driver.SetText("name", "", &error)) << error;
  ASSERT_TRUE(driver.PressOK(&error)) << error;
  EXPECT_TRUE(dialog->IsOpen());
  EXPECT_EQ(1, gDialog.validate);
  EXPECT_EQ(0, gDialog.apply);
  EXPECT_EQ(Root(dialog)->Find(kName, 9999), Root(dialog)->focus);  // the offending widget

  ASSERT_TRUE(driver.SetText("0x7E01", "Flyer", &error)) << error;
  ASSERT_TRUE(driver.Select("kind", 2, &error)) << error;
  ASSERT_TRUE(driver.Check("box", ITriStateControlData::kSelected, &error)) << error;
  ASSERT_TRUE(driver.PressOK(&error)) << error;
  EXPECT_FALSE(dialog->IsOpen());
  EXPECT_EQ(IDialog::kOK, dialog->GetResult());
  EXPECT_EQ(1, gDialog.apply);
  EXPECT_EQ("Flyer", gDialog.applied);
  EXPECT_EQ(2, gDialog.kind);
  EXPECT_EQ(ITriStateControlData::kSelected, gDialog.box);
  EXPECT_EQ(kOKButtonWidgetID, gDialog.appliedBy);
  EXPECT_EQ(1, gDialog.closing);
  EXPECT_EQ(0, gDialog.cancelled);
  EXPECT_EQ((std::vector<std::string>{"[dialog] 500 opened", "[dialog] 500 invalid 0x7e01",
                                      "[dialog] 500 ok"}),
            DialogLog());
}

TEST_F(DialogsTest, CancelClosesWithoutApplying) {
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  dialog->Open();
  std::string error;
  standin::ViewDriver driver(*Root(dialog));
  ASSERT_TRUE(driver.SetText("name", "Changed", &error));
  ASSERT_TRUE(driver.PressCancel(&error)) << error;
  EXPECT_FALSE(dialog->IsOpen());
  EXPECT_EQ(IDialog::kCancelled, dialog->GetResult());
  EXPECT_EQ(0, gDialog.validate);
  EXPECT_EQ(0, gDialog.apply);
  EXPECT_EQ(1, gDialog.cancelled);
  EXPECT_EQ((std::vector<std::string>{"[dialog] 500 opened", "[dialog] 500 cancel"}), DialogLog());
}

TEST_F(DialogsTest, WaitPlaysTheQueuedScript) {
  Queue("500:text name   three spaces;select kind 1;check box on;ok");
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(IDialog::kOK, dialog->Wait());
  EXPECT_EQ("  three spaces", gDialog.applied);  // the text after one blank, as written
  EXPECT_EQ(1, gDialog.kind);
  EXPECT_EQ(ITriStateControlData::kSelected, gDialog.box);
  EXPECT_EQ(0u, host_.Dialogs().QueuedScripts());
}

TEST_F(DialogsTest, AModalDialogWithoutScriptIsCancelled) {
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(IDialog::kCancelled, dialog->Wait());
  EXPECT_FALSE(dialog->IsOpen());
  EXPECT_EQ(0, gDialog.apply);
  EXPECT_EQ(1, gDialog.cancelled);
  EXPECT_EQ((std::vector<std::string>{"[dialog] 500 opened", "[dialog] 500 no script",
                                      "[dialog] 500 cancel"}),
            DialogLog());
}

TEST_F(DialogsTest, AFailingStepCancelsTheDialog) {
  Queue("500:text name Kept;text off x;ok");  // "off" is disabled
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(IDialog::kCancelled, dialog->Wait());
  EXPECT_EQ(0, gDialog.apply);
  const auto log = DialogLog();
  ASSERT_EQ(3u, log.size());
  EXPECT_EQ("[dialog] 500 script error: step 2: widget off is disabled or hidden", log[1]);
  EXPECT_EQ("[dialog] 500 cancel", log[2]);

  Queue("500:pick kind nothing-like-this");
  EXPECT_EQ(IDialog::kCancelled, NewDialog(500)->Wait());
  EXPECT_EQ("[dialog] 500 script error: step 1: drop-down kind has no entry \"nothing-like-this\"",
            DialogLog()[1]);
}

TEST_F(DialogsTest, ADialogStillOpenAfterItsScriptIsCancelled) {
  Queue("500:text name;ok");  // empty name: OK is refused
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(IDialog::kCancelled, dialog->Wait());
  EXPECT_EQ(
      (std::vector<std::string>{"[dialog] 500 opened", "[dialog] 500 invalid 0x7e01",
                                "[dialog] 500 still open after its script", "[dialog] 500 cancel"}),
      DialogLog());
}

TEST_F(DialogsTest, EachOpeningTakesTheNextScript) {
  Queue("500:text name First;ok");
  Queue("500:cancel");
  Queue("500:text name Third;ok");
  EXPECT_EQ(IDialog::kOK, NewDialog(500)->Wait());
  EXPECT_EQ("First", gDialog.applied);
  EXPECT_EQ(IDialog::kCancelled, NewDialog(500)->Wait());
  EXPECT_EQ(IDialog::kOK, NewDialog(500)->Wait());
  EXPECT_EQ("Third", gDialog.applied);
  EXPECT_EQ(2, gDialog.apply);
}

TEST_F(DialogsTest, ADialogWithoutObserverGetsTheStandardOkPath) {
  Queue("501:text name Plain;ok");
  IDialog* dialog = NewDialog(501);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(IDialog::kOK, dialog->Wait());
  EXPECT_EQ("Plain", gDialog.applied);
}

TEST_F(DialogsTest, AnOpenModalDialogRunsWhenTheHostReturnsToItsLoop) {
  Queue("500:text name Later;ok");
  IDialog* dialog = NewDialog(500);
  ASSERT_NE(nullptr, dialog);
  dialog->Open();  // the plug-in does not wait
  EXPECT_EQ(0, gDialog.apply);
  host_.Dialogs().RunOpenDialogs();
  EXPECT_EQ(1, gDialog.apply);
  EXPECT_EQ("Later", gDialog.applied);
}

TEST_F(DialogsTest, TheContextDocumentIsTheFrontDocumentWhenTheDialogOpens) {
  NewDialog(500)->Wait();
  EXPECT_FALSE(gDialog.hadDocument);
  std::string error;
  auto doc = standin::Document::Load(std::string(OSL_SOURCE_DIR) + "/examples/business-card.tlvd",
                                     host_.Files().Get(), &error);
  ASSERT_TRUE(doc) << error;
  host_.GetSession().AddDocument(std::move(doc));
  NewDialog(500)->Wait();
  EXPECT_TRUE(gDialog.hadDocument);
  EXPECT_NE(nullptr, host_.Dialogs().SessionContext()->GetContextDocument());
}

TEST_F(DialogsTest, OnlyDialogViewsMakeDialogs) {
  EXPECT_EQ(nullptr, NewDialog(500, 0x4D454E55));  // not 'VIEW'
  EXPECT_EQ(nullptr, NewDialog(999));              // no such view
  EXPECT_EQ(nullptr, NewDialog(502));              // a panel
  std::string error;
  EXPECT_EQ(IDialog::kNoResult,
            host_.Dialogs().RunDialog(kTestPlugin, 999, nullptr, &error));
  EXPECT_NE(std::string::npos, error.find("no view 999")) << error;
}

TEST_F(DialogsTest, TheCommandLineRunsADialogWithItsOwnScript) {
  standin::DialogScript script;
  std::string error;
  ASSERT_TRUE(standin::ParseDialogScript("text name From the CLI\nok", &script, &error)) << error;
  EXPECT_EQ(IDialog::kOK, host_.Dialogs().RunDialog(kTestPlugin, 500, &script, &error));
  EXPECT_EQ("From the CLI", gDialog.applied);
}

TEST_F(DialogsTest, AnInteractiveHostAsksForTheStepsOfADialogWithoutScript) {
  std::string input = "show\ntext name\nok\nbogus step\ntext name Typed\nok\n";
  input += std::string(5000, 'x') + "\nunknown words\n";
  FILE* in = fmemopen(input.data(), input.size(), "r");
  ASSERT_NE(nullptr, in);
  host_.Dialogs().SetInteractive(true, in);
  EXPECT_EQ(IDialog::kOK, NewDialog(500)->Wait());
  EXPECT_EQ("Typed", gDialog.applied);
  EXPECT_EQ((std::vector<std::string>{"[dialog] 500 opened", "[dialog] 500 invalid 0x7e01",
                                      "[dialog] 500 ok"}),
            DialogLog());
  // The rest of the input belongs to the next dialog; its end cancels.
  EXPECT_EQ(IDialog::kCancelled, NewDialog(500)->Wait());
  std::fclose(in);
  host_.Dialogs().SetInteractive(false);
}

// ---- the preferences dialog ----

IDialog* NewPreferencesDialog() {
  InterfacePtr<IServiceRegistry> registry(GetExecutionContextSession(), IID_ISERVICEREGISTRY);
  if (!registry) return nullptr;
  InterfacePtr<IPMUnknown> provider(registry->QueryServiceProvider(kPreferencesDialogService));
  InterfacePtr<IDialogCreator> creator(provider.get(), IID_IDIALOGCREATOR);
  return creator ? creator->CreateDialog() : nullptr;
}

InterfacePtr<IDialogPanelSwitcher> PanelList(IDialog* dialog) {
  InterfacePtr<IPanelControlData> panel(dialog->GetDialogPanel(), IID_IPANELCONTROLDATA);
  return InterfacePtr<IDialogPanelSwitcher>(
      panel ? panel->FindWidget(kPreferencesPanelListWidgetID, 9999) : nullptr,
      IID_IDIALOGPANELSWITCHER);
}

TEST_F(DialogsTest, ThePreferencesDialogHoldsThePanelsOfItsService) {
  IDialog* dialog = NewPreferencesDialog();
  ASSERT_NE(nullptr, dialog);
  auto list = PanelList(dialog);
  ASSERT_TRUE(list);
  ASSERT_EQ(2, list->GetPanelCount());
  EXPECT_EQ(kPrefPanelA, list->GetPanelID(0));  // built by its boss's panel creator
  EXPECT_EQ(kPrefPanelB, list->GetPanelID(1));  // built by the host (no creator)
  EXPECT_EQ(kInvalidWidgetID, list->GetPanelID(2));
  EXPECT_EQ(kPrefPanelA, list->GetSelectedPanelID());
  EXPECT_FALSE(list->SwitchDialogPanelByID(0x1234));
  EXPECT_TRUE(list->SwitchDialogPanelByID(kPrefPanelB));
  EXPECT_EQ(kPrefPanelB, list->GetSelectedPanelID());

  Queue("preferences:panel 0x7E60;text server http://new.example;ok");
  EXPECT_EQ(IDialog::kOK, dialog->Wait());
  EXPECT_EQ(1, gPanel.init);
  EXPECT_EQ(1, gPanel.validate);
  EXPECT_EQ(1, gPanel.apply);
  EXPECT_EQ("http://new.example", gPanel.applied);
  EXPECT_EQ((std::vector<std::string>{"[dialog] preferences opened", "[dialog] preferences ok"}),
            DialogLog());
}

TEST_F(DialogsTest, APreferencesPanelMustShowToBeUsedAndCanRefuseOk) {
  // The widgets of a panel that is not showing cannot be used.
  Queue("preferences:panel other;text server x;ok");
  IDialog* dialog = NewPreferencesDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(IDialog::kCancelled, dialog->Wait());
  EXPECT_EQ("[dialog] preferences script error: step 2: widget server is disabled or hidden",
            DialogLog()[1]);

  Queue("preferences:text server bad;ok;text server good;ok");
  dialog = NewPreferencesDialog();
  EXPECT_EQ(IDialog::kOK, dialog->Wait());
  EXPECT_EQ(1, gPanel.apply);
  EXPECT_EQ("good", gPanel.applied);
  EXPECT_EQ(
      (std::vector<std::string>{"[dialog] preferences opened",
                                "[dialog] preferences invalid 0x7e61", "[dialog] preferences ok"}),
      DialogLog());

  dialog = NewPreferencesDialog();
  EXPECT_EQ(IDialog::kCancelled, dialog->Wait());
  EXPECT_EQ(1, gPanel.apply);  // a cancelled dialog applies nothing
}

// ---- script syntax ----

TEST(DialogScriptTest, ParsesStepsEscapesAndComments) {
  standin::DialogScript script;
  std::string error;
  ASSERT_TRUE(standin::ParseDialogScript(
      "# a comment\r\ntext 0x199E07 a\\;b\\\\c\\sd\\n;;select w 2\ncheck w mixed;ok", &script,
      &error))
      << error;
  ASSERT_EQ(4u, script.steps.size());
  EXPECT_EQ(standin::ScriptStep::Verb::kText, script.steps[0].verb);
  EXPECT_EQ("0x199E07", script.steps[0].widget);
  EXPECT_EQ("a;b\\c d\n", script.steps[0].value);
  EXPECT_EQ(2, script.steps[1].number);
  EXPECT_EQ(ITriStateControlData::kUnknown, script.steps[2].number);
  EXPECT_EQ(standin::ScriptStep::Verb::kOK, script.steps[3].verb);

  std::string key;
  ASSERT_TRUE(standin::ParseDialogScriptSpec("0xFA:cancel", &key, &script, &error)) << error;
  EXPECT_EQ("250", key);
  ASSERT_TRUE(standin::ParseDialogScriptSpec("preferences:ok", &key, &script, &error)) << error;
  EXPECT_EQ("preferences", key);
}

TEST(DialogScriptTest, RejectsMalformedSteps) {
  standin::DialogScript script;
  script.steps.resize(1);
  std::string error;
  for (const char* bad : {"frobnicate w", "text", "select w two", "select w -1", "check w maybe",
                          "ok now", "press", "type w {NoSuchKey}", "text w x\\", "text w \\q"}) {
    EXPECT_FALSE(standin::ParseDialogScript(bad, &script, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_EQ(1u, script.steps.size());  // unchanged on failure
  std::string key;
  EXPECT_FALSE(standin::ParseDialogScriptSpec("ok", &key, &script, &error));
  EXPECT_FALSE(standin::ParseDialogScriptSpec("dialog:ok", &key, &script, &error));
  EXPECT_FALSE(standin::ParseDialogScriptSpec("-5:ok", &key, &script, &error));
}

}  // namespace
}  // namespace osltest
