// The plug-in's platform on Windows: every system call of the plug-in's
// folders is here. Paths arrive as UTF-8 and reach the system as UTF-16
// through its wide calls; system errors are handed on as errno values.

// Winsock's header must come before the system's main header.
#include <winsock2.h>
// Then the rest.
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "service_client/platform.h"

namespace {

// The path buffer of the module's own path and of the application-data
// folder (MAX_PATH characters and the terminator).
constexpr DWORD kPathChars = MAX_PATH;
// The buffer of the temporary folder's path.
constexpr DWORD kTempPathChars = 4096;

// ---- text ------------------------------------------------------------------------

// `utf8` as UTF-16; false when it is not UTF-8.
bool Widen(const std::string& utf8, std::wstring* wide) {
  wide->clear();
  if (utf8.empty()) return true;
  if (utf8.size() > 0x7FFFFFFF) return false;
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &(*wide)[0], n) == n;
}

// A path for the wide calls; empty (which every call refuses) when `path`
// is not UTF-8.
std::wstring WidePath(const std::string& path) {
  std::wstring wide;
  return Widen(path, &wide) ? wide : std::wstring();
}

// UTF-16 text in the code page `page`; false when it does not fit.
bool Narrow(const wchar_t* wide, size_t length, UINT page, std::string* out) {
  out->clear();
  if (length == 0) return true;
  if (length > 0x7FFFFFFF) return false;
  const int size = static_cast<int>(length);
  BOOL lost = FALSE;
  // Only a code page other than UTF-8 can lose characters; UTF-8 takes no
  // such question (the call would fail with it).
  const DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL* asked = page == CP_UTF8 ? nullptr : &lost;
  const int n = WideCharToMultiByte(page, flags, wide, size, nullptr, 0, nullptr, asked);
  if (n <= 0 || lost) return false;
  out->resize(static_cast<size_t>(n));
  if (WideCharToMultiByte(page, flags, wide, size, &(*out)[0], n, nullptr, asked) != n) {
    return false;
  }
  return !lost;
}

std::string Utf8(const wchar_t* wide, size_t length) {
  std::string out;
  return Narrow(wide, length, CP_UTF8, &out) ? out : std::string();
}

// ---- errors ----------------------------------------------------------------------

// The errno value that stands for the system error `error`.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

int LastErrno() { return ErrnoOf(GetLastError()); }

// ---- files -----------------------------------------------------------------------

// The attributes of `path`, or INVALID_FILE_ATTRIBUTES.
DWORD AttributesOf(const std::string& path) {
  const std::wstring wide = WidePath(path);
  return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

// Closes the handle it holds.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  // Gives the handle up to the caller.
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

// Opens `path` for reading, shared with every other user of the file. Named
// pipes and devices open without waiting; the caller checks the file type.
HANDLE OpenForReading(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return INVALID_HANDLE_VALUE;
  return CreateFileW(wide.c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether `attributes` name a plain file (no folder, device or link).
bool IsPlainFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// A C runtime descriptor for the write handle `handle`, in text mode (each
// LF written becomes CR LF); minus the errno, the handle closed, on failure.
int TextDescriptor(HANDLE handle) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
  if (fd < 0) {
    CloseHandle(handle);
    return -EMFILE;
  }
  return fd;
}

// ---- the library -----------------------------------------------------------------

wchar_t gModulePath[kPathChars + 1] = {};
void (*gAttachHandler)() = nullptr;

// Records the path of `module` (at most kPathChars characters).
void RecordModulePath(HMODULE module) {
  const DWORD n = GetModuleFileNameW(module, gModulePath, kPathChars);
  gModulePath[n < kPathChars ? n : kPathChars] = L'\0';
}

// The module this code is part of.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&RecordModulePath), &module);
  return module;
}

}  // namespace

// The library entry. On process attach (after every static object of the
// library is built) it records the library's own path and runs the
// plug-in's attach handler; every other notification is ignored. It answers
// success for every reason.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    RecordModulePath(instance);
    if (gAttachHandler) gAttachHandler();
  }
  return TRUE;
}

std::string OslModulePath() {
  if (gModulePath[0] == L'\0') {
    const HMODULE module = ThisModule();
    if (!module) return std::string();
    RecordModulePath(module);
  }
  return Utf8(gModulePath, wcslen(gModulePath));
}

