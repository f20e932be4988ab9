// Controller of the add-field-to-stacking-group dialog (view 2056): puts the
// selected field into a stacking group and names the field it depends on.
#pragma once

#include "host/CDialogController.h"

class AddFieldToStackingGroupController : public CDialogController {
 public:
  explicit AddFieldToStackingGroupController(IPMUnknown* boss);
  ~AddFieldToStackingGroupController() override;
};
