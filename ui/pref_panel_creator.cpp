#include "ui/pref_panel_creator.h"

#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"

static osl::RegisterImplementation<COslPrefPanelCreator> gRegisterCOslPrefPanelCreator(
    kOslPrefPanelCreatorImpl);

COslPrefPanelCreator::COslPrefPanelCreator(IPMUnknown* boss) : CPanelCreator(boss) {}

RsrcID COslPrefPanelCreator::GetPanelRsrcID() const { return kOslPrefPanelResourceID; }

COslPrefPanelCreator::~COslPrefPanelCreator() = default;
