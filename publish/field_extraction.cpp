#include "publish/field_extraction.h"

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "host/CAlert.h"
#include "host/IPageItemStyle.h"
#include "host/InterfacePtr.h"
#include "model/tag_map.h"
#include "publish/grouped_fields.h"
#include "publish/page_items.h"
#include "publish/publish_texts.h"
#include "publish/tool_report_writer.h"
#include "text/ascii_case.h"

namespace {

using osl_soap::OstrFieldInfo;

constexpr PMReal kTolerance = 1e-8;

// The value of `key` in `map`, empty when absent (the map is not changed).
PMString Value(const TagMap& map, const char* key) {
  const auto found = map.find(PMString(key));
  return found == map.end() ? PMString() : found->second;
}

// `value` cut towards zero to an int; values beyond int's range are held at
// its ends and NaN gives 0, so a hostile document cannot make it undefined.
int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(value);
}

// `value` written with `digits` decimals by the host and read back.
double ThroughText(PMReal value, int32 digits) {
  PMString text;
  text.AppendNumber(value, digits, 1, 1);
  std::istringstream in(text.GetUTF8String());
  in.imbue(std::locale::classic());
  double result = 0;
  in >> result;
  return in.fail() ? 0 : result;
}

std::u32string WithoutCharacters(std::u32string text, std::u32string removed) {
  std::u32string kept;
  kept.reserve(text.size());
  for (char32_t c : text) {
    if (removed.find(c) == std::u32string::npos) kept.push_back(c);
  }
  return kept;
}

void WarnWithFieldName(const char* beginKey, const PMString& name, const char* endKey) {
  CAlert::WarningAlert(Translated(beginKey) + name + Translated(endKey));
}

}  // namespace

// Pairs the items' field names with the service's records of the template.
// Every record goes to one item at most, and an exact name match always
// wins over a match that ignores letter case, whatever the order of the
// items.
class FieldExtraction::ExistingFields {
 public:
  explicit ExistingFields(osl_soap::ArrayOfOstrFieldInfo* list) {
    if (!list) return;
    for (OstrFieldInfo* record : list->OstrFieldInfo) {
      if (!record || !record->fieldName) continue;
      exact_[*record->fieldName].records.push_back(record);
      lowered_[textutil::Lower(*record->fieldName)].records.push_back(record);
    }
  }

  // The record for each of `names` (UTF-8; empty: no field), or null: first
  // every name takes the first record of exactly that name not taken yet,
  // then every name left takes the first such record whose name is the same
  // when A-Z are lowered.
  std::vector<OstrFieldInfo*> Match(const std::vector<std::string>& names) {
    std::vector<OstrFieldInfo*> matched(names.size(), nullptr);
    for (size_t i = 0; i < names.size(); ++i) {
      if (!names[i].empty()) matched[i] = Take(exact_, names[i]);
    }
    for (size_t i = 0; i < names.size(); ++i) {
      if (!names[i].empty() && !matched[i]) matched[i] = Take(lowered_, textutil::Lower(names[i]));
    }
    return matched;
  }

 private:
  struct Queue {
    std::vector<OstrFieldInfo*> records;  // in list order
    size_t next = 0;
  };
  using Index = std::unordered_map<std::string, Queue>;

  OstrFieldInfo* Take(Index& index, const std::string& key) {
    const auto found = index.find(key);
    if (found == index.end()) return nullptr;
    Queue& queue = found->second;
    while (queue.next < queue.records.size()) {
      OstrFieldInfo* record = queue.records[queue.next++];
      if (taken_.insert(record).second) return record;
    }
    return nullptr;
  }

  Index exact_, lowered_;
  std::unordered_set<OstrFieldInfo*> taken_;
};

FieldExtraction::FieldExtraction(const FieldExtractionInput& input, my_strings& strings,
                                 PublishAssets& assets)
    : input_(input), strings_(strings), assets_(assets) {}

void FieldExtraction::Run() {
  fields_.clear();
  overLimit_ = false;
  const PageItems pages(input_.document);
  tagged_ = UIDList(pages.Items().GetDataBase());
  const UIDList& items = pages.Items();
  std::vector<TagMap> tags;
  std::vector<std::string> names;
  tags.reserve(items.Length());
  names.reserve(items.Length());
  for (int32 i = 0; i < items.Length(); ++i) {
    tags.push_back(ReadStringMap(items.GetRef(i)));
    names.push_back(Value(tags.back(), tagkeys::kFieldName).GetUTF8String());
  }
  const std::vector<OstrFieldInfo*> reused = ExistingFields(input_.existing).Match(names);
  for (int32 i = 0; i < items.Length(); ++i) {
    AddField(items.GetRef(i), pages.PageNumberOf(items.At(i)), std::move(tags[i]), reused[i]);
  }
  WarnAboutGroupedFields(FieldsInUntaggedGroups(pages));
  AssignStackingOrder();
}

