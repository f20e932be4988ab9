#include "ui/pref_panel_creator.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<COslPrefPanelCreator> gRegisterCOslPrefPanelCreator(
    kOslPrefPanelCreatorImpl);

COslPrefPanelCreator::COslPrefPanelCreator(IPMUnknown* boss) : CPanelCreator(boss) {}

COslPrefPanelCreator::~COslPrefPanelCreator() = default;
