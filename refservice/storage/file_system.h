// Files inside the data folder. Every path is relative to the folder and is walked one component
// at a time without following symbolic links, so no path (and no link planted inside the folder)
// leads out of it. Operations are virtual so that tests can wrap the real file system and make one
// of them fail (FileSystemWrapper).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "refservice/common/unique_fd.h"

namespace refservice {

// A file open for writing. Owned by its creator; closes on destruction.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Appends all of `data`. False with `error` set on failure.
  virtual bool Append(std::string_view data, std::string* error) = 0;
  // Flushes the written bytes to stable storage.
  virtual bool Sync(std::string* error) = 0;
  // Closes the file; later calls do nothing and return true.
  virtual bool Close(std::string* error) = 0;
};

// Paths are "/"-separated and relative; absolute paths, empty components, "." and ".." are refused
// like a missing file. Every method returns false (or null, or an invalid descriptor) with `error`
// set on failure.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Creates the folder `path` and its missing parents (mode 0700).
  virtual bool CreateFolders(const std::string& path, std::string* error) = 0;
  // Creates the new file `path` (mode 0600); fails when it exists.
  virtual std::unique_ptr<WritableFile> NewFile(const std::string& path, std::string* error) = 0;
  // Renames `from` to `to`; fails when `to` exists.
  virtual bool Rename(const std::string& from, const std::string& to, std::string* error) = 0;
  virtual bool Remove(const std::string& path, std::string* error) = 0;
  // Removes the empty folder `path`; fails when it holds anything.
  virtual bool RemoveFolder(const std::string& path, std::string* error) = 0;
  // Flushes the folder's entries (a rename into it) to stable storage.
  virtual bool SyncFolder(const std::string& path, std::string* error) = 0;
  // Opens the regular file `path` for reading and sets `size`.
  virtual UniqueFd OpenForRead(const std::string& path, uint64_t* size, std::string* error) = 0;
  // The entries of the folder `path`, without "." and "..".
  virtual bool List(const std::string& path, std::vector<std::string>* names,
                    std::string* error) = 0;
};

// The real file system below `root`. `root` itself may be reached through a link (it is the
// operator's choice); nothing below it is. Null with `error` set when `root` is not a folder.
std::unique_ptr<FileSystem> OpenFileSystem(const std::string& root, std::string* error);

// Forwards every operation to `target` (which must outlive it). Tests derive from it and override
// the one operation that must fail.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem* target) : target_(target) {}
  bool CreateFolders(const std::string& path, std::string* error) override {
    return target_->CreateFolders(path, error);
  }
  std::unique_ptr<WritableFile> NewFile(const std::string& path, std::string* error) override {
    return target_->NewFile(path, error);
  }
  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    return target_->Rename(from, to, error);
  }
  bool Remove(const std::string& path, std::string* error) override {
    return target_->Remove(path, error);
  }
  bool RemoveFolder(const std::string& path, std::string* error) override {
    return target_->RemoveFolder(path, error);
  }
  bool SyncFolder(const std::string& path, std::string* error) override {
    return target_->SyncFolder(path, error);
  }
  UniqueFd OpenForRead(const std::string& path, uint64_t* size, std::string* error) override {
    return target_->OpenForRead(path, size, error);
  }
  bool List(const std::string& path, std::vector<std::string>* names, std::string* error) override {
    return target_->List(path, names, error);
  }

 private:
  FileSystem* target_;
};

// Prefix of the temporary files AtomicFileWriter creates. "~" never appears in a clean upload
// name, so a temporary file is never taken for a stored one.
extern const char kTempFilePrefix[];

// Writes one file so that it appears complete or not at all: the bytes go to a new temporary file
// in `tempFolder`, Commit flushes it and renames it to its final path, then flushes the final
// folder. Whenever the writer fails or is destroyed before Commit succeeded, its temporary file is
// removed. Not thread-safe.
class AtomicFileWriter {
 public:
  // `fs` must outlive the writer.
  AtomicFileWriter(FileSystem* fs, std::string tempFolder);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file.
  bool Open(std::string* error);
  bool Append(std::string_view data, std::string* error);
  // Makes the file appear at `finalPath` (whose folder must exist and which must not exist).
  bool Commit(const std::string& finalPath, std::string* error);
  // Bytes appended so far.
  uint64_t size() const { return size_; }

 private:
  void Discard();

  FileSystem* fs_;
  std::string tempFolder_;
  std::string tempPath_;
  std::unique_ptr<WritableFile> file_;
  uint64_t size_ = 0;
  bool committed_ = false;
};

// Creates `path` and its missing parents with mode 0700. Returns false with `error` set on failure.
bool MakeDirectories(const std::string& path, std::string* error);

// Writes `data` to `path` through an AtomicFileWriter whose temporary file lives in `tempFolder`.
bool AtomicWriteFile(FileSystem* fs, const std::string& tempFolder, const std::string& path,
                     std::string_view data, std::string* error);

}  // namespace refservice
