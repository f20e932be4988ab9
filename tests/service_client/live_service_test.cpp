// The service client in process against a running osl-service: the eight
// calls through the project's call functions with the account of the settings
// file, uploads read back over HTTP, and injected faults shown the way the
// caller of a failed call shows them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "service_client/messages.h"
#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "service_client/upload.h"
#include "tests/service_client/capture_server.h"
#include "tests/service_client/test_support.h"

namespace osltest {
namespace {

using namespace osl_soap;

const char kUser[] = "designer@example.org";
const char kPassword[] = "s3cret & <more>";
const char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

std::string Text(const PMString& text) { return text.GetUTF8String(); }

class LiveServiceTest : public ::testing::Test {
 protected:
  ~LiveServiceTest() override {
    ResetPlugInData();
    ForgetPlugInPath();
  }

  // Starts osl-service with the test account plus `extra` and writes the
  // settings file beside the plug-in: that service, the test user and
  // `password`. Then loads the settings as the plug-in does.
  void Start(const std::vector<std::string>& extra = {}, const std::string& password = kPassword) {
    std::vector<std::string> args = {"--user", kUser, "--password", kPassword};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(service_.Start(data_.path(), args, &error)) << error;
    const TempDir& dir = scope_.platform().dir();
    dir.Write("Osl.cfg",
              "server:" + service_.baseUrl() + "\nuser:" + kUser + "\npass:" + password + "\n");
    SetPlugInPath(dir.path() + "/Osl.pln");
    ResetPlugInData();
    ASSERT_TRUE(GetOslPlugInData().IsConfigured());
  }

  std::string DocumentEndpoint() { return Text(GetOslPlugInData().documentEndpoint); }
  std::string TemplateEndpoint() { return Text(GetOslPlugInData().templateEndpoint); }

  // getLibraryTemplates with the settings' account, as the publish asks it.
  int ListTemplates(struct soap* soap, _ns4__getLibraryTemplatesResponse& response) {
    _ns4__getLibraryTemplates request;
    request.email = OslNewString(soap, GetOslPlugInData().user);
    request.password = OslNewString(soap, GetOslPlugInData().password);
    return CallGetLibraryTemplates(soap, DocumentEndpoint().c_str(), nullptr, &request, response);
  }

  template <class Request>
  void Identify(Request* request, const std::string& id, const std::string& idPassword) {
    request->userEmail = Text(GetOslPlugInData().user);
    request->userPassword = Text(GetOslPlugInData().password);
    request->docCode = id;
    request->docPassword = idPassword;
  }

  std::string UploadedName(const std::string& name) {
    return Text(
        UploadFile(PMString(scope_.platform().dir().Write("upload.bin", name)), PMString(name)));
  }

