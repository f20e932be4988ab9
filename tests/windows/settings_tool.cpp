// The plug-in's settings file as the Windows build writes and reads it, for
// the test that hands it to the Linux build and back (settings_cross_test.sh).
//   osl_windows_settings_tool write PLUGIN SERVER USER PASSWORD
//       the settings of the plug-in at PLUGIN (file PLUGIN less ".pln", plus
//       ".cfg"), saved as the preferences panel saves them
//   osl_windows_settings_tool read PLUGIN
//       prints "server=S", "user=U" and "password=P", one a line
// Exit status 0, or 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <string>

#include "service_client/plugin_data.h"
#include "tests/windows/test_session.h"

namespace {

PMString Text(const char* utf8) { return PMString(utf8, PMString::kDontTranslateDuringCall); }

}  // namespace

int main(int argc, char** argv) {
  const bool write = argc == 6 && std::strcmp(argv[1], "write") == 0;
  const bool read = argc == 3 && std::strcmp(argv[1], "read") == 0;
  if (!write && !read) {
    std::fprintf(stderr,
                 "usage: osl_windows_settings_tool write PLUGIN SERVER USER PASSWORD\n"
                 "       osl_windows_settings_tool read PLUGIN\n");
    return 2;
  }
  osltest::TestSession session(argv[2]);
  OslPlugInData& data = GetOslPlugInData();
  data.LoadSettings();
  if (write) {
    data.server = Text(argv[3]);
    data.user = Text(argv[4]);
    data.password = Text(argv[5]);
    data.BuildEndpoints();
    data.SaveSettings();
  } else {
    std::printf("server=%s\nuser=%s\npassword=%s\n", data.server.GetUTF8String().c_str(),
                data.user.GetUTF8String().c_str(), data.password.GetUTF8String().c_str());
  }
  return 0;
}
