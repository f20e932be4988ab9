// Event handlers of edit boxes, in the host's layers:
//
//   DVControlEventHandler  a control: consumes no event; key focus allowed.
//   DVHostedWidgetEH       a widget hosted in a panel: KeyCmd types the
//                          event's character into the widget's edit box at
//                          its caret (true), or answers false when there is
//                          nothing to type.
//   DVEditBoxEventHandler  an edit box: KeyDown edits and moves the caret
//                          (see below).
//   CIDEditBoxEventHandler the base plug-in edit-box filters derive from.
//
// DVEditBoxEventHandler::KeyDown, for the box it serves (null event: false):
//   - command-modified keys are the host's editing shortcuts: consumed
//     (true);
//   - Backspace and Delete remove the character before / after the caret,
//     Left and Right move the caret by one character, Home and Up move it to
//     the start, End and Down to the end (true);
//   - Return and Enter commit the text (true);
//   - Escape restores the text the box had when it got the focus (true);
//   - Tab answers false: the host moves the focus to the next edit box;
//   - a character goes to KeyCmd; other virtual keys answer false.
// Text typed into a box changes it silently; the box announces the change
// (kTextChangeStateMessage under IID_ITEXTCONTROLDATA) when it is committed:
// on Return or Enter and when the box gives up the focus, if the text
// differs from what it was at the last commit.
#pragma once

#include "CPMUnknown.h"
#include "IEventHandler.h"

class DVControlEventHandler : public CPMUnknown<IEventHandler> {
 public:
  explicit DVControlEventHandler(IPMUnknown* boss) : CPMUnknown(boss) {}
  ~DVControlEventHandler() override;

  bool16 Activate(IEvent* e) override;
  bool16 Deactivate(IEvent* e) override;
  void Suspend(IEvent* e) override;
  void Resume(IEvent* e) override;
  bool16 MouseMove(IEvent* e) override;
  bool16 MouseExit(IEvent* e) override;
  bool16 MouseDrag(IEvent* e) override;
  bool16 LButtonDn(IEvent* e) override;
  bool16 RButtonDn(IEvent* e) override;
  bool16 MButtonDn(IEvent* e) override;
  bool16 LButtonUp(IEvent* e) override;
  bool16 RButtonUp(IEvent* e) override;
  bool16 MButtonUp(IEvent* e) override;
  bool16 ButtonDblClk(IEvent* e) override;
  bool16 ButtonTrplClk(IEvent* e) override;
  bool16 ButtonQuadClk(IEvent* e) override;
  bool16 ButtonQuintClk(IEvent* e) override;
  bool16 MouseWheel(IEvent* e) override;
  bool16 TabletEvent(IEvent* e) override;
  bool16 GestureEvent(IEvent* e) override;
  bool16 MultiTouchEvent(IEvent* e) override;
  bool16 ControlCmd(IEvent* e) override;
  bool16 KeyDown(IEvent* e) override;
  bool16 KeyCmd(IEvent* e) override;
  bool16 KeyUp(IEvent* e) override;
  bool16 PreGetKeyFocus(IEvent* e) override;
  void PostGetKeyFocus(IEvent* e) override;
  bool16 PreGiveUpKeyFocus(IEvent* e) override;
  void PostGiveUpKeyFocus(IEvent* e) override;
  bool16 WillingToGiveUpKeyFocus() override;
  void SuspendKeyFocus() override;
  void ResumeKeyFocus() override;
  bool16 CanHaveKeyFocus() const override;
  bool16 WantsTabKeyFocus() const override;
  void SetView(IControlView* view) override { view_ = view; }

 protected:
  // The widget served: the one given to SetView, else the boss's own view.
  // No reference is added.
  IControlView* View() const;

 private:
  IControlView* view_ = nullptr;
};

class DVHostedWidgetEH : public DVControlEventHandler {
 public:
  explicit DVHostedWidgetEH(IPMUnknown* boss) : DVControlEventHandler(boss) {}
  ~DVHostedWidgetEH() override;
  bool16 KeyCmd(IEvent* e) override;
};

class DVEditBoxEventHandler : public DVHostedWidgetEH {
 public:
  explicit DVEditBoxEventHandler(IPMUnknown* boss) : DVHostedWidgetEH(boss) {}
  ~DVEditBoxEventHandler() override;
  bool16 KeyDown(IEvent* e) override;
  // Edit boxes take the focus, also when tabbing.
  bool16 WantsTabKeyFocus() const override { return 1; }
  // Getting the focus remembers the text (for Escape); giving it up commits.
  void PostGetKeyFocus(IEvent* e) override;
  void PostGiveUpKeyFocus(IEvent* e) override;
};

class CIDEditBoxEventHandler : public DVEditBoxEventHandler {
 public:
  explicit CIDEditBoxEventHandler(IPMUnknown* boss) : DVEditBoxEventHandler(boss) {}
  ~CIDEditBoxEventHandler() override;
};
