// Creator of the plug-in's preferences panel: tells the host which panel
// resource to build in its preferences dialog.
#pragma once

#include "host/CPanelCreator.h"

class COslPrefPanelCreator : public CPanelCreator {
 public:
  explicit COslPrefPanelCreator(IPMUnknown* boss);
  ~COslPrefPanelCreator() override;
};
