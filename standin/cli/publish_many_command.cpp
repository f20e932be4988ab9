// `osl publish DOC...`: several documents in turn, each published (or
// dry-run) as `osl publish DOC` does with its own template data, one result
// line each and a summary; and `--json` for one or many.
#include <cstdio>
#include <iostream>
#include <string>

#include "standin/app/host.h"
#include "standin/cli/designer_commands.h"
#include "standin/core/terminal_text.h"

namespace osl_cli {

namespace {

// The text of the last information alert since `from`: how a publish ends
// when it succeeds.
std::string LastInformation(standin::Host& host, size_t from) {
  const auto& log = host.AlertLog().Log();
  for (size_t i = log.size(); i > from; --i) {
    if (log[i - 1].kind == standin::AlertKind::kInfo) return log[i - 1].text;
  }
  return std::string();
}

// The dry run's report of one document.
nlohmann::json DryRunJson(const standin::ToolReports& reports) {
  nlohmann::json fields = nlohmann::json::array();
  nlohmann::json questions = nlohmann::json::array();
  for (const auto& record : reports.Records()) {
    if (record.kind == "question") {
      questions.push_back(record.Get("question"));
    } else if (record.kind == "field") {
      fields.push_back({{"change", record.Get("change")},
                        {"name", record.Get("name")},
                        {"members", nlohmann::json::array()}});
    } else if (record.kind == "member" && !fields.empty() &&
               fields.back()["name"] == record.Get("field")) {
      fields.back()["members"].push_back(
          {{"member", record.Get("member")}, {"old", record.Get("old")}, {"new", record.Get("new")}});
    }
  }
  nlohmann::json templates = ReportRecordsJson(reports, "template");
  nlohmann::json counts = ReportRecordsJson(reports, "fields");
  nlohmann::json sums = ReportRecordsJson(reports, "assets");
  return {{"template", templates.empty() ? nlohmann::json(nullptr) : templates.front()},
          {"questions", questions},
          {"fields", fields},
          {"fieldCounts", counts.empty() ? nlohmann::json(nullptr) : counts.front()},
          {"kept", ReportRecordsJson(reports, "kept")},
          {"groups", ReportRecordsJson(reports, "group")},
          {"assets", ReportRecordsJson(reports, "asset")},
          {"assetTotal", sums.empty() ? nlohmann::json(nullptr) : sums.front()},
          {"findings", ReportRecordsJson(reports, "finding")}};
}

void PrintDryRun(const standin::ToolReports& reports) {
  for (const auto& record : reports.Records()) {
    if (record.kind == "summary" || record.line.empty()) continue;
    std::printf("%s\n", standin::EscapeForTerminal(record.line).c_str());
  }
}

const char* StatusName(PublishRecord::Status status) {
  switch (status) {
    case PublishRecord::Status::kRunning:
      return "running";
    case PublishRecord::Status::kPublished:
      return "published";
    case PublishRecord::Status::kUpdated:
      return "updated";
    case PublishRecord::Status::kNotPublished:
      return "not-published";
  }
  return "unknown";
}

const char* FaultName(PublishRecord::Fault fault) {
  switch (fault) {
    case PublishRecord::Fault::kNone: return "";
    case PublishRecord::Fault::kNotConfigured: return "not-configured";
    case PublishRecord::Fault::kCancelled: return "cancelled";
    case PublishRecord::Fault::kDeclined: return "declined";
    case PublishRecord::Fault::kCredentials: return "credentials";
    case PublishRecord::Fault::kNoService: return "no-service";
    case PublishRecord::Fault::kTimeout: return "timeout";
    case PublishRecord::Fault::kTls: return "tls";
    case PublishRecord::Fault::kHttpStatus: return "http";
    case PublishRecord::Fault::kServiceRefused: return "fault";
    case PublishRecord::Fault::kTransfer: return "transfer";
    case PublishRecord::Fault::kLocal: return "local";
  }
  return "unknown";
}

// The plug-in's record of the publish (host/IPublishReport.h) as JSON.
nlohmann::json OutcomeJson(const PublishRecord& record) {
  return {{"status", StatusName(record.status)},
          {"fault", FaultName(record.fault)},
          {"name", record.name},
          {"server", record.server},
          {"templateID", record.templateID},
          {"reason", record.reason},
          {"httpStatus", record.httpStatus},
          {"serviceMayHoldUncommitted", record.serviceMayHoldUncommitted}};
}

// The last error alert since `from`, or "".
std::string LastError(standin::Host& host, size_t from) {
  const auto& log = host.AlertLog().Log();
  for (size_t i = log.size(); i > from; --i) {
    if (log[i - 1].kind == standin::AlertKind::kError) return log[i - 1].text;
  }
  return std::string();
}

// Why a document was not published, in the words a person reads first: the
// plug-in's own reason, else the command's refusal (a document that cannot
// be read), else the last error alert.
std::string FailureReason(CliContext& context, size_t alertsFrom) {
  standin::Host* host = context.host();
  if (host && host->Publishes().Last() && !host->Publishes().Last()->reason.empty()) {
    return host->Publishes().Last()->reason;
  }
  if (!context.LastUsageError().empty()) return context.LastUsageError();
  return host ? LastError(*host, alertsFrom) : std::string();
}

constexpr char kNotTriedReason[] =
    "not tried: an earlier document failed (--keep-going tries every document)";

}  // namespace

int RunPublishMany(CliContext& context, const PublishManyOptions& options,
                   const std::function<int(const std::string& path)>& publishOne) {
  const bool many = options.paths.size() > 1;
  nlohmann::json documents = nlohmann::json::array();
  int succeeded = 0, failed = 0, skipped = 0;
  bool usage = false;
  // What the run prints at its end, also when a question nobody answers
  // ends the process midway: every document gets its entry and its reason.
  const auto finish = [&](int status) {
    if (options.json) {
      PrintJson({{"schema", kJsonSchema},
                 {"command", "publish"},
                 {"dryRun", options.dryRun},
                 {"documents", documents},
                 {"succeeded", succeeded},
                 {"failed", failed},
                 {"skipped", skipped},
                 {"exit", status}});
    } else if (many) {
      for (const nlohmann::json& entry : documents) {
        if (entry["status"] != "skipped") continue;
        std::printf("%s: not tried\n",
                    standin::EscapeForTerminal(entry["document"].get<std::string>()).c_str());
      }
      std::printf(
          "%d of %zu documents %s, %d failed%s\n", succeeded, options.paths.size(),
          options.dryRun ? "dry-run" : "published", failed,
          skipped ? (", " + std::to_string(skipped) + " not tried (no --keep-going)").c_str() : "");
    }
  };
  size_t current = 0;
  size_t currentAlerts = 0;
  context.SetUnansweredHook([&](const std::string& question) {
    ++failed;
    documents.push_back({{"document", options.paths[current]},
                         {"status", "failed"},
                         {"exit", kExitUsage},
                         {"result", ""},
                         {"reason", "stopped at the question \"" + question +
                                        "\": nobody was there to answer it; nothing was saved"},
                         {"alerts", AlertsJson(context, currentAlerts)}});
    if (many && !options.json) {
      std::printf("%s: FAILED (stopped at an unanswered question)\n",
                  standin::EscapeForTerminal(options.paths[current]).c_str());
    }
    for (size_t rest = current + 1; rest < options.paths.size(); ++rest) {
      ++skipped;
      documents.push_back({{"document", options.paths[rest]},
                           {"status", "skipped"},
                           {"reason", "not tried: the run ended at an unanswered question"}});
    }
    finish(kExitUsage);
  });
  for (size_t n = 0; n < options.paths.size(); ++n) {
    const std::string& path = options.paths[n];
    current = n;
    if (failed > 0 && !options.keepGoing) {
      ++skipped;
      documents.push_back({{"document", path}, {"status", "skipped"}, {"reason", kNotTriedReason}});
      continue;
    }
    if (many) std::cerr << "osl: publishing " << path << " (" << n + 1 << " of "
                        << options.paths.size() << ")" << std::endl;
    const bool started = context.StartHost();
    standin::Host* host = context.host();
    const size_t alertsBefore = host ? host->AlertLog().Log().size() : 0;
    currentAlerts = alertsBefore;
    context.ClearLastUsageError();
    const int errorsBefore = host ? host->AlertLog().ErrorCount() : 0;
    if (host) {
      host->Reports().Begin("");
      host->Publishes().Clear();
    }
    const int status = started ? publishOne(path) : kExitUsage;
    host = context.host();
    const int errors = host ? host->AlertLog().ErrorCount() - errorsBefore : 0;
    // The status of a run counts every error alert of this process; a
    // document fails for its own error alerts, a usage error, or a status
    // that no alert explains (a document that could not be saved).
    const bool ok = status == kExitOk || (status == kExitErrorAlert && errors == 0 &&
                                          errorsBefore > 0);
    if (status == kExitUsage) usage = true;
    ok ? ++succeeded : ++failed;
    const std::string result = host ? LastInformation(*host, alertsBefore) : std::string();
    nlohmann::json entry = {{"document", path},
                            {"status", ok ? "ok" : "failed"},
                            {"exit", ok ? kExitOk : (status == kExitOk ? kExitErrorAlert : status)},
                            {"result", result},
                            {"reason", ok ? std::string() : FailureReason(context, alertsBefore)},
                            {"alerts", AlertsJson(context, alertsBefore)}};
    if (!options.dryRun && host && host->Publishes().Last())
      entry["outcome"] = OutcomeJson(*host->Publishes().Last());
    if (options.dryRun && host && host->Reports().Tool() == "dry-run") {
      entry["dryRun"] = DryRunJson(host->Reports());
      if (!options.json) PrintDryRun(host->Reports());
    }
    documents.push_back(entry);
    if (many && !options.json) {
      // A publish that reported its outcome has printed its own result line above this one.
      const bool saidAlready = entry.contains("outcome");
      const std::string why = ok ? result : entry["reason"].get<std::string>();
      std::printf(
          "%s: %s%s\n", standin::EscapeForTerminal(path).c_str(),
          ok ? (options.dryRun ? "dry run done" : "published") : "FAILED",
          why.empty() || saidAlready ? "" : (" (" + standin::EscapeForTerminal(why) + ")").c_str());
    }
    // The next document becomes the front document on its own.
    if (host && host->GetSession().FrontDocument())
      host->GetSession().CloseDocument(host->GetSession().FrontDocument());
  }
  context.SetUnansweredHook(nullptr);
  const int status = failed == 0 ? kExitOk : (usage && !many ? kExitUsage : kExitErrorAlert);
  finish(status);
  return status;
}

}  // namespace osl_cli
