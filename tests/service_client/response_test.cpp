// Replies of the service as the client reads them: each operation's result,
// unknown elements skipped, SOAP Faults, HTTP errors, broken and missing
// replies, and the fault report built from them.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "service_client/messages.h"
#include "service_client/service_calls.h"
#include "tests/service_client/capture_server.h"
#include "tests/service_client/test_support.h"

namespace osltest {
namespace {

using namespace osl_soap;

const std::string kSeparator(82, '-');
const std::string kTemplateMgr = "/services/templateMgr.svc";

class ResponseTest : public ::testing::Test {
 protected:
  ServiceTestScope scope_;
  OslSoapContext context_;
};

TEST_F(ResponseTest, LibraryTemplatesAreReadWithUnknownElementsSkipped) {
  CaptureServer server({HttpReply(
      200, "OK",
      Envelope("<d:getLibraryTemplatesResponse><d:getLibraryTemplatesResult>"
               "<d:libraryTemplate><d:docName>Flyer \xc3\xa9t\xc3\xa9</d:docName>"
               "<d:futureMember><d:nested>1</d:nested></d:futureMember>"
               "<d:docID>0f8fad5b-d9cb-469f-a165-70867728950e</d:docID>"
               "<d:isActive>true</d:isActive><d:docPageCount>4</d:docPageCount>"
               "<d:docWidth>210.0</d:docWidth><d:clientType>7</d:clientType>"
               "<d:fullScreenWindow>allowed</d:fullScreenWindow></d:libraryTemplate>"
               "<d:libraryTemplate xsi:nil=\"true\"/>"
               "<d:libraryTemplate><d:docName xsi:nil=\"true\"/><d:isActive>false</d:isActive>"
               "</d:libraryTemplate></d:getLibraryTemplatesResult>"
               "<d:trailer>ignored</d:trailer></d:getLibraryTemplatesResponse>"))});
  _ns4__getLibraryTemplates request;
  _ns4__getLibraryTemplatesResponse response;
  ASSERT_EQ(0,
            CallGetLibraryTemplates(context_.get(), server.Url("/services/builddoc.asmx").c_str(),
                                    nullptr, &request, response));
  ASSERT_NE(nullptr, response.getLibraryTemplatesResult);
  const auto& items = response.getLibraryTemplatesResult->libraryTemplate;
  ASSERT_EQ(3u, items.size());
  ASSERT_NE(nullptr, items[0]);
  ASSERT_NE(nullptr, items[0]->docName);
  EXPECT_EQ("Flyer \xc3\xa9t\xc3\xa9", *items[0]->docName);
  EXPECT_EQ("0f8fad5b-d9cb-469f-a165-70867728950e", items[0]->docID);
  EXPECT_TRUE(items[0]->isActive);
  EXPECT_EQ(4, items[0]->docPageCount);
  EXPECT_EQ("210.0", items[0]->docWidth);
  EXPECT_EQ("", items[0]->docHeight);  // missing: default
  EXPECT_EQ(7, items[0]->clientType);
  EXPECT_EQ(ns4__eRestriction__allowed, items[0]->fullScreenWindow);
  EXPECT_EQ(nullptr, items[0]->docDescription);
  EXPECT_EQ(nullptr, items[1]);
  ASSERT_NE(nullptr, items[2]);
  EXPECT_EQ(nullptr, items[2]->docName);
  EXPECT_FALSE(items[2]->isActive);
}

TEST_F(ResponseTest, SetTemplateAndCommitTemplateReturnTheTemplateRecord) {
  const std::string record =
      "<t:docName>Card</t:docName><t:docID>0f8fad5b-d9cb-469f-a165-70867728950e</t:docID>"
      "<t:docPassword>7c9e6679-7425-40de-944b-e07fc1f90ae7</t:docPassword>"
      "<t:userID>42</t:userID><t:fullScreenWindow>required</t:fullScreenWindow>";
  CaptureServer server(
      {HttpReply(200, "OK",
                 Envelope("<t:setTemplateResponse><t:setTemplateResult>" + record +
                          "</t:setTemplateResult></t:setTemplateResponse>")),
       HttpReply(200, "OK",
                 Envelope("<t:commitTemplateResponse><t:commitTemplateResult>" + record +
                          "</t:commitTemplateResult></t:commitTemplateResponse>"))});
  const std::string endpoint = server.Url(kTemplateMgr);
  _ns2__setTemplate set;
  _ns2__setTemplateResponse setResponse;
  ASSERT_EQ(0, CallSetTemplate(context_.get(), endpoint.c_str(), nullptr, &set, setResponse));
  ASSERT_NE(nullptr, setResponse.setTemplateResult);
  EXPECT_EQ("0f8fad5b-d9cb-469f-a165-70867728950e", setResponse.setTemplateResult->docID);
  EXPECT_EQ("7c9e6679-7425-40de-944b-e07fc1f90ae7", setResponse.setTemplateResult->docPassword);
  EXPECT_EQ(42, setResponse.setTemplateResult->userID);
  EXPECT_EQ(ns2__eRestriction__required, setResponse.setTemplateResult->fullScreenWindow);

  _ns2__commitTemplate commit;
  _ns2__commitTemplateResponse commitResponse;
  ASSERT_EQ(0,
            CallCommitTemplate(context_.get(), endpoint.c_str(), nullptr, &commit, commitResponse));
  ASSERT_NE(nullptr, commitResponse.commitTemplateResult);
  ASSERT_NE(nullptr, commitResponse.commitTemplateResult->docName);
  EXPECT_EQ("Card", *commitResponse.commitTemplateResult->docName);
}

TEST_F(ResponseTest, FieldRecordsAreReadWithNestedRecordsAndArrays) {
  const std::string fields =
      "<t:OstrFieldInfo><t:fieldName>Name</t:fieldName><t:controlType>richText</t:controlType>"
      "<t:rotation>-0.5</t:rotation><t:unknownDouble>1.5</t:unknownDouble>"
      "<t:fieldLockdown><t:canMove>true</t:canMove><t:canCrop>any</t:canCrop>"
      "<t:defaultPalette><t:PaletteID>9</t:PaletteID><t:colors><t:string>a</t:string>"
      "<t:string>b</t:string></t:colors></t:defaultPalette></t:fieldLockdown>"
      "<t:imageQualityRanges><t:int>1</t:int><t:int>2</t:int></t:imageQualityRanges>"
      "<t:paletteID>12</t:paletteID><t:barCode>pdf417</t:barCode>"
      "<t:setup_defaultValueHTML>&lt;p&gt;</t:setup_defaultValueHTML></t:OstrFieldInfo>";
  CaptureServer server({HttpReply(200, "OK",
                                  Envelope("<t:getFieldsResponse><t:getFieldsResult>" + fields +
                                           "</t:getFieldsResult></t:getFieldsResponse>")),
                        HttpReply(200, "OK",
                                  Envelope("<t:setFieldsResponse><t:setFieldsResult>" + fields +
                                           "</t:setFieldsResult></t:setFieldsResponse>"))});
  const std::string endpoint = server.Url(kTemplateMgr);
  _ns2__getFields get;
  _ns2__getFieldsResponse got;
  ASSERT_EQ(0, CallGetFields(context_.get(), endpoint.c_str(), nullptr, &get, got));
  ASSERT_NE(nullptr, got.getFieldsResult);
  ASSERT_EQ(1u, got.getFieldsResult->OstrFieldInfo.size());
  const OstrFieldInfo* f = got.getFieldsResult->OstrFieldInfo[0];
  ASSERT_NE(nullptr, f);
  EXPECT_EQ(ns2__enumControlType__richText, f->controlType);
  EXPECT_DOUBLE_EQ(-0.5, f->rotation);
  ASSERT_NE(nullptr, f->fieldLockdown);
  EXPECT_TRUE(f->fieldLockdown->canMove);
  EXPECT_EQ(ns2__cropType__any, f->fieldLockdown->canCrop);
  ASSERT_NE(nullptr, f->fieldLockdown->defaultPalette);
  EXPECT_EQ(9, f->fieldLockdown->defaultPalette->PaletteID);
  ASSERT_NE(nullptr, f->fieldLockdown->defaultPalette->colors);
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), f->fieldLockdown->defaultPalette->colors->string);
  ASSERT_NE(nullptr, f->imageQualityRanges);
  EXPECT_EQ((std::vector<int>{1, 2}), f->imageQualityRanges->int_);
  ASSERT_NE(nullptr, f->paletteID);
  EXPECT_EQ(12, *f->paletteID);
  EXPECT_EQ(ns2__barcodeType__pdf417, f->barCode);
  ASSERT_NE(nullptr, f->setup_USCOREdefaultValueHTML);
  EXPECT_EQ("<p>", *f->setup_USCOREdefaultValueHTML);
  EXPECT_EQ(nullptr, f->promptText);

