#include "tests/service/test_support.h"

#include <sys/stat.h>

#include "service/plugin_data.h"
#include "standin/runtime/alerts.h"
#include "standin/runtime/session.h"

namespace osltest {

TestPlatform::TestPlatform() {
  temp_ = dir_.path() + "/tmp";
  appData_ = dir_.path() + "/config";
  logs_ = dir_.path() + "/logs";
  mkdir(temp_.c_str(), 0700);
  mkdir(appData_.c_str(), 0700);
}

TestPlatform::~TestPlatform() = default;

void TestPlatform::CreateLogFolder() { mkdir(logs_.c_str(), 0700); }

ServiceTestScope::ServiceTestScope() {
  OslPlatform::Set(&platform_);
  auto& alerts = standin::AlertCenter::Get();
  alerts.SetEcho(false);
  alerts.SetInteractive(false);
  alerts.Reset();
}

ServiceTestScope::~ServiceTestScope() {
  OslPlatform::Set(nullptr);
  standin::AlertCenter::Get().Reset();
}

std::vector<std::string> TakeAlerts() {
  std::vector<std::string> shown;
  for (const auto& alert : standin::AlertCenter::Get().TakeLog()) {
    shown.push_back(std::string(standin::AlertKindName(alert.kind)) + ": " + alert.text);
  }
  return shown;
}

void SetPlugInPath(const std::string& path) {
  standin::Session::Get().SetPlugInPath(kOslSettingsPluginID, path);
}

void ForgetPlugInPath() { standin::Session::Get().ForgetPlugInPath(kOslSettingsPluginID); }

void ResetPlugInData() {
  OslPlugInData& data = GetOslPlugInData();
  data.dialogResult = 0;
  for (PMString* text :
       {&data.user, &data.password, &data.server, &data.templateEndpoint, &data.documentEndpoint,
        &data.action, &data.uploadUrl, &data.sessionId, &data.settingsPath}) {
    *text = PMString();
  }
  data.loaded = 0;
}

}  // namespace osltest
