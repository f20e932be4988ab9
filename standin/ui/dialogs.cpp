// Dialogs: records, the IDialog family of interfaces, modal runs, the
// standard OK path and the preferences dialog.
#include "standin/ui/dialogs.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "host/CDialogObserver.h"
#include "host/IActiveContext.h"
#include "host/IApplication.h"
#include "host/IDialogController.h"
#include "host/IDialogCreator.h"
#include "host/IDialogMgr.h"
#include "host/IPanelCreator.h"
#include "host/IServiceRegistry.h"
#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "standin/core/object_model.h"
#include "standin/core/resource_ids.h"
#include "standin/core/service_registry.h"
#include "standin/core/stderr_line.h"
#include "standin/core/terminal_text.h"
#include "standin/ui/key_events.h"
#include "standin/ui/subjects.h"
#include "standin/ui/views.h"

namespace standin {

struct DialogHost::Record {
  DialogHost* host = nullptr;
  std::unique_ptr<Boss> boss;
  WidgetNode* root = nullptr;
  std::string key;
  IDialog::DialogType type = IDialog::kMovableModal;
  bool open = false;
  bool applied = false;
  IDialog::Result result = IDialog::kNoResult;
  int waiting = 0;                               // Wait calls running for it
  std::vector<std::unique_ptr<Boss>> providers;  // panel creators' bosses
};

namespace {

class ActiveContextImpl : public CPMUnknown<IActiveContext> {
 public:
  using CPMUnknown::CPMUnknown;
  IDocument* GetContextDocument() const override { return document_; }
  ISelectionManager* GetContextSelection() const override { return selection_; }
  void Capture() {
    Utils<ILayoutUIUtils> layout;
    document_ = layout ? layout->GetFrontDocument() : nullptr;
    Utils<ISelectionUtils> selection;
    selection_ = selection ? selection->GetActiveSelection() : nullptr;
  }

 private:
  IDocument* document_ = nullptr;
  ISelectionManager* selection_ = nullptr;
};

}  // namespace

class DialogImpl : public CPMUnknown<IDialog> {
 public:
  DialogImpl(IPMUnknown* boss, DialogHost::Record* record) : CPMUnknown(boss), record_(record) {}
  void Open() override { record_->host->Open(*record_); }
  void Close() override { record_->host->Close(*record_); }
  Result Wait() override { return record_->host->Wait(*record_); }
  bool16 IsOpen() const override { return record_->open ? 1 : 0; }
  Result GetResult() const override { return record_->result; }
  IControlView* GetDialogPanel() const override {
    IPMUnknown* view = record_->boss->QueryInterface(IID_ICONTROLVIEW);
    if (view) view->Release();
    return static_cast<IControlView*>(view);
  }
  DialogType GetDialogType() const override { return record_->type; }

 private:
  DialogHost::Record* record_;
};

namespace {

class DialogMgrImpl : public CPMUnknown<IDialogMgr> {
 public:
  DialogMgrImpl(IPMUnknown* boss, DialogHost* host) : CPMUnknown(boss), host_(host) {}
  IDialog* CreateNewDialog(const RsrcSpec& spec, IDialog::DialogType type) override {
    std::string error;
    IDialog* dialog = nullptr;
    if (spec.GetRsrcType() != kViewRsrcType) {
      error = "resource kind " + HexID(spec.GetRsrcType(), /*lowerCase=*/true) + " is not 'VIEW'";
    } else {
      dialog = host_->CreateDialog(spec.GetPluginID(), spec.GetRsrcID(), type, &error);
    }
    if (!dialog) {
      std::fprintf(stderr, "[dialog] %d cannot be created: %s\n",
                   static_cast<int>(spec.GetRsrcID()), error.c_str());
    }
    return dialog;
  }

 private:
  DialogHost* host_;
};

class ApplicationImpl : public CPMUnknown<IApplication> {
 public:
  using CPMUnknown::CPMUnknown;
  IDialogMgr* QueryDialogMgr() const override {
    return static_cast<IDialogMgr*>(QueryInterface(IID_IDIALOGMGR));
  }
  IPanelMgr* QueryPanelManager() const override {
    return static_cast<IPanelMgr*>(QueryInterface(IID_IPANELMGR));
  }
};

class PreferencesCreatorImpl : public CPMUnknown<IDialogCreator> {
 public:
  PreferencesCreatorImpl(IPMUnknown* boss, DialogHost* host) : CPMUnknown(boss), host_(host) {}
  IDialog* CreateDialog() override {
    std::string error;
    IDialog* dialog = host_->CreatePreferencesDialog(&error);
    if (!dialog)
      std::fprintf(stderr, "[dialog] preferences cannot be created: %s\n", error.c_str());
    return dialog;
  }

