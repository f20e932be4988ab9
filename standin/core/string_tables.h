// The string tables of loaded plug-ins: key -> display text. Translate()
// looks keys up here. With OSL_LOCALE=keys every lookup returns the key
// itself, so tests can assert keys instead of texts.
#pragma once

#include <map>
#include <string>

namespace standin {

class StringTables {
 public:
  // Adds (or replaces) the text of `key`.
  void Add(const std::string& key, const std::string& text) { table_[key] = text; }
  // The text of `key`; the key itself when it has none or the pseudo-locale
  // "keys" is active.
  std::string Lookup(const std::string& key) const;
  void Clear() { table_.clear(); }

 private:
  std::map<std::string, std::string> table_;
};

}  // namespace standin
