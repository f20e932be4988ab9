#include "standin/runtime/plugin_loader.h"

#include <dlfcn.h>
#include <elf.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <map>

#include "host/HostInterfaceIDs.h"
#include "standin/runtime/file_system.h"
#include "standin/runtime/session.h"
#include "standin/runtime/string_tables.h"
#include "standin/runtime/views.h"

namespace standin {

namespace {

constexpr char kResourceSection[] = ".osl_resources";
constexpr size_t kMaxResourceBytes = 16 * 1024 * 1024;

std::vector<LoadedPlugIn>& Loaded() {
  static auto* loaded = new std::vector<LoadedPlugIn>();
  return *loaded;
}

const std::map<std::string, PMIID>& InterfaceNames() {
  static const std::map<std::string, PMIID> names = {
      {"IActionComponent", IID_IACTIONCOMPONENT},
      {"IScriptProvider", IID_ISCRIPTPROVIDER},
      {"IDialogController", IID_IDIALOGCONTROLLER},
      {"IObserver", IID_IOBSERVER},
      {"IPanelCreator", IID_IPANELCREATOR},
      {"IEventHandler", IID_IEVENTHANDLER},
      {"IActiveSelectionObserver", IID_IACTIVESELECTIONOBSERVER},
      {"ILabel", IID_ILABEL},
      {"ILabelSuite", IID_ILABELSUITE},
  };
  return names;
}

template <class T>
bool ReadAt(const std::string& file, uint64_t offset, T* out) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(out, file.data() + offset, sizeof(T));
  return true;
}

}  // namespace

bool ParseNumericID(const nlohmann::json& value, uint32* id) {
  if (value.is_number_unsigned()) {
    const auto v = value.get<uint64_t>();
    if (v > 0xFFFFFFFFu) return false;
    *id = static_cast<uint32>(v);
    return true;
  }
  if (!value.is_string()) return false;
  const std::string text = value.get<std::string>();
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || v > 0xFFFFFFFFull) return false;
  *id = static_cast<uint32>(v);
  return true;
}

bool ParseInterfaceID(const nlohmann::json& value, PMIID* iid) {
  if (value.is_string()) {
    auto it = InterfaceNames().find(value.get<std::string>());
    if (it != InterfaceNames().end()) {
      *iid = it->second;
      return true;
    }
  }
  return ParseNumericID(value, iid);
}

bool ReadResourceSection(const std::string& path, std::string* data, std::string* error) {
  std::string file;
  if (!FileSystem::Get().ReadFile(path, &file, error)) return false;
  Elf64_Ehdr eh;
  if (!ReadAt(file, 0, &eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 ||
      eh.e_ident[EI_CLASS] != ELFCLASS64) {
    *error = path + ": not a 64-bit ELF library";
    return false;
  }
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shstrndx >= eh.e_shnum) {
    *error = path + ": the library has no readable section table";
    return false;
  }
  Elf64_Shdr names;
  if (!ReadAt(file, eh.e_shoff + uint64_t{eh.e_shstrndx} * sizeof(Elf64_Shdr), &names)) {
    *error = path + ": truncated section table";
    return false;
  }
  for (uint16_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!ReadAt(file, eh.e_shoff + uint64_t{i} * sizeof(Elf64_Shdr), &sh)) break;
    const uint64_t nameAt = names.sh_offset + sh.sh_name;
    if (nameAt >= file.size()) continue;
    const size_t room = file.size() - nameAt;
    if (strnlen(file.data() + nameAt, room) == room) continue;
    if (std::strcmp(file.data() + nameAt, kResourceSection) != 0) continue;
    if (sh.sh_offset > file.size() || sh.sh_size > file.size() - sh.sh_offset ||
        sh.sh_size > kMaxResourceBytes) {
      *error = path + ": the resource section is damaged";
      return false;
    }
    data->assign(file.data() + sh.sh_offset, sh.sh_size);
    // The section ends with a NUL byte.
    while (!data->empty() && data->back() == '\0') data->pop_back();
    return true;
  }
  *error = path + ": the library carries no resources (section " + kResourceSection + ")";
  return false;
}

