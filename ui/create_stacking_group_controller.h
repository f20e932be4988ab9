// Controller of the create-stacking-group dialog (view 1056): adds a named
// stacking group with its move direction to the front document, or changes
// the direction of the group of that name. The document keeps its groups in
// the template data key "StackingGroups" (name -> direction position, in
// ascending name order).
#pragma once

#include "host/CDialogController.h"
#include "host/PMString.h"

class CreateStackingGroupController : public CDialogController {
 public:
  explicit CreateStackingGroupController(IPMUnknown* boss);
  ~CreateStackingGroupController() override;

  // The direction list shows its first position and the name box is empty.
  void InitializeDialogFields(IActiveContext* context) override;
  // The name box (0x199E0F) when its name cannot be stored as typed: empty,
  // or holding text the stored format would split or change (see
  // IsStorableGroupName); else the base result. A refused name is
  // explained by a warning alert that names the character sequences a group
  // name cannot hold.
  WidgetID ValidateDialogFields(IActiveContext* context) override;
  // Stores the group in the front document; does nothing without a front
  // document or name box, or with an empty name.
  void ApplyDialogFields(IActiveContext* context, const WidgetID& widgetId) override;
};

// True when `name` reads back unchanged as a group of the document's
// template data and as a field's group membership: not empty and free of
// "---", ":::" and "|||" (and of a trailing ':' or '|', which would merge
// with the separator written after it).
bool IsStorableGroupName(const PMString& name);
