#include "ui/edit_box_key_filter.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<COslEventHandler> gRegisterCOslEventHandler(
    kOslEventHandlerImpl);

COslEventHandler::COslEventHandler(IPMUnknown* boss) : CIDEditBoxEventHandler(boss) {}

COslEventHandler::~COslEventHandler() = default;
