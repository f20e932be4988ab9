// Host utilities: the front document and the active selection.
#pragma once

#include "HostInterfaceIDs.h"
#include "IDocument.h"
#include "IPMUnknown.h"
#include "ISelectionManager.h"

class ILayoutUIUtils : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ILAYOUTUIUTILS };
  // The front document, or null. No reference is added.
  virtual IDocument* GetFrontDocument() const = 0;
  virtual ~ILayoutUIUtils() = default;
};

class ISelectionUtils : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISELECTIONUTILS };
  // The active selection manager, or null. No reference is added.
  virtual ISelectionManager* GetActiveSelection() const = 0;
  virtual ~ISelectionUtils() = default;
};

namespace UtilsBoss {
// The utility interface `iid` with a reference added, or null.
IPMUnknown* QueryUtils(PMIID iid);
}  // namespace UtilsBoss

// Scoped access to one utility interface: Utils<ILayoutUIUtils>()->...
template <class T>
class Utils {
 public:
  Utils() : ptr_(static_cast<T*>(UtilsBoss::QueryUtils(static_cast<PMIID>(T::kDefaultIID)))) {}
  T* operator->() const { return ptr_.get(); }
  explicit operator bool() const { return ptr_.get() != nullptr; }
  T* get() const { return ptr_.get(); }

 private:
  InterfacePtr<T> ptr_;
};
