// The streaming multipart reader of uploads. Input: a Content-Type value up to the first line
// feed, then the body. Checks: the file part begins at most once, its content is never longer
// than the body, the reader holds back little, and the result does not depend on how the body is
// split into pieces (one piece, then pieces of 1 to 64 bytes chosen by the first body byte).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "refservice/http/multipart_scanner.h"

namespace {

using refservice::MultipartBoundary;
using refservice::MultipartScanner;
using refservice::MultipartSink;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "upload_multipart: %s\n", what);
  std::abort();
}

class Sink : public MultipartSink {
 public:
  bool OnFileBegin(std::string_view fileName) override {
    if (++begins > 1) Fail("a second file part began");
    name = std::string(fileName);
    return true;
  }
  bool OnFileData(std::string_view data) override {
    if (begins != 1) Fail("file data before the file part began");
    content.append(data.data(), data.size());
    return true;
  }
  int begins = 0;
  std::string name;
  std::string content;
};

struct Outcome {
  bool ok = false;
  std::string error;
  Sink sink;
};

void Scan(const std::string& boundary, std::string_view body, size_t step, Outcome* outcome) {
  MultipartScanner scanner(boundary, &outcome->sink);
  size_t limit = step + boundary.size() + 8;
  for (size_t at = 0; at < body.size(); at += step) {
    scanner.Feed(body.substr(at, step));
    if (scanner.buffered() > limit && scanner.buffered() > refservice::kMaxPartHeaderBytes + step) {
      Fail("the reader holds back more than a piece and a delimiter");
    }
  }
  outcome->ok = scanner.Finish();
  outcome->error = scanner.error();
  if (!outcome->ok && outcome->error.empty()) Fail("a failure without a reason");
  if (outcome->sink.content.size() > body.size()) Fail("more content than body");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  if (newline == std::string_view::npos || newline > 512) return 0;
  std::string boundary;
  if (!MultipartBoundary(input.substr(0, newline), &boundary)) return 0;
  std::string_view body = input.substr(newline + 1);

  Outcome whole;
  Scan(boundary, body, body.size() + 1, &whole);
  size_t step = body.empty() ? 1 : 1 + static_cast<unsigned char>(body[0]) % 64;
  Outcome pieces;
  Scan(boundary, body, step, &pieces);
  if (whole.ok != pieces.ok || whole.error != pieces.error ||
      whole.sink.begins != pieces.sink.begins || whole.sink.name != pieces.sink.name ||
      whole.sink.content != pieces.sink.content) {
    Fail("the result depends on how the body is split");
  }
  if (whole.ok && whole.sink.begins != 1) Fail("a complete upload without a file part");
  return 0;
}
