#include "ui/pref_panel_creator.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<COslPrefPanelCreator> gRegisterCOslPrefPanelCreator(
    kOslPrefPanelCreatorImpl);

COslPrefPanelCreator::COslPrefPanelCreator(IPMUnknown* boss) : CPanelCreator(boss) {}

COslPrefPanelCreator::~COslPrefPanelCreator() = default;
