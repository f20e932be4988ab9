#include "ui/edit_box_key_filter.h"

#include "host/IEventUtils.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"

static osl::RegisterImplementation<COslEventHandler> gRegisterCOslEventHandler(
    kOslEventHandlerImpl);

namespace {

// Keys that edit or move within the box, in the order they are tested.
constexpr VirtualKey kEditingKeys[] = {
    kVirtualDeleteKey,     kVirtualTabKey,       kVirtualBackspaceKey, kVirtualEscapeKey,
    kVirtualRightArrowKey, kVirtualLeftArrowKey, kVirtualHomeKey,      kVirtualEndKey,
    kVirtualUpArrowKey,    kVirtualDownArrowKey,
};

bool IsAsciiLetter(textchar c) { return (c >= 0x61 && c <= 0x7A) || (c >= 0x41 && c <= 0x5A); }

}  // namespace

COslEventHandler::COslEventHandler(IPMUnknown* boss) : CIDEditBoxEventHandler(boss) {}

COslEventHandler::~COslEventHandler() = default;

bool16 COslEventHandler::KeyDown(IEvent* e) {
  return osl::GuardedEntry("the key filter", bool16{1}, [&]() -> bool16 {
    if (!e) return 0;
    if (e->CmdKeyDown()) return DVEditBoxEventHandler::KeyDown(e);
    const VirtualKey key = e->GetVirtualKey();
    if (IsAsciiLetter(key.GetChar())) return DVHostedWidgetEH::KeyCmd(e);
    for (const VirtualKey& editing : kEditingKeys) {
      if (key == editing) return DVEditBoxEventHandler::KeyDown(e);
    }
    {
      InterfacePtr<IEventUtils> utils(
          static_cast<IEventUtils*>(UtilsBoss::QueryUtils(IID_IEVENTUTILS)));
      if (utils) utils->RefuseKeyStroke(e);
    }
    e->SetSystemHandledState(IEvent::kHandledByPlugIn);
    return 1;
  });
}