  _ns2__setFields set;
  _ns2__setFieldsResponse setResponse;
  ASSERT_EQ(0, CallSetFields(context_.get(), endpoint.c_str(), nullptr, &set, setResponse));
  ASSERT_NE(nullptr, setResponse.setFieldsResult);
  EXPECT_EQ(1u, setResponse.setFieldsResult->OstrFieldInfo.size());
}

TEST_F(ResponseTest, LogicGroupsAndAssetsAreRead) {
  const std::string groups =
      "<t:logicGroup><t:logicGroupID>3</t:logicGroupID><t:logicGroupName>Block</t:logicGroupName>"
      "<t:moveDirection>moveDown</t:moveDirection></t:logicGroup>";
  CaptureServer server(
      {HttpReply(200, "OK",
                 Envelope("<t:getLogicGroupsResponse><t:getLogicGroupsResult>" + groups +
                          "</t:getLogicGroupsResult></t:getLogicGroupsResponse>")),
       HttpReply(200, "OK",
                 Envelope("<t:setLogicGroupsResponse><t:setLogicGroupsResult>" + groups + groups +
                          "</t:setLogicGroupsResult></t:setLogicGroupsResponse>")),
       HttpReply(200, "OK",
                 Envelope("<t:setAssetsResponse><t:setAssetsResult><t:assetInfo>"
                          "<t:assetURL>http://a.test/1</t:assetURL>"
                          "<t:assetType>fontfile</t:assetType><t:delete>true</t:delete>"
                          "</t:assetInfo></t:setAssetsResult></t:setAssetsResponse>"))});
  const std::string endpoint = server.Url(kTemplateMgr);
  _ns2__getLogicGroups get;
  _ns2__getLogicGroupsResponse got;
  ASSERT_EQ(0, CallGetLogicGroups(context_.get(), endpoint.c_str(), nullptr, &get, got));
  ASSERT_NE(nullptr, got.getLogicGroupsResult);
  ASSERT_EQ(1u, got.getLogicGroupsResult->logicGroup.size());
  const logicGroup* group = got.getLogicGroupsResult->logicGroup[0];
  ASSERT_NE(nullptr, group);
  EXPECT_EQ(3, group->logicGroupID);
  ASSERT_NE(nullptr, group->logicGroupName);
  EXPECT_EQ("Block", *group->logicGroupName);
  EXPECT_EQ(ns2__eMoveDirection__moveDown, group->moveDirection);

  _ns2__setLogicGroups set;
  _ns2__setLogicGroupsResponse setResponse;
  ASSERT_EQ(0, CallSetLogicGroups(context_.get(), endpoint.c_str(), nullptr, &set, setResponse));
  ASSERT_NE(nullptr, setResponse.setLogicGroupsResult);
  EXPECT_EQ(2u, setResponse.setLogicGroupsResult->logicGroup.size());

  _ns2__setAssets assets;
  _ns2__setAssetsResponse assetsResponse;
  ASSERT_EQ(0, CallSetAssets(context_.get(), endpoint.c_str(), nullptr, &assets, assetsResponse));
  ASSERT_NE(nullptr, assetsResponse.setAssetsResult);
  ASSERT_EQ(1u, assetsResponse.setAssetsResult->assetInfo.size());
  const assetInfo* asset = assetsResponse.setAssetsResult->assetInfo[0];
  ASSERT_NE(nullptr, asset);
  ASSERT_NE(nullptr, asset->assetURL);
  EXPECT_EQ("http://a.test/1", *asset->assetURL);
  EXPECT_EQ(nullptr, asset->assetName);
  EXPECT_EQ(ns2__eAssetType__fontfile, asset->assetType);
  EXPECT_TRUE(asset->delete_);
}

