// The publish sequence in process against a running osl-service: the steps
// and the progress bar of a run, every way a run stops, and what the
// document and the service hold afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "host/IPublishReport.h"
#include "service_client/messages.h"
#include "service_client/platform.h"
#include "service_client/service_calls.h"
#include "standin/core/file_system.h"
#include "standin/core/service.h"
#include "tests/e2e/documents.h"
#include "tests/e2e/e2e_support.h"
#include "tests/publish/publish_fixture.h"
#include "tests/service_client/capture_server.h"
#include "tests/service_client/test_support.h"
#include "tests/support/failing_pdf_writer.h"

namespace osltest {
namespace {

using osl_soap::OstrFieldInfo;

constexpr char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

class PublishRun : public PublishTest {
 protected:
  PublishRun() { OslPlatform::Set(&platform_); }
  ~PublishRun() override {
    service_.Stop();
    ResetPlugInData();
    OslPlatform::Set(nullptr);
  }

  void Start(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--user", kE2eUser, "--password", kE2ePassword};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(service_.Start(data_.path(), args, &error)) << error;
    ASSERT_NO_FATAL_FAILURE(Configure(service_.baseUrl()));
    query_ = std::make_unique<ServiceQuery>(service_.baseUrl());
  }

  // Points the plug-in at a loopback peer that answers with `replies`, in
  // order (the last one repeats), and records what the run sends.
  void StartCanned(std::vector<std::string> replies) {
    canned_ = std::make_unique<CaptureServer>(std::move(replies));
    ASSERT_NO_FATAL_FAILURE(Configure(canned_->Url("")));
  }

  void Configure(const std::string& server) {
    platform_.dir().Write("Osl.cfg", "server:" + server + "\nuser:" + kE2eUser +
                                         "\npass:" + kE2ePassword + "\n");
    SetPlugInPath(platform_.dir().path() + "/Osl.pln");
    ResetPlugInData();
    ASSERT_TRUE(GetOslPlugInData().IsConfigured());
  }

  // Registers a template named `name` at the service directly, as another
  // publish would have; committed when `commit`. Returns its identifier
  // and password.
  std::pair<std::string, std::string> CreateTemplate(const std::string& name, bool active = true,
                                                     const std::string& category = "",
                                                     const std::string& bleed = "",
                                                     bool commit = false) {
    OslSoapContext context;
    osl_soap::_ns2__setTemplate request;
    request.userEmail = kE2eUser;
    request.userPassword = kE2ePassword;
    osl_soap::libraryTemplate info;
    info.docName = OslNewString(context.get(), name);
    info.docID = kZeroGuid;
    info.docPassword = kZeroGuid;
    info.isActive = active;
    if (!category.empty()) info.docCategory = OslNewString(context.get(), category);
    info.docBleed = bleed;
    request.templateInfo = &info;
    osl_soap::_ns2__setTemplateResponse response;
    const std::string endpoint = service_.baseUrl() + "/services/templateMgr.svc";
    EXPECT_EQ(0, CallSetTemplate(context.get(), endpoint.c_str(), nullptr, &request, response));
    if (!response.setTemplateResult) return {};
    const std::string id = response.setTemplateResult->docID;
    const std::string password = response.setTemplateResult->docPassword;
    if (commit) {
      osl_soap::_ns2__commitTemplate done;
      done.userEmail = kE2eUser;
      done.userPassword = kE2ePassword;
      done.docCode = id;
      done.docPassword = password;
      osl_soap::_ns2__commitTemplateResponse answer;
      EXPECT_EQ(0, CallCommitTemplate(context.get(), endpoint.c_str(), nullptr, &done, answer));
    }
    return {id, password};
  }

  // Publishes the front document with `dialog` played on the properties
  // dialog.
  void Publish(const std::string& dialog = "ok") {
    QueueTemplateDialog(dialog);
    RunAction(kOslPublishActionID);
  }

  std::string WorkFolder() {
    return platform_.TempFolder() + "/" + GetOslPlugInData().GetSessionId().GetUTF8String() + "/";
  }
  std::map<std::string, std::string> Data() { return LabelEntries(DocumentLabel()); }
  std::vector<const OstrFieldInfo*> StoredFields() {
    auto data = Data();
    return query_->Fields(data["docID"], data["docPassword"]);
  }

