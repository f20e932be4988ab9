// What a selection notification says (the `changedBy` of an Update under
// IID_ISELECTIONCHANGED).
#pragma once

#include "BaseTypes.h"

class ISelectionMessage {
 public:
  enum MessageType : int32 {
    kSelectionChanged = 0,           // other items or text are selected
    kFrequentSelectionChanged = 1,   // a change of a series (dragging); a host may send none
    kSelectionAttributeChanged = 2,  // attributes of the selected items changed
    kActiveSelectionChanged = 3,     // the active selection is another selection manager now
  };
  virtual MessageType GetMessageType() const = 0;
  // True when the change may concern suite `suiteIID`.
  virtual bool16 WasSuiteAffected(PMIID suiteIID) const = 0;

 protected:
  ~ISelectionMessage() = default;
};
