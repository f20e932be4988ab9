#include "ui/template_dialog_observer.h"

#include "plugin/ImplRegistry.h"
#include "plugin/OslID.h"

static osl::RegisterImplementation<OslDialogObserver> gRegisterOslDialogObserver(
    kOslDialogObserverImpl);

OslDialogObserver::OslDialogObserver(IPMUnknown* boss) : CDialogObserver(boss) {}

OslDialogObserver::~OslDialogObserver() = default;
