// The component model. Every host object and every plug-in implementation is
// reached as an IPMUnknown. A boss aggregates implementations, one per
// interface identifier; QueryInterface on any of them asks the boss.
//
// Contract of QueryInterface: returns the implementation of `iid` on the same
// boss with one reference added (the caller releases it), or null when the
// boss has none. Interface IID_IUNKNOWN_BOSS (306) answers the boss itself.
#pragma once

#include "BaseTypes.h"

class IPMUnknown {
 public:
  virtual IPMUnknown* QueryInterface(PMIID iid) const = 0;
  virtual void AddRef() const = 0;
  virtual void Release() const = 0;

 protected:
  ~IPMUnknown() = default;
};

// Registry record of one implementation (see IRegistration). The create
// function builds the implementation for `boss` and returns it, or null when
// memory runs out; destroy deletes what create returned (null is ignored).
using ImplCreateFn = IPMUnknown* (*)(IPMUnknown* boss);
using ImplDestroyFn = void (*)(IPMUnknown* impl);
using ImplSizeFn = int32 (*)();

struct ImplRegistration {
  ImplementationID id = 0;
  ImplCreateFn create = nullptr;
  ImplDestroyFn destroy = nullptr;
  ImplSizeFn size = nullptr;
  void* reserved1 = nullptr;
  void* reserved2 = nullptr;
  void* reserved3 = nullptr;
  ImplRegistration* next = nullptr;
};

// The session's implementation registration (IID_IREGISTRATION).
class IRegistration : public IPMUnknown {
 public:
  enum { kDefaultIID = 260 };
  // Records that `implID` of `pluginID` is built by these functions. Returns
  // kSuccess, or kFailure when the identifier is registered already or a
  // function is missing.
  virtual ErrorCode RegisterImplementation(PluginID pluginID, ImplementationID implID,
                                           ImplCreateFn create, ImplDestroyFn destroy,
                                           ImplSizeFn size, void* reserved1, void* reserved2,
                                           void* reserved3) = 0;
  virtual ~IRegistration() = default;
};
