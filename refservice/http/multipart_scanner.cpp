#include "refservice/http/multipart_scanner.h"

#include "text/ascii_case.h"

namespace refservice {
namespace {

// Longest run of blanks accepted between a delimiter and its line end.
constexpr size_t kMaxDelimiterPadding = 64;

// Position of `needle` in `text` at or after `from`, ignoring letter case; npos when absent.
size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
  for (size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (textutil::StartsWithNoCase(text.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// True when `text[at]` starts a parameter (it follows a separator or opens the text).
bool AtParameterStart(std::string_view text, size_t at) {
  return at == 0 || text[at - 1] == ';' || text[at - 1] == ' ' || text[at - 1] == '\t';
}

// The filename parameter of a Content-Disposition value; false when it has none.
bool ExtractFileName(std::string_view disposition, std::string* name) {
  size_t at = 0;
  while ((at = FindNoCase(disposition, "filename=", at)) != std::string_view::npos) {
    if (!AtParameterStart(disposition, at)) {
      at += 9;
      continue;
    }
    std::string_view value = disposition.substr(at + 9);
    if (!value.empty() && value.front() == '"') {
      size_t close = value.rfind('"');
      value = close == 0 ? value.substr(1) : value.substr(1, close - 1);
    } else {
      value = TrimBlanks(value.substr(0, value.find(';')));
    }
    *name = std::string(value);
    return true;
  }
  return false;
}

}  // namespace

bool MultipartBoundary(std::string_view contentType, std::string* boundary) {
  if (!textutil::StartsWithNoCase(TrimBlanks(contentType), "multipart/form-data")) return false;
  size_t at = 0;
  while ((at = FindNoCase(contentType, "boundary=", at)) != std::string_view::npos) {
    if (!AtParameterStart(contentType, at)) {
      at += 9;
      continue;
    }
    std::string_view value = contentType.substr(at + 9);
    if (!value.empty() && value.front() == '"') {
      size_t close = value.find('"', 1);
      if (close == std::string_view::npos) return false;
      value = value.substr(1, close - 1);
    } else {
      value = TrimBlanks(value.substr(0, value.find(';')));
    }
    if (value.empty() || value.size() > kMaxBoundaryLength) return false;
    *boundary = std::string(value);
    return true;
  }
  return false;
}

MultipartScanner::MultipartScanner(std::string boundary, MultipartSink* sink)
    : delimiter_("\r\n--" + boundary), sink_(sink) {
  // A body may open with its first delimiter; a line end in front makes that the usual case.
  buffer_ = "\r\n";
}

bool MultipartScanner::Fail(std::string reason) {
  if (state_ != State::kFailed) error_ = std::move(reason);
  state_ = State::kFailed;
  buffer_.clear();
  buffer_.shrink_to_fit();
  return false;
}

bool MultipartScanner::Feed(std::string_view data) {
  if (state_ == State::kFailed) return false;
  if (state_ == State::kDone) return true;
  if (state_ == State::kData && buffer_.size() < delimiter_.size() &&
      data.size() >= delimiter_.size()) {
    return FeedData(data);
  }
  buffer_.append(data.data(), data.size());
  return Process();
}

bool MultipartScanner::FeedData(std::string_view data) {
  // Part content is handed out from `data` itself; only the bytes that might begin a delimiter
  // are kept, as ProcessData keeps them.
  const size_t keep = delimiter_.size() - 1;
  std::string seam = buffer_;
  seam.append(data.data(), keep);
  if (seam.find(delimiter_) != std::string::npos || data.find(delimiter_) != std::string::npos) {
    buffer_.append(data.data(), data.size());
    return Process();
  }
  if (inFile_ && !buffer_.empty() && !sink_->OnFileData(buffer_)) {
    return Fail("the file could not be stored");
  }
  const size_t release = data.size() - keep;
  if (inFile_ && !sink_->OnFileData(data.substr(0, release))) {
    return Fail("the file could not be stored");
  }
  buffer_.assign(data.data() + release, keep);
  return true;
}

bool MultipartScanner::Process() {
  for (;;) {
    size_t before = buffer_.size();
    State was = state_;
    bool ok = true;
    switch (state_) {
      case State::kData:
        ok = ProcessData();
        break;
      case State::kAfterDelimiter:
        ok = ProcessAfterDelimiter();
        break;
      case State::kHeaders:
        ok = ProcessHeaders();
        break;
      case State::kDone:
        buffer_.clear();
        return true;
      case State::kFailed:
        return false;
    }
    if (!ok) return false;
    if (state_ == was && buffer_.size() == before) return true;  // waits for more bytes
  }
}

bool MultipartScanner::ProcessData() {
  size_t at = buffer_.find(delimiter_);
  if (at == std::string::npos) {
    // All but the bytes that might begin a delimiter can go.
    size_t keep = std::min(buffer_.size(), delimiter_.size() - 1);
    size_t release = buffer_.size() - keep;
    if (release == 0) return true;
    if (inFile_ && !sink_->OnFileData(std::string_view(buffer_).substr(0, release))) {
      return Fail("the file could not be stored");
    }
    buffer_.erase(0, release);
    return true;
  }
  if (inFile_ && at > 0 && !sink_->OnFileData(std::string_view(buffer_).substr(0, at))) {
    return Fail("the file could not be stored");
  }
  buffer_.erase(0, at + delimiter_.size());
  if (inFile_) {
    inFile_ = false;
    fileSeen_ = true;
    state_ = State::kDone;
    buffer_.clear();
    return true;
  }
  state_ = State::kAfterDelimiter;
  return true;
}

bool MultipartScanner::ProcessAfterDelimiter() {
  if (buffer_.size() < 2) return true;
  if (buffer_.compare(0, 2, "--") == 0) {
    state_ = State::kDone;  // the closing delimiter, and no file part before it
    buffer_.clear();
    return true;
  }
  size_t i = 0;
  while (i < buffer_.size() && i <= kMaxDelimiterPadding &&
         (buffer_[i] == ' ' || buffer_[i] == '\t')) {
    ++i;
  }
  if (i > kMaxDelimiterPadding) return Fail("malformed part delimiter");
  if (i == buffer_.size()) return true;
  size_t lineEnd = 0;
  if (buffer_[i] == '\n') {
    lineEnd = i + 1;
  } else if (buffer_[i] == '\r') {
    if (i + 1 == buffer_.size()) return true;
    if (buffer_[i + 1] != '\n') return Fail("malformed part delimiter");
    lineEnd = i + 2;
  } else {
    return Fail("malformed part delimiter");
  }
  buffer_.erase(0, lineEnd);
  state_ = State::kHeaders;
  partHasFile_ = false;
  partFileName_.clear();
  headerBytes_ = 0;
  return true;
}

bool MultipartScanner::ProcessHeaders() {
  size_t newline = buffer_.find('\n');
  if (newline == std::string::npos) {
    if (headerBytes_ + buffer_.size() > kMaxPartHeaderBytes) {
      return Fail("malformed part header (too long)");
    }
    return true;
  }
  headerBytes_ += newline + 1;
  if (headerBytes_ > kMaxPartHeaderBytes) return Fail("malformed part header (too long)");
  std::string_view line(buffer_.data(), newline);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty()) {
    buffer_.erase(0, newline + 1);
    inFile_ = partHasFile_;
    if (inFile_ && !sink_->OnFileBegin(partFileName_)) return Fail("the file could not be stored");
    state_ = State::kData;
    return true;
  }
  if (textutil::StartsWithNoCase(line, "content-disposition:")) {
    std::string name;
    if (ExtractFileName(line.substr(20), &name)) {
      partHasFile_ = true;
      partFileName_ = std::move(name);
    }
  }
  buffer_.erase(0, newline + 1);
  return true;
}

bool MultipartScanner::Finish() {
  if (state_ == State::kFailed) return false;
  if (fileSeen_) return true;
  if (inFile_) return Fail("the upload is incomplete (no closing boundary)");
  return Fail("the body holds no file part");
}

}  // namespace refservice
