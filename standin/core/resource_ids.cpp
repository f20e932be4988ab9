#include "standin/core/resource_ids.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "host/HostInterfaceIDs.h"
#include "host/WidgetInterfaceIDs.h"

namespace standin {

namespace {

const std::map<std::string, PMIID>& InterfaceNames() {
  static const std::map<std::string, PMIID> names = {
      {"IActionComponent", IID_IACTIONCOMPONENT},
      {"IScriptProvider", IID_ISCRIPTPROVIDER},
      {"IDialogController", IID_IDIALOGCONTROLLER},
      {"IObserver", IID_IOBSERVER},
      {"IPanelCreator", IID_IPANELCREATOR},
      {"IEventHandler", IID_IEVENTHANDLER},
      {"IActiveSelectionObserver", IID_IACTIVESELECTIONOBSERVER},
      {"ILabel", IID_ILABEL},
      {"ILabelSuite", IID_ILABELSUITE},
  };
  return names;
}

}  // namespace

bool ParseNumericID(const nlohmann::json& value, uint32* id) {
  if (value.is_number_unsigned()) {
    const auto v = value.get<uint64_t>();
    if (v > 0xFFFFFFFFu) return false;
    *id = static_cast<uint32>(v);
    return true;
  }
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull) return false;
  *id = static_cast<uint32>(v);
  return true;
}

bool ParseInterfaceID(const nlohmann::json& value, PMIID* iid) {
  if (value.is_string()) {
    auto it = InterfaceNames().find(value.get_ref<const std::string&>());
    if (it != InterfaceNames().end()) {
      *iid = it->second;
      return true;
    }
  }
  return ParseNumericID(value, iid);
}

std::string HexID(uint32 id, bool lowerCase) {
  char text[16];
  std::snprintf(text, sizeof text, lowerCase ? "0x%x" : "0x%X", static_cast<unsigned>(id));
  return text;
}

}  // namespace standin
