// Shared pieces of the service client tests: a platform whose folders live in
// a fresh temporary folder, the host's alerts as text, and the plug-in path
// the host reports. Every use of the stand-in host by these tests is here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service_client/platform.h"
#include "tests/support/subprocess.h"

namespace osltest {

// System folders inside a temporary folder; the log folder is absent unless
// a test creates it (CreateLogFolder).
class TestPlatform : public OslPlatform {
 public:
  TestPlatform();
  ~TestPlatform() override;

  std::string TempFolder() override { return temp_; }
  std::string AppDataFolder() override { return appData_; }
  std::string LogFolder() override { return logs_; }
  OslTimeLimits TimeLimits() override { return limits_; }

  const TempDir& dir() const { return dir_; }
  void CreateLogFolder();
  void SetTempFolder(const std::string& folder) { temp_ = folder; }
  void SetAppDataFolder(const std::string& folder) { appData_ = folder; }
  // The limits contexts made from now on get (default: the real ones).
  OslTimeLimits& limits() { return limits_; }

 private:
  TempDir dir_;
  std::string temp_, appData_, logs_;
  OslTimeLimits limits_;
};

// For the life of the scope: a stand-in host of its own is current, a
// TestPlatform is installed, and alerts are logged without being printed or
// asked. The real platform is restored at the end.
class ServiceTestScope {
 public:
  ServiceTestScope();
  ~ServiceTestScope();
  ServiceTestScope(const ServiceTestScope&) = delete;
  ServiceTestScope& operator=(const ServiceTestScope&) = delete;
  TestPlatform& platform() { return platform_; }

 private:
  struct HostOfScope;
  std::unique_ptr<HostOfScope> host_;
  TestPlatform platform_;
};

// The alerts shown since the last call, oldest first, as "<kind>: <text>"
// with kind one of error, warning, info, ask.
std::vector<std::string> TakeAlerts();

// Makes the host's plug-in list report `path` as the plug-in's file.
void SetPlugInPath(const std::string& path);
// Makes the host's plug-in list report no path for the plug-in.
void ForgetPlugInPath();

// Puts the process-wide OslPlugInData back in its state at load: nothing
// read, every value empty, so the next use reads the settings file again.
void ResetPlugInData();

}  // namespace osltest
