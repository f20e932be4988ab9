// The system services the plug-in relies on, behind one overridable object:
// folders, file tests and files, the system code page, sockets' readiness and
// the library's own path. Every call into the operating system that the
// plug-in's folders make goes through here; the calls themselves live in one
// file per platform (platform_posix.cpp, platform_windows.cpp), chosen by the
// build. Tests install a subclass that points folders elsewhere or makes one
// operation fail.
//
// Text: every std::string path and text here is UTF-8 (what PMString's
// GetPlatformString gives), whatever the platform. The Windows build turns
// paths into UTF-16 for the system's wide calls, so no character of a path is
// lost; only the settings text and the upload's part description travel in
// the system code page (ToSystemText, FromSystemText).
//
// Error numbers: operations that fail return an errno value (the Windows
// build maps its system errors onto the C runtime's errno values, as the C
// runtime does), so callers can name the reason with std::strerror.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "service_client/time_limits.h"

// A connected socket of the platform (a descriptor on Linux, a SOCKET on
// Windows), as an unsigned integer wide enough for either.
using OslSocket = std::uintptr_t;

// The whole content of one file, in memory of its own; freed with the
// object.
class OslFileBytes {
 public:
  OslFileBytes() = default;
  ~OslFileBytes();
  OslFileBytes(const OslFileBytes&) = delete;
  OslFileBytes& operator=(const OslFileBytes&) = delete;

  // Null until a file was read.
  char* data() const { return data_; }
  size_t size() const { return size_; }

  // Gets memory for `size` bytes (its pages made at once), dropping what was
  // held. False when the memory could not be had.
  bool Allocate(size_t size);

 private:
  void Release();
  char* data_ = nullptr;
  size_t size_ = 0;    // bytes of the file
  size_t mapped_ = 0;  // bytes of memory held (at least one)
};

// What reading a whole file found.
enum class OslReadResult {
  kRead,        // every byte is in memory
  kNotOpened,   // missing or not readable
  kNotRegular,  // a folder, FIFO, device...: refused without waiting on it
  kTooLarge,    // its size is at the limit or above; nothing was read
  kNoMemory,    // no memory for its size
  kShortRead,   // it ended sooner than its size said, or a read failed
};

class OslPlatform {
 public:
  virtual ~OslPlatform() = default;

  // The process-wide instance: the real system unless a test installed one.
  static OslPlatform& Get();
  // Installs `platform` (not owned; it must outlive its use). Null restores
  // the real system.
  static void Set(OslPlatform* platform);

  // ---- folders ----------------------------------------------------------------
  // The system's temporary folder: $TMPDIR when set and not empty, else
  // "/tmp" (Windows: GetTempPathW). Empty when it is no existing folder.
  virtual std::string TempFolder();
  // The user's application-data folder: $XDG_CONFIG_HOME when set and
  // absolute, else $HOME/.config, created owner-only when missing (Windows:
  // SHGetFolderPathW with CSIDL_APPDATA | CSIDL_FLAG_CREATE). Empty when it
  // cannot be had.
  virtual std::string AppDataFolder();
  // The folder whose presence switches message logging on: "/logs" (on
  // Windows the root of the current drive). The client never creates it.
  virtual std::string LogFolder();
  // The folder the fault report's note points at when it exists: the log
  // folder itself (Windows: "c:\logs\").
  virtual std::string FaultNoteFolder();

  // ---- file tests -------------------------------------------------------------
  // True when `path` names an existing folder (Windows: GetFileAttributesW).
  virtual bool IsDirectory(const std::string& path);
  // True when `path` opens for reading as a regular file. It is opened
  // without waiting, so a FIFO or device is refused rather than waited on.
  virtual bool IsReadableRegularFile(const std::string& path);
  // The size in bytes of the regular file at `path`; -1 when there is none.
  virtual long long RegularFileSize(const std::string& path);

  // ---- reading files ----------------------------------------------------------
  // Reads the regular file at `path` whole into `bytes`. The file is opened
  // without waiting (as IsReadableRegularFile), its size taken from the open
  // file; a size of `sizeLimit` or more is refused before anything is read.
  virtual OslReadResult ReadWholeFile(const std::string& path, long long sizeLimit,
                                      OslFileBytes* bytes);
  // Reads at most `limit` bytes from the start of the file at `path`, opened
  // in text mode (Windows drops the CR of each CR LF). False when it cannot
  // be opened.
  virtual bool ReadTextFileStart(const std::string& path, size_t limit, std::string* text);

