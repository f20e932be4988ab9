// Tag maps: whatever a label holds parses without harm, and what the writer
// makes of a map reads back as the same map.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/tag_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the separator, as labels and the nested list use.
  const PMString separator(data[0] % 2 ? "---" : "|||", PMString::kDontTranslateDuringCall);
  const PMString text(std::string(reinterpret_cast<const char*>(data) + 1, size - 1),
                      PMString::kDontTranslateDuringCall);
  const TagMap first = ParseStringMap(text, separator);
  const PMString joined = JoinStringMap(first, separator);
  const TagMap again = ParseStringMap(joined, separator);
  // What was read keeps every entry through a write and a second read.
  if (again != first) std::abort();
  // Writing is stable: joining what was read back gives the same text.
  if (JoinStringMap(again, separator) != joined) std::abort();
  return 0;
}
