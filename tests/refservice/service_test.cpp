// osl-service as a running process: the eight operations through the generated gSOAP client,
// uploads and downloads over raw HTTP, fault injection, persistence and hostile input.
#include <gtest/gtest.h>
#include <stdsoap2.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "osl_soapH.h"
#include "service/soap_namespaces.h"
#include "tests/refservice/raw_http.h"
#include "tests/refservice/soap_client.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using namespace osl_soap;

constexpr const char* kZero = kZeroGuidText;
constexpr char kAnn[] = "ann@example.org";
constexpr char kAnnPw[] = "ann-pw";
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

class ServiceTest : public ::testing::Test {
 protected:
  void StartService(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--user", kAnn, "--password", kAnnPw};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(service_.Start(dir_.path(), args, &error)) << error;
  }

  // The service must still be running and end cleanly: a crash or a sanitizer report fails.
  void TearDown() override { EXPECT_EQ(service_.Stop(), 0) << "osl-service did not end cleanly"; }

  TempDir dir_;
  ServiceProcess service_;
};

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
  service_.Stop();
  std::string error;
  ASSERT_TRUE(service_.Start(dir_.path(), {"--user", kBob, "--password", kBobPw}, &error)) << error;
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

TEST_F(ServiceTest, UploadFaults) {
  StartService({"--fault", "upload:http-503:1", "--fault", "upload:close:1", "--fault",
                "upload:garbage:1", "--fault", "upload:soap-fault:1"});
  EXPECT_EQ(Upload(service_.port(), "s-1", "a.pdf", "x").status, 503);
  EXPECT_EQ(RawExchange(service_.port(),
                        PostRequest("/fileUpload.aspx?sessionid=s-1", UploadContentType("b"),
                                    UploadBody("b", "a.pdf", "x"))),
            "");
  HttpReply garbage = Upload(service_.port(), "s-1", "a.pdf", "x");
  EXPECT_EQ(garbage.status, 200);
  EXPECT_EQ(garbage.body.find("http://"), std::string::npos);
  HttpReply fault = Upload(service_.port(), "s-1", "a.pdf", "x");
  EXPECT_EQ(fault.status, 500);
  EXPECT_NE(fault.body.find("SOAP-ENV:Fault"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/uploads/s-1/a.pdf"));
  EXPECT_EQ(Upload(service_.port(), "s-1", "a.pdf", "x").status, 200);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() + "/uploads/s-1/a.pdf"));
}

TEST_F(ServiceTest, UploadRepliesTheAddressThatServesTheFile) {
  StartService();
  std::string content;
  for (int i = 0; i < 300000; ++i) content.push_back(static_cast<char>(i * 7 % 256));
  const std::string session = "6f1c2a9e-0b7d-4c1e-9f00-123456789abc";
  HttpReply reply = Upload(service_.port(), session, "Business card.pdf", content);
  ASSERT_EQ(reply.status, 200) << reply.body;
  std::string expected = service_.baseUrl() + "/files/" + session + "/Business_card.pdf";
  EXPECT_EQ(reply.body, expected);

  HttpReply download = ParseReply(RawExchange(
      service_.port(), "GET /files/" + session + "/Business_card.pdf HTTP/1.1\r\n\r\n"));
  EXPECT_EQ(download.status, 200);
  EXPECT_NE(download.head.find("Content-Type: application/pdf"), std::string::npos);
  EXPECT_EQ(download.body, content);

  // The same name again replaces the file; an empty file is stored empty.
  ASSERT_EQ(Upload(service_.port(), session, "Business card.pdf", "v2").status, 200);
  EXPECT_EQ(ParseReply(RawExchange(service_.port(),
                                   "GET /files/" + session + "/Business_card.pdf HTTP/1.1\r\n\r\n"))
                .body,
            "v2");
  ASSERT_EQ(Upload(service_.port(), session, ".tlvd", "").status, 200);
  EXPECT_EQ(std::filesystem::file_size(dir_.path() + "/uploads/" + session + "/.tlvd"), 0u);

  EXPECT_EQ(Upload(service_.port(), "../etc", "a.pdf", "x").status, 400);
  EXPECT_EQ(Upload(service_.port(), "", "a.pdf", "x").status, 400);
  EXPECT_EQ(ParseReply(RawExchange(service_.port(),
                                   "GET /files/" + session + "/missing.pdf HTTP/1.1\r\n\r\n"))
                .status,
            404);
}