void FieldExtraction::AddField(const UIDRef& item, int32 pageNumber, TagMap tag,
                               OstrFieldInfo* record) {
  const PMString fieldName = Value(tag, tagkeys::kFieldName);
  if (fieldName.IsEmpty()) return;

  InterfacePtr<ITextModel> story = QueryFrameStory(item);
  const bool textFrame = story.get() != nullptr;
  int32 verticalJustification = 0;
  if (textFrame) {
    InterfacePtr<ITextFrameOptions> options(item, IID_ITEXTFRAMEOPTIONS);
    const int32 vertical = options ? options->GetVerticalJustification() : 0;
    if (vertical >= 0 && vertical <= 2) verticalJustification = vertical;
  }
  tagged_.Append(item.GetUID());

  PMString controlType = Value(tag, tagkeys::kControlType);
  if (input_.clientType == PMString("1") && textFrame && controlType == PMString("4")) {
    controlType = PMString("0");
    tag[PMString(tagkeys::kControlType)] = controlType;
    WriteStringMap(item, tag);
  }

  const bool newRecord = record == nullptr;
  if (!newRecord) NoteKeptEdits(item, story.get(), verticalJustification, tag, *record);
  if (newRecord) {
    record = &newRecords_.emplace_back();
    record->fieldName = strings_.Add(fieldName);
  }
  const bool refreshed = newRecord || input_.refresh;
  if (refreshed) {
    FillMembership(Value(tag, tagkeys::kMemberOfGroup), Value(tag, tagkeys::kDependsOn), record);
    record->promptText = strings_.Add(Value(tag, tagkeys::kPromptText));
  }

  FillGeometry(item, pageNumber, record);
  IDFile image;
  if (GetLinkedFile(input_.document, item, &image)) {
    PMString imageName;
    if (refreshed) {
      if (assets_.AddImage(image, &imageName)) record->defaultValue = strings_.Add(imageName);
    } else if (record->defaultValue && *record->defaultValue == image.GetFileName()) {
      // The kept record names this file: the service must hold it, also
      // when an earlier publish stopped before its assets were sent.
      assets_.AddImage(image, nullptr);
    }
  }
  if (!newRecord && textFrame && record->fontFileName) {
    InterfacePtr<ITextAttributes> attributes(story->QueryAttributesAt(0));
    if (attributes) assets_.AddNamedFont(input_.document, *attributes, *record->fontFileName);
  }
  if (!newRecord && input_.refresh && textFrame) {
    std::u32string text;
    GetFrameText(item, &text);
    if (text.empty()) {
      record->defaultValue = strings_.Add(std::string());
    } else {
      std::string* value = strings_.Add(Utf32ToUtf8(WithoutCharacters(text, U"\u0003\u0007")));
      // The service's own control type decides where its text goes.
      if (record->controlType == osl_soap::ns2__enumControlType__richText) {
        record->setup_USCOREdefaultValueHTML = value;
      } else {
        record->defaultValue = value;
      }
    }
  }
  MapControlType(controlType, textFrame, newRecord, strings_, record);
  if (newRecord) FillNewRecord(item, story.get(), verticalJustification, fieldName, record);
  fields_.push_back(record);
}

void FieldExtraction::FillGeometry(const UIDRef& item, int32 pageNumber, OstrFieldInfo* record) {
  record->pageNumber = pageNumber;
  const UIDRef page = GetPageRef(input_.document, pageNumber);
  const PMReal pageHeight = GetPageBounds(page).Height();
  PMReal rotation = 0;
  const PMRect bounds = GetItemBounds(item, page, &rotation, nullptr);
  record->pdfRect = strings_.Add(FieldPdfRect(bounds, pageHeight));
  record->rotation = FieldRotation(rotation);
  record->rotationPoint = osl_soap::ns2__rotatationPointEnum__center;
}

