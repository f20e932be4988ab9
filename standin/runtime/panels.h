// Panels of the session (such as the field panel) and the notification of
// selection changes to ActiveSelectionObserver.
//
// A session panel is built from its view on first use and lives until the
// host resets its widgets. Showing it calls AutoAttach on every observer in
// it (an ActiveSelectionObserver then handles the current selection at
// once); hiding it calls AutoDetach.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/ISubject.h"
#include "standin/runtime/boss.h"
#include "standin/runtime/widgets.h"

namespace standin {

class PanelHost {
 public:
  static PanelHost& Get();

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
  // Hides and destroys every panel.
  void Reset();

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
  std::vector<std::unique_ptr<Panel>> panels_;
};

// The subject of the active selection: observers attach to it for
// IID_ISELECTIONCHANGED. It follows the session's current selection
// manager, also after the session rebuilt it; an observer attached then gets
// an ISelectionMessage::kActiveSelectionChanged message.
ISubject* SelectionSubject();
// Makes sure the selection subject listens to the session's current
// selection manager. The host calls it after it replaced the selection
// manager (plug-in loading, a session reset); attaching an observer and
// showing a panel or dialog call it too.
void SyncSelectionObservers();

}  // namespace standin
