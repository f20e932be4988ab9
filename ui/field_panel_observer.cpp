#include "ui/field_panel_observer.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<COslSelectionObserver> gRegisterCOslSelectionObserver(
    kOslSelectionObserverImpl);

COslSelectionObserver::COslSelectionObserver(IPMUnknown* boss)
    : ActiveSelectionObserver(boss, IID_IOBSERVER) {}

COslSelectionObserver::~COslSelectionObserver() = default;