TEST_F(ResponseTest, EnumerationLiteralsAreMatchedExactly) {
  for (const char* literal : {"RichText", "richtext", "18", "bogus"}) {
    CaptureServer server(
        {HttpReply(200, "OK",
                   Envelope(std::string("<t:getFieldsResponse><t:getFieldsResult><t:OstrFieldInfo>"
                                        "<t:controlType>") +
                            literal +
                            "</t:controlType></t:OstrFieldInfo></t:getFieldsResult>"
                            "</t:getFieldsResponse>"))});
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    EXPECT_EQ(SOAP_TYPE, CallGetFields(context_.get(), server.Url(kTemplateMgr).c_str(), nullptr,
                                       &request, response))
        << literal;
  }
}

TEST_F(ResponseTest, AMissingResultIsAbsentNotAnError) {
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  ASSERT_EQ(0, CallGetFields(context_.get(), server.Url(kTemplateMgr).c_str(), nullptr, &request,
                             response));
  EXPECT_EQ(nullptr, response.getFieldsResult);
}

// ---- failures and the fault report ---------------------------------------------

class FaultTest : public ResponseTest {
 protected:
  // Calls getFields against a server answering `reply`; returns the status.
  int CallWithReply(const std::string& reply) {
    server_ = std::make_unique<CaptureServer>(std::vector<std::string>{reply});
    endpoint_ = server_->Url(kTemplateMgr);
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    return CallGetFields(context_.get(), endpoint_.c_str(), nullptr, &request, response);
  }

