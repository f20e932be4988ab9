// Session panels: built from their views on first use, shown and hidden.
#include "standin/ui/panels.h"

#include <algorithm>

#include "host/IObserver.h"
#include "standin/ui/key_events.h"
#include "standin/ui/views.h"

namespace standin {

// ---- session panels ------------------------------------------------------------

PanelHost::PanelHost(const ViewRegistry& views, const WidgetToolkit& toolkit)
    : views_(views), toolkit_(toolkit) {}

PanelHost::~PanelHost() {
  for (auto& p : panels_) HidePanel(*p);
}

PanelHost::Panel* PanelHost::Find(PluginID plugin, RsrcID rsrc) {
  for (auto& p : panels_) {
    if (p->plugin == plugin && p->rsrc == rsrc) return p.get();
  }
  return nullptr;
}

WidgetNode* PanelHost::Adopt(PluginID plugin, RsrcID rsrc, std::unique_ptr<Boss> boss) {
  WidgetNode* root = boss ? WidgetNode::Of(boss.get()) : nullptr;
  if (!root) return nullptr;
  if (Panel* old = Find(plugin, rsrc)) {
    HidePanel(*old);
    panels_.erase(std::find_if(panels_.begin(), panels_.end(),
                               [old](const auto& p) { return p.get() == old; }));
  }
  auto panel = std::make_unique<Panel>();
  panel->plugin = plugin;
  panel->rsrc = rsrc;
  panel->boss = std::move(boss);
  panel->root = root;
  root->visible = false;
  panels_.push_back(std::move(panel));
  return root;
}

WidgetNode* PanelHost::GetPanel(PluginID plugin, RsrcID rsrc, std::string* error) {
  if (Panel* panel = Find(plugin, rsrc)) return panel->root;
  const ViewSpec* view = views_.Find(plugin, rsrc);
  if (!view || view->kind != ViewSpec::Kind::kPanel) {
    *error = "the plug-in has no panel view " + std::to_string(rsrc);
    return nullptr;
  }
  return Adopt(plugin, rsrc, BuildView(*view, toolkit_));
}

bool PanelHost::Show(PluginID plugin, RsrcID rsrc, std::string* error) {
  if (!GetPanel(plugin, rsrc, error)) return false;
  Panel* panel = Find(plugin, rsrc);
  if (panel->shown) return true;
  panel->shown = true;
  panel->root->visible = true;
  AttachTreeObservers(*panel->root);
  return true;
}

void PanelHost::HidePanel(Panel& panel) {
  if (!panel.shown) return;
  ReleaseKeyFocus(*panel.root);
  panel.shown = false;
  DetachTreeObservers(*panel.root);
  panel.root->visible = false;
}

void PanelHost::Hide(PluginID plugin, RsrcID rsrc) {
  if (Panel* panel = Find(plugin, rsrc)) HidePanel(*panel);
}

bool PanelHost::IsShown(PluginID plugin, RsrcID rsrc) const {
  for (const auto& p : panels_) {
    if (p->plugin == plugin && p->rsrc == rsrc) return p->shown;
  }
  return false;
}

}  // namespace standin

