#include "model/facade.h"

#include "host/CAlert.h"
#include "plugin_base/impl_registry.h"

static osl::RegisterImplementation<OslFacade> gRegisterOslFacade(kOslFacadeImpl);

namespace {
void Announce(const char* text) {
  CAlert::InformationAlert(PMString(text, PMString::kDontTranslateDuringCall));
}
}  // namespace

OslFacade::OslFacade(IPMUnknown* boss) : CPMUnknown(boss) {}
OslFacade::~OslFacade() = default;

bool16 OslFacade::IsAvailable() const { return 1; }
bool16 OslFacade::IsEnabled() const { return 1; }
bool16 OslFacade::IsVisible() const { return 1; }
bool16 OslFacade::IsReady() const { return 1; }
void OslFacade::CollectValues(int32, K2Vector<int32>& values) { values.push_back(1); }
int32 OslFacade::GetCount() const { return 0; }
int32 OslFacade::GetVersion() const { return 0; }

ErrorCode OslFacade::GetFacadeName(WideString& name) const {
  name = WideString("OslFacade");
  return kSuccess;
}

ErrorCode OslFacade::SetDocData(const WideString&) {
  Announce("OslFacade::SetDocData");
  return kSuccess;
}

ErrorCode OslFacade::GetDocData(WideString&) {
  Announce("OslFacade::GetDocData");
  return kSuccess;
}

int32 OslFacade::GetFlags() const { return 0; }

int OslFacade::IsDoc() {
  Announce("int\t\t\tOslFacade::IsDoc(void)");
  return 0;
}
