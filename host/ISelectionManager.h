// A selection manager: the abstract selection of a view or of the
// application. Suites are reached by querying it for their interface.
#pragma once

#include <memory>

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "InterfacePtr.h"

class ISelectionManager : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISELECTIONMANAGER };
  // True when anything is selected.
  virtual bool SelectionExists() const = 0;
  virtual ~ISelectionManager() = default;
};

// On an abstract selection: the concrete implementations of an interface
// on the current concrete selections (layout, text, defaults), in the
// host's order. The collection owns one reference per element.
class IIntegratorTarget : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IINTEGRATORTARGET };
  using TargetSuiteCollection = K2Vector<InterfacePtr<IPMUnknown>>;
  virtual std::unique_ptr<TargetSuiteCollection> GetTarget(PMIID iid) const = 0;
  virtual ~IIntegratorTarget() = default;
};

// On a concrete layout selection: the selected page items.
class ILayoutTarget : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ILAYOUTTARGET };
  virtual bool HasSelection() const = 0;
  virtual UIDList GetUIDList() const = 0;
  virtual ~ILayoutTarget() = default;
};

// On a concrete text selection: the story and range selected.
class ITextTarget : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ITEXTTARGET };
  virtual UIDRef GetTextModel() const = 0;
  virtual ~ITextTarget() = default;
};
