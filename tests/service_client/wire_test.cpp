// The requests of the eight service operations, captured on a loopback socket
// and compared byte for byte: request line, header lines in order, envelope,
// namespace declarations, nil members, enumerations, doubles and UTF-8 text.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "service_client/messages.h"
#include "service_client/service_calls.h"
#include "tests/service_client/capture_server.h"
#include "tests/service_client/test_support.h"

namespace osltest {
namespace {

using namespace osl_soap;

const std::string kEnvelopeHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:SOAP-ENC=\"http://schemas.xmlsoap.org/soap/encoding/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:ns3=\"http://microsoft.com/wsdl/types/\" "
    "xmlns:ns4=\"urn:osl:templates/\" xmlns:ns5=\"urn:osl:placeholder\" "
    "xmlns:ns2=\"urn:osl:templates\"><SOAP-ENV:Body>";
const std::string kEnvelopeTail = "</SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n";
const std::string kTemplateMgr = "/services/templateMgr.svc";
const std::string kBuildDoc = "/services/builddoc.asmx";

std::string Expected(const std::string& host, const std::string& path, const std::string& action,
                     const std::string& body) {
  const std::string envelope = kEnvelopeHead + body + kEnvelopeTail;
  return "POST " + path + " HTTP/1.1\r\nHost: " + host +
         "\r\nUser-Agent: gSOAP/2.8\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
         std::to_string(envelope.size()) + "\r\nConnection: close\r\nSOAPAction: \"" + action +
         "\"\r\n\r\n" + envelope;
}

std::string Credentials() {
  return "<ns2:userEmail>designer@example.com</ns2:userEmail>"
         "<ns2:userPassword>s3cret &amp; &lt;more&gt;</ns2:userPassword>"
         "<ns2:docCode>0f8fad5b-d9cb-469f-a165-70867728950e</ns2:docCode>"
         "<ns2:docPassword>7c9e6679-7425-40de-944b-e07fc1f90ae7</ns2:docPassword>";
}

template <class Request>
void FillCredentials(Request* request) {
  request->userEmail = "designer@example.com";
  request->userPassword = "s3cret & <more>";
  request->docCode = "0f8fad5b-d9cb-469f-a165-70867728950e";
  request->docPassword = "7c9e6679-7425-40de-944b-e07fc1f90ae7";
}

class WireTest : public ::testing::Test {
 protected:
  // Runs `call` against a capture server answering `responseBody` and returns
  // the captured request; the call must succeed.
  template <class Call>
  std::string Capture(const std::string& path, const std::string& responseBody, Call call) {
    CaptureServer server({HttpReply(200, "OK", Envelope(responseBody))});
    host_ = "127.0.0.1:" + std::to_string(server.port());
    const std::string endpoint = server.Url(path);
    EXPECT_EQ(0, call(context_.get(), endpoint.c_str()));
    const auto requests = server.Requests();
    return requests.empty() ? std::string() : requests[0];
  }