void FieldExtraction::FillMembership(const PMString& group, const PMString& dependsOn,
                                     OstrFieldInfo* record) {
  if (!group.IsEmpty()) {
    const std::string name = group.GetUTF8String();
    bool known = false;
    if (input_.groups) {
      for (const osl_soap::logicGroup* entry : input_.groups->logicGroup) {
        if (!entry || !entry->logicGroupName || *entry->logicGroupName != name) continue;
        record->logicGroupID = entry->logicGroupID;
        known = true;
      }
    }
    if (!known) {
      WarnWithFieldName("0x199e00kMissingStackingGroupKeyBegin", group,
                        "0x199e00kMissingStackingGroupKeyEnd");
      return;
    }
  }
  if (!dependsOn.IsEmpty()) record->logicDependsOn = strings_.Add(dependsOn);
}

void FieldExtraction::FillNewRecord(const UIDRef& item, const ITextModel* story,
                                    int32 verticalJustification, const PMString& fieldName,
                                    OstrFieldInfo* record) {
  record->forProduction = true;
  record->forProof = true;
  record->fieldEntryRequired = true;
  record->maxLength = 5000;
  record->fontForceFit = true;
  record->imageBorder = false;

  InterfacePtr<IGraphicStyle> style(item, IID_IGRAPHICSTYLE);
  if (style) {
    const PMReal weight = style->GetStrokeWeight();
    if (weight > kTolerance) {
      record->imageBorder = true;
      record->imageBorderWidth = weight;
    }
    ColorInfo stroke;
    std::string cmyk = "0 0 0 0";
    if (record->imageBorder && style->GetStrokeColor(&stroke)) {
      cmyk = std::to_string(TruncateToInt(stroke.c * 100)) + " " +
             std::to_string(TruncateToInt(stroke.m * 100)) + " " +
             std::to_string(TruncateToInt(stroke.y * 100)) + " " +
             std::to_string(TruncateToInt(stroke.k * 100));
    }
    record->imageBorderCMYK = strings_.Add(cmyk);
  }

  InterfacePtr<IOpacity> opacity(item, IID_IOPACITY);
  record->fontOpacity = opacity ? opacity->GetOpacity() : 100;

  if (!story) return;
  std::u32string text;
  GetFrameText(item, &text);
  if (!text.empty()) {
    std::string* value = strings_.Add(Utf32ToUtf8(WithoutCharacters(text, U"\u0003")));
    if (record->controlType == osl_soap::ns2__enumControlType__richText) {
      record->setup_USCOREdefaultValueHTML = value;
    } else {
      record->defaultValue = value;
    }
  }
  FillTextSettings(*story, verticalJustification, fieldName, record);
}

void FieldExtraction::FillTextSettings(const ITextModel& story, int32 verticalJustification,
                                       const PMString& fieldName, OstrFieldInfo* record) {
  if (!ReadTextSettings(story, verticalJustification, record)) {
    // The field is still sent (with the other fields after it), so that the
    // service keeps every field of the template; in black, as the warning
    // says, rather than in an unprintable white.
    WarnWithFieldName("0x199e00kTextColorMissingKeyBegin", fieldName,
                      "0x199e00kTextColorMissingKeyEnd");
  }
  InterfacePtr<ITextAttributes> attributes(story.QueryAttributesAt(0));
  if (attributes) assets_.AddFont(input_.document, *attributes, record);
}

bool FieldExtraction::ReadTextSettings(const ITextModel& story, int32 verticalJustification,
                                       OstrFieldInfo* record) {
  InterfacePtr<ITextAttributes> attributes(story.QueryAttributesAt(0));
  ColorInfo color;
  const bool colored = attributes && attributes->GetFillColor(&color);
  if (!colored) {
    record->fontColorC = 0;
    record->fontColorM = 0;
    record->fontColorY = 0;
    record->fontColorK = 100;
  } else {
    record->fontColorC = TruncateToInt(color.c * 100 + 0.5);
    record->fontColorM = TruncateToInt(color.m * 100 + 0.5);
    record->fontColorY = TruncateToInt(color.y * 100 + 0.5);
    record->fontColorK = TruncateToInt(color.k * 100 + 0.5);
    if (color.kind == ColorInfo::kSpot && !color.name.IsEmpty()) {
      record->fontSpotColorName = strings_.Add(color.name);
    }
    PMReal tint = -1;
    if (attributes->GetFillTint(&tint) && std::fabs(tint + 1) > kTolerance) {
      for (double* component :
           {&record->fontColorC, &record->fontColorM, &record->fontColorY, &record->fontColorK}) {
        *component = TruncateToInt(tint / 100 * *component);
      }
    }
  }
  if (!attributes) return colored;

  PMReal value = 0;
  if (attributes->GetPointSize(&value)) record->fontSize = value;
  if (attributes->GetTracking(&value)) record->fontTracking = ThroughText(value * 1000, 2);
  if (attributes->GetLeading(&value)) record->fontLeading = value < 0 ? 0 : value;
  bool16 underline = 0;
  if (attributes->GetUnderline(&underline)) record->fontUnderline = underline != 0;
  ITextAttributes::Alignment alignment = ITextAttributes::kAlignLeft;
  attributes->GetParagraphAlignment(&alignment);
  record->fontAlignment = FieldAlignment(alignment, verticalJustification);
  const std::string fontName = PublishAssets::FontName(input_.document, *attributes);
  if (!fontName.empty()) record->fontName = strings_.Add(fontName);
  return colored;
}

