// The stand-in application session: the root of every host object. It owns
// the implementation registry, the plug-in list, the loaded plug-ins and
// their boss declarations, the open documents and the active selection.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/IPMUnknown.h"
#include "host/ISession.h"
#include "standin/runtime/boss.h"

namespace standin {

class Document;
class SelectionManager;

// Implementations registered by plug-ins, by implementation identifier.
class ImplementationRegistry {
 public:
  struct Record {
    PluginID plugin;
    ImplementationID id;
    ImplCreateFn create;
    ImplDestroyFn destroy;
    ImplSizeFn size;
  };
  // kSuccess, or kFailure for a duplicate identifier or a missing function.
  ErrorCode Register(const Record& record);
  const Record* Find(ImplementationID id) const;
  // Identifiers in registration order.
  const std::vector<ImplementationID>& Order() const { return order_; }
  void Clear();

 private:
  std::map<ImplementationID, Record> records_;
  std::vector<ImplementationID> order_;
};

class Session {
 public:
  // The process's session; created on first use.
  static Session& Get();

  ISession* SessionInterface();
  Boss& SessionBoss() { return *sessionBoss_; }
  ImplementationRegistry& Registry() { return registry_; }

  // The plug-in list: where each plug-in was loaded from.
  void SetPlugInPath(PluginID id, const std::string& path) { pluginPaths_[id] = path; }
  void ForgetPlugInPath(PluginID id) { pluginPaths_.erase(id); }
  bool GetPlugInPath(PluginID id, std::string* path) const;

  // Documents. The session owns them; the front document is the last one
  // opened that is still open (null when none is).
  Document* FrontDocument() const;
  Document* AddDocument(std::unique_ptr<Document> document);
  void CloseDocument(Document* document);

  // The active selection (of the front document). Never null.
  SelectionManager& ActiveSelection();

  // Boss declarations of loaded plug-ins: `interfaces` are added to every
  // boss of class `hostClass` the host makes from now on.
  struct AddIn {
    PMIID iid;
    ImplementationID impl;
  };
  void DeclareAddIn(const std::string& hostClass, const AddIn& addIn);
  // A new boss of `className` with the add-ins declared for it.
  std::unique_ptr<Boss> MakeBoss(const std::string& className);
  // Bosses that plug-ins declare as their own (action component, facade,
  // script provider, ...): made once, owned by the session.
  Boss& PlugInBoss(const std::string& className);
  Boss* FindPlugInBoss(const std::string& className);

  // Drops documents, selection, plug-in bosses, add-ins and registrations
  // (tests start afresh).
  void Reset();

 private:
  Session();
  ~Session();
  std::unique_ptr<Boss> sessionBoss_;
  ImplementationRegistry registry_;
  std::map<PluginID, std::string> pluginPaths_;
  std::vector<std::unique_ptr<Document>> documents_;
  std::unique_ptr<SelectionManager> selection_;
  std::map<std::string, std::vector<AddIn>> addIns_;
  std::map<std::string, std::unique_ptr<Boss>> pluginBosses_;
};

}  // namespace standin
