// Keystrokes: key text, replay through edit-box event handlers (the host's
// and a filtering one), caret editing, focus and commits.
#include "standin/ui/key_events.h"

#include "host/CIDEditBoxEventHandler.h"
#include "host/CObserver.h"
#include "host/IEventUtils.h"
#include "host/ISubject.h"
#include "host/ITextControlData.h"
#include "host/Utils.h"
#include "widget_test_support.h"

namespace osltest {
namespace {

// A filter like the plug-in's: ASCII letters and the editing keys pass,
// command-modified keys bypass it, everything else is refused through the
// host's keyboard utility.
class LettersOnlyFilter : public CIDEditBoxEventHandler {
 public:
  explicit LettersOnlyFilter(IPMUnknown* boss) : CIDEditBoxEventHandler(boss) {}
  bool16 KeyDown(IEvent* e) override {
    if (!e) return 0;
    if (e->CmdKeyDown()) return DVEditBoxEventHandler::KeyDown(e);
    const VirtualKey key = e->GetVirtualKey();
    const textchar c = key.GetChar();
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return DVHostedWidgetEH::KeyCmd(e);
    for (const VirtualKey& pass :
         {kVirtualDeleteKey, kVirtualTabKey, kVirtualBackspaceKey, kVirtualEscapeKey,
          kVirtualRightArrowKey, kVirtualLeftArrowKey, kVirtualHomeKey, kVirtualEndKey,
          kVirtualUpArrowKey, kVirtualDownArrowKey}) {
      if (key == pass) return DVEditBoxEventHandler::KeyDown(e);
    }
    InterfacePtr<IEventUtils> utils(
        static_cast<IEventUtils*>(UtilsBoss::QueryUtils(IID_IEVENTUTILS)));
    if (utils) utils->RefuseKeyStroke(e);
    e->SetSystemHandledState(IEvent::kHandledByPlugIn);
    return 1;
  }
};

class CommitCounter : public CObserver {
 public:
  explicit CommitCounter(IPMUnknown* boss) : CObserver(boss) {}
  void Update(const ClassID& change, ISubject*, const PMIID&, void*) override {
    if (change == kTextChangeStateMessage) ++commits;
  }
  int commits = 0;
};

const char* kViews = R"({"views": [{"rsrc": 700, "kind": "dialog", "widgets": [
  {"id": 1, "name": "plain", "kind": "editbox", "text": "abc"},
  {"id": 2, "name": "filtered", "kind": "editbox", "boss": "kFilteredEditBoxBoss"},
  {"id": 3, "name": "label", "kind": "text", "text": "Label"},
  {"id": 4, "name": "disabled", "kind": "editbox", "enabled": false},
  {"id": 5, "name": "last", "kind": "editbox"}]}]})";

class EventsTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    AddIn<LettersOnlyFilter>("kFilteredEditBoxBoss", IID_IEVENTHANDLER, 0x7E0201);
    RegisterViews(kViews);
    std::string error;
    dialog_ =
        host_.Dialogs().CreateDialog(kTestPlugin, 700, IDialog::kMovableModal, &error);
    ASSERT_NE(nullptr, dialog_) << error;
    dialog_->Open();
    root_ = standin::WidgetNode::Of(dialog_->GetDialogPanel());
    counterBoss_ = std::make_unique<standin::Boss>("kTestObserverBoss");
    counter_ = counterBoss_->AddNew<CommitCounter>(IID_IOBSERVER);
  }
  void TearDown() override {
    counterBoss_.reset();
    ToolkitTest::TearDown();
  }

  standin::WidgetNode& Box(WidgetID id) { return *root_->Find(id, 9999); }
  std::string Text(WidgetID id) { return Box(id).text.GetUTF8String(); }
  void Type(WidgetID id, const std::string& keys) {
    std::string error;
    ASSERT_TRUE(standin::TypeKeys(Box(id), keys, &error)) << error;
  }
  void CountCommits(WidgetID id) {
    Widget<ISubject>(root_, id, IID_ISUBJECT)->AttachObserver(counter_, IID_ITEXTCONTROLDATA);
  }

  IDialog* dialog_ = nullptr;
  standin::WidgetNode* root_ = nullptr;
  std::unique_ptr<standin::Boss> counterBoss_;
  CommitCounter* counter_ = nullptr;
};

TEST(KeyTextTest, ParsesCharactersNamedKeysAndModifiers) {
  std::vector<standin::KeyStroke> keys;
  std::string error;
  ASSERT_TRUE(standin::ParseKeys("a{Left}{{}{ctrl+Z}{Shift+Tab}{F12}{Ctrl++}é😀", &keys, &error))
      << error;
  ASSERT_EQ(10u, keys.size());
  EXPECT_EQ(VirtualKey::Character('a'), keys[0].key);
  EXPECT_EQ(kVirtualLeftArrowKey, keys[1].key);
  EXPECT_EQ(VirtualKey::Character('{'), keys[2].key);
  EXPECT_EQ(VirtualKey::Character('}'), keys[3].key);  // "}" alone is a character
  EXPECT_TRUE(keys[4].cmd);
  EXPECT_EQ(VirtualKey::Character('Z'), keys[4].key);
  EXPECT_TRUE(keys[5].shift);
  EXPECT_EQ(kVirtualTabKey, keys[5].key);
  EXPECT_EQ(VirtualKey::Virtual(VirtualKey::kF12), keys[6].key);
  EXPECT_TRUE(keys[7].cmd);
  EXPECT_EQ(VirtualKey::Character('+'), keys[7].key);
  EXPECT_EQ(VirtualKey::Character(0xE9), keys[8].key);
  EXPECT_EQ(0xE9, keys[8].key.GetChar());
  EXPECT_EQ(0x1F600u, keys[9].key.GetCodePoint());
  EXPECT_EQ(0xFFFD, keys[9].key.GetChar());  // beyond 16 bits: never mistaken for a letter
}

