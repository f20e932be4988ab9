// Observer of the plug-in's preferences panel (server, user, password).
#pragma once

#include "host/CDialogObserver.h"

class COslPrefPanelObserver : public CDialogObserver {
 public:
  explicit COslPrefPanelObserver(IPMUnknown* boss);
  ~COslPrefPanelObserver() override;
};
