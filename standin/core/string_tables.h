// The string tables of loaded plug-ins: key -> display text. Translate()
// looks keys up here. With OSL_LOCALE=keys every lookup returns the key
// itself, so tests can assert keys instead of texts. Beside them, the
// names plug-ins give list entries for automation: name -> display key.
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
  // Adds (or replaces) the display key the entry name `name` stands for.
  void AddChoice(const std::string& name, const std::string& key) { choices_[name] = key; }
  // The display key of entry name `name`; empty when no plug-in gives it.
  std::string ChoiceKey(const std::string& name) const;
  void Clear() {
    table_.clear();
    choices_.clear();
  }

 private:
  std::map<std::string, std::string> table_;
  std::map<std::string, std::string> choices_;
};

}  // namespace standin
