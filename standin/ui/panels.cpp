// Session panels: built from their views on first use, shown and hidden.
#include "standin/ui/panels.h"

#include <algorithm>

#include "host/CPMUnknown.h"
#include "host/IObserver.h"
#include "host/IPanelMgr.h"
#include "standin/ui/key_events.h"
#include "standin/ui/views.h"

namespace standin {

// ---- session panels ------------------------------------------------------------

PanelHost::PanelHost(const ViewRegistry& views, const WidgetToolkit& toolkit)
    : views_(views), toolkit_(toolkit) {}

PanelHost::~PanelHost() {
  for (auto& p : panels_) HidePanel(*p);
}

namespace {

class PanelMgrImpl : public CPMUnknown<IPanelMgr> {
 public:
  PanelMgrImpl(IPMUnknown* boss, PanelHost* panels) : CPMUnknown(boss), panels_(panels) {}
  IControlView* GetPanelFromWidgetID(WidgetID panelWidgetID) const override {
    WidgetNode* root = panels_->FindByWidgetID(panelWidgetID);
    if (!root) return nullptr;
    IPMUnknown* view = root->GetBoss().QueryInterface(IID_ICONTROLVIEW);
    if (view) view->Release();
    return static_cast<IControlView*>(view);
  }

 private:
  PanelHost* panels_;
};

}  // namespace

void PanelHost::InstallServices(Boss& session) {
  if (!session.Has(IID_IPANELMGR)) session.AddNew<PanelMgrImpl>(IID_IPANELMGR, this);
}

WidgetNode* PanelHost::FindByWidgetID(WidgetID panelWidgetID) {
  if (panelWidgetID == kInvalidWidgetID) return nullptr;
  for (auto& p : panels_) {
    if (p->root->Id() == panelWidgetID) return p->root;
  }
  const ViewSpec* view = views_.FindPanelByWidgetID(panelWidgetID);
  if (!view) return nullptr;
  std::string ignored;
  return GetPanel(view->plugin, view->rsrc, &ignored);
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