void OslOnLibraryAttach(void (*attach)()) {
  gAttachHandler = attach;
  // Code built into a program rather than a library gets no attach
  // notification: the program is attached already.
  if (gAttachHandler && ThisModule() == GetModuleHandleW(nullptr)) {
    RecordModulePath(GetModuleHandleW(nullptr));
    gAttachHandler();
  }
}

const char* OslPathSeparators() { return "/\\"; }

// ---- folders ---------------------------------------------------------------------

std::string OslPlatform::TempFolder() {
  wchar_t buffer[kTempPathChars];
  const DWORD n = GetTempPathW(kTempPathChars, buffer);
  if (n == 0 || n >= kTempPathChars) return std::string();
  const std::string folder = Utf8(buffer, n);
  return IsDirectory(folder) ? folder : std::string();
}

std::string OslPlatform::AppDataFolder() {
  wchar_t buffer[kPathChars + 1] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                       buffer) != S_OK) {
    return std::string();
  }
  return Utf8(buffer, wcslen(buffer));
}

// The root of the current drive.
std::string OslPlatform::LogFolder() { return "/logs"; }

std::string OslPlatform::FaultNoteFolder() { return "c:\\logs\\"; }

// ---- file tests ------------------------------------------------------------------

bool OslPlatform::IsDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OslPlatform::IsReadableRegularFile(const std::string& path) {
  if (!IsPlainFile(AttributesOf(path))) return false;
  const Handle file(OpenForReading(path));
  return file.get() != INVALID_HANDLE_VALUE && GetFileType(file.get()) == FILE_TYPE_DISK;
}

long long OslPlatform::RegularFileSize(const std::string& path) {
  if (!IsPlainFile(AttributesOf(path))) return -1;
  // Names such as "NUL" pass the attribute test: the open file says what it is.
  const Handle file(OpenForReading(path));
  LARGE_INTEGER size;
  if (file.get() == INVALID_HANDLE_VALUE || GetFileType(file.get()) != FILE_TYPE_DISK ||
      !GetFileSizeEx(file.get(), &size)) {
    return -1;
  }
  return static_cast<long long>(size.QuadPart);
}

// ---- reading files ---------------------------------------------------------------

bool OslFileBytes::Allocate(size_t size) {
  Release();
  const size_t mapped = size > 0 ? size : 1;
  void* memory = VirtualAlloc(nullptr, mapped, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!memory) return false;
  data_ = static_cast<char*>(memory);
  size_ = size;
  mapped_ = mapped;
  return true;
}

void OslFileBytes::Release() {
  if (data_) VirtualFree(data_, 0, MEM_RELEASE);
  data_ = nullptr;
  size_ = mapped_ = 0;
}

OslReadResult OslPlatform::ReadWholeFile(const std::string& path, long long sizeLimit,
                                         OslFileBytes* bytes) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return OslReadResult::kNotOpened;
  if (!IsPlainFile(attributes)) return OslReadResult::kNotRegular;
  const Handle file(OpenForReading(path));
  if (file.get() == INVALID_HANDLE_VALUE) return OslReadResult::kNotOpened;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return OslReadResult::kNotRegular;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(file.get(), &length)) return OslReadResult::kNotOpened;
  if (length.QuadPart >= sizeLimit) return OslReadResult::kTooLarge;
  const size_t size = static_cast<size_t>(length.QuadPart);
  if (!bytes->Allocate(size)) return OslReadResult::kNoMemory;
  for (size_t done = 0; done < size;) {
    const DWORD want = static_cast<DWORD>(size - done < 0x40000000 ? size - done : 0x40000000);
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes->data() + done, want, &got, nullptr) || got == 0) {
      return OslReadResult::kShortRead;
    }
    done += got;
  }
  return OslReadResult::kRead;
}

bool OslPlatform::ReadTextFileStart(const std::string& path, size_t limit, std::string* text) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return false;
  std::FILE* file = _wfopen(wide.c_str(), L"rt");
  if (!file) return false;
  text->assign(limit, '\0');
  text->resize(std::fread(&(*text)[0], 1, limit, file));
  std::fclose(file);
  return true;
}

// ---- writing files ---------------------------------------------------------------

int OslPlatform::CreateUnnamedFile(const std::string&) { return -EOPNOTSUPP; }

int OslPlatform::NameUnnamedFile(int, const std::string&, std::string*) { return EOPNOTSUPP; }

