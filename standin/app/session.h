// The stand-in application session: the session boss (with the host
// services plug-ins reach through GetExecutionContextSession and
// UtilsBoss), the plug-in list, the open documents, the active selection and
// the bosses plug-ins declare as their own.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/IPMUnknown.h"
#include "host/ISession.h"
#include "standin/core/boss.h"
#include "standin/core/file_system.h"
#include "standin/core/object_model.h"
#include "standin/core/service.h"
#include "standin/document/document.h"
#include "standin/selection/selection_manager.h"

namespace standin {

class Session {
 public:
  // `objects` and `files` must outlive the session; documents save copies
  // through `files`.
  Session(ObjectModel& objects, Service<FileSystem>& files);
  // Closes the documents and drops the selection and plug-in bosses.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ISession* SessionInterface();
  Boss& SessionBoss() { return *sessionBoss_; }
  ObjectModel& Objects() { return objects_; }

  // The plug-in list: where each plug-in was loaded from.
  void SetPlugInPath(PluginID id, const std::string& path) { pluginPaths_[id] = path; }
  void ForgetPlugInPath(PluginID id) { pluginPaths_.erase(id); }
  bool GetPlugInPath(PluginID id, std::string* path) const;

  // Documents. The session owns them; the front document is the last one
  // opened that is still open (null when none is).
  Document* FrontDocument() const;
  Document* AddDocument(std::unique_ptr<Document> document);
  void CloseDocument(Document* document);

  // The active selection (of the front document).
  SelectionManager& ActiveSelection() { return selection_; }

  // Bosses that plug-ins declare as their own (action component, facade,
  // script provider, ...): made once, owned by the session.
  Boss& PlugInBoss(const std::string& className);
  Boss* FindPlugInBoss(const std::string& className);

 private:
  ObjectModel& objects_;
  Service<FileSystem>& files_;
  std::unique_ptr<Boss> sessionBoss_;
  std::map<PluginID, std::string> pluginPaths_;
  SelectionManager selection_;
  std::vector<std::unique_ptr<Document>> documents_;
  std::map<std::string, std::unique_ptr<Boss>> pluginBosses_;
};

}  // namespace standin
