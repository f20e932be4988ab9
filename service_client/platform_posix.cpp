// The plug-in's platform on Linux (and other POSIX systems): every system
// call of the plug-in's folders is here.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "service_client/platform.h"

namespace {

bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  return false;
}

// Opens `path` for reading without waiting (a FIFO without a writer, or a
// device, would otherwise hold the caller in open()). The descriptor, or -1.
int OpenWithoutWaiting(const std::string& path) {
  if (path.empty()) return -1;
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

// Closes the descriptor it holds (a negative one is none).
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads exactly `size` bytes from `fd`; false on an error or a file that
// ended sooner.
bool ReadExactly(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t got = read(fd, data, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

void (*gAttachHandler)() = nullptr;

}  // namespace

// ---- folders --------------------------------------------------------------------

std::string OslPlatform::TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp) ? tmp : "/tmp";
  return IsDirectory(folder) ? folder : std::string();
}

std::string OslPlatform::AppDataFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return MakeFolder(config) ? std::string(config) : std::string();
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return std::string();
  std::string folder = std::string(home) + "/.config";
  return MakeFolder(folder) ? folder : std::string();
}

std::string OslPlatform::LogFolder() { return "/logs"; }

std::string OslPlatform::FaultNoteFolder() { return LogFolder(); }

// ---- file tests -----------------------------------------------------------------

bool OslPlatform::IsDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool OslPlatform::IsReadableRegularFile(const std::string& path) {
  const Descriptor fd(OpenWithoutWaiting(path));
  if (fd.get() < 0) return false;
  struct stat info;
  return fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
}

long long OslPlatform::RegularFileSize(const std::string& path) {
  struct stat info;
  if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<long long>(info.st_size);
}

// ---- reading files --------------------------------------------------------------

bool OslFileBytes::Allocate(size_t size) {
  Release();
  // The pages are made in one request to the system (reading into memory
  // whose pages are made one fault at a time costs about as much again as
  // the reading itself).
  const size_t mapped = size > 0 ? size : 1;
  void* memory = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (memory == MAP_FAILED) return false;
  data_ = static_cast<char*>(memory);
  size_ = size;
  mapped_ = mapped;
  return true;
}

void OslFileBytes::Release() {
  if (data_) munmap(data_, mapped_);
  data_ = nullptr;
  size_ = mapped_ = 0;
}

OslReadResult OslPlatform::ReadWholeFile(const std::string& path, long long sizeLimit,
                                         OslFileBytes* bytes) {
  const Descriptor fd(OpenWithoutWaiting(path));
  if (fd.get() < 0) return OslReadResult::kNotOpened;
  struct stat info;
  if (fstat(fd.get(), &info) != 0) return OslReadResult::kNotOpened;
  // Checked through the descriptor: no window between the check and the use.
  if (!S_ISREG(info.st_mode)) return OslReadResult::kNotRegular;
  if (info.st_size >= sizeLimit) return OslReadResult::kTooLarge;
  // Reads of a regular file block as they always do.
  const int flags = fcntl(fd.get(), F_GETFL);
  if (flags != -1) (void)fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  const size_t size = static_cast<size_t>(info.st_size);
  if (!bytes->Allocate(size)) return OslReadResult::kNoMemory;
  return ReadExactly(fd.get(), bytes->data(), size) ? OslReadResult::kRead
                                                    : OslReadResult::kShortRead;
}

bool OslPlatform::ReadTextFileStart(const std::string& path, size_t limit, std::string* text) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return false;
  text->assign(limit, '\0');
  text->resize(std::fread(&(*text)[0], 1, limit, file));
  std::fclose(file);
  return true;
}

// ---- writing files --------------------------------------------------------------

int OslPlatform::CreateUnnamedFile(const std::string& folder) {
  const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  return fd >= 0 ? fd : -errno;
}

