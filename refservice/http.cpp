#include "refservice/http.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace refservice {
namespace {

constexpr size_t kReadChunk = 16 * 1024;

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsTokenChar(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return true;
  if (c >= 'a' && c <= 'z') return true;
  if (c >= '0' && c <= '9') return true;
  return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != 0;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

HttpReadResult Fail(int status, std::string message) { return HttpReadResult{status, message}; }

HttpReadResult FromReadStatus(ReadStatus status, bool inHead) {
  if (status == ReadStatus::kTimeout) {
    return inHead ? Fail(-1, "time-out") : Fail(408, "the request body did not arrive in time");
  }
  return inHead ? Fail(-1, "connection closed") : Fail(400, "the request body is incomplete");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

ReadStatus StringSource::Read(char* buffer, size_t size, size_t* got) {
  if (pos_ >= data_.size()) return ReadStatus::kEof;
  size_t n = std::min({size, step_, data_.size() - pos_});
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  *got = n;
  return ReadStatus::kOk;
}

std::optional<std::string_view> HttpRequest::Header(std::string_view lowerName) const {
  for (const auto& [name, value] : headers) {
    if (name == lowerName) return std::string_view(value);
  }
  return std::nullopt;
}

bool HttpRequest::ExpectsContinue() const {
  auto expect = Header("expect");
  return expect && ToLower(*expect) == "100-continue";
}

ReadStatus HttpReader::Fill() {
  if (pos_ > 0 && pos_ == buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
  }
  char chunk[kReadChunk];
  size_t got = 0;
  ReadStatus status = source_->Read(chunk, sizeof chunk, &got);
  if (status == ReadStatus::kOk) buffer_.append(chunk, got);
  return status;
}

ReadStatus HttpReader::ReadLine(size_t max, std::string* line, bool* tooLong) {
  *tooLong = false;
  line->clear();
  for (;;) {
    size_t newline = buffer_.find('\n', pos_);
    size_t available = (newline == std::string::npos ? buffer_.size() : newline) - pos_;
    if (line->size() + available > max) {
      *tooLong = true;
      return ReadStatus::kError;
    }
    if (newline != std::string::npos) {
      line->append(buffer_, pos_, available);
      pos_ = newline + 1;
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return ReadStatus::kOk;
    }
    line->append(buffer_, pos_, available);
    buffer_.clear();
    pos_ = 0;
    ReadStatus status = Fill();
    if (status != ReadStatus::kOk) return status;
  }
}

ReadStatus HttpReader::ReadExact(size_t count, std::string* out) {
  while (count > 0) {
    if (pos_ == buffer_.size()) {
      ReadStatus status = Fill();
      if (status != ReadStatus::kOk) return status;
    }
    size_t take = std::min(count, buffer_.size() - pos_);
    out->append(buffer_, pos_, take);
    pos_ += take;
    count -= take;
  }
  return ReadStatus::kOk;
}

HttpReadResult HttpReader::ReadHead(const HttpLimits& limits, HttpRequest* request) {
  size_t budget = limits.maxHeadBytes;
  std::string line;
  bool tooLong = false;
  // Tolerate blank lines before the request line, as the protocol allows.
  do {
    ReadStatus status = ReadLine(budget, &line, &tooLong);
    if (tooLong) return Fail(431, "the request line is too long");
    if (status != ReadStatus::kOk) return FromReadStatus(status, true);
    budget -= std::min(budget, line.size() + 2);
  } while (line.empty() && budget > 0);

  size_t first = line.find(' ');
  size_t last = line.rfind(' ');
  if (first == std::string::npos || first == last) return Fail(400, "malformed request line");
  request->method = line.substr(0, first);
  request->target = line.substr(first + 1, last - first - 1);
  request->version = line.substr(last + 1);
  if (request->method.empty() ||
      !std::all_of(request->method.begin(), request->method.end(),
                   [](char c) { return IsTokenChar(static_cast<unsigned char>(c)); })) {
    return Fail(400, "malformed request method");
  }
  if (request->target.empty() || request->target[0] != '/' ||
      request->target.find_first_of(std::string_view(" \t\0", 3)) != std::string::npos) {
    return Fail(400, "malformed request target");
  }
  if (request->version != "HTTP/1.1" && request->version != "HTTP/1.0") {
    if (request->version.rfind("HTTP/", 0) == 0) return Fail(505, "unsupported HTTP version");
    return Fail(400, "malformed request line");
  }
  size_t question = request->target.find('?');
  request->path = request->target.substr(0, question);
  request->query = question == std::string::npos ? "" : request->target.substr(question + 1);

  for (;;) {
    ReadStatus status = ReadLine(budget, &line, &tooLong);
    if (tooLong) return Fail(431, "the request header is too large");
    if (status != ReadStatus::kOk) return FromReadStatus(status, true);
    budget -= std::min(budget, line.size() + 2);
    if (line.empty()) break;
    if (line[0] == ' ' || line[0] == '\t') return Fail(400, "folded header lines are not accepted");
    if (request->headers.size() >= limits.maxHeaderCount) {
      return Fail(431, "too many header lines");
    }
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return Fail(400, "malformed header line");
    std::string_view name(line.data(), colon);
    if (!std::all_of(name.begin(), name.end(),
                     [](char c) { return IsTokenChar(static_cast<unsigned char>(c)); })) {
      return Fail(400, "malformed header name");
    }
    std::string_view value = Trim(std::string_view(line).substr(colon + 1));
    if (value.find('\0') != std::string_view::npos) return Fail(400, "NUL byte in a header");
    request->headers.emplace_back(ToLower(name), std::string(value));
  }
  return {};
}

HttpReadResult HttpReader::BodyFraming(const HttpRequest& request, bool* chunked,
                                       std::optional<uint64_t>* contentLength) const {
  *chunked = false;
  contentLength->reset();
  bool hasEncoding = false;
  for (const auto& [name, value] : request.headers) {
    if (name == "transfer-encoding") {
      if (hasEncoding || ToLower(Trim(value)) != "chunked") {
        return Fail(501, "only the chunked transfer coding is supported");
      }
      hasEncoding = true;
    } else if (name == "content-length") {
      std::string_view digits = Trim(value);
      if (digits.empty() || digits.size() > 18 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Fail(400, "malformed Content-Length");
      }
      uint64_t length = std::stoull(std::string(digits));
      if (contentLength->has_value() && **contentLength != length) {
        return Fail(400, "conflicting Content-Length headers");
      }
      *contentLength = length;
    }
  }
  if (hasEncoding) {
    *chunked = true;
    contentLength->reset();  // the transfer coding decides the length
  }
  return {};
}

HttpReadResult HttpReader::ReadBody(const HttpLimits& limits, size_t maxBody,
                                    HttpRequest* request) {
  bool chunked = false;
  std::optional<uint64_t> length;
  HttpReadResult framing = BodyFraming(*request, &chunked, &length);
  if (framing.status != 0) return framing;
  request->body.clear();
  if (!chunked) {
    if (!length || *length == 0) return {};
    if (*length > maxBody) return Fail(413, "the request body is too large");
    request->body.reserve(static_cast<size_t>(*length));
    ReadStatus status = ReadExact(static_cast<size_t>(*length), &request->body);
    if (status != ReadStatus::kOk) return FromReadStatus(status, false);
    return {};
  }

  size_t trailerBudget = limits.maxHeadBytes;
  std::string line;
  bool tooLong = false;
  for (;;) {
    ReadStatus status = ReadLine(256, &line, &tooLong);
    if (tooLong) return Fail(400, "malformed chunk size line");
    if (status != ReadStatus::kOk) return FromReadStatus(status, false);
    std::string_view sizeText = Trim(std::string_view(line).substr(0, line.find(';')));
    if (sizeText.empty() || sizeText.size() > 15) return Fail(400, "malformed chunk size");
    uint64_t size = 0;
    for (char c : sizeText) {
      int digit = HexValue(c);
      if (digit < 0) return Fail(400, "malformed chunk size");
      size = size * 16 + static_cast<uint64_t>(digit);
    }
    if (size == 0) break;
    if (size > maxBody - request->body.size()) return Fail(413, "the request body is too large");
    status = ReadExact(static_cast<size_t>(size), &request->body);
    if (status != ReadStatus::kOk) return FromReadStatus(status, false);
    status = ReadLine(2, &line, &tooLong);
    if (status != ReadStatus::kOk || !line.empty()) {
      return status == ReadStatus::kTimeout ? FromReadStatus(status, false)
                                            : Fail(400, "chunk data is not followed by a line end");
    }
  }
  // Trailer section: header lines up to an empty line, dropped.
  for (;;) {
    ReadStatus status = ReadLine(trailerBudget, &line, &tooLong);
    if (tooLong) return Fail(431, "the chunk trailer is too large");
    if (status != ReadStatus::kOk) return FromReadStatus(status, false);
    if (line.empty()) break;
    trailerBudget -= std::min(trailerBudget, line.size() + 2);
  }
  return {};
}

HttpResponse HttpResponse::Text(int status, std::string body, std::string contentType) {
  HttpResponse response;
  response.status = status;
  response.headers.emplace_back("Content-Type", std::move(contentType));
  response.body = std::move(body);
  return response;
}

HttpResponse HttpResponse::Raw(std::string bytes) {
  HttpResponse response;
  response.kind = Kind::kRaw;
  response.raw = std::move(bytes);
  return response;
}

HttpResponse HttpResponse::Close() {
  HttpResponse response;
  response.kind = Kind::kClose;
  return response;
}

const char* HttpReason(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 411:
      return "Length Required";
    case 413:
      return "Payload Too Large";
    case 415:
      return "Unsupported Media Type";
    case 417:
      return "Expectation Failed";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

std::string SerializeHead(const HttpResponse& response) {
  std::string head =
      "HTTP/1.1 " + std::to_string(response.status) + " " + HttpReason(response.status) + "\r\n";
  for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
  uint64_t length = response.file.valid() ? response.fileSize : response.body.size();
  head += "Content-Length: " + std::to_string(length) + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      int high = HexValue(text[i + 1]);
      int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c == '+' && plusIsSpace) {
      out.push_back(' ');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::optional<std::string> QueryParameter(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    size_t eq = pair.find('=');
    std::string_view key = pair.substr(0, eq);
    if (key != name) continue;
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    return PercentDecode(value, true);
  }
  return std::nullopt;
}

}  // namespace refservice
