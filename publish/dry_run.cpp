#include "publish/dry_run.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/CAlert.h"
#include "host/IApplication.h"
#include "host/IDialogMgr.h"
#include "host/ILabel.h"
#include "host/ILayout.h"
#include "host/ISession.h"
#include "host/PersistUtils.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "plugin_base/osl_id.h"
#include "publish/field_extraction.h"
#include "publish/field_members.h"
#include "publish/lint.h"
#include "publish/my_strings.h"
#include "publish/page_items.h"
#include "publish/proof_pdf_assets.h"
#include "publish/publish_plan.h"
#include "publish/publish_sequence.h"
#include "publish/publish_texts.h"
#include "publish/tool_report_writer.h"
#include "service_client/platform.h"
#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "service_client/soap_context.h"

namespace {

using namespace osl_soap;

PMString Value(const TagMap& map, const char* key) {
  const auto found = map.find(PMString(key));
  return found == map.end() ? PMString() : found->second;
}

// The size of the file at `path`, or -1 when it cannot be read.
long long FileSize(const std::string& path) { return OslPlatform::Get().RegularFileSize(path); }

// The labels of the document's page items as they are now; Restore() gives
// back every one the extraction changed.
class SavedLabels {
 public:
  explicit SavedLabels(IDocument* document) {
    UIDList items(document->GetDocDataBase());
    CollectPageItems(document, &items);
    for (int32 i = 0; i < items.Length(); ++i) {
      InterfacePtr<ILabel> label(items.GetRef(i), IID_ILABEL);
      if (label) saved_.push_back({items.GetRef(i), label->GetLabel()});
    }
  }
  void Restore() const {
    for (const auto& entry : saved_) {
      InterfacePtr<ILabel> label(entry.first, IID_ILABEL);
      if (label && label->GetLabel() != entry.second) label->SetLabel(entry.second);
    }
  }

 private:
  std::vector<std::pair<UIDRef, WideString>> saved_;
};

// A file the publish would upload.
struct PlannedUpload {
  std::string name;
  std::string path;
  long long size = -1;
};

const char* AssetTypeName(ns2__eAssetType type) {
  switch (type) {
    case ns2__eAssetType__masterPDF:
      return "masterPDF";
    case ns2__eAssetType__fontfile:
      return "fontfile";
    case ns2__eAssetType__graphicFile:
      return "graphicFile";
    case ns2__eAssetType__imagePickerFile:
      return "imagePickerFile";
    case ns2__eAssetType__tolvanDocument:
      return "tolvanDocument";
    case ns2__eAssetType__backgroundFile:
      return "backgroundFile";
  }
  return "unknown";
}

class DryRun {
 public:
  DryRun(IDocument* document, const TagMap& map, const PMString& workFolder, bool refresh)
      : document_(document),
        map_(map),
        workFolder_(workFolder),
        refresh_(refresh),
        user_(GetOslPlugInData().user.GetPlatformString()),
        password_(GetOslPlugInData().password.GetPlatformString()),
        templateEndpoint_(GetOslPlugInData().templateEndpoint.GetPlatformString()),
        documentEndpoint_(GetOslPlugInData().documentEndpoint.GetPlatformString()),
        reporter_("dry-run"),
        assets_(strings_, [this](const PMString& path, const PMString& name) {
          return Measure(path, name);
        }) {}

  bool Run() {
    if (!context_) {
      ReportFailedCall(nullptr, SOAP_EOM);
      return false;
    }
    if (!ListTemplates() || !GetExistingFields() || !GetGroups()) return false;
    ReportTemplate();
    PlanDocumentCopy();
    ReportGroups();
    RunExtraction();
    PlanProofPdf();
    ReportAssets();
    ReportLintFindings(LintDocument(document_), reporter_);
    return true;
  }

 private:
  bool Failed(int status) {
    if (status == 0) return false;
    ReportFailedCall(context_.get(), status);
    return true;
  }

  // The template a publish would update and the questions it would ask:
  // the publish's own plan.
  bool ListTemplates() {
    name_ = Value(map_, tagkeys::kDocName).GetPlatformString();
    const std::string boundTo = Value(map_, tagkeys::kDocID).GetPlatformString();
    _ns4__getLibraryTemplates request;
    request.email = strings_.Add(user_);
    request.password = strings_.Add(password_);
    if (Failed(CallGetLibraryTemplates(context_.get(), documentEndpoint_.c_str(), nullptr, &request,
                                       templates_))) {
      return false;
    }
    UIDList items(document_->GetDocDataBase());
    CollectPageItems(document_, &items);
    plan_ = PlanTemplate(items, templates_, name_, boundTo);
    match_ = plan_.target.match;
    return true;
  }

