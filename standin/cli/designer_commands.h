// The designer tools on the command line: `osl check` (the lint),
// `osl preview`, `osl prefs --test`, `osl publish` of many documents and
// its dry run, and the JSON output of these and of `osl items`. The tools
// themselves are the plug-in's menu actions; these commands run them, show
// what they report (IToolReport) and draw what they ask for.
//
// JSON output: one JSON object on stdout with "schema": 1 (README.md,
// "Before you publish", describes every member); alerts and progress stay
// on stderr.
#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/BaseTypes.h"
#include "host/PMGeometry.h"
#include "standin/cli/cli_context.h"

namespace standin {
class Document;
struct PageItem;
class ToolReports;
}  // namespace standin

namespace osl_cli {

constexpr int kJsonSchema = 1;

// The bounding box of `item` in the coordinates of its page (top-left
// origin), or of its spread for a pasteboard item.
PMRect PageBox(const standin::PageItem& item);

// The designer tools' menu actions, by the names the plug-in gives them.
constexpr char kCheckAction[] = "check";
constexpr char kDryRunAction[] = "dry-run";
constexpr char kPreviewAction[] = "preview";
constexpr char kConnectionTestAction[] = "test-connection";

// Adds `check` and `preview`.
void AddDesignerCommands(CLI::App& app, CliContext& context, int* exitStatus);

// The records of the last report as JSON objects: {"kind": KIND, NAME:
// VALUE...}, numbers and flags as JSON numbers and booleans.
nlohmann::json ReportRecordsJson(const standin::ToolReports& reports);
// The records of kind `kind` only, without their "kind" member.
nlohmann::json ReportRecordsJson(const standin::ToolReports& reports, const std::string& kind);

// Alerts shown since alert number `from`, as [{"kind": ..., "text": ...}].
nlohmann::json AlertsJson(CliContext& context, size_t from);

// Prints `json` (indented) and a line feed to stdout.
void PrintJson(const nlohmann::json& json);

// `osl publish DOC...`: `publishOne(path, dryRun)` publishes (or dry-runs)
// one document as `osl publish DOC` does and returns its status. One line
// per document and a summary when there are several (or one JSON
// document); status 1 when any failed, 2 for usage errors.
struct PublishManyOptions {
  std::vector<std::string> paths;
  bool dryRun = false;
  bool keepGoing = false;
  bool json = false;
};
int RunPublishMany(CliContext& context, const PublishManyOptions& options,
                   const std::function<int(const std::string& path)>& publishOne);

// `osl prefs --test [--json]`.
int RunPrefsTest(CliContext& context, bool json);

// `osl items DOC --json`: the listing as one JSON document.
int RunItemsJson(CliContext& context, const std::string& path);

}  // namespace osl_cli
