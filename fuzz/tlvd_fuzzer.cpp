// .tlvd documents: any bytes load or are refused with a reason, never harm;
// a document that loads saves to a text that loads again to the same text.
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "fuzz/fuzz_host.h"
#include "standin/document/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  osltest::FuzzHost();
  const std::string text(reinterpret_cast<const char*>(data), size);
  nlohmann::json json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return 0;
  std::string error;
  auto doc = standin::Document::FromJson(json, "/nonexistent/fuzz.tlvd", &error);
  if (!doc) {
    if (error.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  const std::string saved = doc->ToJson().dump(2);
  auto again = standin::Document::FromJson(nlohmann::json::parse(saved), "/nonexistent/fuzz.tlvd",
                                           &error);
  if (!again) std::abort();  // what was saved must load
  if (again->ToJson().dump(2) != saved) std::abort();
  return 0;
}
