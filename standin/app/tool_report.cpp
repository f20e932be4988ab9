#include "standin/app/tool_report.h"

#include "host/CPMUnknown.h"
#include "standin/core/boss.h"
#include "standin/document/document.h"
#include "standin/pdf/font_faces.h"
#include "standin/pdf/text_layout.h"

namespace standin {

namespace {

class ToolReportImpl : public CPMUnknown<IToolReport> {
 public:
  ToolReportImpl(IPMUnknown* boss, ToolReports* reports) : CPMUnknown(boss), reports_(reports) {}

  void BeginReport(const PMString& tool) override { reports_->Begin(tool.GetUTF8String()); }

  void AddRecord(const PMString& kind, const K2Vector<ToolValue>& values,
                 const PMString& line) override {
    ToolRecord record;
    record.kind = kind.GetUTF8String();
    record.line = line.GetUTF8String();
    record.values.reserve(values.size());
    for (const ToolValue& value : values) {
      record.values.push_back({value.name.GetUTF8String(), value.text.GetUTF8String(), value.type});
    }
    reports_->Add(std::move(record));
  }

  void AddOutline(const ToolOutline& outline) override {
    ToolShape shape;
    shape.pageNumber = outline.pageNumber;
    for (int i = 0; i < 4; ++i) shape.corners[i] = outline.corners[i];
    shape.rgb = outline.rgb & 0xFFFFFFu;
    shape.label = outline.label.GetUTF8String();
    shape.style = outline.style == ToolOutline::kMarker ? ToolOutline::kMarker
                                                        : ToolOutline::kField;
    shape.hiddenItem = outline.hiddenItem;
    reports_->Add(std::move(shape));
  }

 private:
  ToolReports* reports_;
};

class TextFitUtils : public CPMUnknown<ITextFitUtils> {
 public:
  TextFitUtils(IPMUnknown* boss, const FontResolver* fonts) : CPMUnknown(boss), fonts_(fonts) {}

  bool16 IsOverset(const UIDRef& frame) const override {
    Document* doc = Document::FromDataBase(frame.GetDataBase());
    PageItem* item = doc ? doc->FindItem(frame.GetUID()) : nullptr;
    if (!item || item->kind != ItemKind::kTextFrame) return false;
    FontFaces faces(*fonts_, doc);
    return LayOutStory(*item, faces).overset;
  }

 private:
  const FontResolver* fonts_;
};

}  // namespace

std::string ToolRecord::Get(const std::string& name) const {
  for (const Value& value : values) {
    if (value.name == name) return value.text;
  }
  return std::string();
}

void ToolReports::Begin(std::string tool) {
  tool_ = std::move(tool);
  records_.clear();
  shapes_.clear();
  dropped_ = 0;
}

void ToolReports::Add(ToolRecord record) {
  if (records_.size() >= kMaxRecords) {
    ++dropped_;
    return;
  }
  records_.push_back(std::move(record));
}

void ToolReports::Add(ToolShape shape) {
  if (shapes_.size() >= kMaxShapes) {
    ++dropped_;
    return;
  }
  shapes_.push_back(std::move(shape));
}

void AddToolReportServices(Boss& boss, ToolReports* reports, const FontResolver* fonts) {
  boss.AddNew<ToolReportImpl>(IID_ITOOLREPORT, reports);
  boss.AddNew<TextFitUtils>(IID_ITEXTFITUTILS, fonts);
}

}  // namespace standin
