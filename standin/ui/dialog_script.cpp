// Parsing dialog scripts and replaying them on a widget tree.
#include "standin/ui/dialog_script.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "host/IBooleanControlData.h"
#include "host/IDialog.h"
#include "host/IDialogPanelSwitcher.h"
#include "host/IDropDownListController.h"
#include "host/ITextControlData.h"
#include "host/InterfacePtr.h"
#include "standin/core/utf8.h"
#include "standin/ui/key_events.h"
#include "text/ascii_case.h"

namespace standin {

namespace {

constexpr size_t kMaxScriptBytes = 1 << 20;

// Splits `text` into steps at unescaped ";" and line breaks, decoding
// escapes. False for an unknown escape or a "\" at the end.
bool SplitSteps(const std::string& text, std::vector<std::string>* steps, std::string* error) {
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ';' || c == '\n') {
      steps->push_back(cur);
      cur.clear();
    } else if (c == '\\') {
      if (i + 1 >= text.size()) {
        *error = "a \"\\\" ends the script";
        return false;
      }
      const char e = text[++i];
      switch (e) {
        case ';':
          cur += ';';
          break;
        case '\\':
          cur += '\\';
          break;
        case 'n':
          cur += '\n';
          break;
        case 't':
          cur += '\t';
          break;
        case 's':
          cur += ' ';
          break;
        default:
          *error = std::string("unknown escape \"\\") + e + "\"";
          return false;
      }
    } else if (c == '\r' && (i + 1 == text.size() || text[i + 1] == '\n')) {
      // CR LF line ends.
    } else {
      cur += c;
    }
  }
  steps->push_back(cur);
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Next blank-delimited word of `s` from *pos; *pos moves past it (not past
// the blank that follows).
std::string Word(const std::string& s, size_t* pos) {
  while (*pos < s.size() && IsBlank(s[*pos])) ++*pos;
  const size_t start = *pos;
  while (*pos < s.size() && !IsBlank(s[*pos])) ++*pos;
  return s.substr(start, *pos - start);
}

// The rest after the one blank that ends the previous word.
std::string Rest(const std::string& s, size_t pos) {
  if (pos < s.size() && IsBlank(s[pos])) ++pos;
  return pos < s.size() ? s.substr(pos) : std::string();
}

bool ParseInt(const std::string& s, int32* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < -2147483647L || v > 2147483647L) return false;
  *out = static_cast<int32>(v);
  return true;
}

// A widget identifier: decimal or "0x..." up to 32 bits.
bool ParseWidgetID(const std::string& s, WidgetID* out) {
  if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
  if (*end != '\0' || v > 0xFFFFFFFFull) return false;
  *out = static_cast<WidgetID>(v);
  return true;
}

bool ParseState(std::string s, int32* out) {
  s = textutil::Lower(std::move(s));
  if (s == "on" || s == "1" || s == "yes") {
    *out = ITriStateControlData::kSelected;
  } else if (s == "off" || s == "0" || s == "no") {
    *out = ITriStateControlData::kUnselected;
  } else if (s == "mixed" || s == "2") {
    *out = ITriStateControlData::kUnknown;
  } else {
    return false;
  }
  return true;
}

bool ParseStep(const std::string& text, ScriptStep* step, std::string* error) {
  size_t pos = 0;
  const std::string verb = Word(text, &pos);
  using V = ScriptStep::Verb;
  struct Known {
    const char* name;
    V verb;
    bool widget;
  };
  static const Known kVerbs[] = {
      {"text", V::kText, true},      {"type", V::kType, true},   {"select", V::kSelect, true},
      {"pick", V::kPick, true},      {"check", V::kCheck, true}, {"press", V::kPress, true},
      {"panel", V::kPanel, true},    {"show", V::kShow, false},  {"ok", V::kOK, false},
      {"cancel", V::kCancel, false},
  };
  const Known* known = nullptr;
  for (const auto& k : kVerbs) {
    if (verb == k.name) known = &k;
  }
  if (!known) {
    *error = "unknown step \"" + verb + "\"";
    return false;
  }
  step->verb = known->verb;
  if (!known->widget) {
    if (!Word(text, &pos).empty()) {
      *error = "\"" + verb + "\" takes no arguments";
      return false;
    }
    return true;
  }
  step->widget = Word(text, &pos);
  if (step->widget.empty()) {
    *error = "\"" + verb + "\" needs a widget";
    return false;
  }
  switch (step->verb) {
    case V::kText:
    case V::kPick:
    case V::kType:
      step->value = Rest(text, pos);
      if (step->verb == V::kType) {
        std::vector<KeyStroke> keys;
        if (!ParseKeys(step->value, &keys, error)) return false;
      }
      return true;
    case V::kSelect: {
      const std::string n = Word(text, &pos);
      if (!ParseInt(n, &step->number) || step->number < 0 || !Word(text, &pos).empty()) {
        *error = "\"select\" needs a position from 0";
        return false;
      }
      return true;
    }
    case V::kCheck: {
      const std::string s = Word(text, &pos);
      if (!ParseState(s, &step->number) || !Word(text, &pos).empty()) {
        *error = "\"check\" needs on, off or mixed";
        return false;
      }
      return true;
    }
    default:
      if (!Word(text, &pos).empty()) {
        *error = "\"" + verb + "\" takes only a widget";
        return false;
      }
      return true;
  }
}

std::string Quoted(const PMString& text) { return "\"" + text.GetUTF8String() + "\""; }

}  // namespace

