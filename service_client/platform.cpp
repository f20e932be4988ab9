#include "service_client/platform.h"

// What every platform shares; the system calls are in platform_posix.cpp and
// platform_windows.cpp.

namespace {

OslPlatform* gInstalled = nullptr;

}  // namespace

OslPlatform& OslPlatform::Get() {
  static OslPlatform real;
  return gInstalled ? *gInstalled : real;
}

void OslPlatform::Set(OslPlatform* platform) { gInstalled = platform; }

OslTimeLimits OslPlatform::TimeLimits() { return OslTimeLimits(); }

OslFileBytes::~OslFileBytes() { Release(); }
