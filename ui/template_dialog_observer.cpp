#include "ui/template_dialog_observer.h"

#include "plugin/impl_registry.h"
#include "plugin/osl_id.h"

static osl::RegisterImplementation<OslDialogObserver> gRegisterOslDialogObserver(
    kOslDialogObserverImpl);

OslDialogObserver::OslDialogObserver(IPMUnknown* boss) : CDialogObserver(boss) {}

OslDialogObserver::~OslDialogObserver() = default;
