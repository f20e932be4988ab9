// Keyboard filter of the plug-in's edit boxes: lets ASCII letters and the
// editing and navigation keys through and refuses every other keystroke.
#pragma once

#include "host/CIDEditBoxEventHandler.h"

class COslEventHandler : public CIDEditBoxEventHandler {
 public:
  explicit COslEventHandler(IPMUnknown* boss);
  ~COslEventHandler() override;
};
