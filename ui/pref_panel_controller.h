// Controller of the plug-in's preferences panel: shows the connection
// settings (server, user, password) and stores them in the settings file
// when the preferences dialog is confirmed.
#pragma once

#include "host/CDialogController.h"

class COslPrefPanelController : public CDialogController {
 public:
  explicit COslPrefPanelController(IPMUnknown* boss);
  ~COslPrefPanelController() override;
};
