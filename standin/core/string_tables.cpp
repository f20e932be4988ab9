#include "standin/core/string_tables.h"

#include <cstdlib>
#include <cstring>

namespace standin {

std::string StringTables::Lookup(const std::string& key) const {
  const char* locale = std::getenv("OSL_LOCALE");
  if (locale && std::strcmp(locale, "keys") == 0) return key;
  auto it = table_.find(key);
  return it == table_.end() ? key : it->second;
}

std::string StringTables::ChoiceKey(const std::string& name) const {
  auto it = choices_.find(name);
  return it == choices_.end() ? std::string() : it->second;
}

}  // namespace standin
