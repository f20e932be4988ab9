#include "refservice/storage/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "refservice/common/identifiers.h"

namespace refservice {

const char kTempFilePrefix[] = "~tmp.";

namespace {

std::string ErrnoText(const std::string& what, const std::string& path, int code) {
  if (code == ELOOP) return what + " " + path + ": a symbolic link is in the way (refused)";
  return what + " " + path + ": " + std::strerror(code);
}

// The components of a relative path; false for an absolute path or an empty, "." or ".."
// component.
bool SplitPath(const std::string& path, std::vector<std::string>* parts) {
  parts->clear();
  if (path.empty() || path.front() == '/') return false;
  size_t start = 0;
  for (;;) {
    size_t slash = path.find('/', start);
    std::string part =
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    parts->push_back(std::move(part));
    if (slash == std::string::npos) return true;
    start = slash + 1;
  }
}

// Bytes written between two requests to start writing back to the disk. Starting early keeps
// the closing flush short: the disk works while the rest of the file is still arriving.
constexpr off_t kWriteBackStep = 8 << 20;

class PosixWritableFile : public WritableFile {
 public:
  PosixWritableFile(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}

  bool Append(std::string_view data, std::string* error) override {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
      ssize_t n = ::write(fd_.get(), p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        *error = ErrnoText("cannot write", path_, errno);
        return false;
      }
      p += n;
      left -= static_cast<size_t>(n);
      written_ += n;
    }
    if (written_ - writeBackFrom_ >= kWriteBackStep) {
      // Only a request: its failure shows in Sync, which every stored file goes through.
      ::sync_file_range(fd_.get(), writeBackFrom_, written_ - writeBackFrom_,
                        SYNC_FILE_RANGE_WRITE);
      writeBackFrom_ = written_;
    }
    return true;
  }

  bool Sync(std::string* error) override {
    if (::fsync(fd_.get()) != 0) {
      *error = ErrnoText("cannot flush", path_, errno);
      return false;
    }
    return true;
  }

  bool Close(std::string* error) override {
    if (!fd_.valid()) return true;
    if (::close(fd_.Release()) != 0) {
      *error = ErrnoText("cannot close", path_, errno);
      return false;
    }
    return true;
  }

 private:
  UniqueFd fd_;
  std::string path_;
  off_t written_ = 0;
  off_t writeBackFrom_ = 0;  // start of the bytes not yet sent to the disk
};

class DataFolderFileSystem : public FileSystem {
 public:
  explicit DataFolderFileSystem(UniqueFd root) : root_(std::move(root)) {}

