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

}  // namespace standin
