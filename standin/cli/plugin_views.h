// The plug-in's dialogs, panels and widgets as the commands reach them: by
// the symbolic names its view resources declare, never by a number written
// here. Each lookup reads the resources of the plug-ins loaded now.
#pragma once

#include <string>
#include <vector>

#include "host/BaseTypes.h"

namespace standin {
class Host;
struct ViewSpec;
struct WidgetSpec;
}  // namespace standin

namespace osl_cli {

// The widget with identifier `id`, or with symbolic name `name`, in the
// tree of `spec`; null when there is none.
const standin::WidgetSpec* FindSpec(const standin::WidgetSpec& spec, WidgetID id);
const standin::WidgetSpec* FindSpec(const standin::WidgetSpec& spec, const std::string& name);

// The identifier of the widget named `widget` in the view named `view`;
// 0 when no loaded plug-in declares them.
WidgetID NamedWidgetID(standin::Host& host, const std::string& view, const std::string& widget);

// The key dialog scripts wait for to reach the dialog view named `view`
// (its resource identifier in decimal); "?" followed by the name when no
// loaded plug-in declares it, which no dialog ever matches.
std::string DialogKey(standin::Host& host, const std::string& view);

// The display texts of the entries of drop-down `list` (none for null).
std::vector<std::string> Captions(standin::Host& host, const standin::WidgetSpec* list);

}  // namespace osl_cli
