// osl-service as a running process: the eight operations through the generated gSOAP client,
// SOAPAction and endpoint checks, fault injection and persistence.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <chrono>
#include <memory>
#include <sstream>

#include "osl_soapH.h"
#include "schema/soap_namespaces.h"
#include "tests/refservice/raw_http.h"
#include "tests/refservice/service_fixture.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using namespace osl_soap;

constexpr const char* kZero = kZeroGuidText;
constexpr char kBob[] = "bob@example.org";
constexpr char kBobPw[] = "bob-pw";

// A field record with values in every kind of member, including nested records.
ns2__OstrFieldInfo* RichField(struct soap* soap, const std::string& name) {
  auto* field = soap_new_ns2__OstrFieldInfo(soap);
  field->fieldName = soap_new_std__string(soap);
  *field->fieldName = name;
  field->pdfRect = soap_new_std__string(soap);
  *field->pdfRect = "10.5,20.25,100,50";
  field->pageNumber = 2;
  field->controlType = ns2__enumControlType__stdImageUpload;
  field->promptText = soap_new_std__string(soap);
  *field->promptText = "Straße & <Ünïcode> \"quoted\"";
  field->rotation = 0.5;
  field->zOrder = 7;
  field->logicGroupID = 3;
  field->positionOverrideLeft = -1.25e-7;
  field->barCode = ns2__barcodeType__pdf417;
  field->fieldLockdown = soap_new_ns2__fieldLockDown(soap);
  field->fieldLockdown->canMove = true;
  field->fieldLockdown->maxFontSize = 72;
  field->fieldLockdown->defaultPalette = soap_new_ns2__PaletteInfo(soap);
  field->fieldLockdown->defaultPalette->PaletteID = 9;
  field->fieldLockdown->defaultPalette->colors = soap_new_ns2__ArrayOfString(soap);
  field->fieldLockdown->defaultPalette->colors->string = {"0,0,0,100", "100,0,0,0"};
  field->imageQualityRanges = soap_new_ns2__ArrayOfInt(soap);
  field->imageQualityRanges->int_ = {72, 150, 300};
  field->paletteID = static_cast<int*>(soap_malloc(soap, sizeof(int)));
  *field->paletteID = 4;
  field->fontSize = 11.5;
  field->fontColorK = 100;
  return field;
}

class ServiceTest : public ServiceFixture {};

