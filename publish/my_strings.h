// The UTF-8 strings of one publish run. Every string the run places into a
// message record's text member is made here: the list owns it until the
// list is destroyed at the end of the run, and the records only point at it.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "host/PMString.h"

class my_strings {
 public:
  my_strings() = default;
  my_strings(const my_strings&) = delete;
  my_strings& operator=(const my_strings&) = delete;

  // A new UTF-8 copy of `text` at the end of the list. The pointer stays
  // valid (and the text unchanged) until the list is destroyed.
  std::string* Add(const PMString& text);
  std::string* Add(const std::string& utf8);

  size_t size() const { return strings_.size(); }

 private:
  std::deque<std::string> strings_;  // a deque never moves its elements
};
