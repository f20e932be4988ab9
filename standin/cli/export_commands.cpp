// `osl export-pdf`: the document as PDF, through the host's export
// provider, as a plug-in asks for it.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "host/IDocument.h"
#include "host/IPDFExport.h"
#include "host/IServiceRegistry.h"
#include "host/InterfacePtr.h"
#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/export_target.h"
#include "standin/cli/plugin_scripting.h"
#include "standin/pdf/export_provider.h"

namespace osl_cli {

namespace {

// Exports through the first export provider that takes the format. False
// with *error set when none does or the export fails.
bool Export(standin::Host& host, standin::Document& doc, const std::string& out,
            std::string* error) {
  InterfacePtr<IServiceRegistry> registry(&host.GetSession().SessionBoss(), IID_ISERVICEREGISTRY);
  InterfacePtr<IDocument> document(doc.DocumentBoss().QueryInterface(IID_IDOCUMENT));
  const PMString format(standin::kPrintPdfFormat, PMString::kDontTranslateDuringCall);
  const int32 count = registry ? registry->GetServiceProviderCount(kExportProviderService) : 0;
  for (int32 i = 0; i < count; ++i) {
    InterfacePtr<IPMUnknown> provider(registry->QueryNthServiceProvider(kExportProviderService, i));
    InterfacePtr<IExportProvider> exporter(provider, IID_IEXPORTPROVIDER);
    if (!exporter || !exporter->CanExportThisFormat(document, nullptr, format)) continue;
    if (exporter->ExportToFile(IDFile(out), document, nullptr, format, 0) != kSuccess) {
      *error = "the PDF was not exported";
      return false;
    }
    return true;
  }
  *error = std::string("no export provider for ") + standin::kPrintPdfFormat;
  return false;
}

int ExportPdf(CliContext& context, const std::string& path, const std::string& out,
              bool hideFields) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  const std::string refused = RefuseExportTarget(path, out);
  if (!refused.empty()) return context.UsageError("export-pdf: " + refused);
  // Hidden for the export only: the document on disk is not changed.
  std::vector<standin::PageItem*> hidden;
  if (hideFields) {
    ScriptNames names;
    FindScriptNames(context.host()->PlugIns(), &names);
    for (standin::PageItem* item : doc->AllItems()) {
      if (item->visible && !ReadItemField(*context.host(), names, *doc, *item).name.empty()) {
        doc->SetItemVisible(item, false);
        hidden.push_back(item);
      }
    }
  }
  std::string error;
  const bool exported = Export(*context.host(), *doc, out, &error);
  for (standin::PageItem* item : hidden) doc->SetItemVisible(item, true);
  if (!exported) {
    std::cerr << "osl: " << error << std::endl;
    return kExitErrorAlert;
  }
  return context.FinishStatus();
}

}  // namespace

void AddExportCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  struct Arguments {
    std::string path, out;
    bool hideFields = false;
  };
  auto args = std::make_shared<Arguments>();
  auto* command = app.add_subcommand("export-pdf", "Export the document as PDF");
  command->add_option("DOC", args->path, "a .tlvd document")->required();
  command->add_option("OUT", args->out, "the PDF file to write")->required();
  command->add_flag("--hide-fields", args->hideFields,
                    "leave out the items tagged as template fields");
  command->callback([&context, exitStatus, args] {
    *exitStatus = ExportPdf(context, args->path, args->out, args->hideFields);
  });
}

}  // namespace osl_cli
