#include "standin/cli/plugin_scripting.h"

#include "host/InterfacePtr.h"
#include "host/Scripting.h"
#include "standin/app/host.h"
#include "standin/core/resource_ids.h"
#include "standin/scripting/script_request.h"

namespace osl_cli {

namespace {

// The numeric "id" of the first element of `list`, and that element.
const nlohmann::json* FirstWithID(const nlohmann::json& object, const char* member, uint32* id) {
  auto list = object.find(member);
  if (list == object.end() || !list->is_array() || list->empty()) return nullptr;
  const nlohmann::json& first = list->front();
  if (!first.is_object()) return nullptr;
  auto value = first.find("id");
  if (value == first.end() || !standin::ParseNumericID(*value, id)) return nullptr;
  return &first;
}

// The value of the string property `property` of `script`; empty when the
// provider gives none.
std::string StringProperty(IScriptProvider* provider, IScript* script, uint32 property) {
  standin::ScriptRequest request(standin::ScriptRequest::Kind::kPropertyGet);
  if (property == 0 || provider->AccessProperty(property, &request, script) != kSuccess) return "";
  for (const auto& returned : request.ReturnData()) {
    PMString value;
    if (returned.element == property && returned.data.GetPMString(value) == kSuccess)
      return value.GetUTF8String();
  }
  return "";
}

}  // namespace

bool FindScriptNames(const standin::PlugInLoader& plugins, ScriptNames* names) {
  for (const auto& plugin : plugins.Loaded()) {
    auto scripting = plugin.resources.find("scripting");
    if (scripting == plugin.resources.end() || !scripting->is_object()) continue;
    auto boss = scripting->find("boss");
    if (boss == scripting->end() || !boss->is_string()) continue;
    names->providerBoss = boss->get<std::string>();
    if (const nlohmann::json* method = FirstWithID(*scripting, "methods", &names->method)) {
      FirstWithID(*method, "parameters", &names->parameter);
    }
    FirstWithID(*scripting, "properties", &names->property);
    const nlohmann::json properties = scripting->value("properties", nlohmann::json());
    for (const nlohmann::json& property : properties.is_array() ? properties : nlohmann::json()) {
      if (!property.is_object() || property.value("object", "") != "pageitem") continue;
      const std::string name = property.value("name", "");
      uint32* id = name == "fieldName"         ? &names->fieldName
                   : name == "controlType"     ? &names->controlType
                   : name == "controlTypeName" ? &names->controlTypeName
                                               : nullptr;
      if (id && property.contains("id")) standin::ParseNumericID(property["id"], id);
    }
    return true;
  }
  return false;
}

ItemField ReadItemField(standin::Host& host, const ScriptNames& names, standin::Document& doc,
                        const standin::PageItem& item) {
  ItemField field;
  standin::Boss* boss = doc.FindBoss(item.uid);
  if (names.fieldName == 0 || !boss) return field;
  InterfacePtr<IScriptProvider> provider(&host.GetSession().PlugInBoss(names.providerBoss),
                                         IID_ISCRIPTPROVIDER);
  if (!provider) return field;
  IScript* script = standin::ScriptObjectOf(*boss);
  field.name = StringProperty(provider, script, names.fieldName);
  if (field.name.empty()) return field;
  field.controlType = StringProperty(provider, script, names.controlType);
  field.controlTypeName = StringProperty(provider, script, names.controlTypeName);
  return field;
}

}  // namespace osl_cli
