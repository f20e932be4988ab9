// The template fields of page items as the plug-ins themselves read them:
// through the read-only scripting properties "fieldName", "controlType" and
// "controlTypeName" that a plug-in's resources declare on "pageitem"
// objects. The host shows what the plug-in reads in its own tags and never
// parses a tag itself.
#pragma once

#include <string>

#include "host/BaseTypes.h"

namespace standin {
class Document;
class Host;
struct PageItem;
}  // namespace standin

namespace osl_cli {

struct ItemField {
  std::string name;             // empty: the item is no field
  std::string controlType;      // the stored code, as stored
  std::string controlTypeName;  // its display text on the item's kind of frame, or empty
};

class ItemFields {
 public:
  // Finds the properties among the plug-ins `host` has loaded; `host` must
  // outlive this object.
  explicit ItemFields(standin::Host& host);

  // The field of `item` of `doc`. Its name is empty when the item is no
  // field, or when no loaded plug-in declares the properties.
  ItemField Read(standin::Document& doc, const standin::PageItem& item) const;

 private:
  standin::Host& host_;
  std::string providerBoss_;
  uint32 name_ = 0, controlType_ = 0, controlTypeName_ = 0;
};

}  // namespace osl_cli