  ServiceTestScope scope_;
  OslSoapContext context_;
  std::string host_;
};

TEST_F(WireTest, GetLibraryTemplatesGoesToTheDocumentBuilderWithNilPassword) {
  _ns4__getLibraryTemplates request;
  _ns4__getLibraryTemplatesResponse response;
  request.email = OslNewString(context_.get(), std::string("designer@example.com"));
  const std::string sent = Capture(
      kBuildDoc, "<d:getLibraryTemplatesResponse/>", [&](struct soap* soap, const char* endpoint) {
        return CallGetLibraryTemplates(soap, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kBuildDoc, "urn:osl:templates/getLibraryTemplates",
                     "<ns4:getLibraryTemplates><ns4:email>designer@example.com</ns4:email>"
                     "<ns4:password xsi:nil=\"true\"/></ns4:getLibraryTemplates>"),
            sent);
}

TEST_F(WireTest, SetTemplateWritesTheTemplateRecordFieldByField) {
  struct soap* soap = context_.get();
  _ns2__setTemplate request;
  _ns2__setTemplateResponse response;
  request.userEmail = "designer@example.com";
  request.userPassword = "";
  libraryTemplate info;
  info.docName = OslNewString(soap, PMString("Visitenkarte \xe2\x80\x93 M\xc3\xbcller"));
  info.docCategory = OslNewString(soap, std::string(""));
  info.docID = "0f8fad5b-d9cb-469f-a165-70867728950e";
  info.isActive = true;
  info.docPageCount = 2;
  info.docWidth = "255.118";
  info.docHeight = "155.906";
  info.docBleed = "8.504";
  info.clientType = 200;
  info.userID = -1;
  info.fullScreenWindow = ns2__eRestriction__required;
  request.templateInfo = &info;
  const std::string sent =
      Capture(kTemplateMgr, "<t:setTemplateResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetTemplate(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/setTemplate",
                     "<ns2:setTemplate><ns2:userEmail>designer@example.com</ns2:userEmail>"
                     "<ns2:userPassword/><ns2:docCode xsi:nil=\"true\"/>"
                     "<ns2:docPassword xsi:nil=\"true\"/><ns2:templateInfo>"
                     "<ns2:docName>Visitenkarte \xe2\x80\x93 M\xc3\xbcller</ns2:docName>"
                     "<ns2:docDescription xsi:nil=\"true\"/>"
                     "<ns2:docID>0f8fad5b-d9cb-469f-a165-70867728950e</ns2:docID><ns2:docPassword/>"
                     "<ns2:docCategory/><ns2:isActive>true</ns2:isActive>"
                     "<ns2:docPageCount>2</ns2:docPageCount><ns2:docWidth>255.118</ns2:docWidth>"
                     "<ns2:docHeight>155.906</ns2:docHeight><ns2:docBleed>8.504</ns2:docBleed>"
                     "<ns2:clientType>200</ns2:clientType><ns2:userID>-1</ns2:userID>"
                     "<ns2:fullScreenWindow>required</ns2:fullScreenWindow></ns2:templateInfo>"
                     "</ns2:setTemplate>"),
            sent);
}

TEST_F(WireTest, GetFieldsSendsTheFourStringsEscaped) {
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  FillCredentials(&request);
  const std::string sent =
      Capture(kTemplateMgr, "<t:getFieldsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallGetFields(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/getFields",
                     "<ns2:getFields>" + Credentials() + "</ns2:getFields>"),
            sent);
}

TEST_F(WireTest, SetFieldsWithoutFieldListWritesNilThenDeleteOthers) {
  _ns2__setFields request;
  _ns2__setFieldsResponse response;
  FillCredentials(&request);
  request.deleteOthers = true;
  const std::string sent =
      Capture(kTemplateMgr, "<t:setFieldsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetFields(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/setFields",
                     "<ns2:setFields>" + Credentials() +
                         "<ns2:docFields xsi:nil=\"true\"/>"
                         "<ns2:deleteOthers>true</ns2:deleteOthers></ns2:setFields>"),
            sent);
}

