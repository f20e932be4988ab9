// The host's object model: the implementations plug-ins register (by
// implementation identifier) and the boss declarations that add them to the
// bosses the host makes.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/IPMUnknown.h"
#include "standin/core/boss.h"

namespace standin {

class ObjectModel {
 public:
  struct Record {
    PluginID plugin;
    ImplementationID id;
    ImplCreateFn create;
    ImplDestroyFn destroy;
    ImplSizeFn size;
  };
  struct AddIn {
    PMIID iid;
    ImplementationID impl;
  };

  // kSuccess, or kFailure for a duplicate identifier or a missing function
  // (the registration is then absent).
  ErrorCode Register(const Record& record);
  // The record of `id`, or null.
  const Record* Find(ImplementationID id) const;
  // Identifiers in registration order.
  const std::vector<ImplementationID>& Order() const { return order_; }
  // Forgets every registration and add-in of `plugin`.
  void ForgetPlugIn(PluginID plugin);

  // Adds `addIn` to every boss of class `hostClass` made from now on, and
  // tells the listener (bosses the host keeps must be rebuilt).
  void DeclareAddIn(const std::string& hostClass, const AddIn& addIn, PluginID plugin = 0);
  // Called after every DeclareAddIn and ForgetPlugIn.
  void SetAddInListener(std::function<void()> listener) { listener_ = std::move(listener); }

  // A new boss of `className` carrying the add-ins declared for it, in
  // declaration order. An add-in whose implementation is not registered, or
  // whose create function fails, is absent.
  std::unique_ptr<Boss> MakeBoss(const std::string& className) const;
  // Adds the registered implementation `id` to `boss` under `iid`. False
  // when nothing is registered under `id` or its create function failed.
  bool AddRegistered(Boss& boss, PMIID iid, ImplementationID id) const;

 private:
  struct Declared {
    AddIn addIn;
    PluginID plugin;
  };
  std::map<ImplementationID, Record> records_;
  std::vector<ImplementationID> order_;
  std::map<std::string, std::vector<Declared>> addIns_;
  std::function<void()> listener_;
};

}  // namespace standin
