// HTTP/1.1 messages of the reference service: bounded request parsing (Content-Length and
// chunked bodies) from any byte source, and response serialisation. Every byte read is treated
// as hostile: sizes are capped and malformed input yields an error status, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace refservice {

// Owns one file descriptor and closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

enum class ReadStatus { kOk, kEof, kTimeout, kError };

// Where request bytes come from (a socket in the server, a string in tests).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads between 1 and `size` bytes into `buffer` and stores the count in `got` (kOk), or
  // reports the end of the stream, a time-out or an error.
  virtual ReadStatus Read(char* buffer, size_t size, size_t* got) = 0;
};

// A ByteSource over a fixed string, handing out at most `step` bytes per read (to exercise
// parsers with split input).
class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string data, size_t step = SIZE_MAX)
      : data_(std::move(data)), step_(step == 0 ? 1 : step) {}
  ReadStatus Read(char* buffer, size_t size, size_t* got) override;

 private:
  std::string data_;
  size_t step_;
  size_t pos_ = 0;
};

struct HttpLimits {
  size_t maxHeadBytes = 64 * 1024;  // request line plus header lines (and chunk trailers)
  size_t maxHeaderCount = 100;
};

struct HttpRequest {
  std::string method;                                        // e.g. "POST"
  std::string target;                                        // as sent: path and query
  std::string path;                                          // target before "?", not decoded
  std::string query;                                         // target after "?", not decoded
  std::string version;                                       // "HTTP/1.1" or "HTTP/1.0"
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  std::string body;                                          // decoded from chunks if needed

  // Value of the first header with this (lower-case) name, if any.
  std::optional<std::string_view> Header(std::string_view lowerName) const;
  // True when the request carries "Expect: 100-continue".
  bool ExpectsContinue() const;
};

// Outcome of reading a request. `status` is 0 when reading succeeded; otherwise it is the HTTP
// status to answer with (400, 408, 411, 413, 431, 501, 505), or -1 when the peer went away or
// timed out before a complete request head arrived and no answer should be sent.
struct HttpReadResult {
  int status = 0;
  std::string message;  // what was wrong, for the error reply
};

// Buffered reader used by the request parser.
class HttpReader {
 public:
  explicit HttpReader(ByteSource* source) : source_(source) {}

  // Reads the request line and headers into `request` (method, target, path, query, version,
  // headers). Line ends may be CR LF or LF.
  HttpReadResult ReadHead(const HttpLimits& limits, HttpRequest* request);

  // Declared body size from the head: the Content-Length value, or nullopt for a chunked body or
  // a request with neither header. Fails (status set) on conflicting or malformed headers or an
  // unsupported transfer coding.
  HttpReadResult BodyFraming(const HttpRequest& request, bool* chunked,
                             std::optional<uint64_t>* contentLength) const;

  // Reads the body announced by the head into `request->body`, at most `maxBody` bytes
  // (413 beyond). Chunked bodies are decoded; their trailers are read and dropped.
  HttpReadResult ReadBody(const HttpLimits& limits, size_t maxBody, HttpRequest* request);

 private:
  // Reads one line (without its line end) of at most `max` bytes.
  ReadStatus ReadLine(size_t max, std::string* line, bool* tooLong);
  // Appends exactly `count` bytes to `out`.
  ReadStatus ReadExact(size_t count, std::string* out);
  ReadStatus Fill();

  ByteSource* source_;
  std::string buffer_;
  size_t pos_ = 0;
};

// One reply. Either a status, headers and body that the server frames (adding Content-Length and
// "Connection: close"), or raw bytes sent as they are, or a file streamed as the body, or nothing
// at all (the connection is closed without an answer).
struct HttpResponse {
  enum class Kind { kNormal, kRaw, kClose };

  Kind kind = Kind::kNormal;
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  UniqueFd file;  // when valid, its `fileSize` bytes follow the head instead of `body`
  uint64_t fileSize = 0;
  bool headOnly = false;  // answer to HEAD: the head announces the body but it is not sent
  std::string raw;        // Kind::kRaw: the complete bytes to send

  static HttpResponse Text(int status, std::string body,
                           std::string contentType = "text/plain; charset=utf-8");
  static HttpResponse Raw(std::string bytes);
  static HttpResponse Close();
};

// Standard reason phrase of an HTTP status ("OK", "Not Found", ...; "Unknown" otherwise).
const char* HttpReason(int status);

// Response head with status line, the response's headers, Content-Length and
// "Connection: close", ending with the empty line.
std::string SerializeHead(const HttpResponse& response);

// Decodes %XX escapes (and "+" as a blank when `plusIsSpace`). Returns nullopt for a malformed
// escape.
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

// Value of `name` in an application/x-www-form-urlencoded query, decoded; nullopt when absent or
// malformed.
std::optional<std::string> QueryParameter(std::string_view query, std::string_view name);

}  // namespace refservice