// Every member of a field record, set to a value of its own, in schema order.
TEST_F(WireTest, SetFieldsWritesEveryFieldMemberInSchemaOrder) {
  struct soap* soap = context_.get();
  OstrFieldInfo f;
  f.fieldName = OslNewString(soap, std::string("Name"));
  f.pdfRect = OslNewString(soap, std::string("10 20 110 40"));
  f.pageNumber = 3;
  f.controlType = ns2__enumControlType__advImageUpload;
  f.repeatType = ns2__enumRepeatField__all;
  f.promptNumber = 7;
  f.fieldEntryRequired = true;
  f.promptText = OslNewString(soap, std::string("Your name & title"));
  f.toolTip = OslNewString(soap, std::string(""));
  f.maxLength = 40;
  f.rotation = -12.25;
  f.rotationPoint = ns2__rotatationPointEnum__center;
  f.zOrder = 15;
  f.logicGroupID = 2;
  f.logicDependsOn = OslNewString(soap, std::string("Company"));
  f.forProduction = true;
  f.forProof = true;
  f.isProtected = true;
  f.isVdpField = true;
  f.positionOverrideUom = ns2__measurementUOM__cm;
  f.positionOverrideLeft = 0.1;
  f.positionOverrideBottom = 1e-7;
  f.positionOverrideHeight = 1e21;
  f.positionOverrideWidth = std::numeric_limits<double>::quiet_NaN();
  f.positionOverrideEmulateQuodra = ns2__quodraPostionEmulation__multiLine;
  f.fieldScriptingChoice = ns2__fieldScripting__vb;
  f.fieldScriptingHtml = OslNewString(soap, std::string("<b>x</b>"));
  f.fieldScriptingHtmlBlankLineSuppress = true;
  f.entryBlockID = 35;
  f.entryBlockNewLine = true;
  fieldLockDown lock;
  lock.initialized = true;
  lock.canMove = true;
  lock.canChangeZorder = true;
  lock.minFieldSize = OslNewString(soap, std::string("10x10"));
  lock.canRotate = true;
  lock.canCrop = ns2__cropType__aspect;
  lock.canChangeFont = true;
  lock.minFontSize = 6;
  lock.maxFontSize = 72;
  lock.canChangeColor = true;
  lock.canStylize = true;
  lock.canInsertSymbol = true;
  PaletteInfo palette;
  palette.PaletteID = 4;
  ArrayOfString colors;
  colors.string = {"0 0 0 100", "Spot Blue"};
  palette.colors = &colors;
  lock.defaultPalette = &palette;
  lock.canChangeBorder = true;
  f.fieldLockdown = &lock;
  f.imagePickerGroup = 255;
  f.imageFitType = ns2__imageFitMethod__cropFromCenter;
  f.allowUploadFromAssets = true;
  f.initialAssetCategory = OslNewString(soap, std::string("Logos"));
  f.profileType = ns2__profileMap__country;
  f.imageBorder = true;
  f.imageBorderWidth = std::numeric_limits<double>::infinity();
  f.imageBorderCMYK = OslNewString(soap, std::string("0 0 0 100"));
  ArrayOfInt ranges;
  ranges.int_ = {72, 150, 300};
  f.imageQualityRanges = &ranges;
  f.textReformat = ns2__enumTextReformat__customDigitsOnly;
  f.alwaysReformatText = true;
  f.staticText = OslNewString(soap, std::string("Gr\xc3\xbc\xc3\x9f"
                                                "e \xe6\x9d\xb1\xe4\xba\xac"));
  f.fontName = OslNewString(soap, std::string("DejaVu Sans"));
  f.fontFileName = OslNewString(soap, std::string("DejaVuSans.ttf"));
  f.fontSize = 9.5;
  f.fontBold = true;
  f.fontUnderline = true;
  f.fontLeading = 11;
  f.fontAlignment = ns2__enumTextAlignment__bottomRight;
  f.fontTracking = -std::numeric_limits<double>::infinity();
  f.fontOpacity = 1;
  f.fontColorC = 0.25;
  f.fontColorY = 100;
  f.fontColorK = 100.0 / 3.0;
  f.fontSpotColorName = OslNewString(soap, std::string("Spot Blue"));
  f.paletteID = OslNewInt(soap, 68);
  f.fontForceFit = true;
  f.fontForceFitMaxLines = 3;
  f.fontHorizontalScale = 100;
  f.fontVerticalScale = 95.5;
  f.fontOutline = true;
  f.fontOutlineThickness = 0.5;
  f.fontDirection = ns2__textDirection__btrl;
  f.allowTextStyleOverride = true;
  f.preserveSpaces = true;
  f.barCode = static_cast<ns2__barcodeType>(18);  // no literal: sent as its number
  f.setup_USCOREradioFieldType = OslNewString(soap, std::string("radio"));
  f.setup_USCOREcontrolTypeDDValue = OslNewString(soap, std::string("dd"));

  ArrayOfOstrFieldInfo fields;
  fields.OstrFieldInfo = {&f, nullptr};
  _ns2__setFields request;
  _ns2__setFieldsResponse response;
  FillCredentials(&request);
  request.docFields = &fields;
  const std::string sent =
      Capture(kTemplateMgr, "<t:setFieldsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetFields(s, endpoint, nullptr, &request, response);
      });

  const std::string record =
      "<ns2:OstrFieldInfo><ns2:fieldName>Name</ns2:fieldName>"
      "<ns2:pdfRect>10 20 110 40</ns2:pdfRect><ns2:pageNumber>3</ns2:pageNumber>"
      "<ns2:controlType>advImageUpload</ns2:controlType><ns2:repeatType>all</ns2:repeatType>"
      "<ns2:getDataFromField xsi:nil=\"true\"/><ns2:promptNumber>7</ns2:promptNumber>"
      "<ns2:fieldEntryRequired>true</ns2:fieldEntryRequired>"
      "<ns2:promptText>Your name &amp; title</ns2:promptText><ns2:toolTip/>"
      "<ns2:maxLength>40</ns2:maxLength><ns2:defaultValue xsi:nil=\"true\"/>"
      "<ns2:rotation>-12.25</ns2:rotation><ns2:rotationPoint>center</ns2:rotationPoint>"
      "<ns2:zOrder>15</ns2:zOrder><ns2:logicGroupID>2</ns2:logicGroupID>"
      "<ns2:logicDependsOn>Company</ns2:logicDependsOn>"
      "<ns2:forProduction>true</ns2:forProduction><ns2:forProof>true</ns2:forProof>"
      "<ns2:hideField>false</ns2:hideField><ns2:isProtected>true</ns2:isProtected>"
      "<ns2:allowElementReposition>false</ns2:allowElementReposition>"
      "<ns2:isVdpField>true</ns2:isVdpField><ns2:positionOverride>false</ns2:positionOverride>"
      "<ns2:positionOverrideUom>cm</ns2:positionOverrideUom>"
      "<ns2:positionOverrideLeft>0.10000000000000001</ns2:positionOverrideLeft>"
      "<ns2:positionOverrideBottom>9.9999999999999995E-08</ns2:positionOverrideBottom>"
      "<ns2:positionOverrideHeight>1E+21</ns2:positionOverrideHeight>"
      "<ns2:positionOverrideWidth>NaN</ns2:positionOverrideWidth>"
      "<ns2:positionOverrideEmulateQuodra>multiLine</ns2:positionOverrideEmulateQuodra>"
      "<ns2:fieldScriptingChoice>vb</ns2:fieldScriptingChoice>"
      "<ns2:fieldScriptingHtml>&lt;b&gt;x&lt;/b&gt;</ns2:fieldScriptingHtml>"
      "<ns2:fieldScriptingHtmlBlankLineSuppress>true</ns2:fieldScriptingHtmlBlankLineSuppress>"
      "<ns2:fieldScriptingVbScript xsi:nil=\"true\"/><ns2:entryBlockID>35</ns2:entryBlockID>"
      "<ns2:entryBlockNewLine>true</ns2:entryBlockNewLine>"
      "<ns2:fieldLockdown><ns2:initialized>true</ns2:initialized>"
      "<ns2:canDelete>false</ns2:canDelete><ns2:canMove>true</ns2:canMove>"
      "<ns2:canResize>false</ns2:canResize><ns2:canChangeZorder>true</ns2:canChangeZorder>"
      "<ns2:canGoBehindBackground>false</ns2:canGoBehindBackground>"
      "<ns2:minFieldSize>10x10</ns2:minFieldSize><ns2:maxFieldSize xsi:nil=\"true\"/>"
      "<ns2:canRotate>true</ns2:canRotate><ns2:canCrop>aspect</ns2:canCrop>"
      "<ns2:canChangeOpacity>false</ns2:canChangeOpacity>"
      "<ns2:canChangeFont>true</ns2:canChangeFont><ns2:minFontSize>6</ns2:minFontSize>"
      "<ns2:maxFontSize>72</ns2:maxFontSize><ns2:canChangeColor>true</ns2:canChangeColor>"
      "<ns2:canStylize>true</ns2:canStylize><ns2:canStylizeBold>false</ns2:canStylizeBold>"
      "<ns2:canStylizeItalic>false</ns2:canStylizeItalic>"
      "<ns2:canStylizeUnderline>false</ns2:canStylizeUnderline>"
      "<ns2:canStylizeDirection>false</ns2:canStylizeDirection>"
      "<ns2:canStylizeLeading>false</ns2:canStylizeLeading>"
      "<ns2:canStylizeTracking>false</ns2:canStylizeTracking>"
      "<ns2:canStylizeFontsize>false</ns2:canStylizeFontsize>"
      "<ns2:canStylizeAlignment>false</ns2:canStylizeAlignment>"
      "<ns2:canInsertSymbol>true</ns2:canInsertSymbol>"
      "<ns2:defaultPalette><ns2:PaletteID>4</ns2:PaletteID>"
      "<ns2:PaletteName xsi:nil=\"true\"/><ns2:colors><ns2:string>0 0 0 100</ns2:string>"
      "<ns2:string>Spot Blue</ns2:string></ns2:colors></ns2:defaultPalette>"
      "<ns2:canChangeBorder>true</ns2:canChangeBorder></ns2:fieldLockdown>"
      "<ns2:imageLayerFileName xsi:nil=\"true\"/><ns2:imagePickerGroup>255</ns2:imagePickerGroup>"
      "<ns2:imageFitType>cropFromCenter</ns2:imageFitType>"
      "<ns2:allowUploadFromAssets>true</ns2:allowUploadFromAssets>"
      "<ns2:initialAssetCategory>Logos</ns2:initialAssetCategory>"
      "<ns2:profileType>country</ns2:profileType><ns2:imageBorder>true</ns2:imageBorder>"
      "<ns2:imageBorderWidth>INF</ns2:imageBorderWidth>"
      "<ns2:imageBorderCMYK>0 0 0 100</ns2:imageBorderCMYK>"
      "<ns2:imageQualityRanges><ns2:int>72</ns2:int><ns2:int>150</ns2:int><ns2:int>300</ns2:int>"
      "</ns2:imageQualityRanges><ns2:textReformat>customDigitsOnly</ns2:textReformat>"
      "<ns2:textReformatCustom xsi:nil=\"true\"/>"
      "<ns2:alwaysReformatText>true</ns2:alwaysReformatText><ns2:options xsi:nil=\"true\"/>"
      "<ns2:staticText>Gr\xc3\xbc\xc3\x9f"
      "e \xe6\x9d\xb1\xe4\xba\xac</ns2:staticText>"
      "<ns2:fontName>DejaVu Sans</ns2:fontName><ns2:fontFileName>DejaVuSans.ttf</ns2:fontFileName>"
      "<ns2:fontSize>9.5</ns2:fontSize><ns2:fontBold>true</ns2:fontBold>"
      "<ns2:fontItalic>false</ns2:fontItalic><ns2:fontUnderline>true</ns2:fontUnderline>"
      "<ns2:fontLeading>11</ns2:fontLeading><ns2:fontAlignment>bottomRight</ns2:fontAlignment>"
      "<ns2:fontTracking>-INF</ns2:fontTracking><ns2:fontOpacity>1</ns2:fontOpacity>"
      "<ns2:fontColorC>0.25</ns2:fontColorC><ns2:fontColorM>0</ns2:fontColorM>"
      "<ns2:fontColorY>100</ns2:fontColorY><ns2:fontColorK>33.333333333333336</ns2:fontColorK>"
      "<ns2:fontSpotColorName>Spot Blue</ns2:fontSpotColorName><ns2:paletteID>68</ns2:paletteID>"
      "<ns2:fontForceFit>true</ns2:fontForceFit>"
      "<ns2:fontForceFitMaxLines>3</ns2:fontForceFitMaxLines>"
      "<ns2:fontHorizontalScale>100</ns2:fontHorizontalScale>"
      "<ns2:fontVerticalScale>95.5</ns2:fontVerticalScale><ns2:fontOutline>true</ns2:fontOutline>"
      "<ns2:fontOutlineCmyk xsi:nil=\"true\"/>"
      "<ns2:fontOutlineThickness>0.5</ns2:fontOutlineThickness>"
      "<ns2:fontDirection>btrl</ns2:fontDirection>"
      "<ns2:allowTextStyleOverride>true</ns2:allowTextStyleOverride>"
      "<ns2:fieldChainPrev xsi:nil=\"true\"/><ns2:preserveSpaces>true</ns2:preserveSpaces>"
      "<ns2:barCode>18</ns2:barCode><ns2:setup_radioFieldType>radio</ns2:setup_radioFieldType>"
      "<ns2:setup_radioDataSource xsi:nil=\"true\"/>"
      "<ns2:setup_controlTypeDDValue>dd</ns2:setup_controlTypeDDValue>"
      "<ns2:setup_defaultValueHTML xsi:nil=\"true\"/></ns2:OstrFieldInfo>";
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/setFields",
                     "<ns2:setFields>" + Credentials() + "<ns2:docFields>" + record +
                         "<ns2:OstrFieldInfo xsi:nil=\"true\"/></ns2:docFields>"
                         "<ns2:deleteOthers>false</ns2:deleteOthers></ns2:setFields>"),
            sent);
}

