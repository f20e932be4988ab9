#include "publish/publish_sequence.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <string>

#include "host/CAlert.h"
#include "host/IApplication.h"
#include "host/IDialogMgr.h"
#include "host/ILayout.h"
#include "host/ISession.h"
#include "host/PersistUtils.h"
#include "host/RangeProgressBar.h"
#include "host/Utils.h"
#include "model/tag_map.h"
#include "plugin_base/osl_id.h"
#include "publish/field_extraction.h"
#include "publish/lease_keeper.h"
#include "publish/my_strings.h"
#include "publish/page_items.h"
#include "publish/proof_pdf_assets.h"
#include "publish/publish_plan.h"
#include "publish/publish_report.h"
#include "publish/publish_texts.h"
#include "service_client/fault_summary.h"
#include "service_client/messages.h"
#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "service_client/soap_context.h"
#include "service_client/upload.h"

namespace {

using namespace osl_soap;

constexpr char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

// The stem of the files of a template whose name keeps no letter or digit.
constexpr char kFallbackFileStem[] = "template";

// True for the 36 characters of a GUID: hexadecimal digits in groups of 8,
// 4, 4, 4 and 12, joined by '-'.
bool IsGuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
    } else if (!std::isxdigit(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

PMString Value(const TagMap& map, const char* key) {
  const auto found = map.find(PMString(key));
  return found == map.end() ? PMString() : found->second;
}

void SetValue(TagMap* map, const char* key, const PMString& value) {
  (*map)[PMString(key)] = value;
}

// A page size as the template record carries it: cut to whole points and
// held within a 16-bit signed integer.
std::string PageSizeText(PMReal points) {
  if (!(points == points)) return "0";  // NaN
  const PMReal held = std::clamp<PMReal>(points, std::numeric_limits<int16>::min(),
                                         std::numeric_limits<int16>::max());
  return std::to_string(static_cast<int16>(held));
}

enum class Outcome { kStopped, kOverLimit, kUpdatedInactive, kUpdated, kSaved };

// One publish after the dialog: owns every per-run object. The progress bar
// comes first and the SOAP context right after it; they are released in the
// reverse order (records and context before the strings they point at).
class PublishRun {
 public:
  PublishRun(IDocument* document, const TagMap& map, const PMString& workFolder, bool refresh,
             PublishReporter* reporter);
  Outcome Run();
  // True when the run found the template at the service (an update).
  bool Updates() const { return found_; }
  // True once the document holds the identifier and password setTemplate
  // returned.
  bool IdentifiersStored() const { return identifiersStored_; }

 private:
  // Plans the template part of the run and asks the plan's questions.
  bool ListTemplates();
  // Asks whether to replace the plan's target; false (after undoing what
  // must be undone and reporting the run stopped) when not.
  bool AskToReplace();
  bool GetExistingFields();
  bool SetTemplate();
  bool StoreIdentifiers();
  bool SendDocumentCopy();
  bool SendStackingGroups();
  bool SendFields();
  // One warning naming every field whose document values the reused
  // records keep back, and how to send them.
  void WarnAboutKeptEdits();
  bool SendProofPdf();
  bool Finish();

  // Fills the four identifying strings of a template-manager request.
  template <class Request>
  void Identify(Request* request) const {
    request->userEmail = user_;
    request->userPassword = password_;
    request->docCode = templateID_;
    request->docPassword = templatePassword_;
  }
  void Step(int32 position, const char* taskKey);
  bool Failed(int status);
  void Stop(PublishRecord::Fault fault, const std::string& reason) {
    reporter_->Stopped(fault, reason);
  }

  IDocument* document_;
  PublishReporter* reporter_;
  TagMap map_;
  const PMString workFolder_;
  const PMString safeName_;
  const bool refresh_;
  const std::string user_, password_;
  const std::string templateEndpoint_, documentEndpoint_;

  RangeProgressBar progress_;
  my_strings strings_;
  PublishAssets assets_;
  OslSoapContext context_;

  libraryTemplate template_;
  PublishPlan plan_;
  // The names of the groups the service held before this run sent its own.
  std::map<int, std::string> storedGroupNames_;
  std::map<int, std::string> sentGroupNames_;
  bool found_ = false;
  bool inactive_ = false;
  std::string templateID_, templatePassword_;
  _ns2__getFieldsResponse existing_;
  _ns2__setLogicGroupsResponse groups_;
  std::deque<logicGroup> groupRecords_;
  std::optional<FieldExtraction> extraction_;
  bool overLimit_ = false;
  bool identifiersStored_ = false;
  // Holds the template for this run from setTemplate to the end of the run;
  // released before the SOAP context and the strings.
  std::optional<LeaseKeeper> keeper_;
};

PublishRun::PublishRun(IDocument* document, const TagMap& map, const PMString& workFolder,
                       bool refresh, PublishReporter* reporter)
    : document_(document),
      reporter_(reporter),
      map_(map),
      workFolder_(workFolder),
      safeName_(SafeTemplateName(Value(map, tagkeys::kDocName))),
      refresh_(refresh),
      user_(GetOslPlugInData().user.GetPlatformString()),
      password_(GetOslPlugInData().password.GetPlatformString()),
      templateEndpoint_(GetOslPlugInData().templateEndpoint.GetPlatformString()),
      documentEndpoint_(GetOslPlugInData().documentEndpoint.GetPlatformString()),
      progress_(Translated("0x199e00keGeneratingtemplate") + Value(map, tagkeys::kDocName), 0, 9),
      assets_(strings_, &UploadFile) {}

void PublishRun::Step(int32 position, const char* taskKey) {
  progress_.SetPosition(position);
  progress_.SetTaskText(Translated(taskKey));
}

bool PublishRun::Failed(int status) {
  if (status == 0) return false;
  std::string busy;
  if (TemplateBusyRefusal(context_.get(), status, &busy)) {
    // Not a fault to dig into: one plain line that says when to retry.
    CAlert::ErrorAlert(Literal(busy));
    reporter_->Stopped(PublishRecord::Fault::kServiceRefused, busy);
    return true;
  }
  ReportFailedCall(context_.get(), status);
  std::string endpoint, action;
  if (!OslLastRequest(context_.get(), &endpoint, &action) || endpoint.empty()) {
    endpoint = templateEndpoint_;
  }
  const OslFaultSummary summary = SummarizeFailedCall(context_.get(), status, endpoint);
  reporter_->Stopped(summary.kind, summary.text, summary.httpStatus);
  return true;
}

Outcome PublishRun::Run() {
  Step(0, "0x199e00ksetTemplateKey");
  if (!context_) {
    ReportFailedCall(nullptr, SOAP_EOM);
    Stop(PublishRecord::Fault::kLocal, "this machine ran out of memory for the exchange");
    return Outcome::kStopped;
  }
  template_.docName = strings_.Add(Value(map_, tagkeys::kDocName).GetPlatformString());
  template_.docID = Value(map_, tagkeys::kDocID).GetPlatformString();
  template_.docPassword = Value(map_, tagkeys::kDocPassword).GetPlatformString();
  template_.docCategory = strings_.Add(std::string("Miscellaneous"));
  template_.docBleed = "0";

  if (!ListTemplates()) return Outcome::kStopped;
  if (found_ && !GetExistingFields()) return Outcome::kStopped;
  if (!SetTemplate() || !StoreIdentifiers()) return Outcome::kStopped;
  if (!SendDocumentCopy() || !SendStackingGroups() || !SendFields()) return Outcome::kStopped;
  if (!SendProofPdf() || !Finish()) return Outcome::kStopped;
  if (overLimit_) return Outcome::kOverLimit;
  if (inactive_) return Outcome::kUpdatedInactive;
  return found_ ? Outcome::kUpdated : Outcome::kSaved;
}

bool PublishRun::ListTemplates() {
  _ns4__getLibraryTemplates request;
  request.email = strings_.Add(user_);
  request.password = strings_.Add(password_);
  _ns4__getLibraryTemplatesResponse response;
  if (Failed(CallGetLibraryTemplates(context_.get(), documentEndpoint_.c_str(), nullptr, &request,
                                     response))) {
    return false;
  }
  UIDList items(document_->GetDocDataBase());
  CollectPageItems(document_, &items);
  plan_ = PlanTemplate(items, response, *template_.docName, template_.docID);
  const docBuilderLibraryTemplate* match = plan_.target.match;
  if (!match) {
    template_.docID.clear();
    template_.docPassword.clear();
    return true;
  }
  for (const PublishQuestion question : plan_.questions) {
    switch (question) {
      case PublishQuestion::kRepeatedFieldNames:
        // Answered yes before the run reached the service (the publish
        // actions check the field names first), so that "No" sends nothing.
        break;
      case PublishQuestion::kReplaceTemplate:
        if (!AskToReplace()) return false;
        break;
    }
  }
  // The run updates `match` from here on.
  found_ = true;
  inactive_ = !match->isActive;
  template_.docID = match->docID;
  template_.docPassword = match->docPassword;
  reporter_->TemplateNamed(match->docID);
  if (!plan_.target.asks) {
    // The document's own template keeps its category and bleed.
    if (match->docCategory) template_.docCategory = strings_.Add(*match->docCategory);
    template_.docBleed = match->docBleed;
  }
  return true;
}

bool PublishRun::AskToReplace() {
  // The template of this name is not the document's own. A document bound
  // to another template (renamed) is asked with "No" as the default, so
  // that nobody answering changes nothing.
  const bool boundElsewhere = plan_.target.boundElsewhere;
  const PMString question =
      Literal(*template_.docName) + Translated("0x199e00koverrideTemplateKey");
  const int16 defaultButton = boundElsewhere ? 2 : 1;
  if (CAlert::ModalAlert(question, Literal("Yes"), Literal("No"), Literal(""), defaultButton, 4) ==
      1) {
    return true;
  }
  if (!boundElsewhere) {
    SetValue(&map_, tagkeys::kDocID, PMString());
    SetValue(&map_, tagkeys::kDocPassword, PMString());
    SetValue(&map_, tagkeys::kDocName, PMString());
    WriteStringMap(::GetUIDRef(document_), map_);
  }
  Stop(PublishRecord::Fault::kDeclined,
       "a template named '" + *template_.docName +
           "' already exists at the service, and replacing it was declined");
  return false;
}

bool PublishRun::GetExistingFields() {
  _ns2__getFields request;
  request.userEmail = user_;
  request.userPassword = password_;
  request.docCode = template_.docID;
  request.docPassword = template_.docPassword;
  return !Failed(
      CallGetFields(context_.get(), templateEndpoint_.c_str(), nullptr, &request, existing_));
}

bool PublishRun::SetTemplate() {
  if (template_.docID.empty()) template_.docID = kZeroGuid;
  if (template_.docPassword.empty()) template_.docPassword = kZeroGuid;
  template_.docDescription = strings_.Add(Translated("0x199e00kostrDescription"));
  template_.clientType = Value(map_, tagkeys::kClientType) == PMString("1") ? 1 : 0;
  template_.isActive = true;
  InterfacePtr<IPageList> pages(document_, IID_IPAGELIST);
  template_.docPageCount = pages ? pages->GetPageCount() : 0;
  const PMRect firstPage = GetPageBounds(GetPageRef(document_, 1));
  template_.docWidth = PageSizeText(firstPage.Width());
  template_.docHeight = PageSizeText(firstPage.Height());

  _ns2__setTemplate request;
  request.userEmail = user_;
  request.userPassword = password_;
  if (found_) {
    request.docCode = strings_.Add(template_.docID);
    request.docPassword = strings_.Add(template_.docPassword);
  }
  request.templateInfo = &template_;
  _ns2__setTemplateResponse response;
  reporter_->RequestingTemplate();
  if (Failed(CallSetTemplate(context_.get(), templateEndpoint_.c_str(), nullptr, &request,
                             response))) {
    return false;
  }
  if (!response.setTemplateResult) {
    CAlert::ErrorAlert(Literal("ns3__setTemplateResponse.setTemplateResult == NULL"));
    Stop(PublishRecord::Fault::kTransfer, "the service's answer named no template");
    return false;
  }
  templateID_ = response.setTemplateResult->docID;
  templatePassword_ = response.setTemplateResult->docPassword;
  return true;
}

bool PublishRun::StoreIdentifiers() {
  Step(1, "0x199e00ksavetlvdKey");
  const UIDRef documentRef = ::GetUIDRef(document_);
  // An identifier that is not a GUID (empty, cut short, a megabyte of text)
  // is refused like the zero GUID and never stored.
  if (!IsGuid(templateID_) || templateID_ == kZeroGuid || templatePassword_ == kZeroGuid) {
    // The document keeps its name and its binding as they were: the refusal
    // is the service's, and the designer's name must survive it.
    CAlert::ErrorAlert(Translated("0x199e00kupdateTemplateFailedKey"));
    Stop(PublishRecord::Fault::kServiceRefused,
         "the service did not accept the template (it answered no usable identifier)");
    return false;
  }
  reporter_->TemplateNamed(templateID_);
  SetValue(&map_, tagkeys::kDocID, Literal(templateID_));
  SetValue(&map_, tagkeys::kDocPassword, Literal(templatePassword_));
  WriteStringMap(documentRef, map_);
  identifiersStored_ = true;
  // From here the service holds the template for this run; the run's own
  // work between two calls may outlast the hold's time-out.
  keeper_.emplace(
      TemplateHoldRenewal(templateEndpoint_, user_, password_, templateID_, templatePassword_));
  return true;
}

bool PublishRun::SendDocumentCopy() {
  const PMString name = safeName_ + Literal(".tlvd");
  const PMString path = workFolder_ + name;
  // A copy that was not written must not be replaced by whatever an earlier
  // run left under that name, nor by nothing.
  if (SaveCopyOfDocument(document_, IDFile(path.GetPlatformString())) != kSuccess) {
    CAlert::ErrorAlert(Translated("0x199e00ksaveCopyFailedKey") + path);
    Stop(PublishRecord::Fault::kLocal, "the copy of the document could not be saved");
    return false;
  }
  Step(2, "0x199e00kuploadtlvdKey");
  const PMString url = UploadFile(path, name);
  if (url.IsEmpty()) {
    CAlert::ErrorAlert(Translated("0x199e00kuploadFailedKey") + name);
    Stop(PublishRecord::Fault::kTransfer,
         "the file " + name.GetUTF8String() + " could not be uploaded to the service");
    return false;
  }
  Step(3, "0x199e00ksetLogicGroupsKey");
  assets_.Add(url, name, ns2__eAssetType__tolvanDocument);
  return true;
}

bool PublishRun::SendStackingGroups() {
  const TagMap stackingGroups =
      ParseStringMap(Value(map_, tagkeys::kStackingGroups), PMString(tagkeys::kGroupSeparator));
  if (stackingGroups.empty()) return true;
  _ns2__getLogicGroups getRequest;
  Identify(&getRequest);
  _ns2__getLogicGroupsResponse known;
  if (Failed(CallGetLogicGroups(context_.get(), templateEndpoint_.c_str(), nullptr, &getRequest,
                                known))) {
    return false;
  }
  if (known.getLogicGroupsResult) {
    for (const logicGroup* stored : known.getLogicGroupsResult->logicGroup) {
      if (stored && stored->logicGroupName)
        storedGroupNames_[stored->logicGroupID] = *stored->logicGroupName;
    }
  }
  ArrayOfLogicGroup groups;
  plan_.groups = PlanGroups(stackingGroups, known.getLogicGroupsResult);
  for (const PlannedGroup& planned : plan_.groups) {
    logicGroup& group = groupRecords_.emplace_back();
    group.logicGroupName = strings_.Add(planned.name);
    group.moveDirection = planned.direction;
    if (planned.known) group.logicGroupID = planned.storedId;
    groups.logicGroup.push_back(&group);
  }
  _ns2__setLogicGroups setRequest;
  Identify(&setRequest);
  setRequest.logicGroups = &groups;
  if (Failed(CallSetLogicGroups(context_.get(), templateEndpoint_.c_str(), nullptr, &setRequest,
                                groups_))) {
    return false;
  }
  if (groups_.setLogicGroupsResult) {
    for (const logicGroup* sent : groups_.setLogicGroupsResult->logicGroup) {
      if (sent && sent->logicGroupName) sentGroupNames_[sent->logicGroupID] = *sent->logicGroupName;
    }
  }
  return true;
}

bool PublishRun::SendFields() {
  Step(5, "0x199e00ksetFieldsKey");
  FieldExtractionInput input;
  input.document = document_;
  input.existing = found_ ? existing_.getFieldsResult : nullptr;
  input.clientType = Value(map_, tagkeys::kClientType);
  input.refresh = refresh_;
  input.groups = groups_.setLogicGroupsResult;
  // What the service holds now, before the extraction updates the reused
  // records in place.
  const FieldPlanner planner(context_.get(), input.existing, storedGroupNames_);
  extraction_.emplace(input, strings_, assets_);
  extraction_->Run();
  overLimit_ = extraction_->OverLimit();
  plan_.fields = planner.Plan(*extraction_, sentGroupNames_, found_);
  if (!plan_.fields.sends) return true;
  ArrayOfOstrFieldInfo fields;
  fields.OstrFieldInfo = plan_.fields.records;
  _ns2__setFields request;
  Identify(&request);
  request.docFields = &fields;
  request.deleteOthers = true;
  _ns2__setFieldsResponse response;
  if (Failed(
          CallSetFields(context_.get(), templateEndpoint_.c_str(), nullptr, &request, response))) {
    return false;
  }
  WarnAboutKeptEdits();
  return true;
}

void PublishRun::WarnAboutKeptEdits() {
  const std::vector<std::string> lines = KeptEditLines(plan_.fields.keptEdits);
  if (lines.empty()) return;
  std::string text = "The service keeps values that differ from the document's:";
  for (const std::string& line : lines) text += "\n" + line;
  CAlert::WarningAlert(Literal(text));
}

bool PublishRun::SendProofPdf() {
  Step(6, "0x199e00kgeneratepdfKey");
  const PMString name = safeName_ + Literal(".pdf");
  const PMString path = workFolder_ + name;
  int32 exported = 1;
  {
    HiddenFieldItems hidden(extraction_->TaggedItems());
    exported =
        ExportProofPdf(document_, IDFile(path.GetPlatformString()), Literal(kOslPdfExportFormat));
  }
  if (exported != 0) {
    CAlert::ErrorAlert(Literal("********\nError:\n ") + path + Literal("\n********"));
    Stop(PublishRecord::Fault::kLocal, "the proof PDF could not be exported");
    return false;
  }
  Step(7, "0x199e00kuploadpdfKey");
  const PMString url = UploadFile(path, name);
  if (url.IsEmpty()) {
    CAlert::ErrorAlert(Translated("0x199e00kuploadFailedKey") + name);
    Stop(PublishRecord::Fault::kTransfer,
         "the file " + name.GetUTF8String() + " could not be uploaded to the service");
    return false;
  }
  assets_.Add(url, name, ns2__eAssetType__masterPDF);
  return true;
}

bool PublishRun::Finish() {
  Step(8, "0x199e00ksetAssetsKey");
  _ns2__setAssets assets;
  Identify(&assets);
  assets.assets = assets_.Array();
  _ns2__setAssetsResponse assetsSet;
  if (Failed(
          CallSetAssets(context_.get(), templateEndpoint_.c_str(), nullptr, &assets, assetsSet))) {
    return false;
  }
  Step(9, "0x199e00kcommitTemplateKey");
  _ns2__commitTemplate commit;
  Identify(&commit);
  _ns2__commitTemplateResponse committed;
  return !Failed(
      CallCommitTemplate(context_.get(), templateEndpoint_.c_str(), nullptr, &commit, committed));
}

}  // namespace

bool RunTemplateDialog() {
  InterfacePtr<IApplication> application(GetExecutionContextSession(), IID_IAPPLICATION);
  if (!application) return false;
  InterfacePtr<IDialogMgr> dialogs(application->QueryDialogMgr());
  if (!dialogs) return false;
  const RsrcSpec spec(LocaleSetting::GetLocale(), kOslPluginID, kViewRsrcType,
                      kOslTemplateDialogRsrcID, true);
  IDialog* dialog = dialogs->CreateNewDialog(spec, IDialog::kMovableModal);
  if (!dialog) return false;
  dialog->Open();
  dialog->Wait();
  return true;
}

PMString SafeTemplateName(const PMString& docName) {
  std::u16string kept;
  for (char16_t c : docName.Text()) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) {
      kept.push_back(c);
    }
  }
  PMString name = kept.empty() ? PMString(kFallbackFileStem) : PMString(kept);
  name.SetTranslatable(false);
  return name;
}