 private:
  DialogHost* host_;
};

// Every controller of the tree under `root`, parents first.
std::vector<InterfacePtr<IDialogController>> Controllers(WidgetNode& root) {
  std::vector<InterfacePtr<IDialogController>> controllers;
  root.ForEach([&controllers](WidgetNode& n) {
    InterfacePtr<IDialogController> c(&n.GetBoss(), IID_IDIALOGCONTROLLER);
    if (c) controllers.push_back(c);
  });
  return controllers;
}

void AddStandardObserver(Boss& boss) {
  if (!boss.Has(IID_IOBSERVER)) boss.AddNew<CDialogObserver>(IID_IOBSERVER);
}

WidgetSpec Button(WidgetID id, const char* name, const char* caption) {
  WidgetSpec spec;
  spec.kind = WidgetKind::kButton;
  spec.id = id;
  spec.name = name;
  spec.caption = caption;
  return spec;
}

}  // namespace

DialogHost::DialogHost(const ViewRegistry& views, const WidgetToolkit& toolkit)
    : views_(views), toolkit_(toolkit) {
  preferencesProvider_ = std::make_unique<Boss>("kPreferencesDialogServiceBoss");
  preferencesProvider_->AddNew<PreferencesCreatorImpl>(IID_IDIALOGCREATOR, this);
  context_ = std::make_unique<Boss>("kActiveContextBoss");
  context_->AddNew<ActiveContextImpl>(IID_IACTIVECONTEXT);
}

IActiveContext* DialogHost::SessionContext() {
  IPMUnknown* impl = context_->QueryInterface(IID_IACTIVECONTEXT);
  if (!impl) return nullptr;
  impl->Release();
  auto* context = static_cast<ActiveContextImpl*>(impl);
  context->Capture();
  return context;
}

DialogHost::Record* DialogHost::Adopt(std::unique_ptr<Boss> boss, const std::string& key,
                                      IDialog::DialogType type) {
  auto record = std::make_unique<Record>();
  record->host = this;
  record->root = WidgetNode::Of(boss.get());
  record->key = key;
  record->type = type;
  boss->AddNew<DialogImpl>(IID_IDIALOG, record.get());
  boss->AddNew<ActiveContextImpl>(IID_IACTIVECONTEXT);
  AddStandardObserver(*boss);
  record->boss = std::move(boss);
  dialogs_.push_back(std::move(record));
  return dialogs_.back().get();
}

IDialog* DialogHost::CreateDialog(PluginID plugin, RsrcID rsrc, IDialog::DialogType type,
                                  std::string* error) {
  ReapClosed();
  const ViewSpec* view = views_.Find(plugin, rsrc);
  if (!view) {
    *error = "plug-in " + HexID(static_cast<uint32>(plugin), /*lowerCase=*/true) + " has no view " +
             std::to_string(rsrc);
    return nullptr;
  }
  if (view->kind != ViewSpec::Kind::kDialog) {
    *error = "view " + std::to_string(rsrc) + " is a panel, not a dialog";
    return nullptr;
  }
  Record* record = Adopt(BuildView(*view, toolkit_), std::to_string(rsrc), type);
  InterfacePtr<IDialog> dialog(record->boss.get(), IID_IDIALOG);
  return dialog.get();
}

IDialog* DialogHost::CreatePreferencesDialog(std::string* error) {
  ReapClosed();
  const ObjectModel& session = toolkit_.objects;
  std::unique_ptr<Boss> boss = session.MakeBoss("kPreferencesDialogBoss");
  WidgetSpec rootSpec;
  rootSpec.kind = WidgetKind::kPanel;
  rootSpec.caption = "Preferences";
  WidgetNode* root = MakeWidget(*boss, rootSpec, nullptr, toolkit_);
  WidgetSpec listSpec;
  listSpec.kind = WidgetKind::kPanelList;
  listSpec.id = kPreferencesPanelListWidgetID;
  listSpec.name = "panels";
  WidgetNode* list = root->AddChild(listSpec);
  InterfacePtr<IPanelControlData> listData(&list->GetBoss(), IID_IPANELCONTROLDATA);

  std::vector<std::unique_ptr<Boss>> providers;
  for (const ViewSpec* view : views_.PanelsOfService(kPreferencesPanelService)) {
    std::unique_ptr<Boss> provider =
        session.MakeBoss(view->bossClass.empty() ? "kPanelBoss" : view->bossClass);
    InterfacePtr<IPanelCreator> creator(provider.get(), IID_IPANELCREATOR);
    if (creator) {
      K2Vector<ServiceID> services;
      creator->GetServiceIDs(services);
      if (std::find(services.begin(), services.end(), kPreferencesPanelService) != services.end()) {
        creator->CreatePanelForDialog(listData.get());
      }
    } else {
      list->AdoptChild(BuildView(*view, toolkit_));
    }
    providers.push_back(std::move(provider));
  }
  bool first = true;
  for (WidgetNode* panel : list->Children()) {
    panel->visible = first;
    first = false;
  }
  root->AddChild(Button(kOKButtonWidgetID, "ok", "OK"));
  root->AddChild(Button(kCancelButtonWidgetID, "cancel", "Cancel"));
  Record* record = Adopt(std::move(boss), "preferences", IDialog::kMovableModal);
  record->providers = std::move(providers);
  InterfacePtr<IDialog> dialog(record->boss.get(), IID_IDIALOG);
  if (!dialog) *error = "the preferences dialog could not be built";
  return dialog.get();
}

IDialog::Result DialogHost::RunDialog(PluginID plugin, RsrcID rsrc, const DialogScript* script,
                                      std::string* error) {
  IDialog* dialog = CreateDialog(plugin, rsrc, IDialog::kMovableModal, error);
  if (!dialog) return IDialog::kNoResult;
  if (script) QueueScript(std::to_string(rsrc), *script);
  return dialog->Wait();
}

void DialogHost::QueueScript(const std::string& key, DialogScript script) {
  scripts_[key].push_back(std::move(script));
}

bool DialogHost::QueueScriptSpec(const std::string& spec, std::string* error) {
  std::string key;
  DialogScript script;
  if (!ParseDialogScriptSpec(spec, &key, &script, error)) return false;
  QueueScript(key, std::move(script));
  return true;
}

size_t DialogHost::QueuedScripts() const {
  size_t n = 0;
  for (const auto& entry : scripts_) n += entry.second.size();
  return n;
}

std::vector<std::string> DialogHost::TakeLog() {
  std::vector<std::string> taken;
  taken.swap(log_);
  return taken;
}

void DialogHost::Report(const std::string& key, const std::string& what) {
  std::string line = EscapeForTerminal("[dialog] " + key + " " + what);
  if (echo_) {
    EndStderrLine();
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  log_.push_back(std::move(line));
}

DialogHost::Record* DialogHost::RecordOf(WidgetNode& node) {
  WidgetNode* root = node.Root();
  for (auto& record : dialogs_) {
    if (record->root == root) return record.get();
  }
  return nullptr;
}

// ---- lifecycle ------------------------------------------------------------------

void DialogHost::Open(Record& record) {
  if (record.open) return;
  record.open = true;
  record.applied = false;
  Report(record.key, "opened");
  InterfacePtr<IActiveContext> context(record.boss.get(), IID_IACTIVECONTEXT);
  if (auto* impl = static_cast<ActiveContextImpl*>(context.get())) impl->Capture();
  for (auto& controller : Controllers(*record.root)) {
    controller->SetOwner(record.boss.get());
    controller->InitializeDialog(context.get());
  }
  if (record.open) AttachTreeObservers(*record.root);
}

void DialogHost::Close(Record& record) {
  if (!record.open) return;
  ReleaseKeyFocus(*record.root);
  record.open = false;
  DetachTreeObservers(*record.root);
  for (auto& controller : Controllers(*record.root)) controller->DialogClosing();
  record.result = record.applied ? IDialog::kOK : IDialog::kCancelled;
  Report(record.key, record.applied ? "ok" : "cancel");
}

IDialog::Result DialogHost::Wait(Record& record) {
  ++record.waiting;
  if (!record.open && record.result == IDialog::kNoResult) Open(record);
  if (record.open) Play(record);
  if (record.open) {
    std::string ignored;
    ViewDriver(*record.root).PressCancel(&ignored);
  }
  Close(record);  // a dialog whose Cancel did not close it
  --record.waiting;
  return record.result;
}

void DialogHost::Play(Record& record) {
  auto it = scripts_.find(record.key);
  if (it == scripts_.end()) it = scripts_.find(kAnyDialog);
  if (it != scripts_.end() && !it->second.empty()) {
    DialogScript script = std::move(it->second.front());
    it->second.pop_front();
    if (it->second.empty()) scripts_.erase(it);
    std::string error;
    if (!ViewDriver(*record.root).Run(script, &error)) {
      Report(record.key, "script error: " + error);
    } else if (record.open) {
      Report(record.key, "still open after its script");
    }
    return;
  }
  if (interactive_ && (input_ || isatty(STDIN_FILENO))) {
    Prompt(record);
    return;
  }
  Report(record.key, "no script");
}

void DialogHost::Prompt(Record& record) {
  ViewDriver driver(*record.root);
  std::fprintf(stderr,
               "[dialog] %s waits for steps (text, type, select, pick, check, press, panel, show, "
               "ok, cancel):\n%s",
               record.key.c_str(), driver.Describe().c_str());
  FILE* in = input_ ? input_ : stdin;
  char line[4096];
  while (record.open) {
    std::fprintf(stderr, "%s> ", record.key.c_str());
    std::fflush(stderr);
    if (!std::fgets(line, sizeof(line), in)) break;  // end of input: cancel
    std::string text(line);
    if (!text.empty() && text.back() != '\n' && !std::feof(in)) {
      // Longer than the buffer: drop the rest of the line.
      int c;
      while ((c = std::fgetc(in)) != EOF && c != '\n') {
      }
      std::fprintf(stderr, "[dialog] %s the line is too long\n", record.key.c_str());
      continue;
    }
    DialogScript script;
    std::string error;
    if (!ParseDialogScript(text, &script, &error) || !driver.Run(script, &error)) {
      std::fprintf(stderr, "[dialog] %s %s\n", record.key.c_str(), error.c_str());
    }
  }
}

void DialogHost::RunOpenDialogs() {
  std::vector<Record*> pending;
  for (auto& record : dialogs_) {
    if (record->open && record->waiting == 0 && record->type == IDialog::kMovableModal) {
      pending.push_back(record.get());
    }
  }
  for (Record* record : pending) {
    const bool alive = std::any_of(dialogs_.begin(), dialogs_.end(),
                                   [record](const auto& r) { return r.get() == record; });
    if (alive && record->open && record->waiting == 0) Wait(*record);
  }
  ReapClosed(true);
}

void DialogHost::ReapClosed(bool unopened) {
  if (toolkit_.subjects.NotificationDepth() > 0) return;
  dialogs_.erase(std::remove_if(dialogs_.begin(), dialogs_.end(),
                                [unopened](const std::unique_ptr<Record>& r) {
                                  return !r->open && r->waiting == 0 &&
                                         (unopened || r->result != IDialog::kNoResult);
                                }),
                 dialogs_.end());
}

DialogHost::~DialogHost() {
  for (size_t i = 0; i < dialogs_.size(); ++i) Close(*dialogs_[i]);
  dialogs_.clear();
}

// ---- the standard OK path -----------------------------------------------------------

bool DialogHost::ConfirmDialog(WidgetNode& node) {
  Record* record = RecordOf(node);
  const auto controllers = Controllers(*node.Root());
  for (const auto& controller : controllers) {
    const WidgetID invalid = controller->ValidateDialog();
    if (invalid == kDefaultWidgetId) continue;
    controller->SelectDialogWidget(invalid);
    Report(record ? record->key : std::string("(no dialog)"),
           "invalid " + HexID(invalid, /*lowerCase=*/true));
    return false;
  }
  for (const auto& controller : controllers) controller->ApplyDialog(kOKButtonWidgetID);
  if (record) record->applied = true;
  return true;
}

void DialogHost::CancelDialog(WidgetNode& node) {
  for (const auto& controller : Controllers(*node.Root())) controller->UserCancelled();
}

// ---- services ----------------------------------------------------------------------

void DialogHost::InstallServices(Boss& session, ServiceRegistry& services) {
  if (!session.Has(IID_IDIALOGMGR)) session.AddNew<DialogMgrImpl>(IID_IDIALOGMGR, this);
  if (!session.Has(IID_IAPPLICATION)) session.AddNew<ApplicationImpl>(IID_IAPPLICATION);
  services.Add(kPreferencesDialogService, preferencesProvider_.get());
}

}  // namespace standin
