#include "publish/field_validation.h"

#include <algorithm>
#include <set>
#include <string>

#include "host/CAlert.h"
#include "host/IApplication.h"
#include "host/IControlView.h"
#include "host/IDropDownListController.h"
#include "host/IPanelControlData.h"
#include "host/ISession.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "plugin_base/osl_id.h"
#include "publish/page_items.h"
#include "publish/publish_texts.h"

namespace {

// The top widget of the plug-in's field panel.
constexpr WidgetID kOslFieldPanelWidgetID = 0x199E00;

// Re-selects the field panel's control type with notification, so that the
// panel writes what it shows into the selected items' tags before they are
// read. Any missing piece skips it.
void CommitFieldPanelInput() {
  InterfacePtr<IApplication> application(GetExecutionContextSession(), IID_IAPPLICATION);
  if (!application) return;
  InterfacePtr<IPanelMgr> panels(application->QueryPanelManager());
  if (!panels) return;
  IControlView* panel = panels->GetPanelFromWidgetID(kOslFieldPanelWidgetID);
  InterfacePtr<IPanelControlData> widgets(panel, IID_IPANELCONTROLDATA);
  if (!widgets) return;
  IControlView* controlType = widgets->FindWidget(kOslControlTypeWidgetID, 9999);
  if (!controlType || !controlType->IsEnabled()) return;
  InterfacePtr<IDropDownListController> list(controlType, IID_IDROPDOWNLISTCONTROLLER);
  if (list) list->Select(list->GetSelected(), true, true);
}

bool IsControlCharacter(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// `name` with each control character written out: \xHH below U+0080,
// \uHHHH above, so that the alert shows where it sits.
PMString ShownName(const PMString& name) {
  static const char kHex[] = "0123456789abcdef";
  std::u16string shown;
  for (char16_t c : name.Text()) {
    if (!IsControlCharacter(c)) {
      shown.push_back(c);
      continue;
    }
    shown += c < 0x80 ? u"\\x" : u"\\u00";
    shown.push_back(static_cast<char16_t>(kHex[(c >> 4) & 0xF]));
    shown.push_back(static_cast<char16_t>(kHex[c & 0xF]));
  }
  PMString text(shown);
  text.SetTranslatable(false);
  return text;
}

}  // namespace

PMString FieldNamesWithControlCharacters(const UIDList& items) {
  PMString report;
  for (int32 i = 0; i < items.Length(); ++i) {
    const TagMap tag = ReadStringMap(items.GetRef(i));
    const auto name = tag.find(PMString(tagkeys::kFieldName));
    if (name == tag.end()) continue;
    const std::u16string& text = name->second.Text();
    if (std::none_of(text.begin(), text.end(), IsControlCharacter)) continue;
    report.Append("\n   \"");
    report.Append(ShownName(name->second));
    report.Append("\"");
  }
  report.SetTranslatable(false);
  return report;
}

PMString DuplicateFieldNames(const UIDList& items) {
  std::set<PMString> seen;
  PMString report;
  for (int32 i = 0; i < items.Length(); ++i) {
    const TagMap tag = ReadStringMap(items.GetRef(i));
    const auto name = tag.find(PMString(tagkeys::kFieldName));
    if (name == tag.end() || name->second.IsEmpty()) continue;
    if (seen.insert(name->second).second) continue;
    report.Append("\n   \"");
    report.Append(name->second);
    report.Append("\"");
  }
  report.SetTranslatable(false);
  return report;
}

bool CheckFieldNames() {
  Utils<ILayoutUIUtils> layout;
  IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
  if (!document) return false;
  CommitFieldPanelInput();

  UIDList items(document->GetDocDataBase());
  CollectPageItems(document, &items);
  const PMString unusable = FieldNamesWithControlCharacters(items);
  if (!unusable.IsEmpty()) {
    CAlert::ErrorAlert(Translated("0x199e00kcontrolcharsbeginKey") + unusable + Literal("\n") +
                       Translated("0x199e00kcontrolcharsendKey"));
    return false;
  }
  const PMString report = DuplicateFieldNames(items);
  if (report.IsEmpty()) return true;
  const PMString message = Translated("0x199e00kduplicatesbeginKey") + report + Literal("\n") +
                           Translated("0x199e00kduplicatesendKey");
  return CAlert::ModalAlert(message, Literal("Yes"), Literal("No"), Literal(""), 1, 2) == 1;
}
