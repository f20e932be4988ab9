// Parsing, checking and registering view resources; building widget trees
// from them.
#include "standin/ui/views.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <set>

#include "standin/core/object_model.h"
#include "standin/core/resource_ids.h"

namespace standin {

namespace {

constexpr size_t kMaxViews = 1024;
constexpr size_t kMaxWidgetsPerView = 4096;
constexpr int kMaxNesting = 32;
constexpr size_t kMaxEntries = 1024;
constexpr size_t kMaxText = 4096;

struct ViewContext {
  std::string where;  // "views[2] (rsrc 250)"
  size_t widgets = 0;
  std::set<WidgetID> ids;
};

bool Fail(std::string* error, const std::string& where, const std::string& what) {
  *error = where + ": " + what;
  return false;
}

bool CheckMembers(const nlohmann::json& j, std::initializer_list<const char*> allowed,
                  const std::string& where, std::string* error) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    if (std::none_of(allowed.begin(), allowed.end(), [&key](const char* a) { return key == a; })) {
      return Fail(error, where, "unknown member \"" + key + "\"");
    }
  }
  return true;
}

bool ReadString(const nlohmann::json& j, const char* member, const std::string& where,
                std::string* out, std::string* error) {
  auto it = j.find(member);
  if (it == j.end()) return true;
  if (!it->is_string())
    return Fail(error, where, std::string("\"") + member + "\" is not a string");
  const auto& s = it->get_ref<const std::string&>();
  if (s.size() > kMaxText) {
    return Fail(
        error, where,
        std::string("\"") + member + "\" is longer than " + std::to_string(kMaxText) + " bytes");
  }
  *out = s;
  return true;
}

bool ReadBool(const nlohmann::json& j, const char* member, const std::string& where, bool* out,
              std::string* error) {
  auto it = j.find(member);
  if (it == j.end()) return true;
  if (!it->is_boolean())
    return Fail(error, where, std::string("\"") + member + "\" is not true or false");
  *out = it->get<bool>();
  return true;
}

bool ReadInt(const nlohmann::json& j, const char* member, const std::string& where, int64_t lo,
             int64_t hi, int64_t* out, std::string* error) {
  auto it = j.find(member);
  if (it == j.end()) return true;
  if (!it->is_number_integer())
    return Fail(error, where, std::string("\"") + member + "\" is not an integer");
  const int64_t v = it->is_number_unsigned()
                        ? static_cast<int64_t>(std::min<uint64_t>(it->get<uint64_t>(),
                                                                  static_cast<uint64_t>(hi) + 1))
                        : it->get<int64_t>();
  if (v < lo || v > hi) {
    return Fail(error, where,
                std::string("\"") + member + "\" must lie between " + std::to_string(lo) + " and " +
                    std::to_string(hi));
  }
  *out = v;
  return true;
}

bool ReadId(const nlohmann::json& j, const char* member, const std::string& where, uint32* out,
            std::string* error) {
  auto it = j.find(member);
  if (it == j.end()) return true;
  uint32 v = 0;
  if (!ParseNumericID(*it, &v) || v == 0) {
    return Fail(error, where, std::string("\"") + member + "\" is not a non-zero identifier");
  }
  *out = v;
  return true;
}

