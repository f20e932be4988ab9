// View resources: the dialogs and panels plug-ins describe, from which the
// headless toolkit builds widget trees.
//
// Format (the "views" member of a plug-in's resources; one JSON object):
//
//   {"views": [VIEW, ...]}
//
//   VIEW    {"rsrc": ID,            resource identifier, unique in the plug-in
//            "kind": "dialog" | "panel",
//            "boss": CLASS,         boss class of the dialog or panel: carries
//                                   its controller, observer, panel creator
//                                   (optional; the host's class otherwise)
//            "id": ID,              widget identifier of the panel (optional)
//            "name": NAME,          symbolic name (optional)
//            "title": KEY,          title (optional)
//            "services": [SERVICE], panels: where the host shows them; the one
//                                   service is "preferences" (a panel of the
//                                   preferences dialog)
//            "widgets": [WIDGET, ...]}
//
//   WIDGET  {"id": ID,              widget identifier (optional for widgets no
//                                   code looks up; unique within the view)
//            "kind": KIND,          "panel", "cluster" (radio buttons),
//                                   "editbox", "text" (static), "dropdown",
//                                   "checkbox", "radio", "button"
//            "name": NAME,          symbolic name scripts may use (optional)
//            "caption": KEY,        label of check boxes, radio buttons,
//                                   buttons and panels (optional)
//            "text": TEXT,          initial text (edit boxes; a KEY for "text")
//            "entries": [KEY, ...], drop-down entries
//            "selected": N,         drop-down: initial position (default 0 when
//                                   there are entries; -1 for none)
//            "state": 0 | 1 | 2,    check box / radio: clear, selected, mixed
//            "boss": CLASS,         widget boss class (for its event handler,
//                                   observer); optional
//            "enabled": BOOL, "visible": BOOL (default true),
//            "password": BOOL,      edit box whose text listings hide
//            "widgets": [WIDGET]}   children of "panel" and "cluster"
//
// ID is a number or a "0x..." / decimal string. KEY is a string key (such as
// "0x199e00kOslTypeKeyBox"), translated when the widget is built. Dialogs get
// the host's OK and Cancel buttons (kOKButtonWidgetID,
// kCancelButtonWidgetID) after their own widgets; a view may not use those
// identifiers itself. Limits: 1024 views, 4096 widgets per view, nesting 32
// deep, 1024 entries per list, texts of 4096 bytes. Unknown members are
// errors, so that a misspelt member is reported rather than ignored.
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
  // The first panel view with resource `rsrc` of any plug-in, or null.
  const ViewSpec* FindPanel(RsrcID rsrc) const;
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
