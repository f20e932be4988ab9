#include "standin/runtime/session.h"

#include "host/IPlugInList.h"
#include "host/Utils.h"
#include "standin/runtime/dialogs.h"
#include "standin/runtime/document.h"
#include "standin/runtime/panels.h"
#include "standin/runtime/selection.h"

namespace standin {

// ---- registry ------------------------------------------------------------

ErrorCode ImplementationRegistry::Register(const Record& record) {
  if (!record.create || !record.destroy || records_.count(record.id)) return kFailure;
  records_[record.id] = record;
  order_.push_back(record.id);
  return kSuccess;
}

const ImplementationRegistry::Record* ImplementationRegistry::Find(ImplementationID id) const {
  auto it = records_.find(id);
  return it == records_.end() ? nullptr : &it->second;
}

void ImplementationRegistry::Clear() {
  records_.clear();
  order_.clear();
}

namespace {

// ---- host interfaces on the session boss ------------------------------------

class SessionImpl : public CPMUnknown<ISession> {
 public:
  using CPMUnknown::CPMUnknown;
};

class RegistrationImpl : public CPMUnknown<IRegistration> {
 public:
  using CPMUnknown::CPMUnknown;
  ErrorCode RegisterImplementation(PluginID pluginID, ImplementationID implID, ImplCreateFn create,
                                   ImplDestroyFn destroy, ImplSizeFn size, void*, void*,
                                   void*) override {
    return Session::Get().Registry().Register({pluginID, implID, create, destroy, size});
  }
};

class PlugInListImpl : public CPMUnknown<IPlugInList> {
 public:
  using CPMUnknown::CPMUnknown;
  bool GetPathName(PluginID id, IDFile* file) const override {
    std::string path;
    if (!Session::Get().GetPlugInPath(id, &path)) return false;
    if (file) file->SetTString(path);
    return true;
  }
};

class LayoutUIUtils : public CPMUnknown<ILayoutUIUtils> {
 public:
  using CPMUnknown::CPMUnknown;
  IDocument* GetFrontDocument() const override {
    Document* doc = Session::Get().FrontDocument();
    if (!doc) return nullptr;
    IPMUnknown* impl = doc->DocumentBoss().QueryInterface(IID_IDOCUMENT);
    if (impl) impl->Release();
    return static_cast<IDocument*>(impl);
  }
};

class SelectionUtils : public CPMUnknown<ISelectionUtils> {
 public:
  using CPMUnknown::CPMUnknown;
  ISelectionManager* GetActiveSelection() const override {
    return Session::Get().ActiveSelection().Interface();
  }
};

}  // namespace

// ---- session ---------------------------------------------------------------

Session& Session::Get() {
  // Never destroyed: plug-in implementations it owns may outlive the
  // plug-in's own static objects at process exit.
  static Session* session = new Session();
  return *session;
}

Session::Session() : sessionBoss_(std::make_unique<Boss>("kSessionBoss")) {
  sessionBoss_->AddNew<SessionImpl>(IID_ISESSION);
  sessionBoss_->AddNew<RegistrationImpl>(IID_IREGISTRATION);
  sessionBoss_->AddNew<PlugInListImpl>(IID_IPLUGINLIST);
  sessionBoss_->AddNew<LayoutUIUtils>(IID_ILAYOUTUIUTILS);
  sessionBoss_->AddNew<SelectionUtils>(IID_ISELECTIONUTILS);
}

Session::~Session() = default;

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
  documents_.push_back(std::move(document));
  Document* doc = documents_.back().get();
  ActiveSelection().SelectItems(doc, {});
  return doc;
}

void Session::CloseDocument(Document* document) {
  for (auto it = documents_.begin(); it != documents_.end(); ++it) {
    if (it->get() == document) {
      if (selection_ && selection_->SelectedDocument() == document) selection_->Clear();
      documents_.erase(it);
      break;
    }
  }
  if (Document* front = FrontDocument()) ActiveSelection().SelectItems(front, {});
}

SelectionManager& Session::ActiveSelection() {
  if (!selection_) selection_ = std::make_unique<SelectionManager>();
  return *selection_;
}

void Session::DeclareAddIn(const std::string& hostClass, const AddIn& addIn) {
  addIns_[hostClass].push_back(addIn);
  // Selection bosses are built once; let them pick up the new add-in.
  if (selection_) selection_->RebuildBosses();
}

std::unique_ptr<Boss> Session::MakeBoss(const std::string& className) {
  auto boss = std::make_unique<Boss>(className);
  auto it = addIns_.find(className);
  if (it != addIns_.end()) {
    for (const auto& addIn : it->second) boss->AddRegistered(addIn.iid, addIn.impl);
  }
  return boss;
}

Boss& Session::PlugInBoss(const std::string& className) {
  auto& slot = pluginBosses_[className];
  if (!slot) slot = MakeBoss(className);
  return *slot;
}

Boss* Session::FindPlugInBoss(const std::string& className) {
  auto it = pluginBosses_.find(className);
  return it == pluginBosses_.end() ? nullptr : it->second.get();
}

void Session::Reset() {
  ResetWidgets();
  selection_.reset();
  SyncSelectionObservers();
  documents_.clear();
  pluginBosses_.clear();
  addIns_.clear();
  registry_.Clear();
  pluginPaths_.clear();
}

}  // namespace standin

ISession* GetExecutionContextSession() { return standin::Session::Get().SessionInterface(); }

IPMUnknown* UtilsBoss::QueryUtils(PMIID iid) {
  return standin::Session::Get().SessionBoss().QueryInterface(iid);
}
