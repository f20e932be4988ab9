// Base of implementations: holds the owning boss and forwards the component
// model's operations to it. Keeps no reference count of its own.
#pragma once

#include <new>

#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"

template <class Interface>
class CPMUnknown : public Interface {
 public:
  explicit CPMUnknown(IPMUnknown* boss) : boss_(boss) {}

  IPMUnknown* QueryInterface(PMIID iid) const override {
    if (iid == IID_IUNKNOWN_BOSS) {
      boss_->AddRef();
      return boss_;
    }
    return boss_->QueryInterface(iid);
  }
  void AddRef() const override { boss_->AddRef(); }
  void Release() const override { boss_->Release(); }

 protected:
  IPMUnknown* boss_;
};

// Registry helpers: the create, destroy and size functions of one class.
template <class Impl>
IPMUnknown* CreateImplementation(IPMUnknown* boss) {
  return static_cast<IPMUnknown*>(new (std::nothrow) Impl(boss));
}
template <class Impl>
void DestroyImplementation(IPMUnknown* impl) {
  delete static_cast<Impl*>(impl);
}
template <class Impl>
int32 ImplementationSize() {
  return static_cast<int32>(sizeof(Impl));
}
