// Field extraction: one field record per tagged page item of a document,
// for the setFields request of a publish.
//
// Items are visited as PageItems lists them. For each item whose field tag
// has a field name: the record the service already holds under that name
// (exactly, else without regard to ASCII letter case) is reused and
// updated, otherwise a new record is made; geometry, control type, placed image,
// story text, text settings, border, opacity, fonts and stacking-group
// membership are filled as the record's kind requires; image and font files
// are uploaded and registered with the publish's assets. Afterwards every
// record gets its stacking order on its page.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "host/IDocument.h"
#include "host/ITextModel.h"
#include "host/PMGeometry.h"
#include "host/PMString.h"
#include "host/UIDRef.h"
#include "model/tag_map.h"
#include "publish/my_strings.h"
#include "publish/proof_pdf_assets.h"
#include "service_client/messages.h"

// The highest stacking order a field may have on its page; fields behind
// the 100th get it too (and the publish reports it).
constexpr int kOslMaxZOrder = 100;

struct FieldExtractionInput {
  IDocument* document = nullptr;
  // The service's records of the template (getFields); null for a template
  // the service does not know. Reused records are updated in place.
  osl_soap::ArrayOfOstrFieldInfo* existing = nullptr;
  // The document's "clientType" value: "1" publishes barcodes as text boxes
  // and rewrites their tags.
  PMString clientType;
  // Refresh the reused records' prompts, groups and default values too.
  bool refresh = false;
  // The stacking groups the service answered (setLogicGroups); null when the
  // document has none.
  const osl_soap::ArrayOfLogicGroup* groups = nullptr;
};

// A member of a reused field record whose value at the service differs from
// the document's, and which the publish keeps as the service has it (the
// service may have been edited online). `byRefresh`: a publish with refresh
// sends the document's value (prompt, sample text, Dependson, group);
// otherwise (text settings) only publishing as a new template does.
struct KeptEdit {
  std::string field;
  std::string member;
  std::string service;
  std::string document;
  bool byRefresh = false;
};

class FieldExtraction {
 public:
  // `strings` and `assets` must outlive the extraction; the records point at
  // texts in `strings`.
  FieldExtraction(const FieldExtractionInput& input, my_strings& strings, PublishAssets& assets);
  FieldExtraction(const FieldExtraction&) = delete;
  FieldExtraction& operator=(const FieldExtraction&) = delete;

  // Visits the document's items once. Shows a warning per field whose
  // stacking group the service does not know, per text field whose text
  // colour cannot be read (sent in black), the font alerts, and one warning
  // naming the fields inside untagged groups, which are not published.
  void Run();

  // The records in item order: new ones owned by the extraction, reused ones
  // by whoever owns `existing`. No record appears twice.
  const std::vector<osl_soap::OstrFieldInfo*>& Fields() const { return fields_; }
  // Every item with a field name, in visiting order.
  const UIDList& TaggedItems() const { return tagged_; }
  // True when a page holds more fields than kOslMaxZOrder.
  bool OverLimit() const { return overLimit_; }
  // The document's edits that the reused records keep back, in item order
  // and in a fixed member order per field.
  const std::vector<KeptEdit>& KeptEdits() const { return keptEdits_; }

 private:
  class ExistingFields;

  // Adds the record of `item` (tag `tag`) when it has a field name,
  // updating `record` (the service's) or, when null, a new one.
  void AddField(const UIDRef& item, int32 pageNumber, TagMap tag, osl_soap::OstrFieldInfo* record);
  void FillGeometry(const UIDRef& item, int32 pageNumber, osl_soap::OstrFieldInfo* record);
  void FillMembership(const PMString& group, const PMString& dependsOn,
                      osl_soap::OstrFieldInfo* record);
  void FillNewRecord(const UIDRef& item, const ITextModel* story, int32 verticalJustification,
                     const PMString& fieldName, osl_soap::OstrFieldInfo* record);
  void FillTextSettings(const ITextModel& story, int32 verticalJustification,
                        const PMString& fieldName, osl_soap::OstrFieldInfo* record);
  // Reads the text settings of the story's first character into `record`
  // (font name, size, colour, tracking, leading, underline, alignment), with
  // no alert and no upload. False when the fill colour cannot be read (the
  // colour is then black).
  bool ReadTextSettings(const ITextModel& story, int32 verticalJustification,
                        osl_soap::OstrFieldInfo* record);
  // Notes the members of the reused `record` that the publish keeps although
  // the document's item (`tag`, `story`) says otherwise.
  void NoteKeptEdits(const UIDRef& item, const ITextModel* story, int32 verticalJustification,
                     const TagMap& tag, const osl_soap::OstrFieldInfo& record);
  void AssignStackingOrder();

  FieldExtractionInput input_;
  my_strings& strings_;
  PublishAssets& assets_;
  std::deque<osl_soap::OstrFieldInfo> newRecords_;
  std::vector<osl_soap::OstrFieldInfo*> fields_;
  UIDList tagged_;
  bool overLimit_ = false;
  std::vector<KeptEdit> keptEdits_;
};

// The kept edits in words, one line per field: the members with the
// service's and the document's value, and how the document's values can be
// sent ("publish with refresh (--refresh)" for prompt, sample text,
// Dependson and group; "publish as a new template (--as-new)" for text
// settings).
std::vector<std::string> KeptEditLines(const std::vector<KeptEdit>& edits);

// The control-type mapping of one field record: the tag's control type on a
// text frame (`textFrame`) or another item. Sets controlType,
// setup_controlTypeDDValue, setup_radioFieldType, barCode and
// imagePickerGroup as the type requires; with `newRecord` also
// setup_radioDataSource. A type without a mapping leaves controlType and
// setup_controlTypeDDValue alone.
void MapControlType(const PMString& controlType, bool textFrame, bool newRecord,
                    my_strings& strings, osl_soap::OstrFieldInfo* record);

// The text alignment of a field: paragraph `alignment` (0 left, 1 centre,
// 2 right) in the row of vertical justification `vertical` (0 top, 1 centre,
// 2 bottom); any other alignment gives topLeft.
osl_soap::ns2__enumTextAlignment FieldAlignment(int32 alignment, int32 vertical);

// The rotation sent for an item turned by `degrees`: reduced below
// 360.00000001 from above, then 360 minus it unless it is 0.
double FieldRotation(PMReal degrees);

// "left bottom right top" of `bounds` (page coordinates, y down) on a page
// `pageHeight` high, in PDF orientation (y up), 3 decimals each.
PMString FieldPdfRect(const PMRect& bounds, PMReal pageHeight);
