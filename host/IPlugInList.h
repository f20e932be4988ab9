// The host's list of loaded plug-ins (on the session).
#pragma once

#include "HostInterfaceIDs.h"
#include "IDFile.h"
#include "IPMUnknown.h"

class IPlugInList : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IPLUGINLIST };
  // The file the plug-in `id` was loaded from; false when no such plug-in is
  // loaded (then `file` is left unchanged).
  virtual bool GetPathName(PluginID id, IDFile* file) const = 0;
  virtual ~IPlugInList() = default;
};
