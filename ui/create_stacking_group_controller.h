// Controller of the create-stacking-group dialog (view 1056): adds a named
// stacking group with its move direction to the front document, or changes
// the direction of the group of that name.
#pragma once

#include "host/CDialogController.h"

class CreateStackingGroupController : public CDialogController {
 public:
  explicit CreateStackingGroupController(IPMUnknown* boss);
  ~CreateStackingGroupController() override;
};