  TestPlatform platform_;
  TempDir data_;
  ServiceProcess service_;
  std::unique_ptr<ServiceQuery> query_;
  std::unique_ptr<CaptureServer> canned_;
};

// Canned answers of the service, for runs against a CaptureServer.
std::string SoapReply(const std::string& body) { return HttpReply(200, "OK", Envelope(body)); }
std::string LibraryReply(const std::string& records = "") {
  return SoapReply("<d:getLibraryTemplatesResponse><d:getLibraryTemplatesResult>" + records +
                   "</d:getLibraryTemplatesResult></d:getLibraryTemplatesResponse>");
}
std::string LibraryRecord(const std::string& name, const std::string& id,
                          const std::string& password) {
  return "<d:libraryTemplate><d:docName>" + name + "</d:docName><d:docID>" + id +
         "</d:docID><d:docPassword>" + password +
         "</d:docPassword><d:isActive>true</d:isActive></d:libraryTemplate>";
}
std::string SetTemplateReply(const std::string& id, const std::string& password) {
  return SoapReply("<t:setTemplateResponse><t:setTemplateResult><t:docName>Card</t:docName>"
                   "<t:docID>" + id + "</t:docID><t:docPassword>" + password +
                   "</t:docPassword></t:setTemplateResult></t:setTemplateResponse>");
}
constexpr char kGoodId[] = "0f8fad5b-d9cb-469f-a165-70867728950e";
constexpr char kGoodPassword[] = "7c9e6679-7425-40de-944b-e07fc1f90ae7";

nlohmann::json Card(const std::string& label = "docName:::Card|||") {
  return OnePage(label, {TextFrame(10, 10, 10, 100, 20, "Jane", FieldTag("Name")),
                         TextFrame(11, 10, 40, 100, 20, "Boss", FieldTag("Title")),
                         TextFrame(12, 10, 70, 100, 20, "Plain text")});
}

TEST_F(PublishRun, RunsEveryStepUnderTheProgressBarAndEndsWithOneAlert) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  testing::internal::CaptureStderr();
  Publish();
  const std::string progress = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());

  std::vector<std::string> steps;
  const std::regex line(R"(\[progress\] 0x199e00keGeneratingtemplateCard (\d)/9 (\S*))");
  std::istringstream in(progress);
  for (std::string text; std::getline(in, text);) {
    std::smatch match;
    if (std::regex_match(text, match, line)) steps.push_back(match[1].str() + " " + match[2].str());
  }
  ASSERT_FALSE(steps.empty()) << progress;
  // The last task each position showed, positions in the order shown.
  std::vector<std::string> positions;
  for (const std::string& step : steps) {
    if (step.size() < 3) continue;  // no task text yet
    if (!positions.empty() && positions.back()[0] == step[0]) {
      positions.back() = step;
    } else {
      positions.push_back(step);
    }
  }
  EXPECT_EQ(
      (std::vector<std::string>{
          "0 0x199e00ksetTemplateKey", "1 0x199e00ksavetlvdKey", "2 0x199e00kuploadtlvdKey",
          "3 0x199e00ksetLogicGroupsKey", "5 0x199e00ksetFieldsKey", "6 0x199e00kgeneratepdfKey",
          "7 0x199e00kuploadpdfKey", "8 0x199e00ksetAssetsKey", "9 0x199e00kcommitTemplateKey"}),
      positions)
      << progress;

  const auto data = Data();
  EXPECT_EQ(36u, data.at("docID").size());
  EXPECT_EQ(2u, StoredFields().size());
  EXPECT_NE("", ReadFile(WorkFolder() + "Card.tlvd"));
  EXPECT_NE("", ReadFile(WorkFolder() + "Card.pdf"));
  EXPECT_EQ(1, CommitCount(data_.path(), data.at("docID")));

  // The host got the run's record: published, with the template's identity.
  ASSERT_TRUE(host_.Publishes().Last());
  const PublishRecord& record = *host_.Publishes().Last();
  EXPECT_EQ(PublishRecord::Status::kPublished, record.status);
  EXPECT_EQ(PublishRecord::Fault::kNone, record.fault);
  EXPECT_EQ("Card", record.name);
  EXPECT_EQ(data.at("docID"), record.templateID);
  EXPECT_EQ(GetOslPlugInData().server.GetUTF8String(), record.server);
  EXPECT_FALSE(record.serviceMayHoldUncommitted);
  EXPECT_EQ("", record.reason);
}

