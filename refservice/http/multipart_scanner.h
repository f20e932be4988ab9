// A streaming reader of multipart/form-data bodies: finds the first part that carries a file name
// and hands its content out piece by piece as the body arrives, holding back at most one delimiter
// of bytes, so memory stays flat whatever the size of the file.
#pragma once

#include <string>
#include <string_view>

namespace refservice {

// Receives the file part of a body.
class MultipartSink {
 public:
  virtual ~MultipartSink() = default;
  // The file part begins; `fileName` is its filename parameter as sent. False stops the scan.
  virtual bool OnFileBegin(std::string_view fileName) = 0;
  // The next bytes of the file's content, in order. False stops the scan.
  virtual bool OnFileData(std::string_view data) = 0;
};

// The boundary parameter of a multipart/form-data Content-Type value (quoted or not). False when
// the type is not multipart/form-data or the boundary is missing, empty or longer than
// kMaxBoundaryLength.
bool MultipartBoundary(std::string_view contentType, std::string* boundary);

constexpr size_t kMaxBoundaryLength = 200;
constexpr size_t kMaxPartHeaderBytes = 16 * 1024;

// Accepts the form that starts with the delimiter and the form that starts with CR LF (any
// preamble is skipped), parts before the file part (skipped), part header lines in any order and
// letter case ending in CR LF or LF, and a filename that itself contains double quotes (the value
// runs to the last quote of its line). Bytes after the file part's closing delimiter are ignored.
class MultipartScanner {
 public:
  // `sink` must outlive the scanner.
  MultipartScanner(std::string boundary, MultipartSink* sink);

  // Scans the next bytes of the body. Returns false once the body is malformed or the sink
  // stopped the scan; error() then says why and later calls do nothing.
  bool Feed(std::string_view data);
  // The body has ended. Returns true when the file part arrived complete; otherwise false with
  // error() set.
  bool Finish();

  const std::string& error() const { return error_; }
  // Bytes received but not yet handed out or dropped: never more than the last piece fed plus one
  // delimiter, or one part's header lines.
  size_t buffered() const { return buffer_.size(); }

 private:
  enum class State { kData, kAfterDelimiter, kHeaders, kDone, kFailed };

  bool Fail(std::string reason);
  // Runs the state machine over buffer_ as far as its bytes allow.
  bool Process();
  // Feed while in part content with at most a delimiter's worth of bytes held back.
  bool FeedData(std::string_view data);
  bool ProcessData();
  bool ProcessAfterDelimiter();
  bool ProcessHeaders();

  std::string delimiter_;  // CR LF "--" boundary
  MultipartSink* sink_;
  State state_ = State::kData;
  bool inFile_ = false;  // the current part's data is the file's content
  bool fileSeen_ = false;
  bool partHasFile_ = false;
  std::string partFileName_;
  size_t headerBytes_ = 0;  // bytes of the current part's header lines so far
  std::string buffer_;      // bytes received but not yet consumed
  std::string error_;
};

}  // namespace refservice
