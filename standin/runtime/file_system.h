// The stand-in's file operations, behind one overridable object so tests can
// make a single operation fail (a write that stops half-way, a rename that
// is refused) without touching the rest.
#pragma once

#include <string>

namespace standin {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The process-wide instance (the real file system unless a test set one).
  static FileSystem& Get();
  // Installs `fs` (not owned; null restores the real one).
  static void Set(FileSystem* fs);

  // Reads the whole file. False with *error set when it cannot.
  virtual bool ReadFile(const std::string& path, std::string* contents, std::string* error);
  // Creates a new temporary file in `dir`; returns its descriptor or -1.
  virtual int CreateTemp(const std::string& dir, std::string* tempPath, std::string* error);
  // Writes all of `data`; false with *error on a short or failed write.
  virtual bool Write(int fd, const char* data, size_t size, std::string* error);
  virtual bool Sync(int fd, std::string* error);
  virtual bool Close(int fd, std::string* error);
  virtual bool Rename(const std::string& from, const std::string& to, std::string* error);
  virtual void Remove(const std::string& path);

  // Replaces `path` with `data` atomically: temp file in the same folder,
  // write, fsync, rename. On any failure the previous file is untouched, the
  // temporary file is removed and false is returned with *error set.
  bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error);
};

}  // namespace standin