TEST_F(PublishRun, ACancelledDialogSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  Publish("text 0x199E07 Other; cancel");
  EXPECT_TRUE(AlertTexts().empty());
  EXPECT_EQ("docName:::Card|||", DocumentLabel());
  EXPECT_TRUE(query_->Templates().empty());
  ASSERT_TRUE(host_.Publishes().Last());
  EXPECT_EQ(PublishRecord::Status::kNotPublished, host_.Publishes().Last()->status);
  EXPECT_EQ(PublishRecord::Fault::kCancelled, host_.Publishes().Last()->fault);
  EXPECT_FALSE(host_.Publishes().Last()->serviceMayHoldUncommitted);
}

// The refusal is the service's: the document keeps the name the designer gave it.
TEST_F(PublishRun, AZeroIdentifierFromTheServiceIsRefusedAndTheDocumentKeptAsItWas) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setTemplate:zero-id"}));
  Open(Card("clientType:::0|||docName:::Card|||"));
  Publish();
  EXPECT_EQ(std::vector<std::string>{"error: 0x199e00kupdateTemplateFailedKey"}, AlertTexts());
  EXPECT_EQ("clientType:::0|||docName:::Card|||", DocumentLabel());
  ASSERT_TRUE(host_.Publishes().Last());
  EXPECT_EQ(PublishRecord::Fault::kServiceRefused, host_.Publishes().Last()->fault);
  EXPECT_TRUE(host_.Publishes().Last()->serviceMayHoldUncommitted);
}

TEST_F(PublishRun, ADocumentWhoseTemplateIsGoneIsPublishedAsANewTemplate) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string oldID = "11111111-2222-4333-8444-555555555555";
  Open(Card("docID:::" + oldID + "|||docName:::Gone|||docPassword:::" + oldID + "|||"));
  Publish();
  EXPECT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  const auto data = Data();
  EXPECT_NE(oldID, data.at("docID"));
  EXPECT_NE(kZeroGuid, data.at("docID"));
  ASSERT_NE(nullptr, query_->Template("Gone"));
  EXPECT_EQ(data.at("docID"), query_->Template("Gone")->docID);
}

TEST_F(PublishRun, AnInactiveTemplateIsUpdatedWithItsOwnAlert) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // A template of the same name that the service holds as inactive, its publish ended (the
  // service lets one publish of a template run at a time).
  ASSERT_FALSE(CreateTemplate("Card", false, "", "", true).first.empty());
  const std::string id = query_->Template("Card")->docID;
  Open(Card());
  host_.AlertLog().SetAnswers({"yes"});
  Publish();
  EXPECT_EQ((std::vector<std::string>{"ask: Card0x199e00koverrideTemplateKey",
                                      "info: 0x199e00kupdateTemplateDeletedKey"}),
            AlertTexts());
  EXPECT_EQ(id, Data().at("docID"));
  ASSERT_TRUE(host_.Publishes().Last());
  EXPECT_EQ(PublishRecord::Status::kUpdated, host_.Publishes().Last()->status);
  EXPECT_EQ(id, host_.Publishes().Last()->templateID);
}

TEST_F(PublishRun, AServiceSlowerThanTheTimeLimitStopsTheRunWithTheFaultReport) {
  platform_.limits().callReceive = 1;
  platform_.limits().callDeadline = std::chrono::seconds(2);
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:delay", "--delay-ms", "4000"}));
  Open(Card());
  Publish();
  const auto alerts = AlertTexts();
  ASSERT_GE(alerts.size(), 2u);
  EXPECT_EQ(0u, alerts[0].rfind("error: error: ", 0)) << alerts[0];
  EXPECT_EQ(0u, alerts[1].rfind("error: ", 0)) << alerts[1];
  for (const auto& alert : alerts) EXPECT_EQ(std::string::npos, alert.find("OKKey")) << alert;
  EXPECT_EQ(0, CommitCount(data_.path(), Data().at("docID")));
  // Summed up in plain words, with what the service may now hold.
  ASSERT_TRUE(host_.Publishes().Last());
  const PublishRecord& record = *host_.Publishes().Last();
  EXPECT_EQ(PublishRecord::Status::kNotPublished, record.status);
  EXPECT_EQ(PublishRecord::Fault::kTimeout, record.fault) << record.reason;
  EXPECT_NE(std::string::npos, record.reason.find("took too long")) << record.reason;
  EXPECT_TRUE(record.serviceMayHoldUncommitted);
  EXPECT_EQ(Data().at("docID"), record.templateID);
}