int OslPlatform::NameUnnamedFile(int fd, const std::string& target, std::string* name) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[32];
    std::snprintf(tail, sizeof tail, ".%d.%d.tmp", static_cast<int>(getpid()), attempt);
    const std::string candidate = target + tail;
    if (linkat(AT_FDCWD, self, AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      *name = candidate;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int OslPlatform::CreateNewFileBeside(const std::string& target, std::string* name) {
  std::vector<char> pattern(target.begin(), target.end());
  const char suffix[] = ".XXXXXX";
  pattern.insert(pattern.end(), suffix, suffix + sizeof suffix);
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return -errno;
  name->assign(pattern.data());
  return fd;
}

int OslPlatform::OpenToRewrite(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
  return fd >= 0 ? fd : -errno;
}

int OslPlatform::MakeOwnerOnly(int fd) { return fchmod(fd, 0600) == 0 ? 0 : errno; }

int OslPlatform::WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int OslPlatform::SyncFile(int fd) { return fsync(fd) == 0 ? 0 : errno; }

int OslPlatform::CloseFile(int fd) { return close(fd) == 0 ? 0 : errno; }

int OslPlatform::RemoveFile(const std::string& path) {
  return unlink(path.c_str()) == 0 ? 0 : errno;
}

int OslPlatform::RenameFile(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int OslPlatform::ReadLink(const std::string& path, std::string* target) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
  char buffer[PATH_MAX];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return -1;
  target->assign(buffer, static_cast<size_t>(n));
  return 1;
}

std::FILE* OslPlatform::OpenLogForAppend(const std::string& path) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
      ((info.st_mode & 077) != 0 && fchmod(fd, 0600) != 0)) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "ab");
  if (!file) close(fd);
  return file;
}

// ---- text -----------------------------------------------------------------------

bool OslPlatform::ToSystemText(const std::string& utf8, std::string* out) {
  *out = utf8;
  return true;
}

std::string OslPlatform::FromSystemText(const std::string& text) { return text; }

// ---- sockets --------------------------------------------------------------------

int OslPlatform::WaitReadable(OslSocket socket, int timeoutMs) {
  struct pollfd ready = {static_cast<int>(socket), POLLIN, 0};
  const int got = poll(&ready, 1, timeoutMs);
  if (got > 0) return 1;
  if (got == 0) return 0;
  return errno == EINTR ? -1 : -2;
}

long OslPlatform::PeekWaiting(OslSocket socket, char* data, size_t size) {
  const ssize_t got = recv(static_cast<int>(socket), data, size, MSG_PEEK | MSG_DONTWAIT);
  return got < 0 ? -1 : static_cast<long>(got);
}

bool OslPlatform::IsConnectionClosedError(int errnum) {
  return errnum == EPIPE || errnum == ECONNRESET;
}

int OslPlatform::SocketFlags() { return MSG_NOSIGNAL; }

// ---- the library ----------------------------------------------------------------

std::string OslModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OslModulePath), &info) && info.dli_fname) {
    return info.dli_fname;
  }
  return std::string();
}

const char* OslPathSeparators() { return "/"; }

void OslOnLibraryAttach(void (*attach)()) {
  gAttachHandler = attach;
  if (gAttachHandler) gAttachHandler();
}

// ---- SIGPIPE --------------------------------------------------------------------

OslNoSigpipe::OslNoSigpipe(bool active) : active_(active) {
  static_assert(sizeof(sigset_t) <= sizeof oldMask_, "the saved mask must fit");
  if (!active_) return;
  const int saved = errno;
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, reinterpret_cast<sigset_t*>(oldMask_));
  sigset_t pending;
  sigemptyset(&pending);
  pendingBefore_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  errno = saved;
}

OslNoSigpipe::~OslNoSigpipe() {
  if (!active_) return;
  const int saved = errno;
  if (!pendingBefore_) {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      const struct timespec none = {0, 0};
      while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
      }
    }
  }
  pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(oldMask_), nullptr);
  errno = saved;
}
