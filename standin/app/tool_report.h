// The host side of IToolReport and ITextFitUtils: the stand-in keeps what a
// plug-in's designer tool reports (records and outlines) for the command
// line to show, and answers whether a text frame's story is overset from the
// same text layout the PDF export draws with.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/IToolReport.h"

namespace standin {

class Boss;
class FontResolver;

// One record as the plug-in gave it, in UTF-8.
struct ToolRecord {
  struct Value {
    std::string name;
    std::string text;
    ToolValue::Type type = ToolValue::kText;
  };
  std::string kind;
  std::vector<Value> values;
  std::string line;

  // The text of the value `name`, or "" when the record has none.
  std::string Get(const std::string& name) const;
};

// An outline as the plug-in gave it.
struct ToolShape {
  int pageNumber = 0;
  PMPoint corners[4];
  uint32 rgb = 0;
  std::string label;
  ToolOutline::Style style = ToolOutline::kField;
  UID hiddenItem = kInvalidUID;
};

// What the last report holds. At most kMaxRecords records and kMaxShapes
// outlines are kept; further ones are counted in Dropped().
class ToolReports {
 public:
  static constexpr size_t kMaxRecords = 100000;
  static constexpr size_t kMaxShapes = 100000;

  void Begin(std::string tool);
  void Add(ToolRecord record);
  void Add(ToolShape shape);

  // The tool of the last BeginReport ("" when none has begun).
  const std::string& Tool() const { return tool_; }
  const std::vector<ToolRecord>& Records() const { return records_; }
  const std::vector<ToolShape>& Shapes() const { return shapes_; }
  size_t Dropped() const { return dropped_; }

 private:
  std::string tool_;
  std::vector<ToolRecord> records_;
  std::vector<ToolShape> shapes_;
  size_t dropped_ = 0;
};

// Adds IToolReport (writing into `reports`) and ITextFitUtils (laying text
// out with `fonts`) to the session boss `boss`. Both arguments must outlive
// the boss.
void AddToolReportServices(Boss& boss, ToolReports* reports, const FontResolver* fonts);

}  // namespace standin
