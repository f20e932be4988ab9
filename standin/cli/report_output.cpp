// Showing what a plug-in's tool reported: its records as lines or JSON.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "standin/alerts/alert_center.h"
#include "standin/app/host.h"
#include "standin/app/tool_report.h"
#include "standin/cli/designer_commands.h"

namespace osl_cli {

namespace {

// A number value as JSON: an integer when it is one, else a double; text
// that is no number stays text.
nlohmann::json NumberValue(const std::string& text) {
  if (text.empty()) return text;
  char* end = nullptr;
  const long long integer = std::strtoll(text.c_str(), &end, 10);
  if (*end == '\0') return integer;
  const double number = std::strtod(text.c_str(), &end);
  if (*end == '\0') return number;
  return text;
}

nlohmann::json RecordJson(const standin::ToolRecord& record, bool withKind) {
  nlohmann::json object = nlohmann::json::object();
  if (withKind) object["kind"] = record.kind;
  for (const auto& value : record.values) {
    switch (value.type) {
      case ToolValue::kNumber:
        object[value.name] = NumberValue(value.text);
        break;
      case ToolValue::kFlag:
        object[value.name] = value.text == "true";
        break;
      default:
        object[value.name] = value.text;
    }
  }
  return object;
}

}  // namespace

nlohmann::json ReportRecordsJson(const standin::ToolReports& reports) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& record : reports.Records()) list.push_back(RecordJson(record, true));
  return list;
}

nlohmann::json ReportRecordsJson(const standin::ToolReports& reports, const std::string& kind) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& record : reports.Records()) {
    if (record.kind == kind) list.push_back(RecordJson(record, false));
  }
  return list;
}

nlohmann::json AlertsJson(CliContext& context, size_t from) {
  nlohmann::json list = nlohmann::json::array();
  if (!context.host()) return list;
  const auto& log = context.host()->AlertLog().Log();
  for (size_t i = from; i < log.size(); ++i) {
    list.push_back({{"kind", standin::AlertKindName(log[i].kind)}, {"text", log[i].text}});
  }
  return list;
}

void PrintJson(const nlohmann::json& json) {
  // Invalid UTF-8 in a document's texts is replaced, never a reason to fail.
  const std::string text = json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace osl_cli
