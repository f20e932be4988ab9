// JSON parsing with a bound on nesting, so that hostile input cannot make
// the parser, the destructor or any later recursive walk run out of stack.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

namespace standin {

// Parses `text` into *out. False with *error set (a one-line reason) when
// the text is not JSON or nests objects and arrays more than `maxDepth`
// levels deep; *out is then null. Parsing stops at the first level past the
// limit, without building the deeper part.
bool ParseBoundedJson(const std::string& text, size_t maxDepth, nlohmann::json* out,
                      std::string* error);

// True when `value` nests objects and arrays more than `maxDepth` levels
// deep. Walks the value without recursion.
bool JsonDeeperThan(const nlohmann::json& value, size_t maxDepth);

}  // namespace standin