TEST_F(ServiceTest, HostileUploadNamesStayInsideTheDataFolder) {
  StartService();
  const std::string session = "s-2";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"../../escaped.txt", "escaped.txt"},
      {"/etc/passwd", "passwd"},
      {"..\\..\\win.txt", "win.txt"},
      {std::string("nul\0byte.txt", 12), "nulbyte.txt"},
      {"..", "file"},
      {"sub/../../../x.txt", "x.txt"},
      {"%2e%2e%2fpct.txt", "_2e_2e_2fpct.txt"},
  };
  for (const auto& [name, clean] : cases) {
    HttpReply reply = Upload(service_.port(), session, name, "payload:" + clean);
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.body, service_.baseUrl() + "/files/" + session + "/" + clean);
    EXPECT_EQ(ParseReply(RawExchange(service_.port(),
                                     "GET /files/" + session + "/" + clean + " HTTP/1.1\r\n\r\n"))
                  .body,
              "payload:" + clean);
  }
  // Nothing but the service's own files, and every upload inside uploads/s-2.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
    std::string relative = std::filesystem::relative(entry.path(), dir_.path()).string();
    bool own = relative.rfind("service.db", 0) == 0 || relative == "uploads" ||
               relative == "uploads/s-2" || relative.rfind("uploads/s-2/", 0) == 0;
    EXPECT_TRUE(own) << relative;
  }
  EXPECT_FALSE(
      std::filesystem::exists(std::filesystem::path(dir_.path()).parent_path() / "escaped.txt"));
  // Paths that try to read outside are not found.
  for (const char* path :
       {"/files/s-2/..%2f..%2fservice.db", "/files/../service.db", "/files/s-2/../../service.db",
        "/files/s-2/%2e%2e", "/files/s-2/~tmp.x", "/files/s-2"}) {
    EXPECT_EQ(
        ParseReply(RawExchange(service_.port(), std::string("GET ") + path + " HTTP/1.1\r\n\r\n"))
            .status,
        404)
        << path;
  }
}