  // ---- writing files ----------------------------------------------------------
  // Descriptor-style operations for files that must be replaced whole. Every
  // descriptor they give is in text mode on Windows (each LF written becomes
  // CR LF) and not inherited by child processes. Each returns 0 or an errno
  // value unless said otherwise.
  //
  // A new file without a name in `folder`, for writing, owner-only (Linux
  // O_TMPFILE). Returns the descriptor, or minus the errno (EOPNOTSUPP where
  // the platform or filesystem has no such files).
  virtual int CreateUnnamedFile(const std::string& folder);
  // Gives the unnamed file `fd` a name beside `target`: `target` followed by
  // ".<process>.<n>.tmp", the first that is free. Stores the name in *name.
  virtual int NameUnnamedFile(int fd, const std::string& target, std::string* name);
  // A new file whose name is `target` followed by "." and six characters
  // chosen to be free, created exclusively for writing, owner-only. Returns
  // the descriptor (*name set), or minus the errno.
  virtual int CreateNewFileBeside(const std::string& target, std::string* name);
  // Opens the existing file `path` for writing, truncated, never through a
  // symbolic link. Returns the descriptor, or minus the errno.
  virtual int OpenToRewrite(const std::string& path);
  // Makes the file readable and writable by its owner only (Windows: the
  // file keeps the permissions of its folder; nothing is done).
  virtual int MakeOwnerOnly(int fd);
  // Writes all of `text` (text mode on Windows).
  virtual int WriteAll(int fd, const std::string& text);
  // Puts what was written on the disk.
  virtual int SyncFile(int fd);
  // Closes the descriptor; 0 or the errno of what the close found.
  virtual int CloseFile(int fd);
  // Removes the file `path`.
  virtual int RemoveFile(const std::string& path);
  // Renames the file `from` to `to`, replacing `to`.
  virtual int RenameFile(const std::string& from, const std::string& to);
  // When `path` is a symbolic link: 1 with its target (as written in the
  // link) in *target; 0 when it is none (or missing); -1 when the link
  // cannot be read. Windows reports 0.
  virtual int ReadLink(const std::string& path, std::string* target);
  // Opens the message log `path` for appending: created owner-only, never
  // through a symbolic link, and only when it is a regular file of this user
  // (an existing one readable by others is made owner-only). Opened without
  // waiting, so a FIFO there cannot hold the call. Null when refused.
  virtual std::FILE* OpenLogForAppend(const std::string& path);

  // ---- text -------------------------------------------------------------------
  // `utf8` in the system code page (Windows: WideCharToMultiByte(CP_ACP));
  // Linux keeps UTF-8. False, *out unspecified, when a character has no
  // place in the code page (it would be lost) or `utf8` is not UTF-8.
  virtual bool ToSystemText(const std::string& utf8, std::string* out);
  // Text in the system code page back to UTF-8 (Windows:
  // MultiByteToWideChar(CP_ACP)).
  virtual std::string FromSystemText(const std::string& text);

  // ---- sockets ------------------------------------------------------------------
  // Waits up to `timeoutMs` (-1: no limit) until `socket` has something to
  // read or was closed. 1 when it has, 0 when the time ran
  // out, -1 when interrupted by a signal (the caller may wait again), -2 on
  // any other failure (the next read reports it). Windows: WSAPoll.
  virtual int WaitReadable(OslSocket socket, int timeoutMs);
  // Copies up to `size` bytes waiting on `socket` into
  // `data` without taking them and without waiting. Returns the count, or
  // -1 when nothing can be had now.
  virtual long PeekWaiting(OslSocket socket, char* data, size_t size);
  // True when the system error `errnum` of a send means the peer closed or
  // reset the connection.
  virtual bool IsConnectionClosedError(int errnum);
  // Flags for every send and receive of the runtime: no SIGPIPE on Linux
  // (MSG_NOSIGNAL); none on Windows, which raises no such signal.
  virtual int SocketFlags();

  // ---- time ---------------------------------------------------------------------
  // The time-outs and deadlines of service calls and uploads; read when a
  // SOAP context is made. The real system answers OslTimeLimits' defaults.
  virtual OslTimeLimits TimeLimits();
};

// The path of the library this code is part of (at most 260 characters kept
// by the caller), as UTF-8: what the Windows build's attach notification
// recorded with GetModuleFileNameW, or on Linux what dladdr says of this
// code. Empty when it cannot be had.
std::string OslModulePath();

// The characters that separate a path's folders: "/" (Windows: "/\\").
const char* OslPathSeparators();

// Runs `attach` once the library is attached to the process. On Linux the
// library is attached before its static objects are built, so it runs at
// once; on Windows the library entry (DllMain) runs it on the process-attach
// notification, after every static object is built, having recorded the
// module's path first. Only the last handler given is kept.
void OslOnLibraryAttach(void (*attach)());

// While it lives, a write to a connection the peer has closed cannot raise
// SIGPIPE on this thread: the TLS library writes with write(), which knows
// no MSG_NOSIGNAL, and SIGPIPE would end the host's whole process. A SIGPIPE
// raised meanwhile is taken back before the thread's signal mask is restored
// (one already pending before is left alone); errno is kept. Inactive when
// `active` is false. Windows has no such signal: the guard does nothing.
class OslNoSigpipe {
 public:
  explicit OslNoSigpipe(bool active);
  ~OslNoSigpipe();
  OslNoSigpipe(const OslNoSigpipe&) = delete;
  OslNoSigpipe& operator=(const OslNoSigpipe&) = delete;

 private:
  bool active_;
  bool pendingBefore_ = false;
  // The thread's signal mask before (a sigset_t on Linux).
  alignas(16) unsigned char oldMask_[256];
};