TEST(KeyTextTest, RejectsUnknownKeysAndBrokenText) {
  std::vector<standin::KeyStroke> keys;
  std::string error;
  for (const std::string bad :
       {"{Nope}", "{Hyper+a}", "abc{Left", "{F13}", "\xC3", "\xED\xA0\x80"}) {
    EXPECT_FALSE(standin::ParseKeys(bad, &keys, &error)) << bad;
  }
  EXPECT_FALSE(standin::ParseKeys(std::string(standin::kMaxKeyStrokes + 1, 'a'), &keys, &error));
}

TEST(KeyTextTest, VirtualKeysNeverLookLikeLettersOrDigits) {
  for (int code = VirtualKey::kNone; code <= VirtualKey::kLastCode; ++code) {
    const textchar c = VirtualKey::Virtual(static_cast<VirtualKey::Code>(code)).GetChar();
    EXPECT_FALSE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
  }
  EXPECT_NE(VirtualKey::Character(0x08), kVirtualBackspaceKey);
}

TEST_F(EventsTest, ThePlainEditBoxEditsAtTheCaret) {
  Type(1, "d{Left}{Left}X{Home}>{End}<");
  EXPECT_EQ(">abXcd<", Text(1));
  Type(1, "{Home}{Delete}{Right}{Backspace}{Up}[{Down}]");
  EXPECT_EQ("[bXcd<]", Text(1));
  Type(1, "{Home}{Backspace}{End}{Delete}");  // nothing to erase at either end
  EXPECT_EQ("[bXcd<]", Text(1));
}

TEST_F(EventsTest, CharactersBeyond16BitsAreEditedWhole) {
  Type(5, "a😀b{Left}{Backspace}");
  EXPECT_EQ("ab", Text(5));
  Type(5, "{Home}😀{Home}{Delete}");
  EXPECT_EQ("ab", Text(5));
  Type(5, "{Home}{Right}😀{Left}{Left}{Delete}");
  EXPECT_EQ("😀b", Text(5));
}

TEST_F(EventsTest, TextIsCommittedOnceWhenTheBoxLosesTheFocusOrOnReturn) {
  CountCommits(1);
  Type(1, "de");
  EXPECT_EQ(1, counter_->commits);
  Type(1, "x{Backspace}");  // back to the committed text
  EXPECT_EQ(1, counter_->commits);
  Type(1, "f{Return}g");
  EXPECT_EQ(3, counter_->commits);
  EXPECT_EQ("abcdefg", Text(1));
}

TEST_F(EventsTest, EscapeRestoresTheTextTheBoxHadWhenItGotTheFocus) {
  CountCommits(1);
  Type(1, "xyz{Escape}");
  EXPECT_EQ("abc", Text(1));
  EXPECT_EQ(0, counter_->commits);
}

TEST_F(EventsTest, TabMovesTheFocusToTheNextOperableEditBox) {
  Type(1, "1{Tab}Two{Tab}3{Shift+Tab}{Shift+Tab}4");
  // Box 2 filters the digit; box 4 is disabled and skipped; after box 5 the
  // focus wraps to box 1.
  EXPECT_EQ("abc14", Text(1));
  EXPECT_EQ("Two", Text(2));
  EXPECT_EQ("3", Text(5));
  EXPECT_EQ("", Text(4));
  EXPECT_EQ(nullptr, root_->focus);  // released at the end
}

TEST_F(EventsTest, TheFilteringHandlerRefusesAllButLettersAndEditingKeys) {
  const int before = host_.RefusedKeyCount();
  CountCommits(2);
  Type(2, "A1 z_Q-é{Return}{Enter}{F2}");
  EXPECT_EQ("AzQ", Text(2));
  EXPECT_EQ(before + 8, host_.RefusedKeyCount());  // 1, space, _, -, é, Return, Enter, F2
  EXPECT_EQ(1, counter_->commits);           // Return never reached the box: one commit, at the end
  Type(2, "{Left}{Backspace}{End}{Home}{Delete}{Escape}x");
  EXPECT_EQ("AzQx", Text(2));  // Escape restored "AzQ"
  const int refused = host_.RefusedKeyCount();
  Type(2, "{Ctrl+1}{Ctrl+a}");  // shortcuts pass the filter; the box binds none
  EXPECT_EQ("AzQx", Text(2));
  EXPECT_EQ(refused, host_.RefusedKeyCount());
}

TEST_F(EventsTest, OnlyOperableEditBoxesTakeKeys) {
  std::string error;
  EXPECT_FALSE(standin::TypeKeys(Box(3), "x", &error));
  EXPECT_NE(std::string::npos, error.find("not an edit box")) << error;
  EXPECT_FALSE(standin::TypeKeys(Box(4), "x", &error));
  EXPECT_NE(std::string::npos, error.find("disabled or hidden")) << error;
  EXPECT_FALSE(standin::TypeKeys(Box(1), "{Bogus}", &error));
  EXPECT_EQ("abc", Text(1));  // nothing typed
}

TEST_F(EventsTest, ScriptsTypeThroughTheHandlerAndPasteAroundIt) {
  standin::ViewDriver driver(*root_);
  std::string error;
  ASSERT_TRUE(driver.Type("filtered", "First name 2", &error)) << error;
  EXPECT_EQ("Firstname", Text(2));
  ASSERT_TRUE(driver.SetText("filtered", "Pasted 1", &error)) << error;  // pasting is not typing
  EXPECT_EQ("Pasted 1", Text(2));
}

}  // namespace
}  // namespace osltest
