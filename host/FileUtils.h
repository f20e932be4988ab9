// Host file-system helpers used by plug-ins for their own folders.
#pragma once

#include "IDFile.h"
#include "PMString.h"

class FileUtils {
 public:
  // The host's directory separator ("/").
  static PMString GetDirectorySeperator();
  // Creates `folder` when it does not exist yet; with `createParents`, its
  // missing parent folders too. Folders made here are private to the user
  // (mode 0700). Returns kSuccess when the folder exists afterwards, kFailure
  // otherwise.
  static ErrorCode CreateFolderIfNeeded(const IDFile& folder, bool createParents = false);
};
