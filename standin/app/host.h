// The stand-in host: one object that owns every host service of one run of
// the application (one `osl` command, one test fixture). It becomes the
// current host when it is made and stops being it when it is destroyed; the
// few global entry points of the host API (GetExecutionContextSession,
// UtilsBoss, CAlert, PMString::Translate, the command sequences, the base
// classes' code) reach the current host. Hosts nest: destroying one makes
// the previous current again. No host service is a global.
//
// Services a test can replace for a while (a save that fails, an alert
// answered its own way) are Service<T> members: wrap Real() and install the
// wrapper with a Service<T>::Replacement.
#pragma once

#include <memory>
#include <string>

#include "standin/alerts/alert_center.h"
#include "standin/app/menu.h"
#include "standin/app/publish_reports.h"
#include "standin/app/session.h"
#include "standin/app/tool_report.h"
#include "standin/core/command_state.h"
#include "standin/core/commands.h"
#include "standin/core/file_system.h"
#include "standin/core/object_model.h"
#include "standin/core/service.h"
#include "standin/core/service_registry.h"
#include "standin/core/string_tables.h"
#include "standin/fonts/font_resolver.h"
#include "standin/pdf/pdf_presets.h"
#include "standin/pdf/pdf_writer.h"
#include "standin/plugins/plugin_loader.h"
#include "standin/ui/dialogs.h"
#include "standin/ui/panels.h"
#include "standin/ui/selection_subject.h"
#include "standin/ui/subjects.h"
#include "standin/ui/views.h"
#include "standin/ui/widgets.h"

namespace standin {

class Host {
 public:
  Host();
  // Destroys every dialog, panel, document and plug-in object, then closes
  // the plug-in libraries; the previous host becomes current again.
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // The current host. Current() must only be called while one exists.
  static Host& Current();
  static Host* CurrentOrNull();

  // Loads the plug-in library at `path` (see PlugInLoader::Load) and adds it
  // to the plug-in list. Null with *error when it cannot be loaded; nothing
  // of it is left behind then.
  const LoadedPlugIn* LoadPlugIn(const std::string& path, std::string* error);

  // Opens the document at `path` as the front document. Null with *error.
  Document* OpenDocument(const std::string& path, std::string* error);

  Session& GetSession() { return session_; }
  ObjectModel& Objects() { return objects_; }
  ServiceRegistry& Services() { return services_; }
  StringTables& Strings() { return strings_; }
  CommandState& Commands() { return commands_; }
  // The command classes CmdUtils::CreateCommand knows.
  CommandRegistry& CommandClasses() { return commandClasses_; }
  const FontResolver& Fonts() const { return fontResolver_; }
  PlugInLoader& PlugIns() { return plugins_; }
  ViewRegistry& Views() { return views_; }
  SubjectRegistry& Subjects() { return subjects_; }
  const WidgetToolkit& Toolkit() const { return toolkit_; }
  DialogHost& Dialogs() { return dialogs_; }
  PanelHost& Panels() { return panels_; }
  SelectionSubject& ActiveSelectionSubject() { return selectionSubject_; }
  Menu& GetMenu() { return menu_; }
  // What the plug-in's designer tools reported last (IToolReport).
  ToolReports& Reports() { return reports_; }

  // The session's PDF export presets and current settings.
  PdfPresets& PdfExportPresets() { return pdfPresets_; }

  // Replaceable services.
  Service<FileSystem>& Files() { return files_; }
  // Writes PDF files for the export provider (kExportProviderService).
  Service<PdfWriter>& PdfWriting() { return pdfWriter_; }
  Service<Alerts>& AlertService() { return alerts_; }
  // The host's own alerts (log, scripted answers, echo), behind AlertService.
  AlertCenter& AlertLog() { return *alertCenter_; }

  // The publish runs' records plug-ins report (IPublishReport).
  PublishReports& Publishes() { return publishReports_; }

  // Keystrokes refused through IEventUtils so far.
  int RefusedKeyCount() const { return refusedKeys_; }

 private:
  // Makes this host current for its whole life, members included.
  struct CurrentScope {
    explicit CurrentScope(Host* host);
    ~CurrentScope();
    Host* previous;
  };

  CurrentScope current_;
  // Destroyed last: the libraries close after every object they made.
  PlugInLoader plugins_;
  StringTables strings_;
  CommandState commands_;
  CommandRegistry commandClasses_;
  FontResolver fontResolver_;
  Service<FileSystem> files_;
  PdfPresets pdfPresets_;
  Service<PdfWriter> pdfWriter_;
  AlertCenter* alertCenter_;
  Service<Alerts> alerts_;
  PublishReports publishReports_;
  SubjectRegistry subjects_;
  ObjectModel objects_;
  ServiceRegistry services_;
  std::unique_ptr<Boss> pdfExportProvider_;
  Session session_;
  int refusedKeys_ = 0;
  ToolReports reports_;
  WidgetToolkit toolkit_;
  ViewRegistry views_;
  SelectionSubject selectionSubject_;
  DialogHost dialogs_;
  PanelHost panels_;
  Menu menu_;
};

}  // namespace standin
