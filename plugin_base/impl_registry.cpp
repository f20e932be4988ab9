#include "plugin_base/impl_registry.h"

namespace osl {

namespace {
// Constant-initialised, so it is valid before any static initialiser runs.
ImplRegistration* gHead = nullptr;
}  // namespace

ImplRegistration* RegistryHead() { return gHead; }

void PushRegistration(ImplRegistration* record) {
  record->next = gHead;
  gHead = record;
}

}  // namespace osl