// A file system on which the host cannot save a document copy.
class NoSaving : public standin::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool Rename(const std::string&, const std::string&, std::string* error) override {
    *error = "no space left";
    return false;
  }
};

TEST_F(PublishRun, ACopyThatCannotBeSavedStopsTheRunBeforeAnythingStaleIsUploaded) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  // What an earlier run left under the same name must not be sent.
  GetWorkFolder(GetOslPlugInData().GetSessionId());
  std::ofstream(WorkFolder() + "Card.tlvd") << "stale";
  NoSaving failing(&host_.Files().Real());
  {
    standin::Service<standin::FileSystem>::Replacement replaced(host_.Files(), &failing);
    Publish();
  }
  const auto alerts = AlertTexts();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_EQ("error: 0x199e00ksaveCopyFailedKey" + WorkFolder() + "Card.tlvd", alerts[0]);
  const std::string id = Data().at("docID");
  EXPECT_TRUE(StoredAssets(data_.path(), id).empty());
  EXPECT_EQ(0, CommitCount(data_.path(), id));
  EXPECT_TRUE(StoredFields().empty());
}

TEST_F(PublishRun, ReusedFieldsKeepTheServicesSettingsUnlessRefreshed) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  Publish();
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  // The designer changes the prompt and the text of the field.
  standin::Document* doc = host_.GetSession().FrontDocument();
  doc->SetItemLabel(doc->FindItem(10),
                    WideString(FieldTag("NAME", "1", "promptText:::New|||").c_str()));

  Publish();
  // The kept prompt is named, with the way to send it.
  ASSERT_EQ((std::vector<std::string>{
                "warning: The service keeps values that differ from the document's:\nfield "
                "\"Name\" keeps the service's values: promptText \"\" (the document has "
                "\"New\"); to send the document's, publish with refresh (--refresh)",
                "info: 0x199e00kupdateTemplateOKKey"}),
            AlertTexts());
  auto fields = StoredFields();
  ASSERT_EQ(2u, fields.size());
  const OstrFieldInfo* name = FieldNamed(fields, "Name");
  ASSERT_NE(nullptr, name) << "the letter case of the name changed; it is the same field";
  EXPECT_EQ(osl_soap::ns2__enumControlType__textArea, name->controlType);
  ASSERT_NE(nullptr, name->promptText);
  EXPECT_EQ("", *name->promptText);

  Publish("check 0x199E21 on; ok");
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00kupdateTemplateOKKey"}, AlertTexts());
  fields = StoredFields();
  name = FieldNamed(fields, "Name");
  ASSERT_NE(nullptr, name);
  ASSERT_NE(nullptr, name->promptText);
  EXPECT_EQ("New", *name->promptText);
}

// A failed proof export stops the run with the path alert: the copy and the
// fields are on the service, but no asset is registered and nothing is
// committed; the next publish with a working export completes the template.
TEST_F(PublishRun, AFailedProofExportStopsTheRunBeforeAnythingIsCommitted) {
  // The stopped run keeps its template until the service's publish time-out.
  ASSERT_NO_FATAL_FAILURE(Start({"--publish-timeout", "1"}));
  Open(Card());
  FailingPdfWriter failing(&host_.PdfWriting().Real());
  {
    standin::Service<standin::PdfWriter>::Replacement replaced(host_.PdfWriting(), &failing);
    Publish();
  }
  EXPECT_EQ(std::vector<std::string>{"error: ********\nError:\n " + WorkFolder() +
                                     "Card.pdf\n********"},
            AlertTexts());
  // The field items hidden for the export are shown again.
  standin::Document* doc = host_.GetSession().FrontDocument();
  ASSERT_TRUE(doc);
  for (uint32 uid : {10u, 11u}) {
    ASSERT_TRUE(doc->FindItem(uid));
    EXPECT_TRUE(doc->FindItem(uid)->visible) << uid;
  }
  const std::string id = Data().at("docID");
  EXPECT_TRUE(StoredAssets(data_.path(), id).empty());
  EXPECT_EQ(0, CommitCount(data_.path(), id));
  EXPECT_EQ(2u, StoredFields().size());

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  Publish();
  const auto alerts = AlertTexts();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_EQ(0u, alerts[0].find("info: 0x199e00k")) << alerts[0];
  EXPECT_EQ(id, Data().at("docID"));
  EXPECT_EQ(1, CommitCount(data_.path(), id));
  EXPECT_EQ(2u, StoredFields().size());
}