  bool CreateFolders(const std::string& path, std::string* error) override {
    std::vector<std::string> parts;
    if (!SplitPath(path, &parts)) return BadPath(path, error);
    UniqueFd folder(::dup(root_.get()));
    std::string walked;
    for (const std::string& part : parts) {
      walked += (walked.empty() ? "" : "/") + part;
      if (::mkdirat(folder.get(), part.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = ErrnoText("cannot create folder", walked, errno);
        return false;
      }
      UniqueFd next(
          ::openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!next.valid()) {
        *error = ErrnoText("cannot open folder", walked, errno == ENOTDIR ? ELOOP : errno);
        return false;
      }
      folder = std::move(next);
    }
    return true;
  }

  std::unique_ptr<WritableFile> NewFile(const std::string& path, std::string* error) override {
    std::string name;
    UniqueFd folder = OpenParent(path, &name, error);
    if (!folder.valid()) return nullptr;
    UniqueFd fd(::openat(folder.get(), name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      *error = ErrnoText("cannot create", path, errno);
      return nullptr;
    }
    return std::make_unique<PosixWritableFile>(std::move(fd), path);
  }

  bool Rename(const std::string& from, const std::string& to, std::string* error) override {
    std::string fromName, toName;
    UniqueFd fromFolder = OpenParent(from, &fromName, error);
    if (!fromFolder.valid()) return false;
    UniqueFd toFolder = OpenParent(to, &toName, error);
    if (!toFolder.valid()) return false;
    int rc = ::renameat2(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str(),
                         RENAME_NOREPLACE);
    if (rc != 0 && errno == EINVAL) {
      // A file system without RENAME_NOREPLACE: check, then rename.
      struct stat info;
      if (::fstatat(toFolder.get(), toName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
      } else {
        rc = ::renameat(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str());
      }
    }
    if (rc != 0) {
      *error = ErrnoText("cannot rename " + from + " to", to, errno);
      return false;
    }
    return true;
  }

  bool Remove(const std::string& path, std::string* error) override {
    std::string name;
    UniqueFd folder = OpenParent(path, &name, error);
    if (!folder.valid()) return false;
    if (::unlinkat(folder.get(), name.c_str(), 0) != 0) {
      *error = ErrnoText("cannot remove", path, errno);
      return false;
    }
    return true;
  }

  bool RemoveFolder(const std::string& path, std::string* error) override {
    std::string name;
    UniqueFd folder = OpenParent(path, &name, error);
    if (!folder.valid()) return false;
    if (::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR) != 0) {
      *error = ErrnoText("cannot remove folder", path, errno);
      return false;
    }
    return true;
  }

  bool SyncFolder(const std::string& path, std::string* error) override {
    UniqueFd folder = OpenFolder(path, error);
    if (!folder.valid()) return false;
    if (::fsync(folder.get()) != 0) {
      *error = ErrnoText("cannot flush folder", path, errno);
      return false;
    }
    return true;
  }

  UniqueFd OpenForRead(const std::string& path, uint64_t* size, std::string* error) override {
    std::string name;
    UniqueFd folder = OpenParent(path, &name, error);
    if (!folder.valid()) return UniqueFd();
    UniqueFd fd(::openat(folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0) {
      *error = ErrnoText("cannot open", path, errno);
      return UniqueFd();
    }
    if (!S_ISREG(info.st_mode)) {
      *error = "not a regular file: " + path;
      return UniqueFd();
    }
    *size = static_cast<uint64_t>(info.st_size);
    return fd;
  }

  bool List(const std::string& path, std::vector<std::string>* names, std::string* error) override {
    names->clear();
    UniqueFd folder = OpenFolder(path, error);
    if (!folder.valid()) return false;
    DIR* dir = ::fdopendir(folder.get());
    if (dir == nullptr) {
      *error = ErrnoText("cannot list", path, errno);
      return false;
    }
    folder.Release();  // closedir closes it
    errno = 0;
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(std::move(name));
    }
    int code = errno;
    ::closedir(dir);
    if (code != 0) {
      *error = ErrnoText("cannot list", path, code);
      return false;
    }
    return true;
  }

 private:
  static bool BadPath(const std::string& path, std::string* error) {
    *error = "refused path " + path + " (it would leave the data folder)";
    return false;
  }

  // Opens the folder `path` ("" is the root) component by component, never through a link.
  UniqueFd OpenFolder(const std::string& path, std::string* error) {
    UniqueFd folder(::dup(root_.get()));
    if (path.empty()) return folder;
    std::vector<std::string> parts;
    if (!SplitPath(path, &parts)) {
      BadPath(path, error);
      return UniqueFd();
    }
    for (const std::string& part : parts) {
      UniqueFd next(
          ::openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!next.valid()) {
        *error = ErrnoText("cannot open folder", path, errno == ENOTDIR ? ELOOP : errno);
        return UniqueFd();
      }
      folder = std::move(next);
    }
    return folder;
  }

  // Opens the folder that holds `path` and sets `name` to the last component.
  UniqueFd OpenParent(const std::string& path, std::string* name, std::string* error) {
    std::vector<std::string> parts;
    if (!SplitPath(path, &parts)) {
      BadPath(path, error);
      return UniqueFd();
    }
    *name = parts.back();
    size_t slash = path.rfind('/');
    return OpenFolder(slash == std::string::npos ? "" : path.substr(0, slash), error);
  }

  UniqueFd root_;
};

}  // namespace

std::unique_ptr<FileSystem> OpenFileSystem(const std::string& root, std::string* error) {
  UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    *error = ErrnoText("cannot open data folder", root, errno);
    return nullptr;
  }
  return std::make_unique<DataFolderFileSystem>(std::move(fd));
}

AtomicFileWriter::AtomicFileWriter(FileSystem* fs, std::string tempFolder)
    : fs_(fs), tempFolder_(std::move(tempFolder)) {}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) Discard();
}

void AtomicFileWriter::Discard() {
  std::string ignored;
  if (file_) file_->Close(&ignored);
  file_.reset();
  if (!tempPath_.empty()) fs_->Remove(tempPath_, &ignored);
  tempPath_.clear();
}

bool AtomicFileWriter::Open(std::string* error) {
  Discard();
  tempPath_ = tempFolder_ + "/" + kTempFilePrefix + RandomHex(8);
  file_ = fs_->NewFile(tempPath_, error);
  if (!file_) {
    tempPath_.clear();
    return false;
  }
  size_ = 0;
  committed_ = false;
  return true;
}

bool AtomicFileWriter::Append(std::string_view data, std::string* error) {
  if (!file_) {
    *error = "the file is not open";
    return false;
  }
  if (!file_->Append(data, error)) {
    Discard();
    return false;
  }
  size_ += data.size();
  return true;
}

bool AtomicFileWriter::Commit(const std::string& finalPath, std::string* error) {
  if (!file_) {
    *error = "the file is not open";
    return false;
  }
  if (!file_->Sync(error) || !file_->Close(error) || !fs_->Rename(tempPath_, finalPath, error)) {
    Discard();
    return false;
  }
  file_.reset();
  tempPath_.clear();
  committed_ = true;
  size_t slash = finalPath.rfind('/');
  std::string folder = slash == std::string::npos ? "" : finalPath.substr(0, slash);
  // The file is complete and in place; a failed folder flush only weakens durability after a
  // power loss, so it is not reported as a failure.
  std::string ignored;
  fs_->SyncFolder(folder, &ignored);
  return true;
}

bool MakeDirectories(const std::string& path, std::string* error) {
  if (path.empty()) {
    *error = "empty folder path";
    return false;
  }
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot create folder " + part + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = "not a folder: " + path;
    return false;
  }
  return true;
}

bool AtomicWriteFile(FileSystem* fs, const std::string& tempFolder, const std::string& path,
                     std::string_view data, std::string* error) {
  AtomicFileWriter writer(fs, tempFolder);
  return writer.Open(error) && writer.Append(data, error) && writer.Commit(path, error);
}

}  // namespace refservice
