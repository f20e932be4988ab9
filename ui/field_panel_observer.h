// Observer of the field panel: follows the active selection to show the
// selected item's field name, prompt text and control type, and writes the
// panel's edits back into the item's field tag.
//
// A selection change refreshes the panel: with exactly one item selected (a
// text frame or text selection, or one other item) the field controls are
// enabled and show the item's tag; otherwise they are disabled and empty.
// The template name of the front document is shown either way.
//
// An edit of the field-name box, the prompt box or a change of the
// control-type list writes all three values into the tag of the selection
// (the first selected item's other keys are kept; the whole label is
// replaced): the field name keeps only its ASCII letters, the list position
// becomes the stored code, and a disabled list stores code 5. A prompt
// text that loses separator characters on the way is stored and shown
// without them, after a warning that says what was removed. Only an edit
// made while exactly one item is selected (the one the panel shows) is
// written; with several items, none, or an item the panel does not edit,
// nothing is written. While the observer writes into the panel's widgets it
// ignores the notifications its own writes cause.
#pragma once

#include "host/ActiveSelectionObserver.h"
#include "host/IPanelControlData.h"
#include "host/PMString.h"

class COslSelectionObserver : public ActiveSelectionObserver {
 public:
  explicit COslSelectionObserver(IPMUnknown* boss);

  // Selection messages go to the base first; then a change of one of the
  // three field widgets is written into the selection's tag.
  void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
              void* changedBy) override;
  // Attaches to the active selection (which refreshes the panel at once),
  // then to the control-type list (its string list) and the two edit boxes
  // (their text); a widget that is missing is skipped.
  void AutoAttach() override;
  // Detaches from the active selection and the three widgets.
  void AutoDetach() override;
  ~COslSelectionObserver() override;

 protected:
  // Refreshes the panel from the selection.
  void HandleSelectionChanged(const ISelectionMessage* message) override;
  // Attribute changes of the selected items are ignored.
  void HandleSelectionAttributeChanged(const ISelectionMessage* message) override;

 private:
  // Attaches (true) or detaches (false) the three widgets' subjects.
  void AttachWidgets(bool attach);
  void RefreshFromSelection();
  void WriteToSelection(ISubject* theSubject, const ClassID& theChange);
  // The control-type code the panel stands for now; `stored` is the tag's
  // code, kept when the list shows no entry.
  PMString ControlTypeToStore(IPanelControlData* panel, const PMString& stored) const;
  void ShowTemplateName(IPanelControlData* panel) const;

  bool busy_ = false;
};

// The ASCII letters (A-Z, a-z) of `text`, in order; everything else is
// dropped. The result is not translatable.
PMString KeepAsciiLetters(const PMString& text);
