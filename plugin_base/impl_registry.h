// The plug-in's registry of implementations: one static record per class,
// pushed onto the front of a singly linked list by a static initialiser, so
// the list runs in the reverse order of the initialisers.
#pragma once

#include "host/CPMUnknown.h"
#include "host/IPMUnknown.h"

namespace osl {

// The front of the list (null when nothing registered).
ImplRegistration* RegistryHead();
// Pushes `record` onto the front of the list. Called from static
// initialisers only.
void PushRegistration(ImplRegistration* record);

// Declare one static instance per implementation class:
//   static osl::RegisterImplementation<OslFacade> gRegisterOslFacade(kOslFacadeImpl);
template <class Impl>
class RegisterImplementation {
 public:
  explicit RegisterImplementation(ImplementationID id) {
    record_.id = id;
    record_.create = &CreateImplementation<Impl>;
    record_.destroy = &DestroyImplementation<Impl>;
    record_.size = &ImplementationSize<Impl>;
    PushRegistration(&record_);
  }

 private:
  ImplRegistration record_;
};

}  // namespace osl