// A host that offers no export provider at all stops the run at the proof,
// like an export that fails.
TEST_F(PublishRun, WithoutAnExportProviderTheRunStopsAtTheProof) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  const std::vector<standin::Boss*> providers =
      host_.Services().Providers(kExportProviderService);
  ASSERT_FALSE(providers.empty());
  for (standin::Boss* provider : providers) host_.Services().Remove(provider);
  Publish();
  EXPECT_EQ(std::vector<std::string>{"error: ********\nError:\n " + WorkFolder() +
                                     "Card.pdf\n********"},
            AlertTexts());
  EXPECT_EQ(0, CommitCount(data_.path(), Data().at("docID")));
}

// Without the preset every proof is made with, the run stops before the
// properties dialog with the preset's alert; nothing reaches the service.
TEST_F(PublishRun, WithoutTheProofPresetTheUserIsToldAndNothingIsSent) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  ASSERT_TRUE(host_.PdfExportPresets().Remove("ostrel"));
  Publish();
  const auto alerts = AlertTexts();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_NE(std::string::npos, alerts[0].find("ostrel")) << alerts[0];
  EXPECT_EQ("docName:::Card|||", DocumentLabel());
  EXPECT_TRUE(query_->Templates().empty());
}

// What the PDF writer saw of some items' visibility while the proof was
// exported.
class VisibilityAtExport : public standin::PdfWriterWrapper {
 public:
  VisibilityAtExport(standin::PdfWriter* target, std::vector<uint32> uids)
      : PdfWriterWrapper(target), uids_(std::move(uids)) {}
  bool Write(const standin::Document& doc, const standin::PdfSettings& settings,
             const std::string& path, std::string* error, std::string* warnings) override {
    for (uint32 uid : uids_) seen[uid] = doc.FindItem(uid) && doc.FindItem(uid)->visible;
    return PdfWriterWrapper::Write(doc, settings, path, error, warnings);
  }
  std::map<uint32, bool> seen;

 private:
  std::vector<uint32> uids_;
};

// The field items are hidden while the proof is exported, everything else
// shows; afterwards each item has its own visibility back: a field the
// designer had hidden stays hidden.
TEST_F(PublishRun, FieldsAreHiddenForTheProofAndGetTheirOwnVisibilityBack) {
  ASSERT_NO_FATAL_FAILURE(Start());
  nlohmann::json doc = Card();
  nlohmann::json hidden = TextFrame(13, 120, 10, 50, 20, "Secret", FieldTag("Hidden"));
  hidden["visible"] = false;
  doc["spreads"][0]["pages"][0]["items"].push_back(hidden);
  Open(doc);
  VisibilityAtExport recorder(&host_.PdfWriting().Real(), {10, 11, 12, 13});
  {
    standin::Service<standin::PdfWriter>::Replacement replaced(host_.PdfWriting(), &recorder);
    Publish();
  }
  EXPECT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  EXPECT_EQ((std::map<uint32, bool>{{10, false}, {11, false}, {12, true}, {13, false}}),
            recorder.seen);
  standin::Document* front = host_.GetSession().FrontDocument();
  ASSERT_TRUE(front);
  EXPECT_TRUE(front->FindItem(10)->visible);
  EXPECT_TRUE(front->FindItem(11)->visible);
  EXPECT_TRUE(front->FindItem(12)->visible);
  EXPECT_FALSE(front->FindItem(13)->visible);
}

