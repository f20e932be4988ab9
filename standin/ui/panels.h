// Panels of the session (such as the field panel). A panel is built from
// its view on first use and lives as long as the panel host. Showing it
// calls AutoAttach on every observer in it (an ActiveSelectionObserver then
// handles the current selection at once); hiding it calls AutoDetach.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standin/core/boss.h"
#include "standin/ui/widgets.h"

namespace standin {

class ViewRegistry;

class PanelHost {
 public:
  // `views` and `toolkit` must outlive the panel host.
  PanelHost(const ViewRegistry& views, const WidgetToolkit& toolkit);
  // Hides every shown panel, then destroys all.
  ~PanelHost();
  PanelHost(const PanelHost&) = delete;
  PanelHost& operator=(const PanelHost&) = delete;

  // The panel made from view `rsrc` of `plugin`, built (hidden) on first
  // use. Null with *error when the plug-in has no such panel view.
  WidgetNode* GetPanel(PluginID plugin, RsrcID rsrc, std::string* error);
  // Shows the panel (building it when needed). Showing a shown panel does
  // nothing. False with *error as GetPanel.
  bool Show(PluginID plugin, RsrcID rsrc, std::string* error);
  // Hides the panel; nothing happens when it is not shown.
  void Hide(PluginID plugin, RsrcID rsrc);
  bool IsShown(PluginID plugin, RsrcID rsrc) const;
  // Takes over a panel a panel creator built for view `rsrc` of `plugin`
  // (replacing any panel of that view) and returns its root.
  WidgetNode* Adopt(PluginID plugin, RsrcID rsrc, std::unique_ptr<Boss> panel);
  // The panel whose top widget is `panelWidgetID`, built (hidden) when its
  // view is registered but the panel does not exist yet; null when no panel
  // view has that widget identifier.
  WidgetNode* FindByWidgetID(WidgetID panelWidgetID);

  // Gives the session boss the host's IPanelMgr (on this panel host).
  void InstallServices(Boss& session);

 private:
  struct Panel {
    PluginID plugin;
    RsrcID rsrc;
    std::unique_ptr<Boss> boss;
    WidgetNode* root;
    bool shown = false;
  };
  Panel* Find(PluginID plugin, RsrcID rsrc);
  void HidePanel(Panel& panel);

  const ViewRegistry& views_;
  const WidgetToolkit& toolkit_;
  std::vector<std::unique_ptr<Panel>> panels_;
};

}  // namespace standin
