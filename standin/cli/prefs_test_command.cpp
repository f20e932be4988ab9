// `osl prefs --test`: the plug-in's connection check, shown in one line (or
// one JSON document). Exit 0 when the service accepted the sign-in, 1
// otherwise.
#include <cstdio>
#include <iostream>

#include "standin/app/host.h"
#include "standin/cli/designer_commands.h"
#include "standin/core/terminal_text.h"

namespace osl_cli {

int RunPrefsTest(CliContext& context, bool json) {
  if (!context.StartHost()) return kExitUsage;
  standin::Host& host = *context.host();
  host.Reports().Begin("");
  std::string error;
  if (host.GetMenu().Run(kConnectionTestAction, &error) != standin::Menu::Outcome::kRan) {
    std::cerr << "osl: " << error << std::endl;
    return kExitErrorAlert;
  }
  const standin::ToolRecord* result = nullptr;
  for (const auto& record : host.Reports().Records()) {
    if (record.kind == "connection") result = &record;
  }
  if (host.Reports().Tool() != "connection" || !result) {
    std::cerr << "osl: the plug-in reported no connection check" << std::endl;
    return kExitErrorAlert;
  }
  const bool ok = result->Get("ok") == "true";
  const int status = ok ? kExitOk : kExitErrorAlert;
  if (json) {
    nlohmann::json records = ReportRecordsJson(host.Reports(), "connection");
    nlohmann::json document = {{"schema", kJsonSchema}, {"command", "prefs-test"}};
    for (auto& member : records.front().items()) document[member.key()] = member.value();
    document["exit"] = status;
    PrintJson(document);
  } else {
    std::printf("%s%s\n", ok ? "ok: " : "failed: ",
                standin::EscapeForTerminal(result->line).c_str());
  }
  return status;
}

}  // namespace osl_cli
