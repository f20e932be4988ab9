// Test fixture of the plug-in's own code: a fresh stand-in host with the
// plug-in's implementations (linked into the test) registered and its boss
// declarations applied from the plug-in's real resource file.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "host/IPlugIn.h"
#include "plugin_base/osl_id.h"
#include "standin/core/resource_ids.h"
#include "tests/support/host_fixture.h"

extern "C" IPlugIn* GetPlugIn();

namespace osltest {

inline nlohmann::json PluginResources() {
  std::ifstream in(std::string(OSL_SOURCE_DIR) + "/plugin/resources/osl.json");
  return nlohmann::json::parse(in);
}

class PluginHostTest : public HostTest {
 protected:
  PluginHostTest() {
    GetPlugIn()->RegisterImplementations(kOslPluginID);
    const nlohmann::json resources = PluginResources();
    for (const auto& boss : resources.at("bosses")) {
      for (const auto& entry : boss.at("interfaces")) {
        PMIID iid = 0;
        uint32 impl = 0;
        EXPECT_TRUE(standin::ParseInterfaceID(entry.at("iid"), &iid));
        EXPECT_TRUE(standin::ParseNumericID(entry.at("impl"), &impl));
        host_.Objects().DeclareAddIn(boss.at("class").get<std::string>(),
                                     {iid, static_cast<ImplementationID>(impl)}, kOslPluginID);
      }
    }
  }
};

}  // namespace osltest