  bool GetExistingFields() {
    if (!match_) return true;
    _ns2__getFields request;
    request.userEmail = user_;
    request.userPassword = password_;
    request.docCode = match_->docID;
    request.docPassword = match_->docPassword;
    return !Failed(
        CallGetFields(context_.get(), templateEndpoint_.c_str(), nullptr, &request, existing_));
  }

  // The groups the service holds for the template; a new template has none.
  bool GetGroups() {
    stackingGroups_ =
        ParseStringMap(Value(map_, tagkeys::kStackingGroups), PMString(tagkeys::kGroupSeparator));
    if (stackingGroups_.empty() || !match_) return true;
    _ns2__getLogicGroups request;
    request.userEmail = user_;
    request.userPassword = password_;
    request.docCode = match_->docID;
    request.docPassword = match_->docPassword;
    return !Failed(CallGetLogicGroups(context_.get(), templateEndpoint_.c_str(), nullptr, &request,
                                      storedGroups_));
  }

  // The questions a publish would ask, in the order it asks them (one
  // "question" record each), and the template it would change.
  void ReportTemplate() {
    bool asksDuplicates = false;
    for (const PublishQuestion question : plan_.questions) {
      asksDuplicates = asksDuplicates || question == PublishQuestion::kRepeatedFieldNames;
      ReportRecord record;
      record.Text("question", std::string(PublishQuestionName(question)));
      reporter_.Add("question", record, "");
    }
    const bool asks = !plan_.questions.empty();
    const TemplateChoice& choice = plan_.target;
    ReportRecord record;
    std::string line;
    if (match_) {
      record.Text("action", std::string("update"))
          .Text("name", name_)
          .Text("id", match_->docID)
          .Flag("active", match_->isActive)
          .Flag("asks", asks);
      line = "template \"" + name_ + "\" (" + match_->docID + ") would be updated";
      if (!match_->isActive) line += "; it is inactive at the service";
      if (choice.boundElsewhere) {
        line +=
            "; the publish first asks whether to replace it (the document belongs to another "
            "template; it is not replaced unless the answer is yes)";
      } else if (choice.asks) {
        line +=
            "; the publish first asks whether to replace it (the document was never "
            "published)";
      }
    } else {
      record.Text("action", std::string("create"))
          .Text("name", name_)
          .Text("id", std::string())
          .Flag("active", true)
          .Flag("asks", asks);
      line = "template \"" + name_ + "\" would be created";
      if (!Value(map_, tagkeys::kDocID).IsEmpty())
        line += " (the service holds no template of this name for the document's identifier)";
    }
    if (asksDuplicates)
      line += "; the publish first asks whether to go on with repeated field names";
    reporter_.Add("template", record, line);
  }

  void PlanDocumentCopy() {
    const PMString name = SafeTemplateName(Value(map_, tagkeys::kDocName)) + Literal(".tlvd");
    const PMString path = workFolder_ + name;
    PlannedUpload upload{name.GetUTF8String(), path.GetUTF8String(), -1};
    if (SaveCopyOfDocument(document_, IDFile(path.GetPlatformString())) == kSuccess)
      upload.size = FileSize(path.GetPlatformString());
    planned_.push_back({upload, ns2__eAssetType__tolvanDocument});
  }

  void PlanProofPdf() {
    const PMString name = SafeTemplateName(Value(map_, tagkeys::kDocName)) + Literal(".pdf");
    const PMString path = workFolder_ + name;
    PlannedUpload upload{name.GetUTF8String(), path.GetUTF8String(), -1};
    int32 exported = 1;
    {
      HiddenFieldItems hidden(extraction_->TaggedItems());
      exported =
          ExportProofPdf(document_, IDFile(path.GetPlatformString()), Literal(kOslPdfExportFormat));
    }
    if (exported == 0) upload.size = FileSize(path.GetPlatformString());
    planned_.push_back({upload, ns2__eAssetType__masterPDF});
  }

