// A copy of the built plug-in whose resources a test has changed: the
// resource section is rewritten in place (padded with blanks to its old
// length), so the library stays loadable. Tests that use it link standin.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "standin/plugins/plugin_loader.h"
#include "tests/support/subprocess.h"

namespace osltest {

// Writes dir/NAME: the plug-in at `plugin` with its resources passed
// through `edit`. Returns the new file's path. Next to it the copy needs
// the libraries the plug-in loads from its own folder.
inline std::string PatchedPlugIn(const std::string& plugin, const TempDir& dir,
                                 const std::string& name,
                                 const std::function<void(nlohmann::json&)>& edit) {
  std::string library = ReadFile(plugin);
  std::string section, error;
  EXPECT_TRUE(standin::ReadResourceSection(plugin, &section, &error)) << error;
  const size_t at = library.find(section);
  EXPECT_NE(at, std::string::npos);
  nlohmann::json resources = nlohmann::json::parse(section);
  edit(resources);
  std::string text = resources.dump();
  EXPECT_LE(text.size(), section.size());
  text.resize(section.size(), ' ');
  library.replace(at, section.size(), text);
  return dir.Write(name, library);
}

}  // namespace osltest