TEST_F(ServiceTest, PublishSequenceThroughTheGeneratedClient) {
  StartService();
  SoapClient client(service_.port(), kAnn, kAnnPw);
  std::vector<ns4__libraryTemplate*> list;
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK) << FaultText(client.soap());
  EXPECT_TRUE(list.empty());

  auto [id, password] = client.CreateTemplate("Business card");
  ASSERT_NE(id, kZero);
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(Text(list[0]->docName), "Business card");
  EXPECT_EQ(list[0]->docID, id);
  EXPECT_EQ(list[0]->docPassword, password);
  EXPECT_EQ(list[0]->docPageCount, 2);
  EXPECT_EQ(list[0]->docWidth, "612");
  EXPECT_EQ(list[0]->clientType, 1);

  std::vector<ns2__OstrFieldInfo*> fields;
  ASSERT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  EXPECT_TRUE(fields.empty());

  std::vector<ns2__logicGroup*> groups;
  ASSERT_EQ(client.GetLogicGroups(id, password, &groups), SOAP_OK);
  EXPECT_TRUE(groups.empty());
  ASSERT_EQ(client.SetLogicGroups(id, password, {{0, "Address"}, {0, "Phones"}}, &groups), SOAP_OK)
      << FaultText(client.soap());
  ASSERT_EQ(groups.size(), 2u);
  int addressId = groups[0]->logicGroupID;
  ASSERT_EQ(client.SetLogicGroups(id, password, {{addressId, "Address"}, {0, "New"}}, &groups),
            SOAP_OK);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0]->logicGroupID, addressId);
  EXPECT_EQ(groups[0]->moveDirection, ns2__eMoveDirection__moveDown);

  // Full records travel and come back unchanged, member for member.
  ns2__OstrFieldInfo* nameField = RichField(client.soap(), "name");
  ns2__OstrFieldInfo* logoField = RichField(client.soap(), "logo");
  std::string nameXml = ToXml(*nameField);
  std::string logoXml = ToXml(*logoField);
  ASSERT_EQ(client.SetFields(id, password, {nameField, nullptr, logoField}, true, &fields), SOAP_OK)
      << FaultText(client.soap());
  ASSERT_EQ(fields.size(), 2u);
  ASSERT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(ToXml(*fields[0]), nameXml);
  EXPECT_EQ(ToXml(*fields[1]), logoXml);
  EXPECT_DOUBLE_EQ(fields[0]->rotation, 0.5);
  EXPECT_EQ(Text(fields[0]->promptText), "Straße & <Ünïcode> \"quoted\"");
  EXPECT_EQ(fields[0]->barCode, ns2__barcodeType__pdf417);
  ASSERT_NE(fields[0]->paletteID, nullptr);
  EXPECT_EQ(*fields[0]->paletteID, 4);

  // An enumeration value outside its table is refused with a clear reason, changing nothing.
  ns2__OstrFieldInfo* odd = RichField(client.soap(), "odd");
  odd->barCode = static_cast<ns2__barcodeType>(18);
  EXPECT_EQ(client.SetFields(id, password, {odd}, true, &fields), SOAP_CLI_FAULT);
  EXPECT_NE(FaultText(client.soap()).find("barCode"), std::string::npos);
  ASSERT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  EXPECT_EQ(fields.size(), 2u);

  // deleteOthers: only the sent field stays.
  ASSERT_EQ(client.SetFields(id, password, {RichField(client.soap(), "logo")}, true, &fields),
            SOAP_OK);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(Text(fields[0]->fieldName), "logo");

  std::vector<ns2__assetInfo*> assets;
  ASSERT_EQ(client.SetAssets(id, password, {{"http://x/a.tlvd", "a.tlvd"}, {"", "a.pdf"}}, &assets),
            SOAP_OK);
  ASSERT_EQ(assets.size(), 2u);
  EXPECT_EQ(Text(assets[1]->assetURL), "");

  ns2__libraryTemplate* committed = nullptr;
  ASSERT_EQ(client.CommitTemplate(id, password, &committed), SOAP_OK);
  ASSERT_NE(committed, nullptr);
  EXPECT_EQ(committed->docID, id);
  EXPECT_EQ(*committed->docName, "Business card");

  // Updating with the identifier and password keeps them.
  ns2__libraryTemplate* updated = nullptr;
  ASSERT_EQ(client.SetTemplate(kAnn, kAnnPw, "Renamed", &id, &password, &updated), SOAP_OK)
      << FaultText(client.soap());
  ASSERT_NE(updated, nullptr);
  EXPECT_EQ(updated->docID, id);
  EXPECT_EQ(updated->docPassword, password);
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(Text(list[0]->docName), "Renamed");
}

TEST_F(ServiceTest, CredentialsAndTemplatePasswordsAreChecked) {
  StartService({"--fault", "setFields:delay:1"});
  // A second account, added by a restart with another --user.
  StopService();
  ASSERT_NO_FATAL_FAILURE(StartServiceWith({"--user", kBob, "--password", kBobPw}));
  SoapClient client(service_.port(), kAnn, kAnnPw);
  auto [id, password] = client.CreateTemplate("Ann's");

  std::vector<ns4__libraryTemplate*> list;
  EXPECT_EQ(client.GetLibraryTemplates(kAnn, "wrong", &list), SOAP_CLI_FAULT);
  EXPECT_NE(FaultText(client.soap()).find("Invalid user name or password"), std::string::npos);

  std::vector<ns2__OstrFieldInfo*> fields;
  EXPECT_EQ(client.GetFields(kAnn, kAnnPw, id, kZero, &fields), SOAP_CLI_FAULT);
  EXPECT_NE(FaultText(client.soap()).find("Wrong template password"), std::string::npos);

  // Bob sees none of Ann's templates, and her identifier and password do not open it for him.
  ASSERT_EQ(client.GetLibraryTemplates(kBob, kBobPw, &list), SOAP_OK);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(client.GetFields(kBob, kBobPw, id, password, &fields), SOAP_CLI_FAULT);
  EXPECT_NE(FaultText(client.soap()).find("does not exist"), std::string::npos);
  ns2__libraryTemplate* stolen = nullptr;
  EXPECT_EQ(client.SetTemplate(kBob, kBobPw, "Bob's now", &id, &password, &stolen), SOAP_CLI_FAULT);
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(Text(list[0]->docName), "Ann's");
}

