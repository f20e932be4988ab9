#include "standin/cli/item_fields.h"

#include "host/InterfacePtr.h"
#include "host/Scripting.h"
#include "standin/app/host.h"
#include "standin/core/resource_ids.h"
#include "standin/scripting/script_request.h"

namespace osl_cli {

namespace {

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

ItemFields::ItemFields(standin::Host& host) : host_(host) {
  for (const auto& plugin : host.PlugIns().Loaded()) {
    const nlohmann::json& scripting = plugin.resources.value("scripting", nlohmann::json());
    if (!scripting.is_object() || !scripting.contains("boss") || !scripting["boss"].is_string() ||
        !scripting.contains("properties") || !scripting["properties"].is_array()) {
      continue;
    }
    uint32* ids[] = {&name_, &controlType_, &controlTypeName_};
    const char* names[] = {"fieldName", "controlType", "controlTypeName"};
    for (const nlohmann::json& property : scripting["properties"]) {
      if (!property.is_object() || property.value("object", "") != "pageitem") continue;
      for (size_t i = 0; i < 3; ++i) {
        if (property.value("name", "") == names[i] && property.contains("id"))
          standin::ParseNumericID(property["id"], ids[i]);
      }
    }
    if (name_ != 0) {
      providerBoss_ = scripting["boss"].get<std::string>();
      return;
    }
  }
}

ItemField ItemFields::Read(standin::Document& doc, const standin::PageItem& item) const {
  ItemField field;
  standin::Boss* boss = doc.FindBoss(item.uid);
  if (providerBoss_.empty() || !boss) return field;
  InterfacePtr<IScriptProvider> provider(&host_.GetSession().PlugInBoss(providerBoss_),
                                         IID_ISCRIPTPROVIDER);
  if (!provider) return field;
  IScript* script = standin::ScriptObjectOf(*boss);
  field.name = StringProperty(provider, script, name_);
  if (field.name.empty()) return field;
  field.controlType = StringProperty(provider, script, controlType_);
  field.controlTypeName = StringProperty(provider, script, controlTypeName_);
  return field;
}

}  // namespace osl_cli
