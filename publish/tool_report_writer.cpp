#include "publish/tool_report_writer.h"

#include <cmath>

#include "host/Utils.h"
#include "publish/publish_texts.h"
#include "text/number_text.h"

ReportRecord& ReportRecord::Text(const char* name, const PMString& text) {
  ToolValue value;
  value.name = Literal(name);
  value.text = text;
  value.text.SetTranslatable(false);
  value.type = ToolValue::kText;
  values_.push_back(std::move(value));
  return *this;
}

ReportRecord& ReportRecord::Text(const char* name, const std::string& utf8) {
  return Text(name, Literal(utf8));
}

ReportRecord& ReportRecord::Number(const char* name, double value) {
  ToolValue entry;
  entry.name = Literal(name);
  entry.text = Literal(NumberText(value));
  entry.type = ToolValue::kNumber;
  values_.push_back(std::move(entry));
  return *this;
}

ReportRecord& ReportRecord::Integer(const char* name, long long value) {
  ToolValue entry;
  entry.name = Literal(name);
  entry.text = Literal(std::to_string(value));
  entry.type = ToolValue::kNumber;
  values_.push_back(std::move(entry));
  return *this;
}

ReportRecord& ReportRecord::Flag(const char* name, bool value) {
  ToolValue entry;
  entry.name = Literal(name);
  entry.text = Literal(value ? "true" : "false");
  entry.type = ToolValue::kFlag;
  values_.push_back(std::move(entry));
  return *this;
}

ToolReporter::ToolReporter(const char* tool) {
  report_.reset(static_cast<IToolReport*>(UtilsBoss::QueryUtils(IID_ITOOLREPORT)));
  if (report_) report_->BeginReport(Literal(tool));
}

void ToolReporter::Add(const char* kind, const ReportRecord& record, const std::string& line) {
  if (report_) report_->AddRecord(Literal(kind), record.Values(), Literal(line));
}

void ToolReporter::Add(const ToolOutline& outline) {
  if (report_) report_->AddOutline(outline);
}

std::string NumberText(double value) {
  return std::isfinite(value) ? textutil::ShortestDecimal(value) : "0";
}
