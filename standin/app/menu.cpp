#include "standin/app/menu.h"

#include <cstdio>
#include <cstdlib>

#include "host/CActionComponent.h"
#include "host/InterfacePtr.h"
#include "standin/app/session.h"
#include "standin/core/resource_ids.h"
#include "standin/ui/dialogs.h"

namespace standin {

namespace {

// The host's list of the items of one component, with their states.
class StateList : public IActionStateList {
 public:
  void Add(ActionID id, int16 state) { entries_.push_back({id, state}); }
  int32 Length() const override { return static_cast<int32>(entries_.size()); }
  ActionID GetNthAction(int32 n) const override {
    return InRange(n) ? entries_[static_cast<size_t>(n)].id : 0;
  }
  int16 GetNthActionState(int32 n) const override {
    return InRange(n) ? entries_[static_cast<size_t>(n)].state : kDisabled_Unselected;
  }
  void SetNthActionState(int32 n, int16 state) override {
    if (InRange(n)) entries_[static_cast<size_t>(n)].state = state;
  }
  int16 StateOf(ActionID id) const {
    for (const auto& e : entries_) {
      if (e.id == id) return e.state;
    }
    return kDisabled_Unselected;
  }

 private:
  bool InRange(int32 n) const { return n >= 0 && static_cast<size_t>(n) < entries_.size(); }
  struct Entry {
    ActionID id;
    int16 state;
  };
  std::vector<Entry> entries_;
};

}  // namespace

Menu::Menu(Session& session, const PlugInLoader& plugins, DialogHost& dialogs)
    : session_(session), plugins_(plugins), dialogs_(dialogs) {}

std::vector<const MenuAction*> Menu::Actions() const {
  std::vector<const MenuAction*> actions;
  for (const auto& plugin : plugins_.Loaded()) {
    for (const auto& action : plugin.actions) actions.push_back(&action);
  }
  return actions;
}

const MenuAction* Menu::Find(ActionID id) const {
  for (const MenuAction* action : Actions()) {
    if (action->id == id) return action;
  }
  return nullptr;
}

const MenuAction* Menu::Find(const std::string& ref) const {
  for (const MenuAction* action : Actions()) {
    if (action->name == ref) return action;
  }
  uint32 id = 0;
  return ParseNumericID(nlohmann::json(ref), &id) ? Find(static_cast<ActionID>(id)) : nullptr;
}

bool Menu::IsEnabled(const MenuAction& action) const {
  if (!action.customEnable) return true;
  InterfacePtr<IActionComponent> component(&session_.PlugInBoss(action.bossClass),
                                           IID_IACTIONCOMPONENT);
  if (!component) return false;
  StateList list;
  for (const MenuAction* item : Actions()) {
    if (item->bossClass == action.bossClass) {
      list.Add(item->id, item->customEnable ? kDisabled_Unselected : kEnabledAction);
    }
  }
  component->UpdateActionStates(dialogs_.SessionContext(), &list, PMPoint(), nullptr);
  return list.StateOf(action.id) == kEnabledAction;
}

Menu::Outcome Menu::Run(ActionID id, std::string* error) {
  const MenuAction* action = Find(id);
  if (!action) {
    *error = "no plug-in offers the menu action " + HexID(id);
    return Outcome::kUnknown;
  }
  InterfacePtr<IActionComponent> component(&session_.PlugInBoss(action->bossClass),
                                           IID_IACTIONCOMPONENT);
  if (!component) {
    *error = "the menu action " + HexID(id) + " has no action component";
    return Outcome::kNoComponent;
  }
  if (!IsEnabled(*action)) {
    *error = "the menu item \"" + action->name + "\" (" + HexID(id) + ") is disabled now";
    return Outcome::kDisabled;
  }
  component->DoAction(dialogs_.SessionContext(), id, PMPoint(), nullptr);
  dialogs_.RunOpenDialogs();
  return Outcome::kRan;
}

Menu::Outcome Menu::Run(const std::string& ref, std::string* error) {
  const MenuAction* action = Find(ref);
  if (!action) {
    *error = "no plug-in offers the menu action " + ref;
    return Outcome::kUnknown;
  }
  return Run(action->id, error);
}

}  // namespace standin
