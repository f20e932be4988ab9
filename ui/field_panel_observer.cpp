#include "ui/field_panel_observer.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<COslSelectionObserver> gRegisterCOslSelectionObserver(
    kOslSelectionObserverImpl);

COslSelectionObserver::COslSelectionObserver(IPMUnknown* boss)
    : ActiveSelectionObserver(boss, IID_IOBSERVER) {}

COslSelectionObserver::~COslSelectionObserver() = default;