  ServiceTestScope scope_;
  TempDir data_;
  ServiceProcess service_;
};

TEST_F(LiveServiceTest, TheEightCallsCarryATemplateThroughItsLife) {
  ASSERT_NO_FATAL_FAILURE(Start());
  OslSoapContext context;
  struct soap* soap = context.get();
  const std::string manager = TemplateEndpoint();

  _ns4__getLibraryTemplatesResponse before;
  ASSERT_EQ(0, ListTemplates(soap, before));
  EXPECT_TRUE(!before.getLibraryTemplatesResult ||
              before.getLibraryTemplatesResult->libraryTemplate.empty());

  _ns2__setTemplate set;
  set.userEmail = kUser;
  set.userPassword = kPassword;
  libraryTemplate info;
  info.docName = OslNewString(soap, PMString("Visitenkarte M\xc3\xbcller"));
  info.docID = kZeroGuid;
  info.docPassword = kZeroGuid;
  info.isActive = true;
  info.docPageCount = 1;
  info.docWidth = "255.118";
  info.docHeight = "155.906";
  info.docBleed = "8.504";
  info.clientType = 1;
  set.templateInfo = &info;
  _ns2__setTemplateResponse created;
  ASSERT_EQ(0, CallSetTemplate(soap, manager.c_str(), nullptr, &set, created));
  ASSERT_NE(nullptr, created.setTemplateResult);
  const std::string id = created.setTemplateResult->docID;
  const std::string idPassword = created.setTemplateResult->docPassword;
  EXPECT_EQ(36u, id.size());
  EXPECT_NE(kZeroGuid, id);
  EXPECT_NE(kZeroGuid, idPassword);

  _ns4__getLibraryTemplatesResponse after;
  ASSERT_EQ(0, ListTemplates(soap, after));
  ASSERT_NE(nullptr, after.getLibraryTemplatesResult);
  ASSERT_EQ(1u, after.getLibraryTemplatesResult->libraryTemplate.size());
  const docBuilderLibraryTemplate* listed = after.getLibraryTemplatesResult->libraryTemplate[0];
  ASSERT_NE(nullptr, listed);
  EXPECT_EQ(id, listed->docID);
  ASSERT_NE(nullptr, listed->docName);
  EXPECT_EQ("Visitenkarte M\xc3\xbcller", *listed->docName);

  OstrFieldInfo name, photo;
  name.fieldName = OslNewString(soap, std::string("Name"));
  name.controlType = ns2__enumControlType__textBox;
  photo.fieldName = OslNewString(soap, std::string("Photo"));
  photo.controlType = ns2__enumControlType__stdImageUpload;
  ArrayOfOstrFieldInfo fields;
  fields.OstrFieldInfo = {&name, &photo};
  _ns2__setFields setFields;
  Identify(&setFields, id, idPassword);
  setFields.docFields = &fields;
  setFields.deleteOthers = true;
  _ns2__setFieldsResponse fieldsSet;
  ASSERT_EQ(0, CallSetFields(soap, manager.c_str(), nullptr, &setFields, fieldsSet));
  _ns2__getFields getFields;
  Identify(&getFields, id, idPassword);
  _ns2__getFieldsResponse fieldsGot;
  ASSERT_EQ(0, CallGetFields(soap, manager.c_str(), nullptr, &getFields, fieldsGot));
  ASSERT_NE(nullptr, fieldsGot.getFieldsResult);
  std::vector<std::string> names;
  for (const OstrFieldInfo* field : fieldsGot.getFieldsResult->OstrFieldInfo) {
    ASSERT_NE(nullptr, field);
    ASSERT_NE(nullptr, field->fieldName);
    names.push_back(*field->fieldName);
    if (*field->fieldName == "Photo") {
      EXPECT_EQ(ns2__enumControlType__stdImageUpload, field->controlType);
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"Name", "Photo"}), names);

  logicGroup address;
  address.logicGroupName = OslNewString(soap, std::string("Address"));
  address.moveDirection = ns2__eMoveDirection__moveDown;
  ArrayOfLogicGroup groups;
  groups.logicGroup = {&address};
  _ns2__setLogicGroups setGroups;
  Identify(&setGroups, id, idPassword);
  setGroups.logicGroups = &groups;
  _ns2__setLogicGroupsResponse groupsSet;
  ASSERT_EQ(0, CallSetLogicGroups(soap, manager.c_str(), nullptr, &setGroups, groupsSet));
  _ns2__getLogicGroups getGroups;
  Identify(&getGroups, id, idPassword);
  _ns2__getLogicGroupsResponse groupsGot;
  ASSERT_EQ(0, CallGetLogicGroups(soap, manager.c_str(), nullptr, &getGroups, groupsGot));
  ASSERT_NE(nullptr, groupsGot.getLogicGroupsResult);
  ASSERT_EQ(1u, groupsGot.getLogicGroupsResult->logicGroup.size());
  const logicGroup* group = groupsGot.getLogicGroupsResult->logicGroup[0];
  ASSERT_NE(nullptr, group);
  ASSERT_NE(nullptr, group->logicGroupName);
  EXPECT_EQ("Address", *group->logicGroupName);
  EXPECT_EQ(ns2__eMoveDirection__moveDown, group->moveDirection);

  assetInfo proof;
  proof.assetURL = OslNewString(soap, service_.baseUrl() + "/files/x/proof.pdf");
  proof.assetName = OslNewString(soap, std::string("proof.pdf"));
  proof.assetType = ns2__eAssetType__masterPDF;
  ArrayOfAssetInfo assets;
  assets.assetInfo = {&proof};
  _ns2__setAssets setAssets;
  Identify(&setAssets, id, idPassword);
  setAssets.assets = &assets;
  _ns2__setAssetsResponse assetsSet;
  ASSERT_EQ(0, CallSetAssets(soap, manager.c_str(), nullptr, &setAssets, assetsSet));
  ASSERT_NE(nullptr, assetsSet.setAssetsResult);
  ASSERT_EQ(1u, assetsSet.setAssetsResult->assetInfo.size());
  ASSERT_NE(nullptr, assetsSet.setAssetsResult->assetInfo[0]);
  EXPECT_EQ(ns2__eAssetType__masterPDF, assetsSet.setAssetsResult->assetInfo[0]->assetType);

