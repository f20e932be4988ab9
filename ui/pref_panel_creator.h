// Creator of the plug-in's preferences panel: tells the host which panel
// resource (850) to build in its preferences dialog. Where the panel is
// shown comes from the resource bound to the creator's boss.
#pragma once

#include "host/CPanelCreator.h"

constexpr RsrcID kOslPrefPanelResourceID = 850;

class COslPrefPanelCreator : public CPanelCreator {
 public:
  explicit COslPrefPanelCreator(IPMUnknown* boss);
  // Always kOslPrefPanelResourceID.
  RsrcID GetPanelRsrcID() const override;
  ~COslPrefPanelCreator() override;
};
