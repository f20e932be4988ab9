// `osl templates` and `osl upload`: the service client on its own, with the
// settings file beside the loaded Osl.pln, for a designer whose publish fails.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "host/CAlert.h"
#include "host/PMString.h"
#include "service/messages.h"
#include "service/plugin_data.h"
#include "service/service_calls.h"
#include "service/upload.h"
#include "standin/cli/cli_context.h"

namespace osl_cli {

namespace {

// Shown when no server is configured (same key as the publish action's).
const char kNotConfiguredKey[] = "0x199e00knotConfiguredKey";

// Lists the account's templates, one line each: name, identifier, "active"
// or "inactive", separated by tabs. Failed calls show "error: <status>" and
// the fault report.
int ListTemplates(CliContext& context) {
  if (!context.StartHost()) return kExitUsage;
  OslPlugInData& settings = GetOslPlugInData();
  if (!settings.IsConfigured()) {
    CAlert::ErrorAlert(PMString(kNotConfiguredKey));
    std::cerr << "osl: no server is configured in " << settings.settingsPath.GetPlatformString()
              << " (lines server:, user: and pass:)" << std::endl;
    return context.FinishStatus();
  }
  OslSoapContext soapContext;
  struct soap* soap = soapContext.get();
  if (!soap) return context.UsageError("out of memory");
  osl_soap::_ns4__getLibraryTemplates request;
  request.email = OslNewString(soap, settings.user);
  request.password = OslNewString(soap, settings.password);
  osl_soap::_ns4__getLibraryTemplatesResponse response;
  const std::string endpoint = settings.documentEndpoint.GetUTF8String();
  const int status = CallGetLibraryTemplates(soap, endpoint.c_str(), nullptr, &request, response);
  if (status != 0) {
    CAlert::ErrorAlert(
        PMString("error: " + std::to_string(status), PMString::kDontTranslateDuringCall));
    ReportSoapFault(soap);
    return context.FinishStatus();
  }
  int listed = 0;
  if (response.getLibraryTemplatesResult) {
    for (const auto* item : response.getLibraryTemplatesResult->libraryTemplate) {
      if (!item) continue;
      std::printf("%s\t%s\t%s\n", item->docName ? item->docName->c_str() : "", item->docID.c_str(),
                  item->isActive ? "active" : "inactive");
      ++listed;
    }
  }
  if (listed == 0) std::cerr << "osl: the account has no templates" << std::endl;
  return context.FinishStatus();
}

// Uploads `file` under `name` (default: the file's last path component) and
// prints the asset address the service returns. Status 1 when it fails.
int Upload(CliContext& context, const std::string& file, const std::string& name) {
  if (!context.StartHost()) return kExitUsage;
  std::string sentName = name;
  if (sentName.empty()) {
    const auto slash = file.find_last_of('/');
    sentName = slash == std::string::npos ? file : file.substr(slash + 1);
  }
  const PMString address = UploadFile(PMString(file, PMString::kDontTranslateDuringCall),
                                      PMString(sentName, PMString::kDontTranslateDuringCall));
  if (address.IsEmpty()) {
    std::cerr << "osl: upload of " << file << " failed" << std::endl;
    return kExitErrorAlert;
  }
  const std::string text = address.GetUTF8String();
  std::fwrite(text.data(), 1, text.size(), stdout);
  if (text.back() != '\n') std::fputc('\n', stdout);
  return context.FinishStatus();
}

}  // namespace

void AddServiceCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  auto* templates = app.add_subcommand(
      "templates", "List the templates of the configured service account (name, id, active)");
  templates->callback([&context, exitStatus] { *exitStatus = ListTemplates(context); });

  auto* upload =
      app.add_subcommand("upload", "Upload a file to the service and print its asset address");
  auto file = std::make_shared<std::string>();
  auto name = std::make_shared<std::string>();
  upload->add_option("FILE", *file, "the file to upload")->required();
  upload->add_option("--name", *name, "the file name the service is told (default: FILE's)");
  upload->callback(
      [&context, exitStatus, file, name] { *exitStatus = Upload(context, *file, *name); });
}

}  // namespace osl_cli