  // The part of every report after the detail, for the last call.
  std::string Tail() const {
    return " " + kSeparator + " \n\tEndpoint: " + endpoint_ +
           " \n\tPath: /services/templateMgr.svc \n\tHost: 127.0.0.1 \n\tAction: "
           "urn:osl:templates/ItemplateMgr/getFields " +
           kSeparator + " ";
  }

  std::unique_ptr<CaptureServer> server_;
  std::string endpoint_;
};

std::string FaultEnvelope(const std::string& code, const std::string& reason,
                          const std::string& detail) {
  return Envelope("<s:Fault><faultcode>" + code + "</faultcode><faultstring>" + reason +
                  "</faultstring>" + detail + "</s:Fault>");
}

TEST_F(FaultTest, AServiceFaultReportsItsCodeReasonAndDetail) {
  const int status =
      CallWithReply(HttpReply(500, "Internal Server Error",
                              FaultEnvelope("s:Client", "Wrong password for designer@example.com",
                                            "<detail><reason>credentials</reason></detail>")));
  EXPECT_EQ(SOAP_FAULT, status);
  EXPECT_EQ(
      "\n\tSOAP 1.1 \n\tfault: SOAP-ENV:Client [no subcode]\"Wrong password for "
      "designer@example.com\"\n\tDetail: <reason>credentials</reason>" +
          Tail(),
      FormatSoapFaultReport(context_.get()));

  EXPECT_EQ(-1, ReportSoapFault(context_.get()));
  const auto alerts = TakeAlerts();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_EQ("error: " + FormatSoapFaultReport(context_.get()), alerts[0]);
}

TEST_F(FaultTest, AFaultWithStatus200IsAFaultToo) {
  EXPECT_EQ(SOAP_FAULT, CallWithReply(HttpReply(200, "OK", FaultEnvelope("s:Server", "Busy", ""))));
  EXPECT_EQ("\n\tSOAP 1.1 \n\tfault: SOAP-ENV:Server [no subcode]\"Busy\"\n\tDetail: [no detail]" +
                Tail(),
            FormatSoapFaultReport(context_.get()));
}

TEST_F(FaultTest, AnHttpErrorStatusIsTheCallsStatus) {
  EXPECT_EQ(503, CallWithReply(
                     HttpReply(503, "Service Unavailable", "down for maintenance", "text/plain")));
  const std::string report = FormatSoapFaultReport(context_.get());
  EXPECT_EQ(0u, report.find("\n\tError 503 \n\tfault: "));
  EXPECT_NE(std::string::npos, report.find(" [no subcode]\"HTTP Error\"\n\tDetail: "));
  EXPECT_EQ(report.size() - Tail().size(), report.rfind(Tail()));
}

TEST_F(FaultTest, A400Or500WithoutEnvelopeFails) {
  for (int code : {400, 500}) {
    EXPECT_NE(0, CallWithReply(HttpReply(code, "Failed", "no envelope", "text/plain")));
    EXPECT_NE(0, CallWithReply(HttpReply(code, "Failed", "<html>no envelope</html>")));
    EXPECT_NE(std::string::npos, FormatSoapFaultReport(context_.get()).find("\n\tfault: "));
  }
}

TEST_F(FaultTest, GarbageIsAFailureNotACrash) {
  EXPECT_NE(0, CallWithReply(HttpReply(200, "OK", "<<<\x01\xff not xml at all")));
  EXPECT_NE(0, CallWithReply("HTTP/1.1 banana\r\n\r\n"));
  EXPECT_NE(0, CallWithReply(std::string("\0\0\0\0garbage", 11)));
  EXPECT_NE(0, CallWithReply(HttpReply(200, "OK", Envelope("<t:somethingElse/>"))));
}

