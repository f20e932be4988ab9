// The settings file: any content is read without harm, and settings the
// plug-in saves read back as the same server, user and password.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_host.h"
#include "service_client/plugin_data.h"

namespace {

// The scratch folder's path, in storage without a destructor so that it is
// still there when the exit handler removes the folder.
char gMadeFolder[64];

void RemoveMadeFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(gMadeFolder, ignored);
}

// A folder of this process's own, removed with everything in it when the
// process exits normally.
const std::string& Folder() {
  static const std::string folder = [] {
    // Memory-backed when the machine has it: every input is written and
    // flushed to disk twice.
    const char* const patterns[] = {"/dev/shm/osl-settings-fuzz-XXXXXX",
                                    "/tmp/osl-settings-fuzz-XXXXXX"};
    for (const char* pattern : patterns) {
      std::snprintf(gMadeFolder, sizeof gMadeFolder, "%s", pattern);
      if (mkdtemp(gMadeFolder)) {
        std::atexit(RemoveMadeFolder);
        return std::string(gMadeFolder);
      }
    }
    std::fprintf(stderr, "settings fuzzer: no scratch folder could be made\n");
    std::abort();
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::Host& host = osltest::FuzzHost();
  host.GetSession().SetPlugInPath(kOslSettingsPluginID, Folder() + "/Osl.pln");
  const std::string file = Folder() + "/Osl.cfg";
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  OslPlugInData read;
  read.LoadSettings();
  if (!read.loaded) std::abort();
  // Save what was read; a value that cannot be written as one line is
  // refused with an alert and the file stays as it was.
  host.AlertLog().TakeLog();
  read.SaveSettings();
  if (!host.AlertLog().TakeLog().empty()) return 0;
  OslPlugInData again;
  again.LoadSettings();
  if (again.server != read.server || again.user != read.user ||
      again.password != read.password) {
    std::abort();
  }
  return 0;
}
