// The cleaning of upload file names. Checks: the result is a clean name (cleaning it again
// changes nothing), non-empty, at most kMaxCleanNameLength bytes, neither "." nor "..", without a
// path separator, and joined to any folder it stays inside that folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "refservice/uploads/upload_names.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "upload_name: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view name(reinterpret_cast<const char*>(data), size);
  std::string clean = refservice::CleanFileName(name);
  if (clean.empty()) Fail("an empty name");
  if (clean.size() > refservice::kMaxCleanNameLength) Fail("a name longer than the limit");
  if (clean == "." || clean == "..") Fail("a name that names a folder");
  if (clean.find_first_of("/\\") != std::string::npos) Fail("a path separator in the name");
  if (!refservice::IsCleanFileName(clean)) Fail("cleaning twice changes the name");
  const std::filesystem::path folder = "/data/uploads/session/token";
  std::filesystem::path joined = (folder / clean).lexically_normal();
  if (joined.parent_path() != folder) Fail("the name leaves its folder");
  return 0;
}