TEST_F(FaultTest, ATruncatedBodyFails) {
  const std::string full =
      HttpReply(200, "OK",
                Envelope("<t:getFieldsResponse><t:getFieldsResult><t:OstrFieldInfo>"
                         "<t:fieldName>x</t:fieldName></t:OstrFieldInfo></t:getFieldsResult>"
                         "</t:getFieldsResponse>"));
  EXPECT_NE(0, CallWithReply(full.substr(0, full.size() - 60)));
}

TEST_F(FaultTest, NoReplyAtAllFails) {
  EXPECT_NE(0, CallWithReply(CaptureServer::kCloseWithoutReply));
}

// A getFields reply of exactly `size` bytes, HTTP header included: a valid
// envelope padded with an element the client skips.
std::string PaddedReply(size_t size) {
  const std::string envelope = Envelope("<t:getFieldsResponse><t:padding>");
  return HttpReplyOfSize(size, envelope.substr(0, envelope.find("</s:Body>")),
                         "</t:padding></t:getFieldsResponse></s:Body></s:Envelope>");
}

// The reply limit of a call is stated here as a number of its own: 64 MiB,
// HTTP header included.
TEST_F(FaultTest, AReplyLargerThan64MiBIsRefused) {
  const std::string largest = PaddedReply(64u << 20);
  ASSERT_EQ(64u << 20, largest.size());
  EXPECT_EQ(0, CallWithReply(largest));
  const std::string larger = PaddedReply((64u << 20) + 1);
  ASSERT_EQ((64u << 20) + 1, larger.size());
  EXPECT_EQ(SOAP_EOF, CallWithReply(larger));
  EXPECT_NE(std::string::npos,
            FormatSoapFaultReport(context_.get()).find("max message length exceeded\""));
}

TEST_F(FaultTest, ARefusedConnectionReportsTheClientSideFault) {
  endpoint_ = "http://127.0.0.1:" + std::to_string(RefusingPort()) + kTemplateMgr;
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  const int status = CallGetFields(context_.get(), endpoint_.c_str(), nullptr, &request, response);
  EXPECT_EQ(SOAP_TCP_ERROR, status);
  const std::string report = FormatSoapFaultReport(context_.get());
  EXPECT_EQ(0u, report.find("\n\tSOAP 1.1 \n\tfault: ")) << report;
  EXPECT_NE(std::string::npos, report.find("[no subcode]\"Connection refused\"")) << report;
  EXPECT_EQ(report.size() - Tail().size(), report.rfind(Tail())) << report;
}

// A server address pasted with a line break must not put header lines of its
// own into the request.
TEST_F(FaultTest, AnEndpointWithALineBreakOrBlankSendsNothing) {
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  for (const std::string& bad : {server.Url(kTemplateMgr) + "\r\nX-Injected: 1",
                                 server.Url("/\r\nX-Injected: 1\r\n") + kTemplateMgr,
                                 server.Url("/services/template Mgr.svc")}) {
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    EXPECT_EQ(SOAP_TCP_ERROR,
              CallGetFields(context_.get(), bad.c_str(), nullptr, &request, response));
    const std::string report = FormatSoapFaultReport(context_.get());
    EXPECT_NE(std::string::npos, report.find("[no subcode]\"Invalid endpoint\"")) << report;
    EXPECT_NE(std::string::npos, report.find("\n\tEndpoint: " + bad + " \n")) << report;
  }
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  EXPECT_EQ(0, CallGetFields(context_.get(), server.Url(kTemplateMgr).c_str(), nullptr, &request,
                             response));
  const std::string only = server.OnlyRequest();
  EXPECT_EQ(0u, only.find("POST /services/templateMgr.svc HTTP/1.1\r\n")) << only;
}

TEST_F(FaultTest, ASecureEndpointFailsAtConnect) {
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  EXPECT_NE(0, CallGetFields(context_.get(), "https://127.0.0.1:1/services/templateMgr.svc",
                             nullptr, &request, response));
}

TEST_F(FaultTest, ASilentServiceTimesOut) {
  SilentPeer peer;
  context_.get()->recv_timeout = 1;
  const std::string endpoint = peer.Url(kTemplateMgr);
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  EXPECT_NE(0, CallGetFields(context_.get(), endpoint.c_str(), nullptr, &request, response));
  EXPECT_NE(std::string::npos, FormatSoapFaultReport(context_.get()).find("\n\tfault: "));
}

// ---- the overall deadline of a call ---------------------------------------------