bool ParseDialogScript(const std::string& text, DialogScript* script, std::string* error) {
  if (text.size() > kMaxScriptBytes) {
    *error = "the script is longer than " + std::to_string(kMaxScriptBytes) + " bytes";
    return false;
  }
  std::vector<std::string> raw;
  if (!SplitSteps(text, &raw, error)) return false;
  DialogScript parsed;
  for (size_t i = 0; i < raw.size(); ++i) {
    size_t pos = 0;
    const std::string first = Word(raw[i], &pos);
    if (first.empty() || first[0] == '#') continue;
    ScriptStep step;
    std::string why;
    if (!ParseStep(raw[i], &step, &why)) {
      *error = "step " + std::to_string(i + 1) + " (" + raw[i] + "): " + why;
      return false;
    }
    parsed.steps.push_back(std::move(step));
  }
  *script = std::move(parsed);
  return true;
}

bool ParseDialogScriptSpec(const std::string& spec, std::string* key, DialogScript* script,
                           std::string* error) {
  const size_t colon = spec.find(':');
  if (colon == std::string::npos || colon == 0) {
    *error = "a dialog script reads DIALOG:STEPS, as in preferences:text W Flyer;ok";
    return false;
  }
  std::string name = spec.substr(0, colon);
  if (name != "preferences") {
    int32 rsrc = 0;
    if (!ParseInt(name, &rsrc) || rsrc <= 0) {
      *error = "\"" + name + "\" is neither a resource identifier nor \"preferences\"";
      return false;
    }
    name = std::to_string(rsrc);
  }
  DialogScript parsed;
  if (!ParseDialogScript(spec.substr(colon + 1), &parsed, error)) return false;
  *key = name;
  *script = std::move(parsed);
  return true;
}

// ---- driver ----------------------------------------------------------------------

WidgetNode* ViewDriver::Resolve(const std::string& ref, std::string* error) const {
  WidgetID id = kInvalidWidgetID;
  WidgetNode* node = nullptr;
  if (ParseWidgetID(ref, &id)) {
    node = root_.Find(id, 9999);
  } else {
    node = root_.FindByName(ref);
  }
  if (!node) *error = "no widget " + ref;
  return node;
}

WidgetNode* ViewDriver::Operable(const std::string& ref, std::string* error) const {
  WidgetNode* node = Resolve(ref, error);
  if (node && !node->IsOperable()) {
    *error = "widget " + ref + " is disabled or hidden";
    return nullptr;
  }
  return node;
}

bool ViewDriver::SetText(const std::string& ref, const std::string& text, std::string* error) {
  WidgetNode* node = Operable(ref, error);
  if (!node) return false;
  if (node->Kind() != WidgetKind::kEditBox) {
    *error = "widget " + ref + " is a " + WidgetKindName(node->Kind()) + ", not an edit box";
    return false;
  }
  WidgetNode& root = *node->Root();
  SetKeyFocus(*node);
  node->text = PMString(text, PMString::kDontTranslateDuringCall);
  node->caret = node->text.CharCount();
  if (root.focus == node) {
    ReleaseKeyFocus(root);  // leaving the box commits it
  } else {
    CommitText(*node);  // a box that takes no focus commits at once
  }
  return true;
}