// A failed upload of the proof, the last file, stops the run: the fields
// are on the service, but no file is registered and nothing is committed.
TEST_F(PublishRun, AFailedUploadOfTheProofStopsBeforeAnythingIsRegistered) {
  // A document without text: the copy and the proof are the only uploads.
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "upload:delay:1", "--fault", "upload:http-503:1",
                                 "--delay-ms", "1"}));
  Open(OnePage("docName:::Card|||", {GraphicFrame(10, 10, 10, 50, 50, FieldTag("Logo"))}));
  Publish();
  const auto alerts = AlertTexts();
  ASSERT_FALSE(alerts.empty());
  EXPECT_EQ("error: 0x199e00kuploadFailedKeyCard.pdf", alerts.back());
  for (const auto& alert : alerts) EXPECT_EQ(std::string::npos, alert.find("OKKey")) << alert;
  const std::string id = Data().at("docID");
  EXPECT_TRUE(StoredAssets(data_.path(), id).empty());
  EXPECT_EQ(0, CommitCount(data_.path(), id));
  EXPECT_EQ(1u, StoredFields().size());
}

// setTemplate answering a template identifier or password that is the zero
// GUID, or an identifier that is no GUID at all, is refused: for a new
// template the document forgets its name, for a template the document was
// bound to it keeps identifier, password and name. Nothing more is sent.
TEST_F(PublishRun, AnIdentifierOrPasswordTheServiceCannotMeanIsRefusedAndNotStored) {
  struct Answer {
    std::string id, password;
  };
  const std::vector<Answer> answers = {
      {kZeroGuid, kZeroGuid},          {kZeroGuid, kGoodPassword},
      {kGoodId, kZeroGuid},            {"", kGoodPassword},
      {std::string(1 << 20, 'a'), kGoodPassword},
      {"not-a-guid", kGoodPassword},   {std::string(kGoodId) + "0", kGoodPassword},
      {"0f8fad5b-d9cb-469f-a165_70867728950e", kGoodPassword}};
  const std::string bound = std::string("clientType:::0|||docID:::") + kGoodId +
                            "|||docName:::Card|||docPassword:::" + kGoodPassword + "|||";
  for (const Answer& answer : answers) {
    const std::string shown = answer.id.substr(0, 40) + " / " + answer.password;
    ASSERT_NO_FATAL_FAILURE(StartCanned({LibraryReply(), SetTemplateReply(answer.id,
                                                                          answer.password)}));
    Open(Card("clientType:::0|||docName:::Card|||"));
    Publish();
    EXPECT_EQ(std::vector<std::string>{"error: 0x199e00kupdateTemplateFailedKey"}, AlertTexts())
        << shown;
    EXPECT_EQ("clientType:::0|||docName:::Card|||", DocumentLabel()) << shown;
    EXPECT_EQ(2u, canned_->Requests(2).size()) << shown;
    host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());

    ASSERT_NO_FATAL_FAILURE(
        StartCanned({LibraryReply(LibraryRecord("Card", kGoodId, kGoodPassword)),
                     SoapReply("<t:getFieldsResponse/>"),
                     SetTemplateReply(answer.id, answer.password)}));
    Open(Card(bound));
    Publish();
    EXPECT_EQ(std::vector<std::string>{"error: 0x199e00kupdateTemplateFailedKey"}, AlertTexts())
        << shown;
    EXPECT_EQ(bound, DocumentLabel()) << shown;
    EXPECT_EQ(3u, canned_->Requests(3).size()) << shown;
    host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());
  }
}

