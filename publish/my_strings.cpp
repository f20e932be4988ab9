#include "publish/my_strings.h"

std::string* my_strings::Add(const PMString& text) { return Add(text.GetUTF8String()); }

std::string* my_strings::Add(const std::string& utf8) {
  strings_.push_back(utf8);
  return &strings_.back();
}
