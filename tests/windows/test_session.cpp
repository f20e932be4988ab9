#include "tests/windows/test_session.h"

#include <utility>

#include "service_client/plugin_data.h"

namespace osltest {

#ifdef _WIN32
extern "C" void OslTestHostSetSession(ISession* session);

TestSession::TestSession(std::string pluginPath) : plugins_(std::move(pluginPath)) {
  OslTestHostSetSession(this);
}

TestSession::~TestSession() { OslTestHostSetSession(nullptr); }
#else
TestSession::TestSession(std::string pluginPath) : plugins_(pluginPath) {
  host_.AlertLog().SetEcho(true);
  host_.GetSession().SetPlugInPath(kOslSettingsPluginID, pluginPath);
}

TestSession::~TestSession() = default;
#endif

IPMUnknown* TestSession::QueryInterface(PMIID iid) const {
  if (iid == IID_IPLUGINLIST) return const_cast<PlugInList*>(&plugins_);
  return nullptr;
}

bool TestSession::PlugInList::GetPathName(PluginID id, IDFile* file) const {
  if (id != kOslSettingsPluginID) return false;
  file->SetTString(path_);
  return true;
}

}  // namespace osltest