class DeadlineTest : public FaultTest {
 protected:
  // A context whose calls may take `deadline` in all.
  std::unique_ptr<OslSoapContext> ContextWithDeadline(std::chrono::milliseconds deadline) {
    scope_.platform().limits().callDeadline = deadline;
    return std::make_unique<OslSoapContext>();
  }
  int GetFields(struct soap* soap, const std::string& endpoint) {
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    return CallGetFields(soap, endpoint.c_str(), nullptr, &request, response);
  }
};

const char kDeadlineFault[] =
    "[no subcode]\"Time limit exceeded\"\n\tDetail: The exchange with the service did not end "
    "within its limit of 0.3 seconds.";

// The reply would be complete after several seconds; the call may take 0.3.
TEST_F(DeadlineTest, AServiceThatTricklesItsReplyIsCutOff) {
  const auto context = ContextWithDeadline(std::chrono::milliseconds(300));
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  server.SetReplyPace(std::chrono::milliseconds(40));
  EXPECT_EQ(SOAP_EOF, GetFields(context->get(), server.Url(kTemplateMgr)));
  const std::string report = FormatSoapFaultReport(context->get());
  EXPECT_NE(std::string::npos, report.find(kDeadlineFault)) << report;
  EXPECT_NE(std::string::npos, report.find("\n\tEndpoint: " + server.Url(kTemplateMgr) + " \n"))
      << report;
}

// Without the deadline the call would wait out the 120-second receive time-out.
TEST_F(DeadlineTest, AServiceThatNeverAnswersIsCutOff) {
  const auto context = ContextWithDeadline(std::chrono::milliseconds(300));
  SilentPeer peer;
  EXPECT_EQ(SOAP_EOF, GetFields(context->get(), peer.Url(kTemplateMgr)));
  const std::string report = FormatSoapFaultReport(context->get());
  EXPECT_NE(std::string::npos, report.find(kDeadlineFault)) << report;
}

TEST_F(DeadlineTest, EachCallHasADeadlineOfItsOwn) {
  const auto context = ContextWithDeadline(std::chrono::milliseconds(300));
  SilentPeer peer;
  EXPECT_EQ(SOAP_EOF, GetFields(context->get(), peer.Url(kTemplateMgr)));
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  EXPECT_EQ(0, GetFields(context->get(), server.Url(kTemplateMgr)));
}

// ---- the silence limit of a call -------------------------------------------------

// The service falls silent for 3 seconds at a point of its reply; the calls
// allow 1 second of silence and 60 seconds in all, so only the silence limit
// can end them, within seconds, whichever gap it is.
TEST_F(DeadlineTest, TheSilenceLimitHoldsOnEveryGapOfAReplyTheFirstIncluded) {
  scope_.platform().limits().callReceive = 1;
  const std::string reply = HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"));
  const size_t bodyAt = reply.find("\r\n\r\n") + 4;
  const struct {
    const char* where;
    size_t sent;  // bytes of the reply sent before the silence
  } gaps[] = {{"before the first byte", 0},
              {"after the status line", reply.find("\r\n") + 2},
              {"after the header", bodyAt},
              {"inside the body", bodyAt + 40}};
  for (const auto& gap : gaps) {
    const auto context = ContextWithDeadline(std::chrono::seconds(60));
    CaptureServer server({reply});
    server.SetSilenceAfter(gap.sent, std::chrono::seconds(3));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SOAP_EOF, GetFields(context->get(), server.Url(kTemplateMgr))) << gap.where;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900)) << gap.where;
    EXPECT_LT(took, std::chrono::milliseconds(2500)) << gap.where;
    const std::string report = FormatSoapFaultReport(context->get());
    EXPECT_NE(std::string::npos,
              report.find("[no subcode]\"the service fell silent\"\n\tDetail: No byte of the "
                          "service's reply arrived for 1 second."))
        << gap.where << report;
  }
  // A silence shorter than the limit is waited out; a silence after the
  // whole reply is never waited for.
  for (size_t sent : {size_t{0}, bodyAt, reply.size()}) {
    const auto context = ContextWithDeadline(std::chrono::seconds(60));
    CaptureServer server({reply});
    server.SetSilenceAfter(sent, std::chrono::milliseconds(sent == reply.size() ? 3000 : 400));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, GetFields(context->get(), server.Url(kTemplateMgr))) << sent;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900)) << sent;
  }
}