bool ParseWidget(const nlohmann::json& j, const std::string& where, int depth, ViewContext* ctx,
                 WidgetSpec* out, std::string* error) {
  if (!j.is_object()) return Fail(error, where, "a widget must be an object");
  if (++ctx->widgets > kMaxWidgetsPerView) {
    return Fail(error, ctx->where, "more than " + std::to_string(kMaxWidgetsPerView) + " widgets");
  }
  if (!CheckMembers(j,
                    {"id", "kind", "name", "caption", "text", "entries", "selected", "state",
                     "boss", "enabled", "visible", "password", "widgets"},
                    where, error)) {
    return false;
  }
  std::string kind;
  if (!j.contains("kind")) return Fail(error, where, "missing \"kind\"");
  if (!ReadString(j, "kind", where, &kind, error)) return false;
  if (!ParseWidgetKind(kind, &out->kind) || out->kind == WidgetKind::kPanelList) {
    return Fail(error, where, "unknown kind \"" + kind + "\"");
  }
  const WidgetKind k = out->kind;
  if (!ReadId(j, "id", where, &out->id, error)) return false;
  if (out->id != kInvalidWidgetID) {
    if (out->id == kOKButtonWidgetID || out->id == kCancelButtonWidgetID ||
        out->id == kPreferencesPanelListWidgetID) {
      return Fail(error, where,
                  "identifier " + HexID(out->id, /*lowerCase=*/true) + " belongs to the host");
    }
    if (!ctx->ids.insert(out->id).second) {
      return Fail(
          error, where,
          "identifier " + HexID(out->id, /*lowerCase=*/true) + " is used twice in the view");
    }
  }
  if (!ReadString(j, "name", where, &out->name, error) ||
      !ReadString(j, "caption", where, &out->caption, error) ||
      !ReadString(j, "boss", where, &out->bossClass, error) ||
      !ReadBool(j, "enabled", where, &out->enabled, error) ||
      !ReadBool(j, "visible", where, &out->visible, error)) {
    return false;
  }
  const auto only = [&](const char* member, bool allowed) {
    if (allowed || !j.contains(member)) return true;
    return Fail(error, where, std::string("\"") + member + "\" does not apply to kind " + kind);
  };
  if (!only("text", k == WidgetKind::kEditBox || k == WidgetKind::kStaticText) ||
      !only("password", k == WidgetKind::kEditBox) ||
      !only("entries", k == WidgetKind::kDropDown) ||
      !only("selected", k == WidgetKind::kDropDown) ||
      !only("state", k == WidgetKind::kCheckBox || k == WidgetKind::kRadio) ||
      !only("widgets", IsContainerKind(k))) {
    return false;
  }
  if (!ReadString(j, "text", where, &out->text, error) ||
      !ReadBool(j, "password", where, &out->password, error)) {
    return false;
  }
  if (auto it = j.find("entries"); it != j.end()) {
    if (!it->is_array()) return Fail(error, where, "\"entries\" is not a list");
    if (it->size() > kMaxEntries) {
      return Fail(error, where, "more than " + std::to_string(kMaxEntries) + " entries");
    }
    for (const auto& e : *it) {
      if (!e.is_string() || e.get_ref<const std::string&>().size() > kMaxText) {
        return Fail(
            error, where,
            "every entry must be a string of at most " + std::to_string(kMaxText) + " bytes");
      }
      out->entries.push_back(e.get<std::string>());
    }
  }
  if (k == WidgetKind::kDropDown) {
    int64_t selected = out->entries.empty() ? -1 : 0;
    const int64_t last = static_cast<int64_t>(out->entries.size()) - 1;
    if (!ReadInt(j, "selected", where, -1, last, &selected, error)) return false;
    out->selected = static_cast<int32>(selected);
  }
  int64_t state = 0;
  if (!ReadInt(j, "state", where, 0, 2, &state, error)) return false;
  out->state = static_cast<ITriStateControlData::TriState>(state);
  if (auto it = j.find("widgets"); it != j.end()) {
    if (!it->is_array()) return Fail(error, where, "\"widgets\" is not a list");
    if (depth + 1 > kMaxNesting) {
      return Fail(error, where, "widgets nested deeper than " + std::to_string(kMaxNesting));
    }
    for (size_t i = 0; i < it->size(); ++i) {
      out->children.emplace_back();
      if (!ParseWidget((*it)[i], where + ".widgets[" + std::to_string(i) + "]", depth + 1, ctx,
                       &out->children.back(), error)) {
        return false;
      }
    }
  }
  return true;
}