TEST_F(WireTest, A_NewFieldRecordWritesNilLockdownAndPaletteId) {
  OstrFieldInfo f;
  ArrayOfOstrFieldInfo fields;
  fields.OstrFieldInfo = {&f};
  _ns2__setFields request;
  _ns2__setFieldsResponse response;
  request.docFields = &fields;
  const std::string sent =
      Capture(kTemplateMgr, "<t:setFieldsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetFields(s, endpoint, nullptr, &request, response);
      });
  EXPECT_NE(std::string::npos, sent.find("<ns2:entryBlockNewLine>false</ns2:entryBlockNewLine>"
                                         "<ns2:fieldLockdown xsi:nil=\"true\"/>"));
  EXPECT_NE(std::string::npos, sent.find("<ns2:fontSpotColorName xsi:nil=\"true\"/>"
                                         "<ns2:paletteID xsi:nil=\"true\"/>"));
  EXPECT_NE(std::string::npos, sent.find("<ns2:controlType>textBox</ns2:controlType>"
                                         "<ns2:repeatType>none</ns2:repeatType>"));
  EXPECT_NE(std::string::npos, sent.find("<ns2:userEmail/><ns2:userPassword/><ns2:docCode/>"
                                         "<ns2:docPassword/>"));
}

TEST_F(WireTest, GetLogicGroupsSendsTheFourStrings) {
  _ns2__getLogicGroups request;
  _ns2__getLogicGroupsResponse response;
  FillCredentials(&request);
  const std::string sent = Capture(
      kTemplateMgr, "<t:getLogicGroupsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallGetLogicGroups(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/getLogicGroups",
                     "<ns2:getLogicGroups>" + Credentials() + "</ns2:getLogicGroups>"),
            sent);
}