void FieldExtraction::NoteKeptEdits(const UIDRef& item, const ITextModel* story,
                                    int32 verticalJustification, const TagMap& tag,
                                    const OstrFieldInfo& record) {
  const std::string field = record.fieldName ? *record.fieldName : std::string();
  const auto note = [&](const char* member, const std::string& service, const std::string& document,
                        bool byRefresh) {
    if (service != document) keptEdits_.push_back({field, member, service, document, byRefresh});
  };
  const auto text = [](const std::string* value) { return value ? *value : std::string(); };
  const auto groupName = [this](int id) {
    if (id == 0 || !input_.groups) return std::string();
    std::string name;
    for (const osl_soap::logicGroup* entry : input_.groups->logicGroup) {
      if (entry && entry->logicGroupID == id && entry->logicGroupName)
        name = *entry->logicGroupName;
    }
    return name.empty() ? "group " + std::to_string(id) : name;
  };
  if (!input_.refresh) {
    note("promptText", text(record.promptText), Value(tag, tagkeys::kPromptText).GetUTF8String(),
         true);
    if (story) {
      std::u32string frameText;
      GetFrameText(item, &frameText);
      const std::string sample = Utf32ToUtf8(WithoutCharacters(frameText, U"\u0003\u0007"));
      const std::string* kept = record.controlType == osl_soap::ns2__enumControlType__richText
                                    ? record.setup_USCOREdefaultValueHTML
                                    : record.defaultValue;
      note("defaultValue", text(kept), sample, true);
    }
    note("logicDependsOn", text(record.logicDependsOn),
         Value(tag, tagkeys::kDependsOn).GetUTF8String(), true);
    note("logicGroup", groupName(record.logicGroupID),
         Value(tag, tagkeys::kMemberOfGroup).GetUTF8String(), true);
  }
  if (!story) return;
  OstrFieldInfo document;
  ReadTextSettings(*story, verticalJustification, &document);
  note("fontName", text(record.fontName), text(document.fontName), false);
  note("fontSize", NumberText(record.fontSize), NumberText(document.fontSize), false);
  const std::string serviceColor =
      NumberText(record.fontColorC) + " " + NumberText(record.fontColorM) + " " +
      NumberText(record.fontColorY) + " " + NumberText(record.fontColorK);
  const std::string documentColor =
      NumberText(document.fontColorC) + " " + NumberText(document.fontColorM) + " " +
      NumberText(document.fontColorY) + " " + NumberText(document.fontColorK);
  note("fontColor", serviceColor, documentColor, false);
  note("fontSpotColorName", text(record.fontSpotColorName), text(document.fontSpotColorName),
       false);
  note("fontTracking", NumberText(record.fontTracking), NumberText(document.fontTracking), false);
  note("fontUnderline", record.fontUnderline ? "true" : "false",
       document.fontUnderline ? "true" : "false", false);
  note("fontAlignment", std::to_string(static_cast<int>(record.fontAlignment)),
       std::to_string(static_cast<int>(document.fontAlignment)), false);
}

void FieldExtraction::AssignStackingOrder() {
  std::unordered_map<int, int> nextOnPage;
  for (auto field = fields_.rbegin(); field != fields_.rend(); ++field) {
    int& next = nextOnPage.try_emplace((*field)->pageNumber, 1).first->second;
    if (next > kOslMaxZOrder) {
      (*field)->zOrder = kOslMaxZOrder;
      overLimit_ = true;
    } else {
      (*field)->zOrder = next;
    }
    ++next;
  }
}

