#include "tests/service/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace osl_test {

ScratchDir::ScratchDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/osl-service-test-XXXXXX";
  if (mkdtemp(&pattern[0])) path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Write(const std::string& name, const std::string& content) const {
  const std::string full = path_ + "/" + name;
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return full;
}

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
  auto& alerts = host_.AlertLog();
  alerts.SetEcho(false);
  alerts.SetInteractive(false);
}

ServiceTestScope::~ServiceTestScope() {
  OslPlatform::Set(nullptr);
}

std::vector<std::string> ServiceTestScope::TakeAlerts() {
  std::vector<std::string> shown;
  for (const auto& alert : host_.AlertLog().TakeLog()) {
    shown.push_back(std::string(standin::AlertKindName(alert.kind)) + ": " + alert.text);
  }
  return shown;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace osl_test
