// Uploads one file with the plug-in's upload function (UploadFile) to a
// running service, as a publish does, and prints what it took:
//   osl_bench_upload BASE_URL USER PASSWORD FILE
// prints "upload SECONDS BYTES ADDRESS" on success and exits 0; exits 1 with
// the alerts on stderr when the upload failed, 2 on a usage error.
// BASE_URL is the service's base address (the settings file's server: line).
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "host/PMString.h"
#include "service_client/plugin_data.h"
#include "service_client/upload.h"
#include "tests/service_client/test_support.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s BASE_URL USER PASSWORD FILE\n", argv[0]);
    return 2;
  }
  const std::string base = argv[1], user = argv[2], password = argv[3], path = argv[4];
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], path.c_str());
    return 2;
  }

  osltest::ServiceTestScope scope;
  const osltest::TempDir& dir = scope.platform().dir();
  dir.Write("Osl.cfg", "server:" + base + "\nuser:" + user + "\npass:" + password + "\n");
  osltest::SetPlugInPath(dir.path() + "/Osl.pln");
  if (!GetOslPlugInData().IsConfigured()) {
    std::fprintf(stderr, "%s: the settings file was not read\n", argv[0]);
    return 2;
  }

  const std::string name = path.substr(path.find_last_of('/') + 1);
  const auto start = std::chrono::steady_clock::now();
  const PMString address = UploadFile(PMString(path), PMString(name));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::string text = address.GetUTF8String();
  if (text.empty()) {
    for (const std::string& alert : osltest::TakeAlerts()) {
      std::fprintf(stderr, "%s\n", alert.c_str());
    }
    std::fprintf(stderr, "%s: the upload failed\n", argv[0]);
    return 1;
  }
  std::printf("upload %.6f %lld %s\n", seconds, static_cast<long long>(info.st_size), text.c_str());
  return 0;
}
