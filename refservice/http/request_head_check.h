// The first look at a request, before the HTTP library parses it: has the whole head arrived, and
// is its body framing unambiguous? A request that could be read two ways (Content-Length beside a
// transfer coding, differing Content-Length values) or whose length cannot be read is answered
// here, so that the library only ever sees heads it frames correctly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace refservice {

struct HeadCheck {
  enum class Verdict {
    kIncomplete,  // the head has not fully arrived yet
    kAccept,      // a complete head with sound framing
    kRefuse,      // answer `status` with `message` and close
  };
  Verdict verdict = Verdict::kIncomplete;
  int status = 0;
  std::string message;
};

// Checks the bytes received so far on a connection (`bytes` may also hold the start of the body).
// A head longer than `maxHead` bytes is refused with 431.
HeadCheck CheckRequestHead(std::string_view bytes, size_t maxHead);

}  // namespace refservice
