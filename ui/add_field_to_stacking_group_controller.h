// Controller of the add-field-to-stacking-group dialog (view 2056): puts the
// selected field into one of the front document's stacking groups and names
// the field it depends on. Both lists start with a none entry (position 0,
// "no value"); the group list holds the document's groups in name order, the
// depends-on list every other field name of the document in page order
// (duplicates kept). Only a selection of exactly one tagged item is read or
// written; choosing no group also clears the dependency.
#pragma once

#include "host/CDialogController.h"

class AddFieldToStackingGroupController : public CDialogController {
 public:
  explicit AddFieldToStackingGroupController(IPMUnknown* boss);
  ~AddFieldToStackingGroupController() override;

  // Fills both lists and selects the selected field's group and dependency
  // (the none entry when the value is not in the list).
  void InitializeDialogFields(IActiveContext* context) override;
  // The base result: any choice is acceptable.
  WidgetID ValidateDialogFields(IActiveContext* context) override;
  // Writes "MemberofGroup" and "Dependson" into the tag of the selected item
  // when exactly one is selected; the tag's other keys are kept.
  void ApplyDialogFields(IActiveContext* context, const WidgetID& widgetId) override;
};
