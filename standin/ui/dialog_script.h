// Dialog scripts: a person's actions on a dialog or panel, written down so
// they can be replayed. A script is a list of steps separated by ";" or line
// breaks; empty steps and lines starting with "#" are skipped.
//
//   text W VALUE     replace the text of edit box W, as pasting would, and
//                    leave the box (a change is committed and announced)
//   type W KEYS      type KEYS into edit box W through its event handler
//                    (key text as in key_events.h)
//   select W N       choose position N (from 0) of drop-down W
//   pick W ENTRY     choose the entry of drop-down W whose text is ENTRY
//   check W STATE    set check box W to on, off or mixed (or 1, 0, 2)
//   press W          click W: a button is pressed, a check box toggles, a
//                    radio button is chosen in its cluster
//   panel P          show panel P of the dialog's panel list
//   show             list the widgets and their values on stderr
//   ok | cancel      press the dialog's OK or Cancel button
//
// W is a widget identifier (0x... or decimal) or a widget's symbolic name
// from the view. VALUE and ENTRY are the rest of the step after one space,
// kept exactly (spaces included); in them \; stands for ";", \n for a line
// break, \t for a tab, \s for a space and \\ for "\".
//
// Steps act as a person would: a widget that is disabled or hidden (itself
// or an enclosing panel) cannot be used, and a step on it fails.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/IDialog.h"
#include "standin/ui/widgets.h"

namespace standin {

struct ScriptStep {
  enum class Verb { kText, kType, kSelect, kPick, kCheck, kPress, kPanel, kShow, kOK, kCancel };
  Verb verb = Verb::kShow;
  std::string widget;
  std::string value;
  int32 number = 0;  // select: the position; check: the state
};

struct DialogScript {
  std::vector<ScriptStep> steps;
  // When set, a "show" step hands the tree to it instead of listing the
  // widgets on stderr (a program reads the values it needs).
  std::function<void(WidgetNode& root)> show;
};

// Parses `text`. False with *error (naming the step) when a step is
// malformed; then *script is unchanged.
bool ParseDialogScript(const std::string& text, DialogScript* script, std::string* error);
// Parses "KEY:STEPS", where KEY names the dialog: its resource identifier
// (250, 0xFA) or "preferences".
bool ParseDialogScriptSpec(const std::string& spec, std::string* key, DialogScript* script,
                           std::string* error);

// Acts on the widgets of one dialog or panel (the tree under `root`).
class ViewDriver {
 public:
  explicit ViewDriver(WidgetNode& root) : root_(root) {}

  // The widget named by `ref` (identifier or symbolic name), or null with
  // *error set.
  WidgetNode* Resolve(const std::string& ref, std::string* error) const;

  bool SetText(const std::string& ref, const std::string& text, std::string* error);
  bool Type(const std::string& ref, const std::string& keys, std::string* error);
  bool Select(const std::string& ref, int32 position, std::string* error);
  bool Pick(const std::string& ref, const std::string& entry, std::string* error);
  bool Check(const std::string& ref, ITriStateControlData::TriState state, std::string* error);
  bool Press(const std::string& ref, std::string* error);
  bool SwitchPanel(const std::string& ref, std::string* error);
  bool PressOK(std::string* error);
  bool PressCancel(std::string* error);
  // One line per widget: identifier, name, kind, value, state.
  std::string Describe() const;

  // Runs one step. False with *error when it cannot be done.
  bool Run(const ScriptStep& step, std::string* error);
  // Runs the steps in order until one fails (false, *error names it) or the
  // dialog has closed (true; the remaining steps are not run).
  bool Run(const DialogScript& script, std::string* error);

  // False once the tree is a dialog that is closed.
  bool IsOpen() const;

 private:
  WidgetNode* Operable(const std::string& ref, std::string* error) const;
  WidgetNode& root_;
};

}  // namespace standin