// setLogicGroups names every group the service already knows by the
// service's identifier (the last entry of that name), new ones by 0.
TEST_F(PublishRun, StackingGroupsTheServiceKnowsAreSentWithTheServicesIdentifiers) {
  const std::string known =
      "<t:logicGroup><t:logicGroupID>7</t:logicGroupID><t:logicGroupName>Address</t:logicGroupName>"
      "<t:moveDirection>moveDown</t:moveDirection></t:logicGroup>"
      "<t:logicGroup><t:logicGroupID>9</t:logicGroupID><t:logicGroupName>Address</t:logicGroupName>"
      "<t:moveDirection>moveDown</t:moveDirection></t:logicGroup>"
      "<t:logicGroup><t:logicGroupID>5</t:logicGroupID><t:logicGroupName>address</t:logicGroupName>"
      "<t:moveDirection>moveUp</t:moveDirection></t:logicGroup>";
  ASSERT_NO_FATAL_FAILURE(StartCanned(
      {LibraryReply(), SetTemplateReply(kGoodId, kGoodPassword),
       HttpReply(200, "OK", "http://files.test/Card.tlvd", "text/plain"),
       SoapReply("<t:getLogicGroupsResponse><t:getLogicGroupsResult>" + known +
                 "</t:getLogicGroupsResult></t:getLogicGroupsResponse>"),
       SoapReply("<t:setLogicGroupsResponse/>"), CaptureServer::kCloseWithoutReply}));
  Open(Card("StackingGroups:::Address:::1---Fresh:::0---|||docName:::Card|||"));
  Publish();
  const std::vector<std::string> requests = canned_->Requests(5);
  ASSERT_GE(requests.size(), 5u);
  const std::string& sent = requests[4];
  ASSERT_NE(std::string::npos, sent.find("<ns2:setLogicGroups>")) << sent;
  EXPECT_NE(std::string::npos,
            sent.find("<ns2:logicGroup><ns2:logicGroupID>9</ns2:logicGroupID>"
                      "<ns2:logicGroupName>Address</ns2:logicGroupName>"))
      << sent;
  EXPECT_NE(std::string::npos,
            sent.find("<ns2:logicGroup><ns2:logicGroupID>0</ns2:logicGroupID>"
                      "<ns2:logicGroupName>Fresh</ns2:logicGroupName>"))
      << sent;
}

// "0" moves a stacking group's fields up; any other value moves them down.
TEST_F(PublishRun, StackingGroupsMoveUpOnlyWhenTheirValueIsZero) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card("StackingGroups:::Down:::1---Other:::01---Up:::0---|||docName:::Card|||"));
  Publish();
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  const auto data = Data();
  std::map<std::string, int> directions;
  for (const auto* group : query_->Groups(data.at("docID"), data.at("docPassword"))) {
    directions[group->logicGroupName ? *group->logicGroupName : "<nil>"] = group->moveDirection;
  }
  EXPECT_EQ((std::map<std::string, int>{{"Down", osl_soap::ns2__eMoveDirection__moveDown},
                                        {"Other", osl_soap::ns2__eMoveDirection__moveDown},
                                        {"Up", osl_soap::ns2__eMoveDirection__moveUp}}),
            directions);
}

// A new template without fields gets no setFields call; a template the
// service holds gets one (with no records) even when the document has no
// fields left, so the service's fields go.
TEST_F(PublishRun, SetFieldsIsSkippedOnlyForANewTemplateWithoutFields) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:soap-fault"}));
  Open(OnePage("docName:::Plain|||", {TextFrame(10, 10, 10, 100, 20, "Plain text")}));
  Publish();
  EXPECT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  Publish();
  const auto alerts = AlertTexts();
  ASSERT_FALSE(alerts.empty());
  EXPECT_EQ(0u, alerts[0].rfind("error: error: ", 0)) << alerts[0];
}

// The record sent for a document bound to a template carries that
// template's category and bleed; a document never published that replaces
// a template of its name sends the defaults. clientType follows the
// document's.
TEST_F(PublishRun, ABoundDocumentKeepsItsTemplatesCategoryAndBleed) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const auto [id, password] = CreateTemplate("Card", true, "Flyers", "3", true);
  ASSERT_FALSE(id.empty());
  Open(Card("clientType:::1|||docID:::" + id + "|||docName:::Card|||docPassword:::" + password +
            "|||"));
  Publish();
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00kupdateTemplateOKKey"}, AlertTexts());
  const auto* stored = query_->Template("Card");
  ASSERT_NE(nullptr, stored);
  ASSERT_NE(nullptr, stored->docCategory);
  EXPECT_EQ("Flyers", *stored->docCategory);
  EXPECT_EQ("3", stored->docBleed);
  EXPECT_EQ(1, stored->clientType);

  host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());
  Open(Card("clientType:::0|||docName:::Card|||"));
  host_.AlertLog().SetAnswers({"yes"});
  Publish();
  ASSERT_EQ((std::vector<std::string>{"ask: Card0x199e00koverrideTemplateKey",
                                      "info: 0x199e00kupdateTemplateOKKey"}),
            AlertTexts());
  stored = query_->Template("Card");
  ASSERT_NE(nullptr, stored);
  ASSERT_NE(nullptr, stored->docCategory);
  EXPECT_EQ("Miscellaneous", *stored->docCategory);
  EXPECT_EQ("0", stored->docBleed);
  EXPECT_EQ(0, stored->clientType);
  EXPECT_EQ(id, Data().at("docID"));
}

