#include "standin/cli/list_option.h"

#include <cstdlib>

#include "standin/core/string_tables.h"
#include "standin/core/terminal_text.h"

namespace osl_cli {

const std::vector<ListEntryName>& ControlTypeNames() {
  static const std::vector<ListEntryName> names = {
      {"textbox"}, {"textarea"}, {"richtext"}, {"barcode"}, {"image"}, {"advimage"}, {"nonprint"}};
  return names;
}

const std::vector<ListEntryName>& ClientTypeNames() {
  static const std::vector<ListEntryName> names = {{"standard"}, {"web"}, {"other"}};
  return names;
}

const std::vector<ListEntryName>& DirectionNames() {
  static const std::vector<ListEntryName> names = {{"up"}, {"down"}};
  return names;
}

std::string NameChoices(const std::vector<ListEntryName>& names) {
  std::string choices;
  for (const ListEntryName& entry : names) {
    if (!choices.empty()) choices += "|";
    choices += entry.name;
  }
  return choices;
}

bool ResolveListOption(const std::string& option, const std::string& value,
                       const std::vector<ListEntryName>& names,
                       const std::vector<std::string>& captions,
                       const standin::StringTables& strings, int32* position, std::string* error) {
  // What this list offers, by name where a name stands for one of its entries.
  std::string offered;
  std::vector<int32> namedAt(names.size(), -1);
  for (size_t n = 0; n < names.size(); ++n) {
    const std::string key = strings.ChoiceKey(names[n].name);
    const std::string caption = strings.Lookup(key);
    for (size_t i = 0; i < captions.size() && !key.empty(); ++i) {
      if (captions[i] == caption) {
        namedAt[n] = static_cast<int32>(i);
        break;
      }
    }
    if (namedAt[n] >= 0) offered += std::string(offered.empty() ? "" : ", ") + names[n].name;
  }
  const std::string positions = captions.empty()
                                    ? std::string("no entries")
                                    : "positions 0 to " + std::to_string(captions.size() - 1);
  const std::string choices = offered.empty() ? positions : offered + " (or " + positions + ")";

  if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos &&
      value.size() <= 9) {
    const long number = std::strtol(value.c_str(), nullptr, 10);
    if (number < static_cast<long>(captions.size())) {
      *position = static_cast<int32>(number);
      return true;
    }
    *error = option + " " + value + ": the list offers " + choices;
    return false;
  }
  for (size_t n = 0; n < names.size(); ++n) {
    if (value != names[n].name) continue;
    if (namedAt[n] >= 0) {
      *position = namedAt[n];
      return true;
    }
    *error = option + " " + value + ": not offered here; the list offers " + choices;
    return false;
  }
  *error =
      option + " " + standin::EscapeForTerminal(value) + ": unknown; the list offers " + choices;
  return false;
}

}  // namespace osl_cli