TEST_F(WireTest, SetLogicGroupsWritesGroupsAndNilItems) {
  logicGroup up, down;
  up.logicGroupID = 1;
  up.logicGroupName = OslNewString(context_.get(), std::string("Address"));
  up.moveDirection = ns2__eMoveDirection__moveUp;
  down.logicGroupID = 2;
  down.moveDirection = ns2__eMoveDirection__moveDown;
  ArrayOfLogicGroup groups;
  groups.logicGroup = {&up, nullptr, &down};
  _ns2__setLogicGroups request;
  _ns2__setLogicGroupsResponse response;
  FillCredentials(&request);
  request.logicGroups = &groups;
  const std::string sent = Capture(
      kTemplateMgr, "<t:setLogicGroupsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetLogicGroups(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/setLogicGroups",
                     "<ns2:setLogicGroups>" + Credentials() +
                         "<ns2:logicGroups><ns2:logicGroup><ns2:logicGroupID>1</ns2:logicGroupID>"
                         "<ns2:logicGroupName>Address</ns2:logicGroupName>"
                         "<ns2:moveDirection>moveUp</ns2:moveDirection></ns2:logicGroup>"
                         "<ns2:logicGroup xsi:nil=\"true\"/><ns2:logicGroup>"
                         "<ns2:logicGroupID>2</ns2:logicGroupID>"
                         "<ns2:logicGroupName xsi:nil=\"true\"/>"
                         "<ns2:moveDirection>moveDown</ns2:moveDirection></ns2:logicGroup>"
                         "</ns2:logicGroups></ns2:setLogicGroups>"),
            sent);
}

