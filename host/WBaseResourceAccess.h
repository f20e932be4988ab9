// Access to a plug-in's resource file. A plug-in keeps one ResourceFileInfo
// record naming its own library file; the host reads the resources (string
// tables, boss declarations, views) from that file.
#pragma once

#include "IDFile.h"

class WBaseResourceAccess {
 public:
  struct ResourceFileInfo {
    IDFile file;
    int32 flags = 0;
    int32 count = 0;
    void* handle = nullptr;
  };

  explicit WBaseResourceAccess(const ResourceFileInfo* info) : info_(info) {}
  virtual ~WBaseResourceAccess() = default;

  // The resource file of the record (empty when there is no record).
  IDFile GetResourceFile() const { return info_ ? info_->file : IDFile(); }

 private:
  const ResourceFileInfo* info_;
};