  // The group records a publish would send, with the identifiers the
  // service holds; a group new to the service gets a placeholder below 0
  // so that the extraction can place fields in it.
  void ReportGroups() {
    const ArrayOfLogicGroup* stored = storedGroups_.getLogicGroupsResult;
    if (stored) {
      for (const logicGroup* group : stored->logicGroup) {
        if (group && group->logicGroupName)
          groupNames_[group->logicGroupID] = *group->logicGroupName;
      }
    }
    int placeholder = -1;
    plan_.groups = PlanGroups(stackingGroups_, stored);
    for (const PlannedGroup& planned : plan_.groups) {
      const bool down = planned.direction == ns2__eMoveDirection__moveDown;
      logicGroup& group = groupRecords_.emplace_back();
      group.logicGroupName = strings_.Add(planned.name);
      group.moveDirection = planned.direction;
      group.logicGroupID = planned.known ? planned.storedId : placeholder--;
      newGroupNames_[group.logicGroupID] = planned.name;
      groups_.logicGroup.push_back(&group);
      const char* change = planned.change == PlannedGroup::Change::kAdd      ? "add"
                           : planned.change == PlannedGroup::Change::kChange ? "change"
                                                                             : "keep";
      ReportRecord record;
      record.Text("change", std::string(change))
          .Text("name", planned.name)
          .Text("direction", std::string(down ? "moveDown" : "moveUp"));
      if (planned.change != PlannedGroup::Change::kKeep) {
        reporter_.Add(
            "group", record,
            std::string(planned.change == PlannedGroup::Change::kAdd ? "stacking group added: "
                                                                     : "stacking group changed: ") +
                "\"" + planned.name + "\" (" + (down ? "moveDown" : "moveUp") + ")");
      } else {
        reporter_.Add("group", record, "stacking group kept: \"" + planned.name + "\"");
      }
    }
  }

  void RunExtraction() {
    // What the service holds now, before the extraction updates the
    // reused records in place.
    const FieldPlanner planner(context_.get(), match_ ? existing_.getFieldsResult : nullptr,
                               groupNames_);
    FieldExtractionInput input;
    input.document = document_;
    input.existing = match_ ? existing_.getFieldsResult : nullptr;
    input.clientType = Value(map_, tagkeys::kClientType);
    input.refresh = refresh_;
    input.groups = stackingGroups_.empty() ? nullptr : &groups_;
    const SavedLabels labels(document_);
    extraction_.emplace(input, strings_, assets_);
    extraction_->Run();
    labels.Restore();
    plan_.fields = planner.Plan(*extraction_, newGroupNames_, match_ != nullptr);
    const FieldPlan& plan = plan_.fields;

    int added = 0, changed = 0, unchanged = 0, deleted = 0;
    for (const PlannedField& field : plan.fields) {
      ReportRecord record;
      switch (field.change) {
        case PlannedField::Change::kAdd:
          ++added;
          record.Text("change", std::string("add")).Text("name", field.name);
          reporter_.Add("field", record, "field added: \"" + field.name + "\"");
          for (const auto& member : field.after)
            ReportMember(field.name, member.first, "", member.second);
          break;
        case PlannedField::Change::kUnchanged:
          ++unchanged;
          break;
        case PlannedField::Change::kChange: {
          ++changed;
          std::string members;
          for (size_t i : field.differences) {
            members += (members.empty() ? "" : "; ") + field.after[i].first + ": " +
                       field.before[i].second + " \u2192 " + field.after[i].second;
          }
          record.Text("change", std::string("change")).Text("name", field.name);
          reporter_.Add("field", record, "field changed: \"" + field.name + "\": " + members);
          for (size_t i : field.differences) {
            ReportMember(field.name, field.after[i].first, field.before[i].second,
                         field.after[i].second);
          }
          break;
        }
        case PlannedField::Change::kDelete:
          ++deleted;
          record.Text("change", std::string("delete")).Text("name", field.name);
          reporter_.Add("field", record, "field deleted: \"" + field.name + "\"");
          break;
      }
    }
    // What the reused records keep back although the document differs: the
    // publish keeps the service's values, and says so; so does the dry run.
    const std::vector<KeptEdit>& keptEdits = plan.keptEdits;
    std::vector<std::string> keptLines = KeptEditLines(keptEdits);
    size_t line = 0;
    for (size_t i = 0; i < keptEdits.size(); ++i) {
      const KeptEdit& edit = keptEdits[i];
      ReportRecord record;
      record.Text("field", edit.field)
          .Text("member", edit.member)
          .Text("service", edit.service)
          .Text("document", edit.document)
          .Text("send", std::string(edit.byRefresh ? "refresh" : "as-new"));
      const bool first = i == 0 || keptEdits[i - 1].field != edit.field;
      reporter_.Add("kept", record, first && line < keptLines.size() ? keptLines[line++] : "");
    }
    ReportRecord counts;
    counts.Integer("added", added)
        .Integer("changed", changed)
        .Integer("deleted", deleted)
        .Integer("unchanged", unchanged)
        .Integer("kept", static_cast<long long>(keptLines.size()));
    reporter_.Add(
        "fields", counts,
        "fields: " + std::to_string(added) + " added, " + std::to_string(changed) + " changed, " +
            std::to_string(deleted) + " deleted, " + std::to_string(unchanged) + " unchanged" +
            (keptLines.empty()
                 ? std::string()
                 : ", " + std::to_string(keptLines.size()) + " keeping edits made at the service"));
  }