TEST_F(FaultTest, ContextsCarryTheirTimeOutsAndDeadlines) {
  EXPECT_EQ(30, context_.get()->connect_timeout);
  EXPECT_EQ(60, context_.get()->send_timeout);
  EXPECT_EQ(120, context_.get()->recv_timeout);
  EXPECT_EQ(std::chrono::minutes(5), context_.limits().callDeadline);
  OslSoapContext upload(OslSoapContext::Kind::kUpload);
  EXPECT_EQ(60, upload.get()->connect_timeout);
  EXPECT_EQ(60, upload.get()->send_timeout);
  EXPECT_EQ(60, upload.get()->recv_timeout);
  EXPECT_EQ(60, upload.get()->accept_timeout);
  EXPECT_EQ(std::chrono::minutes(2), upload.limits().UploadDeadline(0));
  EXPECT_EQ(std::chrono::minutes(2) + std::chrono::seconds(10),
            upload.limits().UploadDeadline(10 * 32 * 1024));
}

TEST_F(FaultTest, AReportLongerThanItsBufferIsCutOnAWholeCharacter) {
  // 3-byte characters: the cut lands inside one unless it is aligned.
  std::string detail;
  for (int i = 0; i < 7000; ++i) detail += "\xe2\x82\xac";
  EXPECT_EQ(SOAP_FAULT, CallWithReply(HttpReply(500, "Internal Server Error",
                                                FaultEnvelope("s:Server", "Too much",
                                                              "<detail>" + detail + "</detail>"))));
  const std::string report = FormatSoapFaultReport(context_.get());
  EXPECT_LE(report.size(), kOslFaultReportSize - 1);
  EXPECT_GE(report.size(), kOslFaultReportSize - 4);
  const std::string head =
      "\n\tSOAP 1.1 \n\tfault: SOAP-ENV:Server [no subcode]\"Too much\"\n\tDetail: ";
  ASSERT_EQ(0u, report.find(head));
  const std::string rest = report.substr(head.size());
  EXPECT_EQ(0u, rest.size() % 3);
  EXPECT_EQ(std::string::npos, rest.find_first_not_of("\xe2\x82\xac"));
  EXPECT_EQ(rest.substr(0, 3), "\xe2\x82\xac");

  EXPECT_EQ(-1, ReportSoapFault(context_.get()));
  const auto alerts = TakeAlerts();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_EQ("error: " + report, alerts[0]);
}

TEST_F(FaultTest, NoContextShowsNothing) {
  EXPECT_EQ(-1, ReportSoapFault(nullptr));
  EXPECT_TRUE(TakeAlerts().empty());
  EXPECT_EQ("", FormatSoapFaultReport(nullptr));
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  EXPECT_NE(0, CallGetFields(nullptr, "http://127.0.0.1:1/", nullptr, &request, response));
}

// ---- message logs -------------------------------------------------------------------

TEST(MessageLogTest, ContextsLogBothDirectionsWhenTheLogFolderExists) {
  ServiceTestScope scope;
  scope.platform().CreateLogFolder();
  const std::string reply =
      HttpReply(500, "Internal Server Error", FaultEnvelope("s:Client", "No", ""));
  CaptureServer server({reply});
  std::string endpoint = server.Url(kTemplateMgr);
  std::string report;
  {
    OslSoapContext context;
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    EXPECT_EQ(SOAP_FAULT,
              CallGetFields(context.get(), endpoint.c_str(), nullptr, &request, response));
    report = FormatSoapFaultReport(context.get());
  }
  const std::string logs = scope.platform().LogFolder();
  const auto requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(requests[0], ReadFile(logs + "/SENT.log"));
  EXPECT_EQ(reply, ReadFile(logs + "/RECV.log"));
  const std::string note =
      "\n\n**You can view all the log files generated under " + logs + "/ directory**\n";
  EXPECT_EQ(report.size() - note.size(), report.rfind(note));

  // A second context appends.
  {
    OslSoapContext context;
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    CallGetFields(context.get(), endpoint.c_str(), nullptr, &request, response);
  }
  EXPECT_EQ(requests[0] + requests[0], ReadFile(logs + "/SENT.log"));
}

