#include "standin/document/bounded_json.h"

#include <utility>
#include <vector>

namespace standin {

namespace {

using nlohmann::json;
using DomBuilder = nlohmann::detail::json_sax_dom_parser<json>;

// Builds the value like the library's own parser, refusing to open a level
// past the limit.
class BoundedBuilder : public DomBuilder {
 public:
  BoundedBuilder(json& root, size_t maxDepth) : DomBuilder(root, false), maxDepth_(maxDepth) {}

  bool start_object(std::size_t n) { return Enter() && DomBuilder::start_object(n); }
  bool end_object() {
    --depth_;
    return DomBuilder::end_object();
  }
  bool start_array(std::size_t n) { return Enter() && DomBuilder::start_array(n); }
  bool end_array() {
    --depth_;
    return DomBuilder::end_array();
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
    syntaxError_ = e.what();
    return false;
  }

  bool tooDeep() const { return tooDeep_; }
  const std::string& syntaxError() const { return syntaxError_; }

 private:
  bool Enter() {
    if (++depth_ > maxDepth_) {
      tooDeep_ = true;
      return false;
    }
    return true;
  }
  size_t depth_ = 0;
  size_t maxDepth_;
  bool tooDeep_ = false;
  std::string syntaxError_;
};

}  // namespace

bool ParseBoundedJson(const std::string& text, size_t maxDepth, json* out, std::string* error) {
  json parsed;
  BoundedBuilder builder(parsed, maxDepth);
  const bool ok = json::sax_parse(text, &builder);
  if (!ok || builder.tooDeep() || !builder.syntaxError().empty()) {
    if (builder.tooDeep()) {
      *error = "JSON nested deeper than " + std::to_string(maxDepth) + " levels";
    } else {
      std::string reason = builder.syntaxError();
      // The library's message starts with its exception's name.
      const auto bracket = reason.find("] ");
      if (bracket != std::string::npos) reason = reason.substr(bracket + 2);
      *error = "invalid JSON (" + (reason.empty() ? std::string("syntax error") : reason) + ")";
    }
    *out = nullptr;
    return false;
  }
  *out = std::move(parsed);
  return true;
}

bool JsonDeeperThan(const json& value, size_t maxDepth) {
  // (value, its depth); containers push their elements.
  std::vector<std::pair<const json*, size_t>> stack{{&value, 1}};
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    if (!node->is_structured()) continue;
    if (depth > maxDepth) return true;
    for (const json& child : *node) {
      if (child.is_structured()) stack.emplace_back(&child, depth + 1);
    }
  }
  return false;
}

}  // namespace standin
