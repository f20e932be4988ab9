#include "publish/preview_overlay.h"

#include <map>
#include <string>
#include <vector>

#include "host/ILayout.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/control_types.h"
#include "model/tag_map.h"
#include "publish/field_outline.h"
#include "publish/lint.h"
#include "publish/page_items.h"
#include "publish/publish_texts.h"
#include "publish/tool_report_writer.h"

namespace {

PMString Value(const TagMap& map, const char* key) {
  const auto found = map.find(PMString(key));
  return found == map.end() ? PMString() : found->second;
}

// "Name (Text box)": the field's name and the display text of its control
// type on its kind of frame.
PMString FieldLabel(const UIDRef& item, const TagMap& tag) {
  const PMString name = Value(tag, tagkeys::kFieldName);
  const std::string code = Value(tag, tagkeys::kControlType).GetUTF8String();
  const controltypes::FrameKind kind =
      QueryFrameStory(item) ? controltypes::FrameKind::kText : controltypes::FrameKind::kGraphic;
  const char* key = controltypes::DisplayKeyOfCodeText(kind, code);
  PMString label = name;
  label.Append(Literal(" ("));
  label.Append(key ? Translated(key) : Literal("control type " + (code.empty() ? "-" : code)));
  label.Append(Literal(")"));
  label.SetTranslatable(false);
  return label;
}

void AddOutline(ToolReporter& reporter, const ItemOutline& outline, int32 page, uint32 rgb,
                const PMString& label, ToolOutline::Style style, UID hidden = kInvalidUID) {
  ToolOutline shape;
  shape.pageNumber = page;
  for (int i = 0; i < 4; ++i) shape.corners[i] = outline.corners[i];
  shape.rgb = rgb;
  shape.label = label;
  shape.style = style;
  shape.hiddenItem = hidden;
  reporter.Add(shape);
}

}  // namespace

uint32 PreviewGroupColour(std::size_t index) {
  static const uint32 kColours[] = {0x2DA44E, 0x8250DF, 0xBF3989, 0x0A7D8C,
                                    0x9A6700, 0x6E7781, 0x1B7C83, 0xA40E26};
  return kColours[index % (sizeof kColours / sizeof kColours[0])];
}

void ReportPreviewOverlay() {
  Utils<ILayoutUIUtils> layout;
  IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
  if (!document) return;
  ToolReporter reporter("preview");
  const std::vector<LintFinding> findings = LintDocument(document);
  ReportLintFindings(findings, reporter);

  const TagMap data = ReadStringMap(::GetUIDRef(document));
  const TagMap groups =
      ParseStringMap(Value(data, tagkeys::kStackingGroups), PMString(tagkeys::kGroupSeparator));
  std::map<std::string, uint32> groupColours;
  for (const auto& group : groups) {
    groupColours.emplace(group.first.GetUTF8String(), PreviewGroupColour(groupColours.size()));
  }

  PageItems pages(document);
  const UIDList& items = pages.Items();
  for (int32 i = 0; i < items.Length(); ++i) {
    const UIDRef item = items.GetRef(i);
    const TagMap tag = ReadStringMap(item);
    if (Value(tag, tagkeys::kFieldName).IsEmpty()) continue;
    const int32 page = pages.PageNumberOf(items.At(i));
    ItemOutline outline;
    if (page < 1 || !GetItemOutline(item, GetPageRef(document, page), &outline)) continue;
    const auto colour = groupColours.find(Value(tag, tagkeys::kMemberOfGroup).GetUTF8String());
    AddOutline(reporter, outline, page,
               colour == groupColours.end() ? kPreviewFieldColour : colour->second,
               FieldLabel(item, tag), ToolOutline::kField, items.At(i));
  }

  // One marker per item with findings, labelled with the codes; red when
  // one of them is an error.
  struct Marked {
    int32 page = 0;
    bool error = false;
    std::string codes;
  };
  std::map<UID, Marked> marked;
  std::vector<UID> order;
  for (const LintFinding& finding : findings) {
    if (finding.uid == kInvalidUID || finding.pageNumber < 1) continue;
    auto inserted = marked.emplace(finding.uid, Marked());
    if (inserted.second) order.push_back(finding.uid);
    Marked& mark = inserted.first->second;
    mark.page = finding.pageNumber;
    mark.error = mark.error || LintRuleSeverity(finding.rule) == LintSeverity::kError;
    const std::string code = LintRuleCode(finding.rule);
    if (mark.codes.find(code) == std::string::npos)
      mark.codes += (mark.codes.empty() ? "" : " ") + code;
  }
  for (UID uid : order) {
    const Marked& mark = marked[uid];
    ItemOutline outline;
    const UIDRef item(document->GetDocDataBase(), uid);
    if (!GetItemOutline(item, GetPageRef(document, mark.page), &outline)) continue;
    AddOutline(reporter, outline, mark.page,
               mark.error ? kPreviewErrorColour : kPreviewWarningColour, Literal(mark.codes),
               ToolOutline::kMarker);
  }
}
