#include "ui/pref_panel_observer.h"

#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"

static osl::RegisterImplementation<COslPrefPanelObserver> gRegisterCOslPrefPanelObserver(
    kOslPrefPanelObserverImpl);

COslPrefPanelObserver::COslPrefPanelObserver(IPMUnknown* boss) : CDialogObserver(boss) {}

void COslPrefPanelObserver::Update(const ClassID&, ISubject*, const PMIID&, void*) {}

void COslPrefPanelObserver::AutoAttach() { CDialogObserver::AutoAttach(); }

void COslPrefPanelObserver::AutoDetach() { CDialogObserver::AutoDetach(); }

COslPrefPanelObserver::~COslPrefPanelObserver() = default;
