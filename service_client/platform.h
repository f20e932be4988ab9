// The system services the service client relies on, behind one overridable
// object: the temporary folder, the user's application-data folder, the
// message-log folder and the time limits of service exchanges. Tests install a
// subclass that points them elsewhere.
#pragma once

#include <string>

#include "service_client/time_limits.h"

class OslPlatform {
 public:
  virtual ~OslPlatform() = default;

  // The process-wide instance: the real system unless a test installed one.
  static OslPlatform& Get();
  // Installs `platform` (not owned; it must outlive its use). Null restores
  // the real system.
  static void Set(OslPlatform* platform);

  // $TMPDIR when set and not empty, else "/tmp". Empty when neither is an
  // existing folder.
  virtual std::string TempFolder();
  // $XDG_CONFIG_HOME when set and absolute, else $HOME/.config; created
  // (owner-only) when missing. Empty when it cannot be had.
  virtual std::string AppDataFolder();
  // The folder whose presence switches message logging on: "/logs". The
  // client never creates it.
  virtual std::string LogFolder();
  // True when `path` names an existing folder.
  virtual bool IsDirectory(const std::string& path);
  // Opens a new file without a name in `folder` for writing, owner-only
  // (open(2) with O_TMPFILE). Returns the descriptor, or minus the errno.
  virtual int CreateUnnamedFile(const std::string& folder);
  // Renames the file `from` to `to`, replacing `to` (rename(2)). Returns 0,
  // or the errno of the failure.
  virtual int RenameFile(const std::string& from, const std::string& to);
  // The time-outs and deadlines of service calls and uploads; read when a
  // SOAP context is made. The real system answers OslTimeLimits' defaults.
  virtual OslTimeLimits TimeLimits();
};