namespace {

bool ApplyBosses(const nlohmann::json& bosses, std::string* error) {
  if (bosses.is_null()) return true;
  if (!bosses.is_array()) {
    *error = "\"bosses\" must be an array";
    return false;
  }
  Session& session = Session::Get();
  for (const auto& boss : bosses) {
    if (!boss.is_object() || !boss.contains("class") || !boss["class"].is_string() ||
        !boss.contains("interfaces") || !boss["interfaces"].is_array()) {
      *error = "every boss needs a \"class\" and an \"interfaces\" array";
      return false;
    }
    const std::string cls = boss["class"].get<std::string>();
    for (const auto& entry : boss["interfaces"]) {
      PMIID iid = 0;
      uint32 impl = 0;
      if (!entry.is_object() || !entry.contains("iid") || !entry.contains("impl") ||
          !ParseInterfaceID(entry["iid"], &iid) || !ParseNumericID(entry["impl"], &impl)) {
        *error = "boss " + cls + ": an interface entry needs a valid \"iid\" and \"impl\"";
        return false;
      }
      session.DeclareAddIn(cls, {iid, static_cast<ImplementationID>(impl)});
    }
  }
  return true;
}

bool ApplyStrings(const nlohmann::json& strings, std::string* error) {
  if (strings.is_null()) return true;
  if (!strings.is_object()) {
    *error = "\"strings\" must be an object of key: text";
    return false;
  }
  for (auto it = strings.begin(); it != strings.end(); ++it) {
    if (!it.value().is_string()) {
      *error = "string " + it.key() + " must be text";
      return false;
    }
    StringTables::Get().Add(it.key(), it.value().get<std::string>());
  }
  return true;
}

}  // namespace

const LoadedPlugIn* LoadPlugIn(const std::string& path, std::string* error) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) {
    *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  for (const auto& loaded : Loaded()) {
    if (loaded.path == resolved) return &loaded;
  }
  LoadedPlugIn loaded;
  loaded.path = resolved;
  loaded.handle = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
  if (!loaded.handle) {
    const char* why = dlerror();
    *error = std::string("cannot load plug-in: ") + (why ? why : resolved);
    return nullptr;
  }
  auto getPlugIn = reinterpret_cast<GetPlugInFn>(dlsym(loaded.handle, "GetPlugIn"));
  if (!getPlugIn) {
    *error = loaded.path + ": not a plug-in (no GetPlugIn export)";
    return nullptr;
  }
  loaded.plugin = getPlugIn();
  if (!loaded.plugin) {
    *error = loaded.path + ": GetPlugIn returned nothing";
    return nullptr;
  }
  IDFile resourceFile = loaded.plugin->GetResourceFile();
  std::string text;
  if (resourceFile.IsEmpty()) {
    *error = loaded.path + ": the plug-in names no resource file";
    return nullptr;
  }
  if (!ReadResourceSection(resourceFile.GetPath(), &text, error)) return nullptr;
  loaded.resources = nlohmann::json::parse(text, nullptr, false);
  if (loaded.resources.is_discarded() || !loaded.resources.is_object()) {
    *error = resourceFile.GetPath() + ": the resources are not valid JSON";
    return nullptr;
  }
  uint32 id = 0;
  const auto& info = loaded.resources["plugin"];
  if (!info.is_object() || !info.contains("id") || !ParseNumericID(info["id"], &id) || id == 0) {
    *error = resourceFile.GetPath() + ": the resources name no plug-in \"id\"";
    return nullptr;
  }
  loaded.id = static_cast<PluginID>(id);
  if (FindPlugIn(loaded.id)) {
    *error = loaded.path + ": a plug-in with the same identifier is loaded already";
    return nullptr;
  }
  Session& session = Session::Get();
  loaded.plugin->SetPluginID(loaded.id);
  session.SetPlugInPath(loaded.id, loaded.path);
  loaded.plugin->RegisterImplementations(loaded.id);
  if (!ApplyBosses(loaded.resources["bosses"], error) ||
      !ApplyStrings(loaded.resources["strings"], error) ||
      (!loaded.resources["views"].is_null() &&
       !RegisterViews(loaded.id, loaded.resources["views"], error))) {
    *error = resourceFile.GetPath() + ": " + *error;
    return nullptr;
  }
  Loaded().push_back(std::move(loaded));
  return &Loaded().back();
}

const LoadedPlugIn* FindPlugIn(PluginID id) {
  for (const auto& loaded : Loaded()) {
    if (loaded.id == id) return &loaded;
  }
  return nullptr;
}

const std::vector<LoadedPlugIn>& LoadedPlugIns() { return Loaded(); }

}  // namespace standin
