// Loading plug-ins: dlopen the library, call its one export GetPlugIn, read
// its resources (a JSON document stored in the ELF section ".osl_resources"
// of the file the plug-in names as its resource file), give it its
// identifier, let it register its implementations, then apply its boss
// declarations, string tables and views.
//
// Resource format (one JSON object):
//   "plugin":    {"id": "0x199E00", "name": "..."}
//   "bosses":    [{"class": NAME, "interfaces": [{"iid": IID, "impl": ID}, ...]}, ...]
//                NAME is a host class (the interfaces are added to every boss
//                of that class the host makes) or a class of the plug-in's own.
//                IID is a host interface name ("IActionComponent", ...) or a
//                number; numbers may be written as "0x..." strings.
//   "actions":   [{"id": ID, "name": NAME, "caption": KEY, "boss": CLASS}, ...]
//   "scripting": {"boss": CLASS, "methods": [...], "properties": [...]}
//   "strings":   {KEY: TEXT, ...}
//   "views":     the view resources (see views.h)
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/IPlugIn.h"

namespace standin {

struct LoadedPlugIn {
  std::string path;  // absolute path of the library
  void* handle = nullptr;
  IPlugIn* plugin = nullptr;
  PluginID id = 0;
  nlohmann::json resources;
};

// Loads the plug-in library at `path`. Returns null with *error set (one
// clear line) when the library cannot be loaded, lacks GetPlugIn, or its
// resources are missing or invalid. A library loaded twice is loaded once.
const LoadedPlugIn* LoadPlugIn(const std::string& path, std::string* error);
// The loaded plug-in with identifier `id`, or null.
const LoadedPlugIn* FindPlugIn(PluginID id);
const std::vector<LoadedPlugIn>& LoadedPlugIns();

// Reads the resource section of an ELF file. False with *error set when the
// file is not ELF or has no such section.
bool ReadResourceSection(const std::string& path, std::string* data, std::string* error);

// Parses an identifier written as a number or as a "0x..." / decimal string.
bool ParseNumericID(const nlohmann::json& value, uint32* id);
// A host interface identifier by name ("IActionComponent") or number.
bool ParseInterfaceID(const nlohmann::json& value, PMIID* iid);

}  // namespace standin
