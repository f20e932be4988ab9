#include "standin/app/session.h"

#include "host/IPlugInList.h"
#include "host/Utils.h"
#include "standin/document/doc_file_handler.h"
#include "standin/document/layout_utilities.h"

namespace standin {

namespace {

// ---- host interfaces on the session boss ------------------------------------

class SessionImpl : public CPMUnknown<ISession> {
 public:
  using CPMUnknown::CPMUnknown;
};

class RegistrationImpl : public CPMUnknown<IRegistration> {
 public:
  RegistrationImpl(IPMUnknown* boss, ObjectModel* objects) : CPMUnknown(boss), objects_(objects) {}
  ErrorCode RegisterImplementation(PluginID pluginID, ImplementationID implID, ImplCreateFn create,
                                   ImplDestroyFn destroy, ImplSizeFn size, void*, void*,
                                   void*) override {
    return objects_->Register({pluginID, implID, create, destroy, size});
  }

 private:
  ObjectModel* objects_;
};

class PlugInListImpl : public CPMUnknown<IPlugInList> {
 public:
  PlugInListImpl(IPMUnknown* boss, Session* session) : CPMUnknown(boss), session_(session) {}
  bool GetPathName(PluginID id, IDFile* file) const override {
    std::string path;
    if (!session_->GetPlugInPath(id, &path)) return false;
    if (file) file->SetTString(path);
    return true;
  }

 private:
  Session* session_;
};

class LayoutUIUtils : public CPMUnknown<ILayoutUIUtils> {
 public:
  LayoutUIUtils(IPMUnknown* boss, Session* session) : CPMUnknown(boss), session_(session) {}
  IDocument* GetFrontDocument() const override {
    Document* doc = session_->FrontDocument();
    if (!doc) return nullptr;
    IPMUnknown* impl = doc->DocumentBoss().QueryInterface(IID_IDOCUMENT);
    if (impl) impl->Release();
    return static_cast<IDocument*>(impl);
  }

 private:
  Session* session_;
};

class SelectionUtils : public CPMUnknown<ISelectionUtils> {
 public:
  SelectionUtils(IPMUnknown* boss, Session* session) : CPMUnknown(boss), session_(session) {}
  ISelectionManager* GetActiveSelection() const override {
    return session_->ActiveSelection().Interface();
  }

 private:
  Session* session_;
};

}  // namespace

Session::Session(ObjectModel& objects, Service<FileSystem>& files)
    : objects_(objects),
      files_(files),
      sessionBoss_(std::make_unique<Boss>("kSessionBoss")),
      selection_(objects) {
  sessionBoss_->AddNew<SessionImpl>(IID_ISESSION);
  sessionBoss_->AddNew<RegistrationImpl>(IID_IREGISTRATION, &objects_);
  sessionBoss_->AddNew<PlugInListImpl>(IID_IPLUGINLIST, this);
  sessionBoss_->AddNew<LayoutUIUtils>(IID_ILAYOUTUIUTILS, this);
  sessionBoss_->AddNew<SelectionUtils>(IID_ISELECTIONUTILS, this);
  AddLayoutUtilities(*sessionBoss_);
  AddDocumentUtilities(*sessionBoss_);
}

Session::~Session() {
  selection_.Clear();
  pluginBosses_.clear();
  documents_.clear();
}

ISession* Session::SessionInterface() {
  IPMUnknown* impl = sessionBoss_->QueryInterface(IID_ISESSION);
  if (impl) impl->Release();
  return static_cast<ISession*>(impl);
}

bool Session::GetPlugInPath(PluginID id, std::string* path) const {
  auto it = pluginPaths_.find(id);
  if (it == pluginPaths_.end()) return false;
  *path = it->second;
  return true;
}

Document* Session::FrontDocument() const {
  return documents_.empty() ? nullptr : documents_.back().get();
}

Document* Session::AddDocument(std::unique_ptr<Document> document) {
  AddDocFileHandler(*document, files_);
  documents_.push_back(std::move(document));
  Document* doc = documents_.back().get();
  selection_.SelectItems(doc, {});
  return doc;
}

void Session::CloseDocument(Document* document) {
  for (auto it = documents_.begin(); it != documents_.end(); ++it) {
    if (it->get() == document) {
      if (selection_.SelectedDocument() == document) selection_.Clear();
      documents_.erase(it);
      break;
    }
  }
  if (Document* front = FrontDocument()) selection_.SelectItems(front, {});
}

Boss& Session::PlugInBoss(const std::string& className) {
  auto& slot = pluginBosses_[className];
  if (!slot) slot = objects_.MakeBoss(className);
  return *slot;
}

Boss* Session::FindPlugInBoss(const std::string& className) {
  auto it = pluginBosses_.find(className);
  return it == pluginBosses_.end() ? nullptr : it->second.get();
}

}  // namespace standin
