// Loads the real Osl.pln the way the host does.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "host/IPlugInList.h"
#include "host/InterfacePtr.h"
#include "standin/plugins/plugin_loader.h"
#include "tests/support/host_fixture.h"
#include "tests/support/plugin_patch.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

const std::string kPlugin = std::string(OSL_BINARY_DIR) + "/bin/Osl.pln";

class PlugInLoading : public HostTest {};

TEST_F(PlugInLoading, HostLoadsTheModuleAndItsResources) {
  std::string error;
  const standin::LoadedPlugIn* loaded = host_.LoadPlugIn(kPlugin, &error);
  ASSERT_NE(loaded, nullptr) << error;
  EXPECT_EQ(loaded->id, 0x199E00);
  EXPECT_EQ(loaded->plugin->GetPluginID(), 0x199E00);
  // The plug-in names its own library as its resource file.
  char resolved[4096];
  ASSERT_NE(realpath(kPlugin.c_str(), resolved), nullptr);
  EXPECT_EQ(loaded->plugin->GetResourceFile().GetPath(), resolved);
  // The plug-in list reports where it was loaded from.
  InterfacePtr<IPlugInList> list(GetExecutionContextSession(), IID_IPLUGINLIST);
  ASSERT_TRUE(list);
  IDFile path;
  ASSERT_TRUE(list->GetPathName(0x199E00, &path));
  EXPECT_EQ(path.GetPath(), resolved);
  EXPECT_FALSE(list->GetPathName(0x12345, &path));
  // Sixteen implementations, string tables and boss declarations arrived.
  EXPECT_EQ(host_.Objects().Order().size(), 16u);
  EXPECT_EQ(host_.Strings().Lookup("0x199e00kNoneKey"), "(none)");
  EXPECT_TRUE(host_.GetSession().PlugInBoss("kOslFacadeBoss").Has(0x199E01));
  // Loading again gives the same plug-in.
  EXPECT_EQ(host_.LoadPlugIn(kPlugin, &error), loaded);
}

TEST_F(PlugInLoading, ExportsOnlyGetPlugIn) {
  void* handle = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_NE(dlsym(handle, "GetPlugIn"), nullptr);
  EXPECT_EQ(dlsym(handle, "_ZN3osl12RegistryHeadEv"), nullptr);
  EXPECT_EQ(dlsym(handle, "_Z14ParseStringMapRK8PMStringS1_"), nullptr);
  dlclose(handle);
}

TEST_F(PlugInLoading, BadLibrariesAreRefusedWithAClearReason) {
  std::string error;
  EXPECT_EQ(host_.LoadPlugIn("/nonexistent/Osl.pln", &error), nullptr);
  EXPECT_NE(error.find("/nonexistent/Osl.pln"), std::string::npos);
  // A library without GetPlugIn.
  EXPECT_EQ(host_.LoadPlugIn(std::string(OSL_BINARY_DIR) + "/bin/libstandin.so", &error), nullptr);
  EXPECT_NE(error.find("GetPlugIn"), std::string::npos);
  // A file that is not ELF has no resources.
  std::string data;
  EXPECT_FALSE(
      standin::ReadResourceSection(std::string(OSL_SOURCE_DIR) + "/README.md", &data, &error));
}

TEST_F(PlugInLoading, AFailedLoadLeavesNothingBehindAndClosesTheLibrary) {
  TempDir dir;
  // Everything but the views is fine: the boss declarations and strings
  // come first in the file and would have been applied by a loader that
  // does not check everything before it starts.
  const std::string broken = PatchedPlugIn(kPlugin, dir, "Broken.pln", [](nlohmann::json& r) {
    r["views"] = {{"views", 5}};
  });
  std::string error;
  EXPECT_EQ(host_.LoadPlugIn(broken, &error), nullptr);
  EXPECT_NE(error.find("views"), std::string::npos) << error;
  EXPECT_TRUE(host_.Objects().Order().empty());
  EXPECT_EQ(host_.Strings().Lookup("0x199e00kNoneKey"), "0x199e00kNoneKey");
  EXPECT_EQ(host_.GetSession().PlugInBoss("kOslFacadeBoss").Has(0x199E01), false);
  InterfacePtr<IPlugInList> list(GetExecutionContextSession(), IID_IPLUGINLIST);
  IDFile path;
  EXPECT_FALSE(list->GetPathName(0x199E00, &path));
  EXPECT_TRUE(host_.PlugIns().Loaded().empty());
  // The library was closed again.
  EXPECT_EQ(dlopen(broken.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  // The real plug-in still loads into the same host afterwards.
  ASSERT_NE(host_.LoadPlugIn(kPlugin, &error), nullptr) << error;
  EXPECT_EQ(host_.Objects().Order().size(), 16u);
}

TEST_F(PlugInLoading, ResourcesWithoutAnIdentifierAreRefused) {
  TempDir dir;
  const std::string broken =
      PatchedPlugIn(kPlugin, dir, "Broken.pln", [](nlohmann::json& r) { r.erase("plugin"); });
  std::string error;
  EXPECT_EQ(host_.LoadPlugIn(broken, &error), nullptr);
  EXPECT_NE(error.find("\"id\""), std::string::npos) << error;
  EXPECT_TRUE(host_.Objects().Order().empty());
}

// The names the plug-in gives list entries arrive with its strings; names
// that are not name: key text refuse the whole plug-in.
TEST_F(PlugInLoading, EntryNamesArriveWithTheStringsOrRefuseThePlugIn) {
  TempDir dir;
  const std::pair<nlohmann::json, const char*> bad[] = {
      {nlohmann::json::array({"up"}), "\"choices\" must be an object of name: key"},
      {{{"up", 5}}, "choice up must be text"}};
  int n = 0;
  for (const auto& [choices, message] : bad) {
    const std::string broken =
        PatchedPlugIn(kPlugin, dir, "Broken" + std::to_string(n++) + ".pln",
                      [&choices](nlohmann::json& r) { r["choices"] = choices; });
    std::string error;
    EXPECT_EQ(host_.LoadPlugIn(broken, &error), nullptr);
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_EQ(host_.Strings().ChoiceKey("up"), "");
  }
  std::string error;
  ASSERT_NE(host_.LoadPlugIn(kPlugin, &error), nullptr) << error;
  EXPECT_EQ(host_.Strings().ChoiceKey("web"), "0x199e00kOslClientTypeKeyNoBarcodes");
  EXPECT_EQ(host_.Strings().ChoiceKey("sideways"), "");
}

}  // namespace
}  // namespace osltest