// Of several templates that carry the document's name, the one the
// document is bound to is updated; a document bound to none of them
// updates the first, as before.
TEST_F(PublishRun, AmongTemplatesOfOneNameTheBoundOneIsUpdated) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const auto older = CreateTemplate("Card", true, "", "", true);
  const auto newer = CreateTemplate("Card", true, "", "", true);
  ASSERT_FALSE(older.first.empty());
  ASSERT_FALSE(newer.first.empty());
  Open(Card("docID:::" + newer.first + "|||docName:::Card|||docPassword:::" + newer.second +
            "|||"));
  Publish();
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00kupdateTemplateOKKey"}, AlertTexts());
  EXPECT_EQ(newer.first, Data().at("docID"));
  EXPECT_EQ(2, CommitCount(data_.path(), newer.first));
  EXPECT_EQ(1, CommitCount(data_.path(), older.first));
  EXPECT_EQ(2u, query_->Fields(newer.first, newer.second).size());
  EXPECT_TRUE(query_->Fields(older.first, older.second).empty());

  host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());
  Open(Card());
  host_.AlertLog().SetAnswers({"yes"});
  Publish();
  EXPECT_EQ(older.first, Data().at("docID"));
  EXPECT_EQ(2, CommitCount(data_.path(), older.first));
}

// Publishing as new keeps the link to the old template until the service
// has answered with a new one: a cancelled dialog, a failed call or a
// refused answer leave the document's identifier, password and name as
// they were; a run that gets its new template stores it.
TEST_F(PublishRun, PublishAsNewKeepsTheOldTemplateUntilTheServiceGaveANewOne) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "getLibraryTemplates:delay:1", "--fault",
                                 "getLibraryTemplates:soap-fault:1", "--fault",
                                 "setTemplate:delay:1", "--fault", "setTemplate:zero-id:1",
                                 "--delay-ms", "1"}));
  Open(Card());
  Publish();
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  const std::string published = DocumentLabel();
  const std::string oldID = Data().at("docID");

  QueueTemplateDialog("text 0x199E07 Card Copy; cancel");
  RunAction(kOslPublishAsNewActionID);
  EXPECT_TRUE(AlertTexts().empty());
  EXPECT_EQ(published, DocumentLabel());

  QueueTemplateDialog("text 0x199E07 Card Copy; ok");
  RunAction(kOslPublishAsNewActionID);  // getLibraryTemplates fails
  ASSERT_FALSE(AlertTexts().empty());
  EXPECT_EQ(published, DocumentLabel());

  QueueTemplateDialog("text 0x199E07 Card Copy; ok");
  RunAction(kOslPublishAsNewActionID);  // setTemplate answers the zero GUID
  EXPECT_EQ(std::vector<std::string>{"error: 0x199e00kupdateTemplateFailedKey"}, AlertTexts());
  EXPECT_EQ(published, DocumentLabel());

  QueueTemplateDialog("text 0x199E07 Card Copy; ok");
  RunAction(kOslPublishAsNewActionID);
  EXPECT_EQ(std::vector<std::string>{"info: 0x199e00ksaveTemplateOKKey"}, AlertTexts());
  const auto data = Data();
  EXPECT_NE(oldID, data.at("docID"));
  EXPECT_EQ("Card Copy", data.at("docName"));
  ASSERT_NE(nullptr, query_->Template("Card Copy"));
  EXPECT_EQ(data.at("docID"), query_->Template("Card Copy")->docID);
  EXPECT_EQ(1, CommitCount(data_.path(), oldID));
}

}  // namespace
}  // namespace osltest
