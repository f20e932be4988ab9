// Shared pieces of the service client tests: a platform whose folders live in
// a fresh temporary directory, and quiet alerts.
#pragma once

#include <string>
#include <vector>

#include "service/platform.h"
#include "standin/app/host.h"

namespace osl_test {

// A scratch directory removed (with its content) when the object dies.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to path()/name and returns the full path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// System folders inside a scratch directory; the log folder is absent unless
// a test creates it (CreateLogFolder).
class TestPlatform : public OslPlatform {
 public:
  TestPlatform();
  ~TestPlatform() override;

  std::string TempFolder() override { return temp_; }
  std::string AppDataFolder() override { return appData_; }
  std::string LogFolder() override { return logs_; }

  const ScratchDir& dir() const { return dir_; }
  void CreateLogFolder();
  void SetTempFolder(const std::string& folder) { temp_ = folder; }
  void SetAppDataFolder(const std::string& folder) { appData_ = folder; }

 private:
  ScratchDir dir_;
  std::string temp_, appData_, logs_;
};

// Installs a TestPlatform, silences alerts and clears their log; restores
// the real platform at the end of the scope.
class ServiceTestScope {
 public:
  ServiceTestScope();
  ~ServiceTestScope();
  TestPlatform& platform() { return platform_; }
  standin::Host& host() { return host_; }
  // The alerts shown since the last call, as "<kind>: <text>".
  std::vector<std::string> TakeAlerts();

 private:
  standin::Host host_;
  TestPlatform platform_;
};

std::string ReadFile(const std::string& path);

}  // namespace osl_test
