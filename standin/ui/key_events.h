// Keyboard input of the headless widgets: key text for scripts, replaying
// keystrokes through a widget's event handler, keyboard focus, and the
// host's keyboard utility (IEventUtils).
//
// Key text: every character stands for its key; {Name} is a named key:
// Backspace, Delete (Del), Tab, Escape (Esc), Left, Right, Up, Down, Home,
// End, Return, Enter, PageUp, PageDown, F1 to F12, Space, Plus; names are
// case-insensitive. Modifiers come before the key, joined by "+": Ctrl (or
// Cmd, Control) for the command modifier, Shift, Alt (or Option), as in
// {Ctrl+a} or {Shift+Tab}. "{{" is a literal "{".
#pragma once

#include <string>
#include <vector>

#include "host/IEvent.h"
#include "host/VirtualKey.h"
#include "standin/core/boss.h"

namespace standin {

class WidgetNode;

struct KeyStroke {
  VirtualKey key;
  bool cmd = false;
  bool shift = false;
  bool option = false;
};

// Parses key text (at most kMaxKeyStrokes keys). False with *error (one
// line) for an unknown key name or modifier, an unclosed "{", text that is
// not UTF-8, or too many keys.
constexpr size_t kMaxKeyStrokes = 100000;
bool ParseKeys(const std::string& text, std::vector<KeyStroke>* keys, std::string* error);

// A key-down event of the stand-in (what handlers receive).
class KeyEvent : public IEvent {
 public:
  explicit KeyEvent(const KeyStroke& stroke) : stroke_(stroke) {}
  bool16 CmdKeyDown() const override { return stroke_.cmd ? 1 : 0; }
  bool16 ShiftKeyDown() const override { return stroke_.shift ? 1 : 0; }
  bool16 OptionAltKeyDown() const override { return stroke_.option ? 1 : 0; }
  EventType GetType() const override { return kKeyDown; }
  VirtualKey GetVirtualKey() const override { return stroke_.key; }
  void SetSystemHandledState(SystemHandledState state) override { handled_ = state; }
  SystemHandledState GetSystemHandledState() const override { return handled_; }

 private:
  KeyStroke stroke_;
  SystemHandledState handled_ = kNotHandled;
};

// Types `keys` into edit box `widget` as a person would: the box gets the
// keyboard focus, each key goes to the KeyDown of the focused box's event
// handler, a Tab no handler consumed moves the focus to the next (Shift:
// previous) operable edit box of the same dialog or panel, and at the end
// the focused box gives up the focus, which commits its text. False with
// *error, typing nothing, when `widget` is not an edit box, cannot be
// operated (it or an enclosing panel is disabled or hidden) or the keys do
// not parse.
bool TypeKeys(WidgetNode& widget, const std::string& keys, std::string* error);
bool TypeKeys(WidgetNode& widget, const std::vector<KeyStroke>& keys, std::string* error);

// Moves the keyboard focus of `widget`'s dialog or panel to `widget` (null
// `widget` is not allowed; use ReleaseKeyFocus). The box losing the focus
// commits its text; the box getting it remembers its text for Escape.
void SetKeyFocus(WidgetNode& widget);
// The dialog or panel `root` leaves no widget with the focus.
void ReleaseKeyFocus(WidgetNode& root);

// Edit-box operations the host's handlers use (`box` must be an edit box).
void InsertCharacter(WidgetNode& box, uint32 codePoint);
void EraseBackward(WidgetNode& box);
void EraseForward(WidgetNode& box);
void MoveCaret(WidgetNode& box, int32 characters);  // negative: left
// Sends kTextChangeStateMessage when the text differs from the last commit.
void CommitText(WidgetNode& box);

// Gives `boss` the host's edit-box event handler (IID_IEVENTHANDLER). The
// headless edit box binds no shortcut: command-modified keys are consumed
// and change nothing.
void AddHostEditBoxHandler(Boss& boss);

// Gives the session boss the host's keyboard utility (IEventUtils) when it
// has none; every keystroke refused through it adds one to
// `*refusedCounter`, which must outlive the boss.
void AddEventUtils(Boss& session, int* refusedCounter);

}  // namespace standin
