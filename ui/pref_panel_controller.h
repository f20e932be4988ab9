// Controller of the plug-in's preferences panel: shows the connection
// settings (server, user, password) of the process-wide OslPlugInData and
// stores them, with the endpoints derived from the server, in the settings
// file when the preferences dialog is confirmed.
#pragma once

#include "host/CDialogController.h"

class COslPrefPanelController : public CDialogController {
 public:
  explicit COslPrefPanelController(IPMUnknown* boss);
  ~COslPrefPanelController() override;

  // Loads the settings (once per process) and shows user, password and
  // server.
  void InitializeDialogFields(IActiveContext* context) override;
  // Takes the three boxes exactly as typed (nothing is checked or trimmed),
  // derives the endpoints and rewrites the settings file (a file that cannot
  // be written is reported by an error alert; the new values stay in
  // memory). Returns the base result: the panel never keeps the dialog open.
  WidgetID ValidateDialogFields(IActiveContext* context) override;
  // Nothing: the values were stored at validation.
  void ApplyDialogFields(IActiveContext* context, const WidgetID& widgetId) override;
};
