// Controller of the template properties dialog (view 250): fills the template
// name, client type and refresh box from the front document's template data,
// rejects a blank name and writes the values back on OK.
#pragma once

#include "host/CDialogController.h"

class OslDialogController : public CDialogController {
 public:
  explicit OslDialogController(IPMUnknown* boss);
  ~OslDialogController() override;
};
