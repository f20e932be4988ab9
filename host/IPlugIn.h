// The object a plug-in library hands the host through its one exported
// entry point, GetPlugIn. The host reads the plug-in's resources from the
// file GetResourceFile names, gives the plug-in its identifier and asks it
// to register its implementations.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "BaseTypes.h"
#include "IDFile.h"

class IPlugIn {
 public:
  virtual bool16 CanLoad() const = 0;     // true: the plug-in may be loaded
  virtual bool16 IsValid() const = 0;     // true: its resources are usable
  virtual bool16 CanUnload() const = 0;   // false: it stays loaded
  virtual bool16 IsRequired() const = 0;  // true: the host needs it
  virtual void Terminate() = 0;           // called once before exit
  virtual PluginID GetPluginID() const = 0;
  virtual void SetPluginID(PluginID id) = 0;
  virtual IDFile GetResourceFile() const = 0;
  // Registers every implementation of the plug-in under `id`.
  virtual void RegisterImplementations(PluginID id) = 0;
  virtual ~IPlugIn() = default;
};

// Signature of the exported entry point.
using GetPlugInFn = IPlugIn* (*)();
