#include "tests/service_client/test_support.h"

#include <sys/stat.h>

#include <memory>

#include "service_client/plugin_data.h"
#include "standin/app/host.h"

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

// The stand-in host of one scope: made with it, gone with it.
struct ServiceTestScope::HostOfScope {
  standin::Host host;
};

ServiceTestScope::ServiceTestScope() : host_(std::make_unique<HostOfScope>()) {
  OslPlatform::Set(&platform_);
  auto& alerts = host_->host.AlertLog();
  alerts.SetEcho(false);
  alerts.SetInteractive(false);
}

ServiceTestScope::~ServiceTestScope() { OslPlatform::Set(nullptr); }

std::vector<std::string> TakeAlerts() {
  std::vector<std::string> shown;
  for (const auto& alert : standin::Host::Current().AlertLog().TakeLog()) {
    shown.push_back(std::string(standin::AlertKindName(alert.kind)) + ": " + alert.text);
  }
  return shown;
}

void SetPlugInPath(const std::string& path) {
  standin::Host::Current().GetSession().SetPlugInPath(kOslSettingsPluginID, path);
}

void ForgetPlugInPath() {
  standin::Host::Current().GetSession().ForgetPlugInPath(kOslSettingsPluginID);
}

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
