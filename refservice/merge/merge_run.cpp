#include "refservice/merge/merge_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

namespace refservice {
namespace {

std::string Quoted(const std::string& name) {
  return nlohmann::json(name).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The values of one record. With `checked` (the first pass) everything is checked the way the
// document builder takes values, each image file once (its name is kept in `checked`); without
// it the images are only read, as the first pass checked them.
bool ValuesOf(const TemplateBundle& bundle, const Record& record, const ImageLoader& loadImage,
              std::set<std::string>* checked, FieldValues* out, std::string* error) {
  out->clear();
  for (const auto& [name, value] : record.values) {
    const RenderField* field = bundle.Field(name);
    std::string failure;
    if (field != nullptr && field->IsImage() && !value.empty()) {
      if (!loadImage) {
        *error = record.Where() + ", field " + Quoted(name) +
                 ": image fields take their default image here; leave the value empty";
        return false;
      }
      if (checked != nullptr && checked->count(value) != 0) continue;
      std::string bytes;
      if (!loadImage(value, &bytes, &failure)) {
        *error = record.Where() + ", field " + Quoted(name) + ": the image file cannot be read: " +
                 failure;
        return false;
      }
      if (bytes.empty()) {
        *error = record.Where() + ", field " + Quoted(name) + ": the image file is empty";
        return false;
      }
      if (checked == nullptr) {
        (*out)[name].image = std::move(bytes);
        continue;
      }
      if (!AddFieldValue(bundle, name, "", bytes, true, out, &failure)) {
        *error = record.Where() + ": " + failure;
        return false;
      }
      checked->insert(value);
      continue;
    }
    if (field != nullptr && field->IsImage()) {
      (*out)[name];  // empty: the field is left empty
      continue;
    }
    if (!AddFieldValue(bundle, name, value, "", false, out, &failure)) {
      *error = record.Where() + ": " + failure;
      return false;
    }
  }
  return true;
}

// The PDF's bytes to a file descriptor through a buffer.
class FileSink {
 public:
  explicit FileSink(int fd) : fd_(fd) { buffer_.reserve(kSize); }
  bool Write(const char* data, size_t size) {
    if (failed_) return false;
    if (buffer_.size() + size > kSize && !Flush()) return false;
    if (size >= kSize) return Put(data, size);
    buffer_.append(data, size);
    return true;
  }
  bool Flush() {
    if (failed_) return false;
    const bool ok = Put(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }
  int savedErrno() const { return errno_; }

 private:
  static constexpr size_t kSize = 256 * 1024;
  bool Put(const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
      ssize_t put = ::write(fd_, data + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        errno_ = put < 0 ? errno : ENOSPC;
        failed_ = true;
        return false;
      }
      done += static_cast<size_t>(put);
    }
    return true;
  }
  int fd_;
  std::string buffer_;
  bool failed_ = false;
  int errno_ = 0;
};

bool Cancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

}  // namespace

bool CheckMergeRecords(const TemplateBundle& bundle, const MergeRequest& request, size_t* count,
                       std::string* error, const std::atomic<bool>* cancel) {
  std::unique_ptr<std::istream> in = request.openRecords();
  if (!in || !*in) {
    *error = "the records cannot be read";
    return false;
  }
  std::set<std::string> checked;
  FieldValues values;
  std::string failure;
  size_t seen = 0;
  bool bad = false;
  bool ok = ReadRecords(*in, request.format, [&](const Record& record) {
    if (Cancelled(cancel)) return false;
    if (!ValuesOf(bundle, record, request.loadImage, &checked, &values, &failure)) {
      bad = true;
      return false;
    }
    ++seen;
    return true;
  }, error);
  if (bad) *error = failure;
  if (!ok || bad) return false;
  if (Cancelled(cancel)) {
    *error = "cancelled";
    return false;
  }
  if (in->bad()) {
    *error = "the records cannot be read to their end";
    return false;
  }
  if (seen == 0) {
    *error = "there are no records: nothing to merge";
    return false;
  }
  *count = seen;
  return true;
}

MergeStatus WriteMerge(const TemplateBundle& bundle, FileSystem* fs, const MergeRequest& request,
                       size_t total, const std::string& outPath, const MergeObserver& observer,
                       MergeSummary* summary, std::string* error) {
  *summary = MergeSummary();
  std::string temp = outPath + ".partial-XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) {
    *error = "cannot write beside " + outPath + ": " + std::strerror(errno);
    return MergeStatus::kCannotWrite;
  }
  FileSink file(fd);
  MergeStatus status = MergeStatus::kDone;
  {
    DocumentStream stream(bundle, fs, [&file](const char* data, size_t size) {
      return file.Write(data, size);
    });
    std::string failure;
    if (!stream.Open(request.sheets, &failure)) {
      *error = failure;
      status = MergeStatus::kBadInput;
    }
    std::unique_ptr<std::istream> in;
    if (status == MergeStatus::kDone) {
      in = request.openRecords();
      if (!in || !*in) {
        *error = "the records cannot be read";
        status = MergeStatus::kBadInput;
      }
    }
    if (status == MergeStatus::kDone) {
      FieldValues values;
      RenderResult result;
      bool ok = ReadRecords(*in, request.format, [&](const Record& record) {
        if (Cancelled(observer.cancel)) {
          *error = "cancelled";
          status = MergeStatus::kCancelled;
          return false;
        }
        if (!ValuesOf(bundle, record, request.loadImage, nullptr, &values, error)) {
          status = MergeStatus::kBadInput;
          return false;
        }
        if (!stream.Append(values, &result, error)) {
          if (file.savedErrno() != 0) *error += std::string(": ") + std::strerror(file.savedErrno());
          status = MergeStatus::kCannotWrite;
          return false;
        }
        ++summary->records;
        const FieldOutcome* cut = nullptr;
        for (const FieldOutcome& field : result.fields) {
          if (field.action == "shrunk") ++summary->shrunk;
          if (field.action == "overflowing") {
            ++summary->cut;
            if (cut == nullptr) cut = &field;
          }
          if (field.action == "not drawn") ++summary->notDrawn;
        }
        if (observer.document) observer.document(record, result);
        if (observer.progress) observer.progress(summary->records, total);
        if (cut != nullptr && request.stopOnCut) {
          *error = record.Where() + ", field " + Quoted(cut->name) +
                   ": the text is cut at the frame (" + std::to_string(cut->cutCharacters) +
                   " character(s) do not fit); stopped, nothing written";
          status = MergeStatus::kBadInput;
          return false;
        }
        return true;
      }, error);
      if (!ok && status == MergeStatus::kDone) status = MergeStatus::kBadInput;
      if (status == MergeStatus::kDone && summary->records == 0) {
        *error = "there are no records: nothing to merge";
        status = MergeStatus::kBadInput;
      }
      if (status == MergeStatus::kDone) {
        summary->pages = stream.pages();
        if (!stream.Close(error)) status = MergeStatus::kCannotWrite;
      }
    }
  }
  if (status == MergeStatus::kDone) {
    if (!file.Flush() || ::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
      *error = "cannot write " + outPath + ": " +
               std::strerror(file.savedErrno() != 0 ? file.savedErrno() : errno);
      status = MergeStatus::kCannotWrite;
    }
  }
  if (::close(fd) != 0 && status == MergeStatus::kDone) {
    *error = "cannot write " + outPath + ": " + std::strerror(errno);
    status = MergeStatus::kCannotWrite;
  }
  if (status == MergeStatus::kDone && ::rename(temp.c_str(), outPath.c_str()) != 0) {
    *error = "cannot write " + outPath + ": " + std::strerror(errno);
    status = MergeStatus::kCannotWrite;
  }
  if (status != MergeStatus::kDone) ::unlink(temp.c_str());
  return status;
}

std::string MergeSummaryJson(const MergeSummary& summary) {
  nlohmann::json json = {{"records", summary.records}, {"pages", summary.pages},
                         {"shrunk", summary.shrunk},   {"cut", summary.cut},
                         {"notDrawn", summary.notDrawn}};
  return json.dump();
}

std::string MergeSummaryText(const MergeSummary& summary) {
  return "records: " + std::to_string(summary.records) +
         ", pages: " + std::to_string(summary.pages) +
         ", fields shrunk: " + std::to_string(summary.shrunk) +
         ", cut (overflowing): " + std::to_string(summary.cut) +
         ", not drawn: " + std::to_string(summary.notDrawn);
}

}  // namespace refservice