TEST_F(WireTest, SetAssetsWritesAssetRecords) {
  assetInfo pdf, font;
  pdf.assetURL = OslNewString(context_.get(), std::string("http://assets.test/a.pdf?x=1&y=2"));
  pdf.assetName = OslNewString(context_.get(), std::string("proof.pdf"));
  pdf.assetType = ns2__eAssetType__masterPDF;
  font.assetType = ns2__eAssetType__tolvanDocument;
  font.imagePickerNum = 3;
  font.delete_ = true;
  ArrayOfAssetInfo assets;
  assets.assetInfo = {&pdf, &font};
  _ns2__setAssets request;
  _ns2__setAssetsResponse response;
  FillCredentials(&request);
  request.assets = &assets;
  const std::string sent =
      Capture(kTemplateMgr, "<t:setAssetsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetAssets(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/setAssets",
                     "<ns2:setAssets>" + Credentials() +
                         "<ns2:assets><ns2:assetInfo>"
                         "<ns2:assetURL>http://assets.test/a.pdf?x=1&amp;y=2</ns2:assetURL>"
                         "<ns2:assetName>proof.pdf</ns2:assetName>"
                         "<ns2:assetType>masterPDF</ns2:assetType>"
                         "<ns2:imagePickerNum>0</ns2:imagePickerNum><ns2:delete>false</ns2:delete>"
                         "</ns2:assetInfo><ns2:assetInfo><ns2:assetURL xsi:nil=\"true\"/>"
                         "<ns2:assetName xsi:nil=\"true\"/>"
                         "<ns2:assetType>tolvanDocument</ns2:assetType>"
                         "<ns2:imagePickerNum>3</ns2:imagePickerNum><ns2:delete>true</ns2:delete>"
                         "</ns2:assetInfo></ns2:assets></ns2:setAssets>"),
            sent);
}