// One successful getFields call on a fresh context against `server`.
int CallOnce(CaptureServer& server) {
  OslSoapContext context;
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  return CallGetFields(context.get(), server.Url(kTemplateMgr).c_str(), nullptr, &request,
                       response);
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

TEST(MessageLogTest, LogsAreOwnerOnlyAlsoWhenTheyExisted) {
  ServiceTestScope scope;
  scope.platform().CreateLogFolder();
  const std::string logs = scope.platform().LogFolder();
  const std::string received = logs + "/RECV.log";
  ASSERT_EQ(0, close(open(received.c_str(), O_WRONLY | O_CREAT, 0644)));
  ASSERT_EQ(0, chmod(received.c_str(), 0644));
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  EXPECT_EQ(0, CallOnce(server));
  EXPECT_EQ(0600u, ModeOf(logs + "/SENT.log") & 07777);
  EXPECT_EQ(0600u, ModeOf(received) & 07777);
  EXPECT_NE("", ReadFile(logs + "/SENT.log"));
  EXPECT_NE("", ReadFile(received));
}

TEST(MessageLogTest, ASymbolicLinkAtALogPathIsNotFollowed) {
  ServiceTestScope scope;
  scope.platform().CreateLogFolder();
  const std::string logs = scope.platform().LogFolder();
  const std::string kept = scope.platform().dir().Write("kept.txt", "keep me");
  const std::string absent = scope.platform().dir().path() + "/absent.txt";
  ASSERT_EQ(0, symlink(kept.c_str(), (logs + "/SENT.log").c_str()));
  ASSERT_EQ(0, symlink(absent.c_str(), (logs + "/RECV.log").c_str()));
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  EXPECT_EQ(0, CallOnce(server));
  EXPECT_EQ("keep me", ReadFile(kept));
  EXPECT_EQ(0, ModeOf(absent));
  EXPECT_TRUE(S_ISLNK(ModeOf(logs + "/SENT.log")));
  EXPECT_TRUE(S_ISLNK(ModeOf(logs + "/RECV.log")));
  EXPECT_TRUE(TakeAlerts().empty());
}

TEST(MessageLogTest, AFifoOrAnotherUsersFileAtALogPathIsNotWritten) {
  ServiceTestScope scope;
  scope.platform().CreateLogFolder();
  const std::string logs = scope.platform().LogFolder();
  ASSERT_EQ(0, mkfifo((logs + "/SENT.log").c_str(), 0600));  // no reader: must not block
  const bool root = geteuid() == 0;
  const std::string received = logs + "/RECV.log";
  if (root) {
    ASSERT_EQ(0, close(open(received.c_str(), O_WRONLY | O_CREAT, 0666)));
    ASSERT_EQ(0, chown(received.c_str(), 65534, 65534));
  }
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  EXPECT_EQ(0, CallOnce(server));
  if (root) {
    EXPECT_EQ("", ReadFile(received));
  }
}

TEST(MessageLogTest, NothingIsLoggedWithoutTheFolder) {
  ServiceTestScope scope;
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>"))});
  {
    OslSoapContext context;
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    EXPECT_EQ(0, CallGetFields(context.get(), server.Url(kTemplateMgr).c_str(), nullptr, &request,
                               response));
    EXPECT_EQ(std::string::npos, FormatSoapFaultReport(context.get()).find("log files"));
  }
  EXPECT_FALSE(scope.platform().IsDirectory(scope.platform().LogFolder()));
}

// The fault report's note points at a folder of its own (on Windows
// "c:\logs\" while the logs go to "/logs"): its presence alone decides the
// note, which names it as given.
class NoteFolderPlatform : public TestPlatform {
 public:
  std::string FaultNoteFolder() override { return note_; }
  std::string note_;
};

TEST(MessageLogTest, TheReportsNoteFollowsItsOwnFolder) {
  ServiceTestScope scope;
  NoteFolderPlatform platform;
  const std::string present = platform.dir().path() + "/notes\\";
  ASSERT_EQ(0, mkdir(present.c_str(), 0700));
  struct Case {
    std::string noteFolder;
    bool logFolder;
    std::string note;
  } cases[] = {
      {present, false,
       "\n\n**You can view all the log files generated under " + present + " directory**\n"},
      {platform.dir().path() + "/absent\\", true, ""},
  };
  OslPlatform::Set(&platform);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.noteFolder);
    platform.note_ = c.noteFolder;
    if (c.logFolder) platform.CreateLogFolder();
    CaptureServer server(
        {HttpReply(500, "Internal Server Error", FaultEnvelope("s:Client", "No", ""))});
    OslSoapContext context;
    _ns2__getFields request;
    _ns2__getFieldsResponse response;
    EXPECT_EQ(SOAP_FAULT, CallGetFields(context.get(), server.Url(kTemplateMgr).c_str(), nullptr,
                                        &request, response));
    const std::string report = FormatSoapFaultReport(context.get());
    const std::string separator(82, '-');
    EXPECT_EQ(separator + " " + c.note, report.substr(report.rfind(separator)));
  }
  OslPlatform::Set(&scope.platform());
}

}  // namespace
}  // namespace osltest