TEST_F(ServiceTest, SoapActionAndEndpointMustMatchTheOperation) {
  StartService();
  std::string envelope =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SOAP-ENV:Envelope "
      "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:ns4=\"urn:osl:templates/\"><SOAP-ENV:Body><ns4:getLibraryTemplates><ns4:email>" +
      std::string(kAnn) + "</ns4:email><ns4:password>" + kAnnPw +
      "</ns4:password></ns4:getLibraryTemplates></SOAP-ENV:Body></SOAP-ENV:Envelope>";
  auto post = [&](const std::string& path, const std::string& action) {
    return ParseReply(RawExchange(
        service_.port(), PostRequest(path, "text/xml; charset=utf-8", envelope,
                                     action.empty() ? "" : "SOAPAction: \"" + action + "\"\r\n")));
  };
  HttpReply ok = post("/services/builddoc.asmx", "urn:osl:templates/getLibraryTemplates");
  EXPECT_EQ(ok.status, 200);
  EXPECT_NE(ok.body.find("getLibraryTemplatesResponse"), std::string::npos);
  EXPECT_EQ(post("/services/builddoc.asmx", "").status, 200);
  HttpReply mismatch = post("/services/builddoc.asmx", "urn:osl:templates/ItemplateMgr/setFields");
  EXPECT_EQ(mismatch.status, 500);
  EXPECT_NE(mismatch.body.find("does not belong to getLibraryTemplates"), std::string::npos);
  HttpReply wrongPath = post("/services/templateMgr.svc", "urn:osl:templates/getLibraryTemplates");
  EXPECT_EQ(wrongPath.status, 500);
  EXPECT_NE(wrongPath.body.find("served at /services/builddoc.asmx"), std::string::npos);
  HttpReply unknown = ParseReply(RawExchange(
      service_.port(),
      PostRequest("/services/templateMgr.svc", "text/xml",
                  "<?xml version=\"1.0\"?><SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas."
                  "xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body><x:nope xmlns:x=\"urn:x\"/>"
                  "</SOAP-ENV:Body></SOAP-ENV:Envelope>")));
  EXPECT_EQ(unknown.status, 500);
  EXPECT_NE(unknown.body.find("SOAP-ENV:Fault"), std::string::npos);
  EXPECT_EQ(ParseReply(RawExchange(service_.port(), "GET /services/builddoc.asmx HTTP/1.1\r\n\r\n"))
                .status,
            405);
}