bool ViewDriver::Type(const std::string& ref, const std::string& keys, std::string* error) {
  WidgetNode* node = Resolve(ref, error);
  return node && TypeKeys(*node, keys, error);
}

bool ViewDriver::Select(const std::string& ref, int32 position, std::string* error) {
  WidgetNode* node = Operable(ref, error);
  if (!node) return false;
  InterfacePtr<IDropDownListController> list(&node->GetBoss(), IID_IDROPDOWNLISTCONTROLLER);
  if (!list) {
    *error = "widget " + ref + " is a " + WidgetKindName(node->Kind()) + ", not a drop-down";
    return false;
  }
  if (position < 0 || static_cast<size_t>(position) >= node->entries.size()) {
    *error = "drop-down " + ref + " has no position " + std::to_string(position) + " (it has " +
             std::to_string(node->entries.size()) + " entries)";
    return false;
  }
  list->Select(position, true, true);
  return true;
}

bool ViewDriver::Pick(const std::string& ref, const std::string& entry, std::string* error) {
  WidgetNode* node = Operable(ref, error);
  if (!node) return false;
  const PMString wanted(entry, PMString::kDontTranslateDuringCall);
  for (size_t i = 0; i < node->entries.size(); ++i) {
    if (node->entries[i] == wanted) return Select(ref, static_cast<int32>(i), error);
  }
  if (node->Kind() != WidgetKind::kDropDown) {
    *error = "widget " + ref + " is a " + WidgetKindName(node->Kind()) + ", not a drop-down";
  } else {
    *error = "drop-down " + ref + " has no entry \"" + entry + "\"";
  }
  return false;
}

bool ViewDriver::Check(const std::string& ref, ITriStateControlData::TriState state,
                       std::string* error) {
  WidgetNode* node = Operable(ref, error);
  if (!node) return false;
  InterfacePtr<ITriStateControlData> box(&node->GetBoss(), IID_ITRISTATECONTROLDATA);
  if (!box) {
    *error = "widget " + ref + " is a " + WidgetKindName(node->Kind()) + ", not a check box";
    return false;
  }
  box->SetState(state, true, true);
  return true;
}

bool ViewDriver::Press(const std::string& ref, std::string* error) {
  WidgetNode* node = Operable(ref, error);
  if (!node) return false;
  // A click elsewhere takes the focus from an edit box, which commits it.
  ReleaseKeyFocus(*node->Root());
  if (InterfacePtr<IBooleanControlData> button(&node->GetBoss(), IID_IBOOLEANCONTROLDATA); button) {
    button->Select(true, true);
    return true;
  }
  InterfacePtr<ITriStateControlData> box(&node->GetBoss(), IID_ITRISTATECONTROLDATA);
  if (!box) {
    *error = "widget " + ref + " is a " + WidgetKindName(node->Kind()) + " and cannot be pressed";
    return false;
  }
  if (node->Kind() == WidgetKind::kRadio) {
    if (WidgetNode* cluster = node->Parent()) {
      for (WidgetNode* sibling : cluster->Children()) {
        if (sibling == node || sibling->Kind() != WidgetKind::kRadio || sibling->state == 0) {
          continue;
        }
        InterfacePtr<ITriStateControlData> other(&sibling->GetBoss(), IID_ITRISTATECONTROLDATA);
        if (other) other->Deselect(true, true);
      }
    }
    box->Select(true, true);
  } else if (box->IsSelected()) {
    box->Deselect(true, true);
  } else {
    box->Select(true, true);
  }
  return true;
}

bool ViewDriver::SwitchPanel(const std::string& ref, std::string* error) {
  WidgetNode* list = nullptr;
  root_.ForEach([&list](WidgetNode& n) {
    if (!list && n.Kind() == WidgetKind::kPanelList) list = &n;
  });
  InterfacePtr<IDialogPanelSwitcher> switcher(list ? &list->GetBoss() : nullptr,
                                              IID_IDIALOGPANELSWITCHER);
  if (!switcher) {
    *error = "this dialog has no panel list";
    return false;
  }
  WidgetID panel = kInvalidWidgetID;
  if (!ParseWidgetID(ref, &panel)) {
    if (WidgetNode* named = list->FindByName(ref)) panel = named->Id();
  }
  if (!switcher->SwitchDialogPanelByID(panel)) {
    *error = "the panel list has no panel " + ref;
    return false;
  }
  return true;
}

