// The letters-only key filter on the field panel's field-name box: typed
// through the stand-in's keyboard replay into the box its resources bind it
// to.
#include <gtest/gtest.h>

#include <string>

#include "host/IEventHandler.h"
#include "plugin_base/osl_id.h"
#include "standin/ui/key_events.h"
#include "tests/ui/ui_test_support.h"

namespace osltest {
namespace {

class KeyFilter : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    doc_ = Open(SampleDocument());
    SetLabel(doc_, 10, "");
    Selection().SelectItems(doc_, {10});
    panel_ = ShowFieldPanel();
    box_ = Node(panel_, kOslFieldNameWidgetID);
  }
  // Types `keys` into the field-name box; returns its text afterwards.
  std::string Type(const std::string& keys) {
    std::string error;
    EXPECT_TRUE(standin::TypeKeys(*box_, keys, &error)) << error;
    return box_->text.GetUTF8String();
  }
  InterfacePtr<IEventHandler> Handler() {
    return InterfacePtr<IEventHandler>(&box_->GetBoss(), IID_IEVENTHANDLER);
  }

  standin::Document* doc_ = nullptr;
  standin::WidgetNode* panel_ = nullptr;
  standin::WidgetNode* box_ = nullptr;
};

TEST_F(KeyFilter, OnlyAsciiLettersAreTyped) {
  EXPECT_EQ("AzQ", Type("A1 z_Q-"));
  EXPECT_EQ(4, host_.RefusedKeyCount());  // 1, space, _ and -
  EXPECT_EQ("AzQ", Type("\xc3\xa9{Return}{Enter}{F5}{PageUp}.,"));
  EXPECT_EQ(11, host_.RefusedKeyCount());
  // What was typed is the field's name.
  EXPECT_EQ("controlType:::0|||fieldName:::AzQ|||promptText:::|||", LabelOf(doc_, 10));
}

TEST_F(KeyFilter, EditingAndNavigationKeysReachTheBox) {
  EXPECT_EQ("aXc", Type("abc{Left}{Backspace}X"));
  EXPECT_EQ("YXc", Type("{Home}{Delete}Y{Right}{Delete}{End}c"));
  EXPECT_EQ("YXc", Type("{Up}{Down}"));
  EXPECT_EQ(0, host_.RefusedKeyCount());
  // Escape restores the text the box had when it got the focus.
  EXPECT_EQ("YXc", Type("zz{Escape}"));
  // Tab moves the focus on: the prompt box, which takes any key.
  EXPECT_EQ("YXcd", Type("d{Tab}1 2"));
  EXPECT_EQ("1 2", Node(panel_, kOslPromptTextWidgetID)->text.GetUTF8String());
  EXPECT_EQ(0, host_.RefusedKeyCount());
}

TEST_F(KeyFilter, CommandKeysBypassTheFilter) {
  EXPECT_EQ("ab", Type("ab{Ctrl+1}{Ctrl+Return}"));
  EXPECT_EQ(0, host_.RefusedKeyCount());
}

// Each end of the two letter ranges is typed, and each character just
// outside them (and the digits' ends) is refused: a filter that is one off
// at any end fails here.
TEST_F(KeyFilter, TheEndsOfEveryRangeAndTheirNeighbours) {
  auto handler = Handler();
  ASSERT_TRUE(handler);
  for (char c : std::string("AZaz")) {
    standin::KeyEvent key(standin::KeyStroke{VirtualKey::Character(static_cast<char16_t>(c))});
    handler->KeyDown(&key);
    EXPECT_EQ(IEvent::kNotHandled, key.GetSystemHandledState()) << c;
  }
  EXPECT_EQ(0, host_.RefusedKeyCount());
  EXPECT_EQ("AZaz", box_->text.GetUTF8String());
  int refused = 0;
  for (char c : std::string("@[`{09/:")) {
    standin::KeyEvent key(standin::KeyStroke{VirtualKey::Character(static_cast<char16_t>(c))});
    EXPECT_EQ(1, handler->KeyDown(&key)) << c;
    EXPECT_EQ(IEvent::kHandledByPlugIn, key.GetSystemHandledState()) << c;
    EXPECT_EQ(++refused, host_.RefusedKeyCount()) << c;
  }
  // Typed into the box: only the four letters arrive ("{" opens a named
  // key in the replay, so it was checked above only).
  EXPECT_EQ("AZazAZaz", Type("@A[Z`az0/9:"));
}

TEST_F(KeyFilter, ARefusedKeyIsMarkedHandledByThePlugIn) {
  auto handler = Handler();
  ASSERT_TRUE(handler);
  EXPECT_EQ(0, handler->KeyDown(nullptr));
  standin::KeyEvent digit(standin::KeyStroke{VirtualKey::Character('7')});
  EXPECT_EQ(1, handler->KeyDown(&digit));
  EXPECT_EQ(IEvent::kHandledByPlugIn, digit.GetSystemHandledState());
  EXPECT_EQ(1, host_.RefusedKeyCount());
  standin::KeyEvent letter(standin::KeyStroke{VirtualKey::Character('k')});
  handler->KeyDown(&letter);
  EXPECT_EQ(IEvent::kNotHandled, letter.GetSystemHandledState());
  EXPECT_EQ(1, host_.RefusedKeyCount());
}

}  // namespace
}  // namespace osltest
