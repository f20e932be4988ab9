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

#include "service/messages.h"
#include "service/platform.h"
#include "service/service_calls.h"
#include "standin/core/file_system.h"
#include "standin/core/service.h"
#include "tests/e2e/documents.h"
#include "tests/e2e/e2e_support.h"
#include "tests/publish/publish_fixture.h"
#include "tests/service/test_support.h"
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
    platform_.dir().Write("Osl.cfg", "server:" + service_.baseUrl() + "\nuser:" + kE2eUser +
                                         "\npass:" + kE2ePassword + "\n");
    SetPlugInPath(platform_.dir().path() + "/Osl.pln");
    ResetPlugInData();
    ASSERT_TRUE(GetOslPlugInData().IsConfigured());
    query_ = std::make_unique<ServiceQuery>(service_.baseUrl());
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
};

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
}

TEST_F(PublishRun, ACancelledDialogSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  Open(Card());
  Publish("text 0x199E07 Other; cancel");
  EXPECT_TRUE(AlertTexts().empty());
  EXPECT_EQ("docName:::Card|||", DocumentLabel());
  EXPECT_TRUE(query_->Templates().empty());
}

TEST_F(PublishRun, AZeroIdentifierFromTheServiceIsRefusedAndForgotten) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setTemplate:zero-id"}));
  Open(Card("clientType:::0|||docName:::Card|||"));
  Publish();
  EXPECT_EQ(std::vector<std::string>{"error: 0x199e00kupdateTemplateFailedKey"}, AlertTexts());
  EXPECT_EQ("clientType:::0|||docID:::|||docName:::|||docPassword:::|||", DocumentLabel());
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
  {
    // A template of the same name that the service holds as inactive.
    OslSoapContext context;
    osl_soap::_ns2__setTemplate request;
    request.userEmail = kE2eUser;
    request.userPassword = kE2ePassword;
    osl_soap::libraryTemplate info;
    info.docName = OslNewString(context.get(), std::string("Card"));
    info.docID = kZeroGuid;
    info.docPassword = kZeroGuid;
    info.isActive = false;
    request.templateInfo = &info;
    osl_soap::_ns2__setTemplateResponse response;
    const std::string endpoint = service_.baseUrl() + "/services/templateMgr.svc";
    ASSERT_EQ(0, CallSetTemplate(context.get(), endpoint.c_str(), nullptr, &request, response));
    // That publish has ended: the service lets one publish of a template run at a time.
    ASSERT_NE(nullptr, response.setTemplateResult);
    osl_soap::_ns2__commitTemplate commit;
    commit.userEmail = kE2eUser;
    commit.userPassword = kE2ePassword;
    commit.docCode = response.setTemplateResult->docID;
    commit.docPassword = response.setTemplateResult->docPassword;
    osl_soap::_ns2__commitTemplateResponse committed;
    ASSERT_EQ(0, CallCommitTemplate(context.get(), endpoint.c_str(), nullptr, &commit, committed));
  }
  const std::string id = query_->Template("Card")->docID;
  Open(Card());
  host_.AlertLog().SetAnswers({"yes"});
  Publish();
  EXPECT_EQ((std::vector<std::string>{"ask: Card0x199e00koverrideTemplateKey",
                                      "info: 0x199e00kupdateTemplateDeletedKey"}),
            AlertTexts());
  EXPECT_EQ(id, Data().at("docID"));
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
  ASSERT_EQ(std::vector<std::string>{"info: 0x199e00kupdateTemplateOKKey"}, AlertTexts());
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
  EXPECT_EQ(std::vector<std::string>{"info: ********\nError:\n " + WorkFolder() +
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
  EXPECT_EQ(std::vector<std::string>{"info: ********\nError:\n " + WorkFolder() +
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

}  // namespace
}  // namespace osltest