int OslPlatform::CreateNewFileBeside(const std::string& target, std::string* name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned long long seed = (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^
                            GetTickCount64() ^ reinterpret_cast<uintptr_t>(name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = target + ".";
    for (int i = 0; i < 6; ++i) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      candidate += kLetters[(seed >> 33) % (sizeof kLetters - 1)];
    }
    const std::wstring wide = WidePath(candidate);
    if (wide.empty()) return -ENAMETOOLONG;
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      *name = candidate;
      return TextDescriptor(handle);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return -ErrnoOf(error);
  }
  return -EEXIST;
}

int OslPlatform::OpenToRewrite(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return -LastErrno();
  // Never written through a link.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return -ELOOP;
  const std::wstring wide = WidePath(path);
  HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -LastErrno();
  return TextDescriptor(handle);
}

int OslPlatform::MakeOwnerOnly(int) { return 0; }

int OslPlatform::WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const size_t left = text.size() - done;
    const unsigned chunk = static_cast<unsigned>(left < 0x10000000 ? left : 0x10000000);
    const int n = _write(fd, text.data() + done, chunk);
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

int OslPlatform::SyncFile(int fd) { return _commit(fd) == 0 ? 0 : errno; }

int OslPlatform::CloseFile(int fd) { return _close(fd) == 0 ? 0 : errno; }

int OslPlatform::RemoveFile(const std::string& path) {
  const std::wstring wide = WidePath(path);
  return !wide.empty() && DeleteFileW(wide.c_str()) ? 0 : LastErrno();
}

int OslPlatform::RenameFile(const std::string& from, const std::string& to) {
  const std::wstring source = WidePath(from);
  const std::wstring target = WidePath(to);
  if (source.empty() || target.empty()) return ENOENT;
  return MoveFileExW(source.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : LastErrno();
}

int OslPlatform::ReadLink(const std::string&, std::string*) { return 0; }

std::FILE* OslPlatform::OpenLogForAppend(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return nullptr;
  // The link itself is opened, never what it points to; a link is refused
  // below.
  Handle file(CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return nullptr;
  }
  const int fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_APPEND | _O_BINARY);
  if (fd < 0) return nullptr;
  file.release();  // the descriptor owns it now
  std::FILE* log = _fdopen(fd, "ab");
  if (!log) _close(fd);
  return log;
}

// ---- text ------------------------------------------------------------------------

bool OslPlatform::ToSystemText(const std::string& utf8, std::string* out) {
  std::wstring wide;
  if (!Widen(utf8, &wide)) return false;
  return Narrow(wide.data(), wide.size(), GetACP(), out);
}

std::string OslPlatform::FromSystemText(const std::string& text) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return std::string();
  const int size = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], n) != n) return std::string();
  return Utf8(wide.data(), wide.size());
}

// ---- sockets ---------------------------------------------------------------------

int OslPlatform::WaitReadable(OslSocket socket, int timeoutMs) {
  WSAPOLLFD ready = {};
  ready.fd = static_cast<SOCKET>(socket);
  ready.events = POLLRDNORM;
  const int got = WSAPoll(&ready, 1, timeoutMs);
  if (got > 0) return 1;
  if (got == 0) return 0;
  return WSAGetLastError() == WSAEINTR ? -1 : -2;
}

long OslPlatform::PeekWaiting(OslSocket socket, char* data, size_t size) {
  // Only a connection with bytes (or its end) waiting is read, so the peek
  // cannot wait.
  if (WaitReadable(socket, 0) != 1) return -1;
  const int want = static_cast<int>(size < 0x7FFFFFFF ? size : 0x7FFFFFFF);
  const int got = recv(static_cast<SOCKET>(socket), data, want, MSG_PEEK);
  return got == SOCKET_ERROR ? -1 : static_cast<long>(got);
}

bool OslPlatform::IsConnectionClosedError(int errnum) {
  return errnum == WSAECONNRESET || errnum == WSAECONNABORTED || errnum == WSAESHUTDOWN ||
         errnum == EPIPE || errnum == ECONNRESET;
}

int OslPlatform::SocketFlags() { return 0; }

// ---- SIGPIPE ---------------------------------------------------------------------

OslNoSigpipe::OslNoSigpipe(bool active) : active_(active) {}

OslNoSigpipe::~OslNoSigpipe() = default;