  void ReportMember(const std::string& field, const std::string& member, const std::string& old,
                    const std::string& now) {
    ReportRecord record;
    record.Text("field", field).Text("member", member).Text("old", old).Text("new", now);
    reporter_.Add("member", record, "  " + member + ": " + old + " \u2192 " + now);
  }

  // The uploader of the extraction: measures the file and answers with a
  // stand-in address, so that the extraction goes on as after an upload.
  PMString Measure(const PMString& path, const PMString& name) {
    PlannedUpload upload{name.GetUTF8String(), path.GetUTF8String(),
                         FileSize(path.GetPlatformString())};
    pendingUploads_.push_back(upload);
    return Literal("dry-run:" + upload.name);
  }

  void ReportAssets() {
    // The extraction's uploads, in the order the asset list holds them:
    // the document copy first, then images and fonts, the proof PDF last.
    std::vector<std::pair<PlannedUpload, ns2__eAssetType>> ordered;
    ordered.push_back(planned_.front());
    ArrayOfAssetInfo* list = assets_.Array();
    size_t next = 0;
    for (const assetInfo* asset : list->assetInfo) {
      if (!asset || next >= pendingUploads_.size()) continue;
      ordered.push_back({pendingUploads_[next++], asset->assetType});
    }
    ordered.push_back(planned_.back());
    long long total = 0;
    for (const auto& entry : ordered) {
      const PlannedUpload& upload = entry.first;
      ReportRecord record;
      record.Text("name", upload.name)
          .Text("type", std::string(AssetTypeName(entry.second)))
          .Integer("size", upload.size)
          .Text("path", upload.path);
      if (upload.size > 0) total += upload.size;
      reporter_.Add("asset", record,
                    "asset " + upload.name + " (" + AssetTypeName(entry.second) + "): " +
                        (upload.size < 0 ? std::string("cannot be read")
                                         : std::to_string(upload.size) + " bytes"));
    }
    ReportRecord sum;
    sum.Integer("assets", static_cast<long long>(ordered.size())).Integer("bytes", total);
    reporter_.Add("assets", sum,
                  "assets: " + std::to_string(ordered.size()) + " files, " + std::to_string(total) +
                      " bytes would be uploaded");
  }

  IDocument* document_;
  TagMap map_;
  const PMString workFolder_;
  const bool refresh_;
  const std::string user_, password_;
  const std::string templateEndpoint_, documentEndpoint_;

  ToolReporter reporter_;
  my_strings strings_;
  PublishAssets assets_;
  OslSoapContext context_;

  std::string name_;
  PublishPlan plan_;
  _ns4__getLibraryTemplatesResponse templates_;
  const docBuilderLibraryTemplate* match_ = nullptr;
  _ns2__getFieldsResponse existing_;
  TagMap stackingGroups_;
  _ns2__getLogicGroupsResponse storedGroups_;
  std::map<int, std::string> groupNames_, newGroupNames_;
  std::deque<logicGroup> groupRecords_;
  ArrayOfLogicGroup groups_;
  std::optional<FieldExtraction> extraction_;
  std::vector<std::pair<PlannedUpload, ns2__eAssetType>> planned_;
  std::vector<PlannedUpload> pendingUploads_;
};

}  // namespace

bool DryRunPublish() {
  OslPlugInData& data = GetOslPlugInData();
  if (!data.IsConfigured()) {
    CAlert::ErrorAlert(Translated("0x199e00knotConfiguredKey"));
    return false;
  }
  if (ApplyPdfPreset(Literal(kOslPdfPresetName)) != kSuccess) return false;
  data.dialogResult = 0;
  if (!RunTemplateDialog() || data.dialogResult == 0) return false;
  const bool refresh = data.dialogResult == 2;
  Utils<ILayoutUIUtils> layout;
  IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
  if (!document) return false;
  const TagMap map = ReadStringMap(::GetUIDRef(document));
  const PMString workFolder = GetWorkFolder(data.GetSessionId());
  if (workFolder.IsEmpty()) return false;
  DryRun run(document, map, workFolder, refresh);
  return run.Run();
}
