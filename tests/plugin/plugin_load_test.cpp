// Loads the real Osl.pln the way the host does.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "host/IPlugInList.h"
#include "host/InterfacePtr.h"
#include "standin/runtime/plugin_loader.h"
#include "standin/runtime/session.h"
#include "standin/runtime/string_tables.h"

namespace {

const std::string kPlugin = std::string(OSL_BINARY_DIR) + "/bin/Osl.pln";

TEST(PlugInLoading, HostLoadsTheModuleAndItsResources) {
  std::string error;
  const standin::LoadedPlugIn* loaded = standin::LoadPlugIn(kPlugin, &error);
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
  EXPECT_EQ(standin::Session::Get().Registry().Order().size(), 16u);
  EXPECT_EQ(standin::StringTables::Get().Lookup("0x199e00kNoneKey"), "(none)");
  EXPECT_TRUE(standin::Session::Get().PlugInBoss("kOslFacadeBoss").Has(0x199E01));
  // Loading again gives the same plug-in.
  EXPECT_EQ(standin::LoadPlugIn(kPlugin, &error), loaded);
}

TEST(PlugInLoading, ExportsOnlyGetPlugIn) {
  void* handle = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_NE(dlsym(handle, "GetPlugIn"), nullptr);
  EXPECT_EQ(dlsym(handle, "_ZN3osl12RegistryHeadEv"), nullptr);
  EXPECT_EQ(dlsym(handle, "_Z14ParseStringMapRK8PMStringS1_"), nullptr);
  dlclose(handle);
}

TEST(PlugInLoading, BadLibrariesAreRefusedWithAClearReason) {
  std::string error;
  EXPECT_EQ(standin::LoadPlugIn("/nonexistent/Osl.pln", &error), nullptr);
  EXPECT_NE(error.find("/nonexistent/Osl.pln"), std::string::npos);
  // A library without GetPlugIn.
  EXPECT_EQ(standin::LoadPlugIn(std::string(OSL_BINARY_DIR) + "/bin/libstandin.so", &error),
            nullptr);
  EXPECT_NE(error.find("GetPlugIn"), std::string::npos);
  // A file that is not ELF has no resources.
  std::string data;
  EXPECT_FALSE(
      standin::ReadResourceSection(std::string(OSL_SOURCE_DIR) + "/README.md", &data, &error));
}

}  // namespace
