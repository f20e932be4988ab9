// The label string every persistent object carries (documents and page
// items), and the label access of a selection.
#pragma once

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "PMString.h"

class ILabel : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ILABEL };
  virtual const WideString& GetLabel() const = 0;
  // Replaces the whole label.
  virtual void SetLabel(const WideString& label) = 0;
  virtual ~ILabel() = default;
};

// On a selection manager: the labels of the selected items.
class ILabelSuite : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ILABELSUITE };
  // Appends one label per selected item, in selection order.
  virtual void GetLabels(K2Vector<WideString>& labels) const = 0;
  // Gives `label` to every selected item.
  virtual void SetLabel(const WideString& label) = 0;
  virtual ~ILabelSuite() = default;
};