void MapControlType(const PMString& controlType, bool textFrame, bool newRecord,
                    my_strings& strings, OstrFieldInfo* record) {
  using namespace osl_soap;
  struct Row {
    const char* code;
    ns2__enumControlType type;
    const char* ddValue;
    const char* fieldType;
    const char* dataSource;
  };
  static const Row kTextRows[] = {
      {"0", ns2__enumControlType__textBox, "textBox", "text", "user"},
      {"1", ns2__enumControlType__textArea, "textArea", "text", "user"},
      {"2", ns2__enumControlType__dropDown, "dropDown", "text", "user"},
      {"3", ns2__enumControlType__richText, "richText", "text", "user"},
      {"4", ns2__enumControlType__textBox, "textBox", "barcode", "user"},
  };
  static const Row kOtherRows[] = {
      {"0", ns2__enumControlType__stdImageUpload, "stdImageUpload", "image", "user"},
      {"1", ns2__enumControlType__advImageUpload, "advImageUpload", "image", "user"},
      {"2", ns2__enumControlType__imagePicker, "100", "image", "user"},
      {"3", ns2__enumControlType__stdImageUpload, "stdImageUpload", "nonprint", "graphic"},
  };
  const Row* row = nullptr;
  if (textFrame) {
    for (const Row& candidate : kTextRows) {
      if (controlType == PMString(candidate.code)) row = &candidate;
    }
  } else {
    for (const Row& candidate : kOtherRows) {
      if (controlType == PMString(candidate.code)) row = &candidate;
    }
  }
  if (!row) {
    record->setup_USCOREradioFieldType = strings.Add(std::string(textFrame ? "text" : "image"));
    if (newRecord) record->setup_USCOREradioDataSource = strings.Add(std::string("user"));
    return;
  }
  record->controlType = row->type;
  record->setup_USCOREcontrolTypeDDValue = strings.Add(std::string(row->ddValue));
  record->setup_USCOREradioFieldType = strings.Add(std::string(row->fieldType));
  if (newRecord) record->setup_USCOREradioDataSource = strings.Add(std::string(row->dataSource));
  if (textFrame && controlType == PMString("4")) record->barCode = ns2__barcodeType__qrCode;
  if (!textFrame && controlType == PMString("2")) record->imagePickerGroup = 1;
}

osl_soap::ns2__enumTextAlignment FieldAlignment(int32 alignment, int32 vertical) {
  if (alignment < 0 || alignment > 2 || vertical < 0 || vertical > 2) {
    return osl_soap::ns2__enumTextAlignment__topLeft;
  }
  return static_cast<osl_soap::ns2__enumTextAlignment>(vertical * 3 + alignment);
}

double FieldRotation(PMReal degrees) {
  if (!std::isfinite(degrees)) return 0;
  // Far above a turn, reduce first so that the subtraction below ends soon.
  if (degrees > 720) degrees = std::fmod(degrees, 360.0) + 360.0;
  while (degrees > 360.00000001) degrees -= 360;
  // A negative zero (an upright item whose matrix gives -0) goes out as 0,
  // never as "-0".
  if (std::fabs(degrees) <= kTolerance) return degrees + 0.0;
  return 360 - degrees;
}

PMString FieldPdfRect(const PMRect& bounds, PMReal pageHeight) {
  PMString text;
  const PMReal values[] = {bounds.left, pageHeight - bounds.bottom, bounds.right,
                           pageHeight - bounds.top};
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0) text.Append(" ");
    text.AppendNumber(values[i], 3, 1, 1);
  }
  text.SetTranslatable(false);
  return text;
}

std::vector<std::string> KeptEditLines(const std::vector<KeptEdit>& edits) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < edits.size();) {
    const std::string& field = edits[i].field;
    std::string members;
    bool byRefresh = false, asNew = false;
    for (; i < edits.size() && edits[i].field == field; ++i) {
      const KeptEdit& edit = edits[i];
      members += (members.empty() ? "" : "; ") + edit.member + " \"" + edit.service +
                 "\" (the document has \"" + edit.document + "\")";
      (edit.byRefresh ? byRefresh : asNew) = true;
    }
    std::string how;
    if (byRefresh) how = "publish with refresh (--refresh)";
    if (asNew) {
      how += std::string(how.empty() ? "" : " for the first, ") +
             "publish as a new template (--as-new)" + (byRefresh ? " for the text settings" : "");
    }
    lines.push_back("field \"" + field + "\" keeps the service's values: " + members +
                    "; to send the document's, " + how);
  }
  return lines;
}