  _ns2__commitTemplate commit;
  Identify(&commit, id, idPassword);
  _ns2__commitTemplateResponse committed;
  ASSERT_EQ(0, CallCommitTemplate(soap, manager.c_str(), nullptr, &commit, committed));
  ASSERT_NE(nullptr, committed.commitTemplateResult);
  EXPECT_EQ(id, committed.commitTemplateResult->docID);
  EXPECT_TRUE(TakeAlerts().empty());
}

TEST_F(LiveServiceTest, AWrongPasswordIsAServiceFaultShownAsStatusThenReport) {
  ASSERT_NO_FATAL_FAILURE(Start({}, "not the password"));
  OslSoapContext context;
  _ns4__getLibraryTemplatesResponse response;
  const int status = ListTemplates(context.get(), response);
  EXPECT_EQ(SOAP_CLI_FAULT, status);
  EXPECT_EQ(-1, ReportFailedCall(context.get(), status));
  const auto alerts = TakeAlerts();
  ASSERT_EQ(2u, alerts.size());
  EXPECT_EQ("error: error: 1", alerts[0]);
  EXPECT_EQ(0u, alerts[1].find("error: \n\tSOAP 1.1 \n\tfault: SOAP-ENV:")) << alerts[1];
  EXPECT_NE(std::string::npos, alerts[1].find("\"Invalid user name or password.\"")) << alerts[1];
  EXPECT_NE(std::string::npos, alerts[1].find("\n\tEndpoint: " + DocumentEndpoint() + " \n"));
}

TEST_F(LiveServiceTest, UploadedFilesComeBackByteForByte) {
  ASSERT_NO_FATAL_FAILURE(Start());
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 131) & 0xFF);
  const struct {
    const char* label;
    std::string name;
    std::string content;
  } files[] = {
      {"empty", "empty.bin", ""},
      {"binary", "image.jpg", binary},
      {"quoted name", "my \"best\" card.pdf", "%PDF-1.4\r\n--\r\n%%EOF"},
  };
  const std::string prefix =
      service_.baseUrl() + "/files/" + Text(GetOslPlugInData().GetSessionId()) + "/";
  for (const auto& file : files) {
    const std::string path = scope_.platform().dir().Write("upload.bin", file.content);
    const std::string address = Text(UploadFile(PMString(path), PMString(file.name)));
    EXPECT_EQ(0u, address.find(prefix)) << file.label << ": " << address;
    int status = 0;
    std::string stored;
    ASSERT_TRUE(HttpGet(address, &status, &stored)) << file.label << ": " << address;
    EXPECT_EQ(200, status) << file.label;
    EXPECT_EQ(file.content, stored) << file.label;
  }
  EXPECT_TRUE(TakeAlerts().empty());
}

