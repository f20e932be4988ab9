#include "ui/pref_panel_observer.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<COslPrefPanelObserver> gRegisterCOslPrefPanelObserver(
    kOslPrefPanelObserverImpl);

COslPrefPanelObserver::COslPrefPanelObserver(IPMUnknown* boss) : CDialogObserver(boss) {}

COslPrefPanelObserver::~COslPrefPanelObserver() = default;
