#include "standin/plugins/plugin_loader.h"

#include <dlfcn.h>
#include <elf.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <map>

#include "standin/core/object_model.h"
#include "standin/core/resource_ids.h"
#include "standin/core/string_tables.h"
#include "standin/ui/views.h"

namespace standin {

namespace {

constexpr char kResourceSection[] = ".osl_resources";
constexpr size_t kMaxResourceBytes = 16 * 1024 * 1024;
constexpr size_t kMaxLibraryBytes = size_t{1} << 30;

template <class T>
bool ReadAt(const std::string& file, uint64_t offset, T* out) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(out, file.data() + offset, sizeof(T));
  return true;
}

}  // namespace

bool ReadResourceSection(const std::string& path, std::string* data, std::string* error) {
  std::string file;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      *error = path + ": " + std::strerror(errno);
      return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > static_cast<std::streamoff>(kMaxLibraryBytes)) {
      *error = path + ": not a readable plug-in library";
      return false;
    }
    file.resize(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(file.data(), size)) {
      *error = path + ": cannot read the library";
      return false;
    }
  }
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

// Everything a plug-in's resources declare, checked before anything is
// applied.
struct ParsedResources {
  PluginID id = 0;
  struct Declaration {
    std::string hostClass;
    ObjectModel::AddIn addIn;
  };
  std::vector<Declaration> addIns;
  std::vector<std::pair<std::string, std::string>> strings;
  std::vector<std::pair<std::string, std::string>> choices;
  std::vector<ViewSpec> views;
  std::vector<MenuAction> actions;
};

bool ParseBosses(const nlohmann::json& resources, ParsedResources* out, std::string* error) {
  auto it = resources.find("bosses");
  if (it == resources.end() || it->is_null()) return true;
  if (!it->is_array()) {
    *error = "\"bosses\" must be an array";
    return false;
  }
  for (const auto& boss : *it) {
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
      out->addIns.push_back({cls, {iid, static_cast<ImplementationID>(impl)}});
    }
  }
  return true;
}

// The object `member` ("strings": key -> text, "choices": name -> key) of
// `resources` as pairs; `what` names one entry in messages.
bool ParseTextMap(const nlohmann::json& resources, const char* member, const char* what,
                  const char* form, std::vector<std::pair<std::string, std::string>>* out,
                  std::string* error) {
  auto it = resources.find(member);
  if (it == resources.end() || it->is_null()) return true;
  if (!it->is_object()) {
    *error = std::string("\"") + member + "\" must be an object of " + form;
    return false;
  }
  for (auto entry = it->begin(); entry != it->end(); ++entry) {
    if (!entry.value().is_string()) {
      *error = std::string(what) + " " + entry.key() + " must be text";
      return false;
    }
    out->emplace_back(entry.key(), entry.value().get<std::string>());
  }
  return true;
}

bool ParseActions(const nlohmann::json& resources, ParsedResources* out, std::string* error) {
  auto it = resources.find("actions");
  if (it == resources.end() || it->is_null()) return true;
  if (!it->is_array()) {
    *error = "\"actions\" must be an array";
    return false;
  }
  for (const auto& entry : *it) {
    MenuAction action;
    uint32 id = 0;
    auto text = [&entry](const char* member, std::string* value) {
      auto m = entry.find(member);
      if (m == entry.end() || !m->is_string()) return false;
      *value = m->get<std::string>();
      return true;
    };
    if (!entry.is_object() || !entry.contains("id") || !ParseNumericID(entry["id"], &id) ||
        !text("name", &action.name) || !text("boss", &action.bossClass)) {
      *error = "every action needs an \"id\", a \"name\" and a \"boss\"";
      return false;
    }
    action.id = id;
    text("caption", &action.caption);
    auto custom = entry.find("customEnable");
    if (custom != entry.end()) {
      if (!custom->is_boolean()) {
        *error = "action " + action.name + ": \"customEnable\" must be true or false";
        return false;
      }
      action.customEnable = custom->get<bool>();
    }
    out->actions.push_back(std::move(action));
  }
  return true;
}

bool ParseResources(const nlohmann::json& resources, ParsedResources* out, std::string* error) {
  uint32 id = 0;
  auto info = resources.find("plugin");
  if (info == resources.end() || !info->is_object() || !info->contains("id") ||
      !ParseNumericID((*info)["id"], &id) || id == 0 || id > 0x7FFFFFFF) {
    *error = "the resources name no plug-in \"id\"";
    return false;
  }
  out->id = static_cast<PluginID>(id);
  if (!ParseBosses(resources, out, error) ||
      !ParseTextMap(resources, "strings", "string", "key: text", &out->strings, error) ||
      !ParseTextMap(resources, "choices", "choice", "name: key", &out->choices, error) ||
      !ParseActions(resources, out, error)) {
    return false;
  }
  auto views = resources.find("views");
  if (views != resources.end() && !views->is_null() &&
      !ParseViews(out->id, *views, &out->views, error)) {
    return false;
  }
  return true;
}

}  // namespace

PlugInLoader::~PlugInLoader() {
  for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) {
    if (it->handle) dlclose(it->handle);
  }
}

const LoadedPlugIn* PlugInLoader::Load(const std::string& path, const PlugInTargets& targets,
                                       std::string* error) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) {
    *error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  for (const auto& loaded : loaded_) {
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
  // From here on every failure closes the library again.
  auto fail = [&loaded, error](const std::string& why) -> const LoadedPlugIn* {
    *error = why;
    dlclose(loaded.handle);
    return nullptr;
  };
  auto getPlugIn = reinterpret_cast<GetPlugInFn>(dlsym(loaded.handle, "GetPlugIn"));
  if (!getPlugIn) return fail(loaded.path + ": not a plug-in (no GetPlugIn export)");
  loaded.plugin = getPlugIn();
  if (!loaded.plugin) return fail(loaded.path + ": GetPlugIn returned nothing");
  IDFile resourceFile = loaded.plugin->GetResourceFile();
  if (resourceFile.IsEmpty()) return fail(loaded.path + ": the plug-in names no resource file");
  std::string text;
  if (!ReadResourceSection(resourceFile.GetPath(), &text, error)) return fail(*error);
  loaded.resources = nlohmann::json::parse(text, nullptr, false);
  if (loaded.resources.is_discarded() || !loaded.resources.is_object()) {
    return fail(resourceFile.GetPath() + ": the resources are not valid JSON");
  }
  ParsedResources parsed;
  if (!ParseResources(loaded.resources, &parsed, error)) {
    return fail(resourceFile.GetPath() + ": " + *error);
  }
  loaded.id = parsed.id;
  if (Find(loaded.id)) {
    return fail(loaded.path + ": a plug-in with the same identifier is loaded already");
  }
  // Nothing below can fail.
  loaded.plugin->SetPluginID(loaded.id);
  loaded.plugin->RegisterImplementations(loaded.id);
  for (const auto& declaration : parsed.addIns) {
    targets.objects.DeclareAddIn(declaration.hostClass, declaration.addIn, loaded.id);
  }
  for (const auto& entry : parsed.strings) targets.strings.Add(entry.first, entry.second);
  for (const auto& entry : parsed.choices) targets.strings.AddChoice(entry.first, entry.second);
  targets.views.Replace(loaded.id, std::move(parsed.views));
  loaded.actions = std::move(parsed.actions);
  loaded_.push_back(std::move(loaded));
  return &loaded_.back();
}

const LoadedPlugIn* PlugInLoader::Find(PluginID id) const {
  for (const auto& loaded : loaded_) {
    if (loaded.id == id) return &loaded;
  }
  return nullptr;
}

}  // namespace standin
