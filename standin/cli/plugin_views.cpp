#include "standin/cli/plugin_views.h"

#include <cstdio>

#include "standin/app/host.h"
#include "standin/ui/views.h"

namespace osl_cli {

const standin::WidgetSpec* FindSpec(const standin::WidgetSpec& spec, WidgetID id) {
  if (spec.id == id) return &spec;
  for (const auto& child : spec.children) {
    if (const standin::WidgetSpec* found = FindSpec(child, id)) return found;
  }
  return nullptr;
}

const standin::WidgetSpec* FindSpec(const standin::WidgetSpec& spec, const std::string& name) {
  if (!name.empty() && spec.name == name) return &spec;
  for (const auto& child : spec.children) {
    if (const standin::WidgetSpec* found = FindSpec(child, name)) return found;
  }
  return nullptr;
}

WidgetID NamedWidgetID(standin::Host& host, const std::string& view, const std::string& widget) {
  const standin::ViewSpec* spec = host.Views().FindNamed(view);
  const standin::WidgetSpec* found = spec ? FindSpec(spec->root, widget) : nullptr;
  return found ? found->id : 0;
}

std::string DialogKey(standin::Host& host, const std::string& view) {
  const standin::ViewSpec* spec = host.Views().FindNamed(view);
  return spec ? std::to_string(spec->rsrc) : "?" + view;
}

std::vector<std::string> Captions(standin::Host& host, const standin::WidgetSpec* list) {
  std::vector<std::string> captions;
  if (!list) return captions;
  for (const std::string& key : list->entries) captions.push_back(host.Strings().Lookup(key));
  return captions;
}

}  // namespace osl_cli
