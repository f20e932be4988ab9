// The stand-in's file operations. The host owns one FileSystem (see
// service.h); a test makes a single operation fail (a write that stops
// half-way, a rename that is refused) by wrapping the real one in a
// FileSystemWrapper that overrides that operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace standin {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Reads the whole file, at most `maxBytes` of it. False with *error set
  // when it cannot be read, is not a regular file (a FIFO, device or folder
  // is refused at once, never waited on) or is larger than `maxBytes`
  // (nothing is kept).
  virtual bool ReadFile(const std::string& path, std::string* contents, std::string* error,
                        size_t maxBytes = SIZE_MAX);
  // Creates a new temporary file in `dir`, named kTempPrefix + the
  // process id + "-" + a random part; returns its descriptor or -1.
  virtual int CreateTemp(const std::string& dir, std::string* tempPath, std::string* error);
  // Writes all of `data`; false with *error on a short or failed write.
  virtual bool Write(int fd, const char* data, size_t size, std::string* error);
  virtual bool Sync(int fd, std::string* error);
  virtual bool Close(int fd, std::string* error);
  virtual bool Rename(const std::string& from, const std::string& to, std::string* error);
  virtual void Remove(const std::string& path);

  // Replaces `path` with `data` atomically: temp file in the same folder,
  // write, fsync, rename. On any failure the previous file is untouched, the
  // temporary file is removed and false is returned with *error set. When
  // `path` is a symbolic link, the file it leads to is replaced (in that
  // file's folder) and the link stays. Only a regular file is replaced: a
  // folder, device node, FIFO or socket at the path fails the write. A
  // process killed while it saves leaves its temporary file behind; each
  // atomic write first removes those of processes that no longer run from
  // the folder it writes to (RemoveStaleTemps).
  bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error);

  // Writes `size` bytes to the file being made; false with *error set when
  // they cannot be written.
  using Writer = std::function<bool(const char* bytes, size_t size, std::string* error)>;
  // Makes the content: calls the writer as often as it likes and returns
  // true when the content is complete, false with *error set otherwise.
  using Producer = std::function<bool(const Writer& write, std::string* error)>;
  // Like WriteFileAtomic, with the content made by `produce` while the file
  // is written (so it need not be held in memory whole). When `produce`
  // fails, the previous file is untouched as well.
  bool WriteFileAtomicWith(const std::string& path, const Producer& produce, std::string* error);

  // The start of every temporary file's name.
  static constexpr const char* kTempPrefix = ".osl-save-";
  // Removes (through Remove) the temporary files in `dir` whose process no
  // longer runs. Files of running processes, of this process and names
  // that do not carry a process id are left alone.
  void RemoveStaleTemps(const std::string& dir);
};

// Forwards every operation to `target`; a test derives from it and
// overrides the one operation that must fail.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem* target) : target_(target) {}
  FileSystem* target() const { return target_; }

  bool ReadFile(const std::string& path, std::string* contents, std::string* error,
                size_t maxBytes = SIZE_MAX) override {
    return target_->ReadFile(path, contents, error, maxBytes);
  }
  int CreateTemp(const std::string& dir, std::string* tempPath, std::string* error) override {
    return target_->CreateTemp(dir, tempPath, error);
  }
  bool Write(int fd, const char* data, size_t size, std::string* error) override {
    return target_->Write(fd, data, size, error);
  }
  bool Sync(int fd, std::string* error) override { return target_->Sync(fd, error); }
  bool Close(int fd, std::string* error) override { return target_->Close(fd, error); }
  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    return target_->Rename(from, to, error);
  }
  void Remove(const std::string& path) override { target_->Remove(path); }

 private:
  FileSystem* target_;
};

}  // namespace standin
