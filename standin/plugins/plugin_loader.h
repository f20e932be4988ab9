// Loading plug-ins: dlopen the library, call its one export GetPlugIn, read
// its resources (a JSON document stored in the ELF section ".osl_resources"
// of the file the plug-in names as its resource file; the format is the
// host contract written down in host/README.md), give it its identifier,
// let it register its implementations, then apply its boss declarations,
// string tables and views.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/IPlugIn.h"

namespace standin {

class ObjectModel;
class StringTables;
class ViewRegistry;

// A menu action a plug-in declares.
struct MenuAction {
  ActionID id = 0;
  std::string name;          // for the command line ("publish")
  std::string caption;       // a string key or text
  std::string bossClass;     // the plug-in boss whose IActionComponent runs it
  bool customEnable = false;  // its state comes from the action component
};

struct LoadedPlugIn {
  std::string path;  // absolute path of the library
  void* handle = nullptr;
  IPlugIn* plugin = nullptr;
  PluginID id = 0;
  nlohmann::json resources;
  std::vector<MenuAction> actions;
};

// What a loaded plug-in adds to: the host's object model, string tables
// and view resources.
struct PlugInTargets {
  ObjectModel& objects;
  StringTables& strings;
  ViewRegistry& views;
};

class PlugInLoader {
 public:
  PlugInLoader() = default;
  // Closes every library it loaded, last loaded first. Every object made by
  // a plug-in must be gone by then.
  ~PlugInLoader();
  PlugInLoader(const PlugInLoader&) = delete;
  PlugInLoader& operator=(const PlugInLoader&) = delete;

  // Loads the plug-in library at `path` into `targets`. All or nothing:
  // every resource is read and checked before the plug-in registers
  // anything, so on failure (null, with *error set to one clear line) no
  // registration, add-in, string, view or path is left behind and the
  // library is closed again. A library loaded already is not loaded twice.
  // The registration runs through the host's session (IRegistration on
  // GetExecutionContextSession), so the host of `targets` must be current.
  const LoadedPlugIn* Load(const std::string& path, const PlugInTargets& targets,
                           std::string* error);
  // The loaded plug-in with identifier `id`, or null.
  const LoadedPlugIn* Find(PluginID id) const;
  const std::vector<LoadedPlugIn>& Loaded() const { return loaded_; }

 private:
  std::vector<LoadedPlugIn> loaded_;
};

// Reads the resource section of an ELF file (at most 16 MiB). False with
// *error set when the file is not ELF or has no such section.
bool ReadResourceSection(const std::string& path, std::string* data, std::string* error);

}  // namespace standin