// Each getLibraryTemplates meets the next fault in turn; the last call finds
// the service well again. The delayed answer comes after 2 s and a call may
// take 0.5 s.
TEST_F(LiveServiceTest, InjectedFaultsFailTheCallWithItsStatusAndReport) {
  scope_.platform().limits().callDeadline = std::chrono::milliseconds(500);
  const std::string operation = "getLibraryTemplates:";
  ASSERT_NO_FATAL_FAILURE(
      Start({"--delay-ms", "2000", "--fault", operation + "soap-fault:1", "--fault",
             operation + "http-503:1", "--fault", operation + "garbage:1", "--fault",
             operation + "close:1", "--fault", operation + "delay:1"}));
  const struct {
    const char* kind;
    int status;            // 0: any failure
    const char* inReport;  // text the fault report holds
  } faults[] = {
      {"soap-fault", SOAP_SVR_FAULT, "\"Injected fault for getLibraryTemplates.\""},
      {"http-503", 503, "\n\tError 503 \n\tfault: "},
      {"garbage", 0, "\n\tfault: "},
      {"close", 0, "\n\tfault: "},
      {"delay", SOAP_EOF, "\"Time limit exceeded\""},
  };
  OslSoapContext context;
  for (const auto& fault : faults) {
    _ns4__getLibraryTemplatesResponse response;
    const int status = ListTemplates(context.get(), response);
    if (fault.status != 0) {
      EXPECT_EQ(fault.status, status) << fault.kind;
    }
    EXPECT_NE(0, status) << fault.kind;
    ReportFailedCall(context.get(), status);
    const auto alerts = TakeAlerts();
    ASSERT_EQ(2u, alerts.size()) << fault.kind;
    EXPECT_EQ("error: error: " + std::to_string(status), alerts[0]) << fault.kind;
    EXPECT_EQ(0u, alerts[1].find("error: \n\t")) << fault.kind << alerts[1];
    EXPECT_NE(std::string::npos, alerts[1].find(fault.inReport)) << fault.kind << alerts[1];
  }
  _ns4__getLibraryTemplatesResponse response;
  EXPECT_EQ(0, ListTemplates(context.get(), response));
}

TEST_F(LiveServiceTest, InjectedUploadFaultsShowTheProtocolErrorSequence) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "upload:http-503:1", "--fault", "upload:soap-fault:1",
                                 "--fault", "upload:close:1"}));
  for (const char* kind : {"http-503", "soap-fault", "close"}) {
    EXPECT_EQ("", UploadedName("a.pdf")) << kind;
    const auto alerts = TakeAlerts();
    ASSERT_EQ(7u, alerts.size()) << kind;
    EXPECT_EQ(0u, alerts[0].find("info: 1.File ")) << kind;
    EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]) << kind;
    EXPECT_EQ(0u, alerts[5].find("error: \n\t")) << kind << alerts[5];
    EXPECT_EQ("info: 1.ShowProtocolError.end", alerts[6]) << kind;
  }
  EXPECT_NE("", UploadedName("a.pdf"));
  EXPECT_TRUE(TakeAlerts().empty());
}

// A request over the service's size limit is answered 413: a SOAP request
// announcing its length at once, and the connection closed while the client
// still sends; an upload (chunked) once its body has been read. Either way the
// designer sees the service's answer, not a broken connection.
TEST_F(LiveServiceTest, ARequestTooLargeForTheServiceShowsItsAnswer) {
  ASSERT_NO_FATAL_FAILURE(Start({"--max-soap-mb", "1", "--max-upload-mb", "1"}));
  OslSoapContext context;
  struct soap* soap = context.get();
  _ns4__getLibraryTemplates request;
  request.email = OslNewString(soap, PMString(std::string(3 << 20, 'a')));
  request.password = OslNewString(soap, PMString("pw"));
  _ns4__getLibraryTemplatesResponse response;
  const int status =
      CallGetLibraryTemplates(soap, DocumentEndpoint().c_str(), nullptr, &request, response);
  EXPECT_EQ(413, status);
  const std::string report = FormatSoapFaultReport(soap);
  EXPECT_EQ(0u, report.find("\n\tError 413 \n\tfault: ")) << report;
  EXPECT_NE(std::string::npos, report.find("larger than 1048576 bytes")) << report;

  const std::string path = scope_.platform().dir().Write("large.bin", std::string(3 << 19, 'x'));
  EXPECT_EQ("", Text(UploadFile(PMString(path), PMString("large.bin"))));
  const auto alerts = TakeAlerts();
  ASSERT_EQ(7u, alerts.size()) << ::testing::PrintToString(alerts);
  EXPECT_EQ("info: 1.File " + path, alerts[0]);
  EXPECT_EQ("info: 1.ShowProtocolError.begin", alerts[4]);
  EXPECT_EQ(0u, alerts[5].find("error: \n\tError 413 \n\tfault: ")) << alerts[5];
  EXPECT_NE(std::string::npos, alerts[5].find("larger than 1048576 bytes")) << alerts[5];
  EXPECT_EQ("info: 1.ShowProtocolError.end", alerts[6]);

  // The service is well and takes what fits.
  EXPECT_NE("", UploadedName("small.pdf"));
  EXPECT_TRUE(TakeAlerts().empty());
}

}  // namespace
}  // namespace osltest