bool ParseView(PluginID plugin, const nlohmann::json& j, size_t index, ViewSpec* out,
               std::string* error) {
  ViewContext ctx;
  ctx.where = "views[" + std::to_string(index) + "]";
  if (!j.is_object()) return Fail(error, ctx.where, "a view must be an object");
  if (!CheckMembers(j, {"rsrc", "kind", "boss", "id", "name", "title", "services", "widgets"},
                    ctx.where, error)) {
    return false;
  }
  out->plugin = plugin;
  uint32 rsrc = 0;
  if (!j.contains("rsrc")) return Fail(error, ctx.where, "missing \"rsrc\"");
  if (!ReadId(j, "rsrc", ctx.where, &rsrc, error)) return false;
  if (rsrc > static_cast<uint32>(std::numeric_limits<int32>::max())) {
    return Fail(error, ctx.where, "\"rsrc\" is out of range");
  }
  out->rsrc = static_cast<RsrcID>(rsrc);
  ctx.where += " (rsrc " + std::to_string(out->rsrc) + ")";

  std::string kind;
  if (!j.contains("kind")) return Fail(error, ctx.where, "missing \"kind\"");
  if (!ReadString(j, "kind", ctx.where, &kind, error)) return false;
  if (kind == "dialog") {
    out->kind = ViewSpec::Kind::kDialog;
  } else if (kind == "panel") {
    out->kind = ViewSpec::Kind::kPanel;
  } else {
    return Fail(error, ctx.where, "\"kind\" must be \"dialog\" or \"panel\"");
  }
  if (!ReadString(j, "boss", ctx.where, &out->bossClass, error) ||
      !ReadString(j, "name", ctx.where, &out->name, error) ||
      !ReadString(j, "title", ctx.where, &out->title, error) ||
      !ReadId(j, "id", ctx.where, &out->root.id, error)) {
    return false;
  }
  if (out->root.id != kInvalidWidgetID) ctx.ids.insert(out->root.id);
  if (auto it = j.find("services"); it != j.end()) {
    if (out->kind != ViewSpec::Kind::kPanel) {
      return Fail(error, ctx.where, "only panels have \"services\"");
    }
    if (!it->is_array()) return Fail(error, ctx.where, "\"services\" is not a list");
    for (const auto& s : *it) {
      if (s != "preferences") {
        return Fail(error, ctx.where, "unknown service " + s.dump() + " (known: \"preferences\")");
      }
      if (std::find(out->services.begin(), out->services.end(), kPreferencesPanelService) ==
          out->services.end()) {
        out->services.push_back(kPreferencesPanelService);
      }
    }
  }
  out->root.kind = WidgetKind::kPanel;
  out->root.name = out->name;
  out->root.caption = out->title;
  auto widgets = j.find("widgets");
  if (widgets == j.end()) return true;
  if (!widgets->is_array()) return Fail(error, ctx.where, "\"widgets\" is not a list");
  for (size_t i = 0; i < widgets->size(); ++i) {
    out->root.children.emplace_back();
    if (!ParseWidget((*widgets)[i], ctx.where + " widgets[" + std::to_string(i) + "]", 1, &ctx,
                     &out->root.children.back(), error)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseViews(PluginID plugin, const nlohmann::json& views, std::vector<ViewSpec>* out,
                std::string* error) {
  if (!views.is_object()) return Fail(error, "views", "must be an object with a \"views\" list");
  if (!CheckMembers(views, {"views"}, "views", error)) return false;
  auto list = views.find("views");
  if (list == views.end() || !list->is_array()) {
    return Fail(error, "views", "must be an object with a \"views\" list");
  }
  if (list->size() > kMaxViews) {
    return Fail(error, "views", "more than " + std::to_string(kMaxViews) + " views");
  }
  std::vector<ViewSpec> parsed;
  std::set<RsrcID> seen;
  for (size_t i = 0; i < list->size(); ++i) {
    ViewSpec view;
    if (!ParseView(plugin, (*list)[i], i, &view, error)) return false;
    if (!seen.insert(view.rsrc).second) {
      return Fail(error, "views[" + std::to_string(i) + "]",
                  "resource " + std::to_string(view.rsrc) + " is defined twice");
    }
    parsed.push_back(std::move(view));
  }
  *out = std::move(parsed);
  return true;
}

bool ViewRegistry::Register(PluginID plugin, const nlohmann::json& views, std::string* error) {
  std::vector<ViewSpec> parsed;
  if (!ParseViews(plugin, views, &parsed, error)) return false;
  Replace(plugin, std::move(parsed));
  return true;
}

void ViewRegistry::Replace(PluginID plugin, std::vector<ViewSpec> views) {
  views_.erase(std::remove_if(views_.begin(), views_.end(),
                              [plugin](const ViewSpec& v) { return v.plugin == plugin; }),
               views_.end());
  for (auto& v : views) views_.push_back(std::move(v));
}

const ViewSpec* ViewRegistry::Find(PluginID plugin, RsrcID rsrc) const {
  for (const auto& v : views_) {
    if (v.plugin == plugin && v.rsrc == rsrc) return &v;
  }
  return nullptr;
}

const ViewSpec* ViewRegistry::FindPanelOfBoss(const std::string& bossClass, RsrcID rsrc) const {
  if (bossClass.empty()) return nullptr;
  for (const auto& v : views_) {
    if (v.kind == ViewSpec::Kind::kPanel && v.bossClass == bossClass &&
        (rsrc == 0 || v.rsrc == rsrc)) {
      return &v;
    }
  }
  return nullptr;
}

const ViewSpec* ViewRegistry::FindPanelByWidgetID(WidgetID id) const {
  for (const auto& v : views_) {
    if (v.kind == ViewSpec::Kind::kPanel && v.root.id == id && id != kInvalidWidgetID) return &v;
  }
  return nullptr;
}

const ViewSpec* ViewRegistry::FindPanel(RsrcID rsrc) const {
  for (const auto& v : views_) {
    if (v.kind == ViewSpec::Kind::kPanel && v.rsrc == rsrc) return &v;
  }
  return nullptr;
}

const ViewSpec* ViewRegistry::FindNamed(const std::string& name) const {
  for (const auto& v : views_) {
    if (!name.empty() && v.name == name) return &v;
  }
  return nullptr;
}

std::vector<const ViewSpec*> ViewRegistry::PanelsOfService(ServiceID service) const {
  std::vector<const ViewSpec*> panels;
  for (const auto& v : views_) {
    if (v.kind == ViewSpec::Kind::kPanel &&
        std::find(v.services.begin(), v.services.end(), service) != v.services.end()) {
      panels.push_back(&v);
    }
  }
  std::stable_sort(panels.begin(), panels.end(), [](const ViewSpec* a, const ViewSpec* b) {
    return a->plugin != b->plugin ? a->plugin < b->plugin : a->rsrc < b->rsrc;
  });
  return panels;
}

std::unique_ptr<Boss> BuildView(const ViewSpec& view, const WidgetToolkit& toolkit) {
  const bool dialog = view.kind == ViewSpec::Kind::kDialog;
  std::string bossClass = view.bossClass;
  if (bossClass.empty()) bossClass = dialog ? "kDialogBoss" : "kPanelBoss";
  std::unique_ptr<Boss> boss = toolkit.objects.MakeBoss(bossClass);
  WidgetSpec root = view.root;
  if (dialog) {
    WidgetSpec ok;
    ok.kind = WidgetKind::kButton;
    ok.id = kOKButtonWidgetID;
    ok.name = "ok";
    ok.caption = "OK";
    WidgetSpec cancel = ok;
    cancel.id = kCancelButtonWidgetID;
    cancel.name = "cancel";
    cancel.caption = "Cancel";
    root.children.push_back(ok);
    root.children.push_back(cancel);
  }
  MakeWidget(*boss, root, nullptr, toolkit);
  return boss;
}

}  // namespace standin