void ReportNotPublished(PublishRecord::Fault fault, const std::string& reason) {
  PublishReporter reporter;
  PMString name;
  Utils<ILayoutUIUtils> layout;
  if (IDocument* document = layout ? layout->GetFrontDocument() : nullptr) {
    name = Value(ReadStringMap(::GetUIDRef(document)), tagkeys::kDocName);
  }
  reporter.Start(name, GetOslPlugInData().server);
  reporter.Stopped(fault, reason);
}

bool PublishTemplate() {
  OslPlugInData& data = GetOslPlugInData();
  PublishReporter reporter;
  if (!data.IsConfigured()) {
    CAlert::ErrorAlert(Translated("0x199e00knotConfiguredKey"));
    reporter.Stopped(PublishRecord::Fault::kNotConfigured, "no server is configured");
    return false;
  }
  if (ApplyPdfPreset(Literal(kOslPdfPresetName)) != kSuccess) {
    reporter.Stopped(PublishRecord::Fault::kLocal, std::string("the PDF export preset \"") +
                                                       kOslPdfPresetName +
                                                       "\" for the proof could not be applied");
    return false;
  }
  data.dialogResult = 0;
  if (!RunTemplateDialog() || data.dialogResult == 0) {
    reporter.Stopped(PublishRecord::Fault::kCancelled,
                     "the template properties dialog was not confirmed");
    return false;
  }
  const bool refresh = data.dialogResult == 2;

  Utils<ILayoutUIUtils> layout;
  IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
  if (!document) {
    reporter.Stopped(PublishRecord::Fault::kLocal, "there is no document to publish");
    return false;
  }
  const TagMap map = ReadStringMap(::GetUIDRef(document));
  reporter.Start(Value(map, tagkeys::kDocName), data.server);
  const PMString workFolder = GetWorkFolder(data.GetSessionId());
  // Without a work folder (its alert has been shown) the files would land
  // wherever the host happens to run.
  if (workFolder.IsEmpty()) {
    reporter.Stopped(PublishRecord::Fault::kLocal, "there is no folder for the publish's files");
    return false;
  }

  Outcome outcome = Outcome::kStopped;
  bool stored = false;
  bool updates = false;
  {
    PublishRun run(document, map, workFolder, refresh, &reporter);
    outcome = run.Run();
    stored = run.IdentifiersStored();
    updates = run.Updates();
  }
  const char* key = nullptr;
  switch (outcome) {
    case Outcome::kStopped:
      return stored;
    case Outcome::kOverLimit:
      key = "0x199e00koverfieldsKey";
      break;
    case Outcome::kUpdatedInactive:
      key = "0x199e00kupdateTemplateDeletedKey";
      break;
    case Outcome::kUpdated:
      key = "0x199e00kupdateTemplateOKKey";
      break;
    case Outcome::kSaved:
      key = "0x199e00ksaveTemplateOKKey";
      break;
  }
  CAlert::InformationAlert(Translated(key));
  reporter.Succeeded(updates);
  return stored;
}