bool ViewDriver::PressOK(std::string* error) {
  if (!root_.Find(kOKButtonWidgetID, 0)) {
    *error = "not a dialog: there is no OK button";
    return false;
  }
  return Press(std::to_string(kOKButtonWidgetID), error);
}

bool ViewDriver::PressCancel(std::string* error) {
  if (!root_.Find(kCancelButtonWidgetID, 0)) {
    *error = "not a dialog: there is no Cancel button";
    return false;
  }
  return Press(std::to_string(kCancelButtonWidgetID), error);
}

std::string ViewDriver::Describe() const {
  std::string out;
  const auto describe = [&out, this](WidgetNode& n) {
    if (&n == &root_ || n.Id() == kOKButtonWidgetID || n.Id() == kCancelButtonWidgetID) return;
    int depth = 0;
    for (WidgetNode* p = n.Parent(); p && p != &root_; p = p->Parent()) ++depth;
    std::string line(static_cast<size_t>(2 + 2 * depth), ' ');
    line += n.Label();
    if (!n.Name().empty() && n.Id() != kInvalidWidgetID) line += " " + n.Name();
    line += std::string(" ") + WidgetKindName(n.Kind());
    switch (n.Kind()) {
      case WidgetKind::kEditBox:
        line += " " + (n.IsPassword() ? std::string("(hidden)") : Quoted(n.text));
        break;
      case WidgetKind::kStaticText:
        line += " " + Quoted(n.text);
        break;
      case WidgetKind::kDropDown: {
        line += " [";
        for (size_t i = 0; i < n.entries.size(); ++i) {
          if (i) line += ", ";
          if (static_cast<int32>(i) == n.selected) line += "*";
          line += std::to_string(i) + " " + Quoted(n.entries[i]);
        }
        line += "]";
        break;
      }
      case WidgetKind::kCheckBox:
      case WidgetKind::kRadio:
        line += n.state == ITriStateControlData::kSelected     ? " on"
                : n.state == ITriStateControlData::kUnselected ? " off"
                                                               : " mixed";
        break;
      default:
        if (!n.Caption().IsEmpty()) line += " " + Quoted(n.Caption());
        break;
    }
    if (!n.enabled) line += " (disabled)";
    if (!n.visible) line += " (hidden)";
    out += line + "\n";
  };
  root_.ForEach(describe);
  return out;
}

bool ViewDriver::IsOpen() const {
  InterfacePtr<IDialog> dialog(&root_.GetBoss(), IID_IDIALOG);
  return !dialog || dialog->IsOpen();
}

bool ViewDriver::Run(const ScriptStep& step, std::string* error) {
  using V = ScriptStep::Verb;
  switch (step.verb) {
    case V::kText:
      return SetText(step.widget, step.value, error);
    case V::kType:
      return Type(step.widget, step.value, error);
    case V::kSelect:
      return Select(step.widget, step.number, error);
    case V::kPick:
      return Pick(step.widget, step.value, error);
    case V::kCheck:
      return Check(step.widget, static_cast<ITriStateControlData::TriState>(step.number), error);
    case V::kPress:
      return Press(step.widget, error);
    case V::kPanel:
      return SwitchPanel(step.widget, error);
    case V::kShow:
      std::fputs(Describe().c_str(), stderr);
      return true;
    case V::kOK:
      return PressOK(error);
    case V::kCancel:
      return PressCancel(error);
  }
  return false;
}

bool ViewDriver::Run(const DialogScript& script, std::string* error) {
  for (size_t i = 0; i < script.steps.size(); ++i) {
    if (!IsOpen()) return true;
    std::string why;
    if (script.steps[i].verb == ScriptStep::Verb::kShow && script.show) {
      script.show(root_);
    } else if (!Run(script.steps[i], &why)) {
      *error = "step " + std::to_string(i + 1) + ": " + why;
      return false;
    }
  }
  return true;
}

}  // namespace standin
