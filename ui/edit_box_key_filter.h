// Keyboard filter of the plug-in's edit boxes: lets ASCII letters and the
// editing and navigation keys through and refuses every other keystroke
// (digits, spaces, punctuation, letters outside ASCII, Return and Enter,
// function keys) before the edit box sees it. Keystrokes with the command
// modifier held are the host's editing shortcuts and pass unfiltered. Which
// boxes use the filter is set by the plug-in's view resources.
#pragma once

#include "host/CIDEditBoxEventHandler.h"

class COslEventHandler : public CIDEditBoxEventHandler {
 public:
  explicit COslEventHandler(IPMUnknown* boss);
  // True when the event was handled. A null event: false. A refused
  // keystroke is handed to the host's keyboard utility for its feedback,
  // marked as handled by the plug-in, and answered true.
  bool16 KeyDown(IEvent* e) override;
  ~COslEventHandler() override;
};
