// What the loaded plug-ins declare for scripting (host/README.md), and the
// template fields of page items as the plug-in itself reads them: through
// its read-only "pageitem" properties "fieldName", "controlType" and
// "controlTypeName". The host never parses a plug-in's tags itself.
#pragma once

#include <string>

#include "host/BaseTypes.h"

namespace standin {
class Document;
class Host;
class PlugInLoader;
struct PageItem;
}  // namespace standin

namespace osl_cli {

struct ScriptNames {
  std::string providerBoss;
  // The first method, its first parameter, the first property (0: none).
  uint32 method = 0, parameter = 0, property = 0;
  // The page-item properties (0: not declared).
  uint32 fieldName = 0, controlType = 0, controlTypeName = 0;
};

// The names of the first loaded plug-in that declares a scripting
// provider; false when none does.
bool FindScriptNames(const standin::PlugInLoader& plugins, ScriptNames* names);

struct ItemField {
  std::string name;             // empty: the item is no field
  std::string controlType;      // the stored code, as stored
  std::string controlTypeName;  // its display text on the item's kind of frame, or empty
};

// The field of `item` of `doc` as the provider of `names` reads it. The name
// is empty when the item is no field or the provider declares no fields.
ItemField ReadItemField(standin::Host& host, const ScriptNames& names, standin::Document& doc,
                        const standin::PageItem& item);

}  // namespace osl_cli
