// View resources: the dialogs and panels plug-ins describe, from which the
// headless toolkit builds widget trees.
//
// The format is the host contract in host/README.md (section Views);
// ParseViews enforces its limits and refuses unknown members.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/BaseTypes.h"
#include "host/WidgetInterfaceIDs.h"
#include "standin/core/boss.h"
#include "standin/ui/widgets.h"

namespace standin {

struct ViewSpec {
  enum class Kind { kDialog, kPanel };
  PluginID plugin = kInvalidPlugin;
  RsrcID rsrc = 0;
  Kind kind = Kind::kDialog;
  std::string bossClass;  // empty: the host's class
  std::string name;
  std::string title;  // key
  std::vector<ServiceID> services;
  WidgetSpec root;  // kind panel: the view's id and widgets
};

// Parses the view resources of `plugin`. False with *error (one line
// naming the offending view and widget) when anything is invalid.
bool ParseViews(PluginID plugin, const nlohmann::json& views, std::vector<ViewSpec>* out,
                std::string* error);

// The view resources of the loaded plug-ins.
class ViewRegistry {
 public:
  // Registers the view resources of `plugin`, replacing any it registered
  // before. All or nothing: false with *error (as ParseViews) when anything
  // is invalid, and then nothing changes.
  bool Register(PluginID plugin, const nlohmann::json& views, std::string* error);
  void Replace(PluginID plugin, std::vector<ViewSpec> views);
  // The view `rsrc` of `plugin`, or null.
  const ViewSpec* Find(PluginID plugin, RsrcID rsrc) const;
  // A panel view whose boss class is `bossClass` (with resource `rsrc`
  // unless it is 0), or null.
  const ViewSpec* FindPanelOfBoss(const std::string& bossClass, RsrcID rsrc = 0) const;
  // The panel view whose top widget has identifier `id`, or null.
  const ViewSpec* FindPanelByWidgetID(WidgetID id) const;
  // The first panel view with resource `rsrc` of any plug-in, or null.
  const ViewSpec* FindPanel(RsrcID rsrc) const;
  // The first view of any plug-in with symbolic name `name`, or null.
  const ViewSpec* FindNamed(const std::string& name) const;
  // The panel views shown under `service`, by plug-in and resource.
  std::vector<const ViewSpec*> PanelsOfService(ServiceID service) const;
  void Clear() { views_.clear(); }

 private:
  std::vector<ViewSpec> views_;
};

// Builds the widget tree of `view` on a new boss of its boss class (the
// plug-ins' add-ins first). Dialogs get OK and Cancel. Returns the boss; its
// WidgetNode is the root.
std::unique_ptr<Boss> BuildView(const ViewSpec& view, const WidgetToolkit& toolkit);

}  // namespace standin
