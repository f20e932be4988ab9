#include "ui/template_dialog_observer.h"

#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"

static osl::RegisterImplementation<OslDialogObserver> gRegisterOslDialogObserver(
    kOslDialogObserverImpl);

OslDialogObserver::OslDialogObserver(IPMUnknown* boss) : CDialogObserver(boss) {}

OslDialogObserver::~OslDialogObserver() = default;

void OslDialogObserver::Update(const ClassID& theChange, ISubject* theSubject,
                               const PMIID& protocol, void* changedBy) {
  CDialogObserver::Update(theChange, theSubject, protocol, changedBy);
}

void OslDialogObserver::AutoAttach() { CDialogObserver::AutoAttach(); }

void OslDialogObserver::AutoDetach() { CDialogObserver::AutoDetach(); }