TEST_F(WireTest, CommitTemplateSendsTheFourStrings) {
  _ns2__commitTemplate request;
  _ns2__commitTemplateResponse response;
  FillCredentials(&request);
  const std::string sent = Capture(
      kTemplateMgr, "<t:commitTemplateResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallCommitTemplate(s, endpoint, nullptr, &request, response);
      });
  EXPECT_EQ(Expected(host_, kTemplateMgr, "urn:osl:templates/ItemplateMgr/commitTemplate",
                     "<ns2:commitTemplate>" + Credentials() + "</ns2:commitTemplate>"),
            sent);
}

TEST_F(WireTest, SeveralCallsOnOneContextEachOpenTheirOwnConnection) {
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:getFieldsResponse/>")),
                        HttpReply(200, "OK", Envelope("<t:commitTemplateResponse/>"))});
  const std::string endpoint = server.Url(kTemplateMgr);
  _ns2__getFields get;
  _ns2__getFieldsResponse got;
  _ns2__commitTemplate commit;
  _ns2__commitTemplateResponse committed;
  EXPECT_EQ(0, CallGetFields(context_.get(), endpoint.c_str(), nullptr, &get, got));
  EXPECT_EQ(0, CallCommitTemplate(context_.get(), endpoint.c_str(), nullptr, &commit, committed));
  const auto requests = server.Requests(2);
  ASSERT_EQ(2u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("<ns2:getFields>"));
  EXPECT_NE(std::string::npos, requests[1].find("<ns2:commitTemplate>"));
}

