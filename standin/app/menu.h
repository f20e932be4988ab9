// The host's menu: the actions loaded plug-ins declare, run as a person
// picks them. Before it runs an action the menu asks the action's component
// for the states of the items it enables itself (as a host does before it
// shows a menu) and refuses an item that is disabled.
#pragma once

#include <string>
#include <vector>

#include "host/BaseTypes.h"
#include "standin/plugins/plugin_loader.h"

namespace standin {

class DialogHost;
class PlugInLoader;
class Session;

class Menu {
 public:
  // All arguments must outlive the menu.
  Menu(Session& session, const PlugInLoader& plugins, DialogHost& dialogs);

  // The action with identifier `id`, or with the name or decimal/"0x..."
  // identifier `ref`; null when no loaded plug-in declares it.
  const MenuAction* Find(ActionID id) const;
  const MenuAction* Find(const std::string& ref) const;
  // Every declared action, plug-in by plug-in in load order.
  std::vector<const MenuAction*> Actions() const;

  // The state the action's component gives the item now: true when it is
  // enabled. Items without custom enabling are always enabled; a custom
  // item starts disabled and is enabled only by its component.
  bool IsEnabled(const MenuAction& action) const;

  enum class Outcome { kRan, kUnknown, kDisabled, kNoComponent };
  // Picks the item: checks its state, runs it through the component's
  // DoAction with the session's active context, then lets the modal dialogs
  // it left open run (as the host's command loop would). *error says why
  // when the outcome is not kRan.
  Outcome Run(ActionID id, std::string* error);
  // Run of the action Find(ref) finds; kUnknown when there is none.
  Outcome Run(const std::string& ref, std::string* error);

 private:
  Session& session_;
  const PlugInLoader& plugins_;
  DialogHost& dialogs_;
};

}  // namespace standin
