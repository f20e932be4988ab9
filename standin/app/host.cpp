#include "standin/app/host.h"

#include <cstdio>
#include <cstdlib>

#include "standin/fonts/font_manager.h"
#include "standin/pdf/export_provider.h"
#include "standin/ui/key_events.h"

namespace standin {

namespace {

Host* gCurrent = nullptr;

std::unique_ptr<AlertCenter> MakeAlertCenter(AlertCenter** keep) {
  auto center = std::make_unique<AlertCenter>();
  *keep = center.get();
  return center;
}

}  // namespace

Host::CurrentScope::CurrentScope(Host* host) : previous(gCurrent) { gCurrent = host; }

Host::CurrentScope::~CurrentScope() { gCurrent = previous; }

Host::Host()
    : current_(this),
      files_(std::make_unique<FileSystem>()),
      pdfWriter_(std::make_unique<CairoPdfWriter>(files_, fontResolver_)),
      alertCenter_(nullptr),
      alerts_(MakeAlertCenter(&alertCenter_)),
      session_(objects_, files_),
      toolkit_{objects_, subjects_, [](Boss& boss) { AddHostEditBoxHandler(boss); }},
      selectionSubject_(session_.ActiveSelection(), subjects_),
      dialogs_(views_, toolkit_),
      panels_(views_, toolkit_),
      menu_(session_, plugins_, dialogs_) {
  services_.InstallOn(session_.SessionBoss());
  dialogs_.InstallServices(session_.SessionBoss(), services_);
  panels_.InstallServices(session_.SessionBoss());
  AddEventUtils(session_.SessionBoss(), &refusedKeys_);
  AddFontManager(session_.SessionBoss(), fontResolver_);
  AddToolReportServices(session_.SessionBoss(), &reports_, &fontResolver_);
  publishReports_.InstallOn(session_.SessionBoss());
  pdfPresets_.Install(session_.SessionBoss(), commandClasses_);
  pdfExportProvider_ = MakePdfExportProvider(pdfWriter_, pdfPresets_, alerts_);
  services_.Add(kExportProviderService, pdfExportProvider_.get());
  // Suites that plug-ins add to the selection's classes must reach the
  // selection's bosses; the selection and its observers stay.
  objects_.SetAddInListener([this] { session_.ActiveSelection().RebuildBosses(); });
}

Host::~Host() {
  objects_.SetAddInListener(nullptr);
  // Members go in reverse order: panels, dialogs, the selection subject,
  // views, the session (documents, selection, plug-in bosses), then the
  // registrations and finally the libraries.
}

Host& Host::Current() {
  if (!gCurrent) {
    std::fputs("stand-in host: a host service was used while no host exists\n", stderr);
    std::abort();
  }
  return *gCurrent;
}

Host* Host::CurrentOrNull() { return gCurrent; }

const LoadedPlugIn* Host::LoadPlugIn(const std::string& path, std::string* error) {
  const LoadedPlugIn* loaded = plugins_.Load(path, {objects_, strings_, views_}, error);
  if (loaded) session_.SetPlugInPath(loaded->id, loaded->path);
  return loaded;
}

Document* Host::OpenDocument(const std::string& path, std::string* error) {
  auto document = Document::Load(path, files_.Get(), error);
  return document ? session_.AddDocument(std::move(document)) : nullptr;
}

}  // namespace standin
