// The plug-in's side of the host's tool report: a report begun for one
// designer tool, records built value by value, and the outlines a preview
// asks the host to draw. Without the host's report service every call does
// nothing.
#pragma once

#include <string>

#include "host/IToolReport.h"
#include "host/InterfacePtr.h"

// The named values of one record, in the order they are added.
class ReportRecord {
 public:
  ReportRecord& Text(const char* name, const PMString& text);
  ReportRecord& Text(const char* name, const std::string& utf8);
  ReportRecord& Number(const char* name, double value);
  ReportRecord& Integer(const char* name, long long value);
  ReportRecord& Flag(const char* name, bool value);
  const K2Vector<ToolValue>& Values() const { return values_; }

 private:
  K2Vector<ToolValue> values_;
};

class ToolReporter {
 public:
  // Begins the report of `tool` with the host, dropping the earlier one.
  explicit ToolReporter(const char* tool);
  ToolReporter(const ToolReporter&) = delete;
  ToolReporter& operator=(const ToolReporter&) = delete;

  // False when the host offers no report service.
  bool Available() const { return report_.get() != nullptr; }
  void Add(const char* kind, const ReportRecord& record, const std::string& line);
  void Add(const ToolOutline& outline);

 private:
  InterfacePtr<IToolReport> report_;
};

// Shortest decimal text of `value` that reads back as the same double
// ("12", "0.5", "-3.25"); "0" for NaN and infinities.
std::string NumberText(double value);
