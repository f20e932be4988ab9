// Where the plug-in loader hands a plug-in's view resources to the widget
// toolkit.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "host/BaseTypes.h"

namespace standin {

// Registers the view resources of `plugin` (null = none). False with
// *error set when they are invalid.
bool ApplyViews(PluginID plugin, const nlohmann::json& views, std::string* error);

}  // namespace standin
