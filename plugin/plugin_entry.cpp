#include "plugin/plugin_entry.h"

#include "host/ISession.h"
#include "host/InterfacePtr.h"
#include "plugin_base/impl_registry.h"
#include "service_client/platform.h"

namespace {

// Static objects, built in this order when the library is loaded.
WBaseResourceAccess::ResourceFileInfo gResourceFileInfo;
PlugIn gPlugIn;

// The library's attach notification: record the library's own path (at
// most 260 characters, like the platform's path buffer) and zero the other
// members of the record.
constexpr size_t kMaxModulePath = 260;

void AttachLibrary() {
  const std::string path = OslModulePath();
  if (!path.empty()) gResourceFileInfo.file.SetTString(path, kMaxModulePath);
  gResourceFileInfo.flags = 0;
  gResourceFileInfo.count = 0;
  gResourceFileInfo.handle = nullptr;
}
// Registered after the record above is constructed (same translation unit);
// the platform runs it once the library is attached to the process.
const bool gAttachRegistered = (OslOnLibraryAttach(&AttachLibrary), true);

}  // namespace

WResourceAccess::~WResourceAccess() = default;

const WBaseResourceAccess::ResourceFileInfo& OslResourceFileInfo() { return gResourceFileInfo; }

bool16 PlugIn::CanLoad() const { return 1; }
bool16 PlugIn::IsValid() const { return 1; }
bool16 PlugIn::CanUnload() const { return 0; }
bool16 PlugIn::IsRequired() const { return 1; }
void PlugIn::Terminate() {}
PluginID PlugIn::GetPluginID() const { return id_; }
void PlugIn::SetPluginID(PluginID id) { id_ = id; }

IDFile PlugIn::GetResourceFile() const {
  WResourceAccess access(&gResourceFileInfo);
  return access.GetResourceFile();
}

void PlugIn::RegisterImplementations(PluginID id) {
  ISession* session = GetExecutionContextSession();
  if (!session) return;
  InterfacePtr<IRegistration> registration(session, IID_IREGISTRATION);
  if (!registration) return;
  for (ImplRegistration* record = osl::RegistryHead(); record; record = record->next) {
    registration->RegisterImplementation(id, record->id, record->create, record->destroy,
                                         record->size, record->reserved1, record->reserved2,
                                         record->reserved3);
  }
}

PlugIn::~PlugIn() = default;

extern "C" IPlugIn* GetPlugIn() { return &gPlugIn; }
