#include "ui/edit_box_key_filter.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<COslEventHandler> gRegisterCOslEventHandler(
    kOslEventHandlerImpl);

COslEventHandler::COslEventHandler(IPMUnknown* boss) : CIDEditBoxEventHandler(boss) {}

COslEventHandler::~COslEventHandler() = default;
