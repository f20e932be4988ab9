// The plug-in object that the library's one export, GetPlugIn, hands the
// host: it reports the plug-in's identifier and resource file and registers
// the plug-in's implementations.
#pragma once

#include "host/IPlugIn.h"
#include "host/WBaseResourceAccess.h"

// Reads the plug-in's resource-file record.
class WResourceAccess : public WBaseResourceAccess {
 public:
  using WBaseResourceAccess::WBaseResourceAccess;
  ~WResourceAccess() override;
};

class PlugIn : public IPlugIn {
 public:
  bool16 CanLoad() const override;
  bool16 IsValid() const override;
  bool16 CanUnload() const override;
  bool16 IsRequired() const override;
  void Terminate() override;
  // 0 until the host sets it.
  PluginID GetPluginID() const override;
  void SetPluginID(PluginID id) override;
  // The library's own file: the plug-in keeps its resources inside itself.
  IDFile GetResourceFile() const override;
  // Registers every record of the registry under `id` with the session's
  // registration interface, from the front of the list to its end. Results
  // are not checked: a refused registration is simply absent later.
  void RegisterImplementations(PluginID id) override;
  ~PlugIn() override;

 private:
  PluginID id_ = 0;
};

// The resource-file record; its file is the library's path once the library
// is attached to the process.
const WBaseResourceAccess::ResourceFileInfo& OslResourceFileInfo();

// The one exported entry point. Returns the same static object every time;
// the caller does not own it.
extern "C" __attribute__((visibility("default"))) IPlugIn* GetPlugIn();
