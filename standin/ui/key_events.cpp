// Keystrokes: parsing key text, replaying it through event handlers, the
// edit box's editing and the host's edit-box handler layers.
#include "standin/ui/key_events.h"

#include <algorithm>
#include <cctype>

#include "host/CIDEditBoxEventHandler.h"
#include "host/IEventUtils.h"
#include "host/InterfacePtr.h"
#include "standin/core/utf8.h"
#include "standin/ui/widgets.h"
#include "text/ascii_case.h"

namespace standin {

namespace {

bool NamedKey(const std::string& name, VirtualKey* key) {
  struct Named {
    const char* name;
    VirtualKey key;
  };
  static const Named kNames[] = {
      {"backspace", kVirtualBackspaceKey},
      {"delete", kVirtualDeleteKey},
      {"del", kVirtualDeleteKey},
      {"tab", kVirtualTabKey},
      {"escape", kVirtualEscapeKey},
      {"esc", kVirtualEscapeKey},
      {"left", kVirtualLeftArrowKey},
      {"right", kVirtualRightArrowKey},
      {"up", kVirtualUpArrowKey},
      {"down", kVirtualDownArrowKey},
      {"home", kVirtualHomeKey},
      {"end", kVirtualEndKey},
      {"return", kVirtualReturnKey},
      {"enter", kVirtualEnterKey},
      {"pageup", VirtualKey::Virtual(VirtualKey::kPageUp)},
      {"pagedown", VirtualKey::Virtual(VirtualKey::kPageDown)},
      {"space", VirtualKey::Character(' ')},
      {"plus", VirtualKey::Character('+')},
  };
  const std::string lower = textutil::Lower(name);
  for (const auto& n : kNames) {
    if (lower == n.name) {
      *key = n.key;
      return true;
    }
  }
  if (lower.size() >= 2 && lower.size() <= 3 && lower[0] == 'f') {
    int n = 0;
    for (size_t k = 1; k < lower.size(); ++k) {
      if (!std::isdigit(static_cast<unsigned char>(lower[k]))) return false;
      n = n * 10 + (lower[k] - '0');
    }
    if (n < 1 || n > 12) return false;
    *key = VirtualKey::Virtual(static_cast<VirtualKey::Code>(VirtualKey::kF1 + (n - 1)));
    return true;
  }
  return false;
}

// One "{...}" token (without braces).
bool ParseToken(const std::string& token, KeyStroke* stroke, std::string* error) {
  std::string rest = token;
  for (;;) {
    const size_t plus = rest.find('+');
    if (plus == std::string::npos || plus == 0 || plus + 1 == rest.size()) break;
    const std::string mod = textutil::Lower(rest.substr(0, plus));
    if (mod == "ctrl" || mod == "cmd" || mod == "control") {
      stroke->cmd = true;
    } else if (mod == "shift") {
      stroke->shift = true;
    } else if (mod == "alt" || mod == "option") {
      stroke->option = true;
    } else {
      *error = "unknown modifier \"" + rest.substr(0, plus) + "\" in {" + token + "}";
      return false;
    }
    rest = rest.substr(plus + 1);
  }
  if (NamedKey(rest, &stroke->key)) return true;
  size_t i = 0;
  uint32 cp = 0;
  if (!rest.empty() && DecodeUtf8(rest, &i, &cp) && i == rest.size()) {
    stroke->key = VirtualKey::Character(cp);
    return true;
  }
  *error = "unknown key {" + token + "}";
  return false;
}

WidgetNode* NodeOfView(IControlView* view) { return view ? WidgetNode::Of(view) : nullptr; }

WidgetNode* EditBoxOf(IControlView* view) {
  WidgetNode* node = NodeOfView(view);
  return node && node->Kind() == WidgetKind::kEditBox ? node : nullptr;
}

InterfacePtr<IEventHandler> HandlerOf(WidgetNode& node) {
  return InterfacePtr<IEventHandler>(&node.GetBoss(), IID_IEVENTHANDLER);
}

// The operable edit boxes of `root`, in tree order.
std::vector<WidgetNode*> FocusChain(WidgetNode& root) {
  std::vector<WidgetNode*> chain;
  root.ForEach([&chain](WidgetNode& n) {
    if (n.Kind() == WidgetKind::kEditBox && n.IsOperable()) chain.push_back(&n);
  });
  return chain;
}

bool IsLowSurrogate(textchar c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsHighSurrogate(textchar c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

bool ParseKeys(const std::string& text, std::vector<KeyStroke>* keys, std::string* error) {
  std::vector<KeyStroke> parsed;
  size_t i = 0;
  while (i < text.size()) {
    if (parsed.size() >= kMaxKeyStrokes) {
      *error = "more than " + std::to_string(kMaxKeyStrokes) + " keys";
      return false;
    }
    KeyStroke stroke;
    if (text[i] == '{') {
      if (i + 1 < text.size() && text[i + 1] == '{') {
        stroke.key = VirtualKey::Character('{');
        i += 2;
      } else {
        const size_t close = text.find('}', i + 1);
        if (close == std::string::npos) {
          *error = "unclosed \"{\" in the keys";
          return false;
        }
        if (!ParseToken(text.substr(i + 1, close - i - 1), &stroke, error)) return false;
        i = close + 1;
      }
    } else {
      uint32 cp = 0;
      if (!DecodeUtf8(text, &i, &cp)) {
        *error = "the keys are not valid UTF-8";
        return false;
      }
      stroke.key = VirtualKey::Character(cp);
    }
    parsed.push_back(stroke);
  }
  keys->swap(parsed);
  return true;
}

// ---- edit-box editing ----------------------------------------------------------

void InsertCharacter(WidgetNode& box, uint32 codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = 0xFFFD;
  std::u16string units;
  if (codePoint > 0xFFFF) {
    const uint32 v = codePoint - 0x10000;
    units.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
    units.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
  } else {
    units.push_back(static_cast<char16_t>(codePoint));
  }
  const int32 at = std::clamp<int32>(box.caret, 0, box.text.CharCount());
  box.text.Insert(PMString(units), at);
  box.caret = at + static_cast<int32>(units.size());
}

void EraseBackward(WidgetNode& box) {
  const std::u16string& t = box.text.Text();
  int32 at = std::clamp<int32>(box.caret, 0, box.text.CharCount());
  if (at == 0) return;
  int32 count = 1;
  if (at >= 2 && IsLowSurrogate(t[static_cast<size_t>(at - 1)]) &&
      IsHighSurrogate(t[static_cast<size_t>(at - 2)])) {
    count = 2;
  }
  box.text.Remove(at - count, count);
  box.caret = at - count;
}

void EraseForward(WidgetNode& box) {
  const std::u16string& t = box.text.Text();
  const int32 len = box.text.CharCount();
  const int32 at = std::clamp<int32>(box.caret, 0, len);
  if (at >= len) return;
  int32 count = 1;
  if (at + 1 < len && IsHighSurrogate(t[static_cast<size_t>(at)]) &&
      IsLowSurrogate(t[static_cast<size_t>(at + 1)])) {
    count = 2;
  }
  box.text.Remove(at, count);
  box.caret = at;
}

void MoveCaret(WidgetNode& box, int32 characters) {
  const std::u16string& t = box.text.Text();
  const int32 len = box.text.CharCount();
  int32 at = std::clamp<int32>(box.caret, 0, len);
  for (; characters < 0 && at > 0; ++characters) {
    at -= (at >= 2 && IsLowSurrogate(t[static_cast<size_t>(at - 1)]) &&
           IsHighSurrogate(t[static_cast<size_t>(at - 2)]))
              ? 2
              : 1;
  }
  for (; characters > 0 && at < len; --characters) {
    at += (at + 1 < len && IsHighSurrogate(t[static_cast<size_t>(at)]) &&
           IsLowSurrogate(t[static_cast<size_t>(at + 1)]))
              ? 2
              : 1;
  }
  box.caret = at;
}

void CommitText(WidgetNode& box) {
  if (box.text == box.committedText) return;
  box.committedText = box.text;
  box.Notify(kTextChangeStateMessage, IID_ITEXTCONTROLDATA);
}

// ---- focus and replay ---------------------------------------------------------

void SetKeyFocus(WidgetNode& widget) {
  WidgetNode& root = *widget.Root();
  if (root.focus == &widget) return;
  ReleaseKeyFocus(root);
  InterfacePtr<IEventHandler> handler = HandlerOf(widget);
  if (handler && !handler->CanHaveKeyFocus()) return;
  root.focus = &widget;
  if (handler) handler->PostGetKeyFocus(nullptr);
}

void ReleaseKeyFocus(WidgetNode& root) {
  WidgetNode* old = root.focus;
  if (!old) return;
  root.focus = nullptr;
  InterfacePtr<IEventHandler> handler = HandlerOf(*old);
  if (handler) handler->PostGiveUpKeyFocus(nullptr);
}

bool TypeKeys(WidgetNode& widget, const std::string& keys, std::string* error) {
  std::vector<KeyStroke> strokes;
  if (!ParseKeys(keys, &strokes, error)) return false;
  return TypeKeys(widget, strokes, error);
}

bool TypeKeys(WidgetNode& widget, const std::vector<KeyStroke>& keys, std::string* error) {
  if (widget.Kind() != WidgetKind::kEditBox) {
    *error =
        "widget " + widget.Label() + " is a " + WidgetKindName(widget.Kind()) + ", not an edit box";
    return false;
  }
  if (!widget.IsOperable()) {
    *error = "widget " + widget.Label() + " is disabled or hidden";
    return false;
  }
  WidgetNode& root = *widget.Root();
  SetKeyFocus(widget);
  for (const KeyStroke& stroke : keys) {
    WidgetNode* target = root.focus;
    if (!target) break;
    KeyEvent event(stroke);
    InterfacePtr<IEventHandler> handler = HandlerOf(*target);
    const bool handled = handler && handler->KeyDown(&event);
    if (handled || event.GetSystemHandledState() != IEvent::kNotHandled) continue;
    if (stroke.key == kVirtualTabKey) {
      const auto chain = FocusChain(root);
      auto it = std::find(chain.begin(), chain.end(), target);
      if (chain.empty() || it == chain.end()) continue;
      const size_t n = chain.size();
      size_t pos = static_cast<size_t>(it - chain.begin());
      pos = stroke.shift ? (pos + n - 1) % n : (pos + 1) % n;
      SetKeyFocus(*chain[pos]);
    }
  }
  ReleaseKeyFocus(root);
  return true;
}

void AddHostEditBoxHandler(Boss& boss) { boss.AddNew<DVEditBoxEventHandler>(IID_IEVENTHANDLER); }

namespace {

class EventUtilsImpl : public CPMUnknown<IEventUtils> {
 public:
  EventUtilsImpl(IPMUnknown* boss, int* refused) : CPMUnknown(boss), refused_(refused) {}
  void RefuseKeyStroke(IEvent* event) override {
    if (event) ++*refused_;
  }

 private:
  int* refused_;
};

}  // namespace

void AddEventUtils(Boss& session, int* refusedCounter) {
  if (!session.Has(IID_IEVENTUTILS)) session.AddNew<EventUtilsImpl>(IID_IEVENTUTILS, refusedCounter);
}

}  // namespace standin

// ---- the host's handler layers ---------------------------------------------------

using standin::WidgetNode;

DVControlEventHandler::~DVControlEventHandler() = default;

IControlView* DVControlEventHandler::View() const {
  if (view_) return view_;
  IPMUnknown* view = QueryInterface(IID_ICONTROLVIEW);
  if (view) view->Release();
  return static_cast<IControlView*>(view);
}

bool16 DVControlEventHandler::Activate(IEvent*) { return 0; }
bool16 DVControlEventHandler::Deactivate(IEvent*) { return 0; }
void DVControlEventHandler::Suspend(IEvent*) {}
void DVControlEventHandler::Resume(IEvent*) {}
bool16 DVControlEventHandler::MouseMove(IEvent*) { return 0; }
bool16 DVControlEventHandler::MouseExit(IEvent*) { return 0; }
bool16 DVControlEventHandler::MouseDrag(IEvent*) { return 0; }
bool16 DVControlEventHandler::LButtonDn(IEvent*) { return 0; }
bool16 DVControlEventHandler::RButtonDn(IEvent*) { return 0; }
bool16 DVControlEventHandler::MButtonDn(IEvent*) { return 0; }
bool16 DVControlEventHandler::LButtonUp(IEvent*) { return 0; }
bool16 DVControlEventHandler::RButtonUp(IEvent*) { return 0; }
bool16 DVControlEventHandler::MButtonUp(IEvent*) { return 0; }
bool16 DVControlEventHandler::ButtonDblClk(IEvent*) { return 0; }
bool16 DVControlEventHandler::ButtonTrplClk(IEvent*) { return 0; }
bool16 DVControlEventHandler::ButtonQuadClk(IEvent*) { return 0; }
bool16 DVControlEventHandler::ButtonQuintClk(IEvent*) { return 0; }
bool16 DVControlEventHandler::MouseWheel(IEvent*) { return 0; }
bool16 DVControlEventHandler::TabletEvent(IEvent*) { return 0; }
bool16 DVControlEventHandler::GestureEvent(IEvent*) { return 0; }
bool16 DVControlEventHandler::MultiTouchEvent(IEvent*) { return 0; }
bool16 DVControlEventHandler::ControlCmd(IEvent*) { return 0; }
bool16 DVControlEventHandler::KeyDown(IEvent*) { return 0; }
bool16 DVControlEventHandler::KeyCmd(IEvent*) { return 0; }
bool16 DVControlEventHandler::KeyUp(IEvent*) { return 0; }
bool16 DVControlEventHandler::PreGetKeyFocus(IEvent*) { return 1; }
void DVControlEventHandler::PostGetKeyFocus(IEvent*) {}
bool16 DVControlEventHandler::PreGiveUpKeyFocus(IEvent*) { return 1; }
void DVControlEventHandler::PostGiveUpKeyFocus(IEvent*) {}
bool16 DVControlEventHandler::WillingToGiveUpKeyFocus() { return 1; }
void DVControlEventHandler::SuspendKeyFocus() {}
void DVControlEventHandler::ResumeKeyFocus() {}
bool16 DVControlEventHandler::CanHaveKeyFocus() const { return 1; }
bool16 DVControlEventHandler::WantsTabKeyFocus() const { return 0; }

DVHostedWidgetEH::~DVHostedWidgetEH() = default;

bool16 DVHostedWidgetEH::KeyCmd(IEvent* e) {
  if (!e) return 0;
  WidgetNode* box = standin::EditBoxOf(View());
  if (!box) return 0;
  const VirtualKey key = e->GetVirtualKey();
  if (key.IsVirtualKey()) return 0;
  const uint32 cp = key.GetCodePoint();
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) return 0;  // control characters
  standin::InsertCharacter(*box, cp);
  return 1;
}

DVEditBoxEventHandler::~DVEditBoxEventHandler() = default;

bool16 DVEditBoxEventHandler::KeyDown(IEvent* e) {
  if (!e) return 0;
  WidgetNode* box = standin::EditBoxOf(View());
  if (!box) return 0;
  if (e->CmdKeyDown()) return 1;  // a shortcut; the headless box binds none
  const VirtualKey key = e->GetVirtualKey();
  if (!key.IsVirtualKey()) return KeyCmd(e);
  switch (key.GetVirtualCode()) {
    case VirtualKey::kBackspace:
      standin::EraseBackward(*box);
      return 1;
    case VirtualKey::kDelete:
      standin::EraseForward(*box);
      return 1;
    case VirtualKey::kLeftArrow:
      standin::MoveCaret(*box, -1);
      return 1;
    case VirtualKey::kRightArrow:
      standin::MoveCaret(*box, 1);
      return 1;
    case VirtualKey::kHome:
    case VirtualKey::kUpArrow:
      box->caret = 0;
      return 1;
    case VirtualKey::kEnd:
    case VirtualKey::kDownArrow:
      box->caret = box->text.CharCount();
      return 1;
    case VirtualKey::kReturn:
    case VirtualKey::kEnter:
      standin::CommitText(*box);
      return 1;
    case VirtualKey::kEscape:
      box->text = box->focusText;
      box->caret = box->text.CharCount();
      return 1;
    default:
      return 0;  // Tab and the other keys are the host's
  }
}

void DVEditBoxEventHandler::PostGetKeyFocus(IEvent*) {
  WidgetNode* box = standin::EditBoxOf(View());
  if (!box) return;
  box->focusText = box->text;
  box->caret = box->text.CharCount();
}

void DVEditBoxEventHandler::PostGiveUpKeyFocus(IEvent*) {
  if (WidgetNode* box = standin::EditBoxOf(View())) standin::CommitText(*box);
}

CIDEditBoxEventHandler::~CIDEditBoxEventHandler() = default;