TEST_F(ServiceTest, InjectedFaultsHitTheirOperationCountTimes) {
  StartService({"--delay-ms", "400", "--fault", "getLibraryTemplates:soap-fault:1", "--fault",
                "setTemplate:zero-id:1", "--fault", "getFields:http-503:1", "--fault",
                "getLogicGroups:garbage:1", "--fault", "setLogicGroups:close:1", "--fault",
                "commitTemplate:delay:1", "--fault", "setAssets:soap-fault"});
  SoapClient client(service_.port(), kAnn, kAnnPw);
  std::vector<ns4__libraryTemplate*> list;
  EXPECT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_SVR_FAULT);
  EXPECT_NE(FaultText(client.soap()).find("Injected fault for getLibraryTemplates"),
            std::string::npos);
  EXPECT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);

  ns2__libraryTemplate* result = nullptr;
  ASSERT_EQ(client.SetTemplate(kAnn, kAnnPw, "Zero", nullptr, nullptr, &result), SOAP_OK);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->docID, kZero);
  EXPECT_EQ(result->docPassword, kZero);
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
  EXPECT_TRUE(list.empty()) << "zero-id must not create a template";
  auto [id, password] = client.CreateTemplate("Real");
  ASSERT_NE(id, kZero);

  std::vector<ns2__OstrFieldInfo*> fields;
  EXPECT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), 503);
  EXPECT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);

  std::vector<ns2__logicGroup*> groups;
  int garbage = client.GetLogicGroups(id, password, &groups);
  EXPECT_NE(garbage, SOAP_OK);
  EXPECT_NE(garbage, 503);
  EXPECT_EQ(client.GetLogicGroups(id, password, &groups), SOAP_OK);

  EXPECT_NE(client.SetLogicGroups(id, password, {{0, "G"}}, &groups), SOAP_OK);
  ASSERT_EQ(client.GetLogicGroups(id, password, &groups), SOAP_OK);
  EXPECT_TRUE(groups.empty()) << "close must not change anything";
  EXPECT_EQ(client.SetLogicGroups(id, password, {{0, "G"}}, &groups), SOAP_OK);

  auto start = std::chrono::steady_clock::now();
  ns2__libraryTemplate* committed = nullptr;
  EXPECT_EQ(client.CommitTemplate(id, password, &committed), SOAP_OK);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(380));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.CommitTemplate(id, password, &committed), SOAP_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(380));

  // Without a count a fault hits every request.
  std::vector<ns2__assetInfo*> assets;
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(client.SetAssets(id, password, {}, &assets), SOAP_SVR_FAULT);
}

TEST_F(ServiceTest, EverythingSurvivesARestart) {
  StartService();
  std::string id, password, fieldXml, address;
  {
    SoapClient client(service_.port(), kAnn, kAnnPw);
    std::tie(id, password) = client.CreateTemplate("Persistent");
    std::vector<ns2__OstrFieldInfo*> fields;
    ns2__OstrFieldInfo* field = RichField(client.soap(), "name");
    fieldXml = ToXml(*field);
    ASSERT_EQ(client.SetFields(id, password, {field}, true, &fields), SOAP_OK);
    std::vector<ns2__logicGroup*> groups;
    ASSERT_EQ(client.SetLogicGroups(id, password, {{0, "G"}}, &groups), SOAP_OK);
    HttpReply upload = Upload(service_.port(), "keep", "kept.tlvd", "document");
    ASSERT_EQ(upload.status, 200);
    address = upload.body;
  }
  EXPECT_EQ(StopService(), 0);
  ASSERT_NO_FATAL_FAILURE(StartServiceWith({}));  // no --user this time
  SoapClient client(service_.port(), kAnn, kAnnPw);
  std::vector<ns4__libraryTemplate*> list;
  ASSERT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK) << FaultText(client.soap());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->docID, id);
  EXPECT_EQ(list[0]->docPassword, password);
  std::vector<ns2__OstrFieldInfo*> fields;
  ASSERT_EQ(client.GetFields(kAnn, kAnnPw, id, password, &fields), SOAP_OK);
  ASSERT_EQ(fields.size(), 1u);
  EXPECT_EQ(ToXml(*fields[0]), fieldXml);
  std::vector<ns2__logicGroup*> groups;
  ASSERT_EQ(client.GetLogicGroups(id, password, &groups), SOAP_OK);
  EXPECT_EQ(groups.size(), 1u);
  // The address handed out before the restart still serves the file.
  std::string path = address.substr(address.find("/files/"));
  EXPECT_EQ(Get(service_.port(), path).body, "document");
}

}  // namespace
}  // namespace osltest
