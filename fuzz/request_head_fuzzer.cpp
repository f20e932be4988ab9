// The gate's check of request heads. Checks: the verdict on the whole input is one of the known
// answers, an accepted head has an end, and a head is never accepted from fewer bytes than its
// end (a prefix cut before the end is never accepted).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "refservice/http/request_head_check.h"

namespace {

using refservice::CheckRequestHead;
using refservice::HeadCheck;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "request_head: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  constexpr size_t kMaxHead = 2048;
  HeadCheck whole = CheckRequestHead(bytes, kMaxHead);
  switch (whole.verdict) {
    case HeadCheck::Verdict::kIncomplete:
      if (bytes.size() > kMaxHead + 8 && bytes.find('\n') == std::string_view::npos) {
        Fail("an endless head is still waited for");
      }
      break;
    case HeadCheck::Verdict::kAccept:
      if (bytes.find("\n\n") == std::string_view::npos &&
          bytes.find("\n\r\n") == std::string_view::npos) {
        Fail("a head accepted without its end");
      }
      break;
    case HeadCheck::Verdict::kRefuse:
      if (whole.status != 400 && whole.status != 408 && whole.status != 413 &&
          whole.status != 431 && whole.status != 501) {
        Fail("an unexpected status");
      }
      if (whole.message.empty()) Fail("a refusal without a reason");
      break;
  }
  // Without its last byte, an input whose head ends only there is not yet accepted.
  if (!bytes.empty()) {
    std::string_view shorter = bytes.substr(0, bytes.size() - 1);
    if (CheckRequestHead(shorter, kMaxHead).verdict == HeadCheck::Verdict::kAccept &&
        whole.verdict == HeadCheck::Verdict::kIncomplete) {
      Fail("a longer input undid an accepted head");
    }
  }
  return 0;
}