// Connects every request of a context to `port` on 127.0.0.1, whatever host
// and port its endpoint names.
struct Redirect {
  static int port;
  static SOAP_SOCKET Open(struct soap* soap, const char*, const char*, int) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      if (fd >= 0) close(fd);
      soap->error = SOAP_TCP_ERROR;
      return SOAP_INVALID_SOCKET;
    }
    return fd;
  }
};
int Redirect::port = 0;

TEST_F(WireTest, PortEightySendsTheBareHostName) {
  CaptureServer server({HttpReply(200, "OK", Envelope("<t:commitTemplateResponse/>"))});
  Redirect::port = server.port();
  context_.get()->fopen = Redirect::Open;
  _ns2__commitTemplate request;
  _ns2__commitTemplateResponse response;
  EXPECT_EQ(
      0, CallCommitTemplate(context_.get(), "http://templates.example.com/services/templateMgr.svc",
                            nullptr, &request, response));
  const auto requests = server.Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(0u, requests[0].find("POST /services/templateMgr.svc HTTP/1.1\r\n"
                                 "Host: templates.example.com\r\nUser-Agent: gSOAP/2.8\r\n"));
}

TEST_F(WireTest, AnExplicitActionReplacesTheOperationsOwn) {
  _ns2__getFields request;
  _ns2__getFieldsResponse response;
  const std::string sent =
      Capture(kTemplateMgr, "<t:getFieldsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallGetFields(s, endpoint, "custom", &request, response);
      });
  EXPECT_NE(std::string::npos, sent.find("\r\nSOAPAction: \"custom\"\r\n\r\n"));
}

// Builds a locale with a decimal comma in a scratch folder; false when the
// machine cannot.
bool UseCommaLocale(const TempDir& dir) {
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + dir.path() + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", dir.path().c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST_F(WireTest, DoublesUseAPointUnderADecimalCommaLocale) {
  TempDir localeDir;
  if (!UseCommaLocale(localeDir)) GTEST_SKIP() << "no locale with a decimal comma";
  char printed[16];
  std::snprintf(printed, sizeof printed, "%.1f", 0.5);
  ASSERT_STREQ("0,5", printed);
  OstrFieldInfo f;
  f.rotation = 0.5;
  ArrayOfOstrFieldInfo fields;
  fields.OstrFieldInfo = {&f};
  _ns2__setFields request;
  _ns2__setFieldsResponse response;
  request.docFields = &fields;
  const std::string sent =
      Capture(kTemplateMgr, "<t:setFieldsResponse/>", [&](struct soap* s, const char* endpoint) {
        return CallSetFields(s, endpoint, nullptr, &request, response);
      });
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_NE(std::string::npos, sent.find("<ns2:rotation>0.5</ns2:rotation>"));
}

}  // namespace
}  // namespace osltest