TEST_F(ServiceTest, TwentyConcurrentUploadsAreStoredIntact) {
  StartService({"--threads", "4"});
  constexpr int kCount = 20;
  std::vector<std::string> contents(kCount);
  std::mt19937 random(2024);
  for (int i = 0; i < kCount; ++i) {
    contents[i].resize(50000 + random() % 400000);
    for (char& c : contents[i]) c = static_cast<char>(random() & 0xFF);
  }
  std::vector<HttpReply> replies(kCount);
  std::vector<std::thread> threads;
  for (int i = 0; i < kCount; ++i) {
    threads.emplace_back([&, i] {
      replies[i] =
          Upload(service_.port(), "concurrent", "file" + std::to_string(i) + ".bin", contents[i]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kCount; ++i) {
    std::string name = "file" + std::to_string(i) + ".bin";
    ASSERT_EQ(replies[i].status, 200) << i << ": " << replies[i].body;
    EXPECT_EQ(replies[i].body, service_.baseUrl() + "/files/concurrent/" + name);
    std::ifstream stored(dir_.path() + "/uploads/concurrent/" + name, std::ios::binary);
    std::stringstream bytes;
    bytes << stored.rdbuf();
    EXPECT_EQ(Sha256Of(bytes.str()), Sha256Of(contents[i])) << name;
    HttpReply download = ParseReply(
        RawExchange(service_.port(), "GET /files/concurrent/" + name + " HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(Sha256Of(download.body), Sha256Of(contents[i])) << name;
  }
}

TEST_F(ServiceTest, EverythingSurvivesARestart) {
  StartService();
  std::string id, password, fieldXml;
  {
    SoapClient client(service_.port(), kAnn, kAnnPw);
    std::tie(id, password) = client.CreateTemplate("Persistent");
    std::vector<ns2__OstrFieldInfo*> fields;
    ns2__OstrFieldInfo* field = RichField(client.soap(), "name");
    fieldXml = ToXml(*field);
    ASSERT_EQ(client.SetFields(id, password, {field}, true, &fields), SOAP_OK);
    std::vector<ns2__logicGroup*> groups;
    ASSERT_EQ(client.SetLogicGroups(id, password, {{0, "G"}}, &groups), SOAP_OK);
    ASSERT_EQ(Upload(service_.port(), "keep", "kept.tlvd", "document").status, 200);
  }
  EXPECT_EQ(service_.Stop(), 0);
  std::string error;
  ASSERT_TRUE(service_.Start(dir_.path(), {}, &error)) << error;  // no --user this time
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
  EXPECT_EQ(
      ParseReply(RawExchange(service_.port(), "GET /files/keep/kept.tlvd HTTP/1.1\r\n\r\n")).body,
      "document");
}

TEST_F(ServiceTest, SlowAndHostileClientsDoNotStopTheService) {
  StartService({"--timeout", "1", "--threads", "2", "--max-soap-mb", "1"});
  // A client that connects and then stays silent is dropped after the time-out.
  auto start = std::chrono::steady_clock::now();
  std::string reply = RawExchange(service_.port(), "", 8000);
  EXPECT_EQ(reply, "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // Bodies over the limit are refused before they are read.
  HttpReply big = ParseReply(
      RawExchange(service_.port(),
                  "POST /services/templateMgr.svc HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n"));
  EXPECT_EQ(big.status, 413);

  std::mt19937 random(99);
  for (int round = 0; round < 150; ++round) {
    std::string junk;
    if (round % 2 == 0) {
      junk = round % 4 == 0
                 ? "POST /fileUpload.aspx?sessionid=f HTTP/1.1\r\n"
                   "Transfer-Encoding: chunked\r\nContent-Type: multipart/form-data; "
                   "boundary=b\r\n\r\n"
                 : "POST /services/templateMgr.svc HTTP/1.1\r\nContent-Length: 60\r\n\r\n";
    }
    size_t size = random() % 200;
    for (size_t i = 0; i < size; ++i) junk.push_back(static_cast<char>(random() & 0xFF));
    RawExchange(service_.port(), junk, 3000);
  }
  EXPECT_TRUE(service_.Running());
  SoapClient client(service_.port(), kAnn, kAnnPw);
  std::vector<ns4__libraryTemplate*> list;
  EXPECT_EQ(client.GetLibraryTemplates(kAnn, kAnnPw, &list), SOAP_OK);
}

TEST_F(ServiceTest, CurlFormUploadWorks) {
  if (!std::filesystem::exists("/usr/bin/curl")) GTEST_SKIP() << "curl is not installed";
  StartService();
  std::string path = dir_.path() + "/../curl-upload-" + std::to_string(service_.port()) + ".bin";
  std::string content(1500000, 'c');  // large enough for curl to ask "Expect: 100-continue"
  std::ofstream(path, std::ios::binary) << content;
  std::string command = "curl -s -S --max-time 20 -F 'file=@" + path +
                        ";filename=curl file.bin' '" + service_.baseUrl() +
                        "/fileUpload.aspx?sessionid=curl-1'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0);
  std::filesystem::remove(path);
  EXPECT_EQ(output, service_.baseUrl() + "/files/curl-1/curl_file.bin");
  EXPECT_EQ(std::filesystem::file_size(dir_.path() + "/uploads/curl-1/curl_file.bin"),
            content.size());
}

}  // namespace
}  // namespace osltest
