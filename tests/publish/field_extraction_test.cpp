// Field extraction on documents of the stand-in: which items become records,
// what a new and a reused record get, group membership and its warning,
// stacking order, and the faults a hostile document can bring.
#include "publish/field_extraction.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/InterfacePtr.h"
#include "host/Utils.h"
#include "publish/page_items.h"
#include "tests/e2e/documents.h"
#include "tests/publish/publish_fixture.h"
#include "tests/support/subprocess.h"

namespace osltest {
namespace {

using namespace osl_soap;

std::string Text(const std::string* text) { return text ? *text : "<nil>"; }

class Extraction : public PublishTest {
 protected:
  IDocument* Document() {
    Utils<ILayoutUIUtils> layout;
    return layout ? layout->GetFrontDocument() : nullptr;
  }

  // Runs the extraction on the front document; uploads answer
  // "url:<name>" unless the name is in `refused_`.
  FieldExtraction& Extract(FieldExtractionInput input = {}) {
    input.document = Document();
    extraction_ = std::make_unique<FieldExtraction>(input, strings_, assets_);
    extraction_->Run();
    return *extraction_;
  }

  std::vector<std::string> Uploaded() const { return uploads_; }
  std::vector<std::string> AssetNames() {
    std::vector<std::string> names;
    for (const assetInfo* record : assets_.Array()->assetInfo) {
      names.push_back(std::to_string(record->assetType) + " " + Text(record->assetName));
    }
    return names;
  }

  std::vector<std::string> uploads_;
  std::vector<std::string> refused_;
  my_strings strings_;
  PublishAssets assets_{strings_, [this](const PMString& path, const PMString& name) {
                          uploads_.push_back(name.GetUTF8String());
                          for (const auto& r : refused_) {
                            if (r == name.GetUTF8String()) return PMString();
                          }
                          return PMString("url:" + name.GetUTF8String());
                        }};
  std::unique_ptr<FieldExtraction> extraction_;
  TempDir files_;  // placed images that exist
};

nlohmann::json TwoPages(const nlohmann::json& first, const nlohmann::json& second,
                        const std::string& label = "") {
  nlohmann::json doc = OnePage(label, first, 200, 100);
  nlohmann::json page = {{"uid", 4u}, {"bounds", {0, 0, 200, 100}}, {"items", ItemList(second)}};
  nlohmann::json spread = {{"uid", 5u}, {"pages", nlohmann::json::array({page})}};
  doc["spreads"].push_back(spread);
  return doc;
}

TEST_F(Extraction, OneRecordPerTaggedItemInPageOrderGroupsAsOneItem) {
  nlohmann::json group = {
      {"uid", 20u},
      {"kind", "group"},
      {"bounds", {0, 0, 50, 50}},
      {"label", FieldTag("Group")},
      {"children", nlohmann::json::array({TextFrame(21, 0, 0, 50, 20, "in", FieldTag("Member"))})}};
  Open(TwoPages(
      {TextFrame(10, 0, 0, 50, 20, "a", FieldTag("A")), TextFrame(11, 0, 30, 50, 20, "x"), group},
      {TextFrame(12, 0, 0, 50, 20, "b", FieldTag("B"))}));
  FieldExtraction& fields = Extract();
  std::vector<std::string> names;
  for (const OstrFieldInfo* field : fields.Fields()) {
    names.push_back(*field->fieldName + "@" + std::to_string(field->pageNumber));
  }
  EXPECT_EQ((std::vector<std::string>{"A@1", "Group@1", "B@2"}), names);
  EXPECT_EQ(3, fields.TaggedItems().Length());
  EXPECT_EQ(10u, fields.TaggedItems().At(0));
  EXPECT_EQ(20u, fields.TaggedItems().At(1));
  EXPECT_EQ(12u, fields.TaggedItems().At(2));
  EXPECT_TRUE(AlertTexts().empty());
}

TEST_F(Extraction, PageNumbersFromOneWalkMatchTheSearchOfEachItem) {
  nlohmann::json group = {{"uid", 20u},
                          {"kind", "group"},
                          {"bounds", {0, 0, 50, 50}},
                          {"children", nlohmann::json::array({TextFrame(21, 0, 0, 50, 20, "in")})}};
  Open(TwoPages({TextFrame(10, 0, 0, 50, 20, "a")}, {TextFrame(12, 0, 0, 50, 20, "b"), group}));
  const PageItems pages(Document());
  EXPECT_EQ(3, pages.Items().Length());
  for (UID uid : {10u, 12u, 20u, 21u}) {
    EXPECT_EQ(GetItemPageNumber(Document(), UIDRef(pages.Items().GetDataBase(), uid)),
              pages.PageNumberOf(uid))
        << uid;
  }
  EXPECT_EQ(1, pages.PageNumberOf(10));
  EXPECT_EQ(2, pages.PageNumberOf(12));
  EXPECT_EQ(2, pages.PageNumberOf(21));
  EXPECT_EQ(0, pages.PageNumberOf(999));
  EXPECT_FALSE(GetPageRef(Document(), 3).ExistsInDB());
  EXPECT_TRUE(GetPageRef(Document(), 2).ExistsInDB());
}

TEST_F(Extraction, ANewTextRecordCarriesGeometryTextSettingsAndDefaults) {
  nlohmann::json frame = TextFrame(10, 20, 10, 100, 30, "Hi\u0003there\u0007",
                                   FieldTag("Name", "0", "promptText:::Your name|||"));
  auto& run = frame["story"]["runs"][0];
  run["length"] = 9u;
  run["size"] = 12.5;
  run["color"] = "Gold";
  run["tint"] = 50;
  run["tracking"] = 0.0123;
  run["leading"] = -1;  // auto leading
  run["underline"] = true;
  run["align"] = "right";
  frame["verticalJustification"] = "bottom";
  nlohmann::json doc = OnePage("", {frame}, 200, 100);
  doc["swatches"].push_back({{"name", "Gold"}, {"model", "spot"}, {"cmyk", {0, 20, 60, 10}}});
  Open(doc);
  FieldExtraction& fields = Extract();
  ASSERT_EQ(1u, fields.Fields().size());
  const OstrFieldInfo& f = *fields.Fields()[0];
  EXPECT_EQ("Name", Text(f.fieldName));
  EXPECT_EQ("Your name", Text(f.promptText));
  EXPECT_EQ("20.000 60.000 120.000 90.000", Text(f.pdfRect));
  EXPECT_EQ(1, f.pageNumber);
  EXPECT_EQ(0, f.rotation);
  EXPECT_EQ(ns2__rotatationPointEnum__center, f.rotationPoint);
  EXPECT_EQ(1, f.zOrder);
  EXPECT_EQ("Hithere\u0007", Text(f.defaultValue));
  EXPECT_EQ(nullptr, f.setup_USCOREdefaultValueHTML);
  EXPECT_TRUE(f.forProduction && f.forProof && f.fieldEntryRequired && f.fontForceFit);
  EXPECT_EQ(5000, f.maxLength);
  EXPECT_FALSE(f.imageBorder);
  EXPECT_DOUBLE_EQ(100, f.fontOpacity);
  EXPECT_DOUBLE_EQ(12.5, f.fontSize);
  // Gold at 50 %: (0, 20, 60, 10) halved, whole numbers.
  EXPECT_DOUBLE_EQ(0, f.fontColorC);
  EXPECT_DOUBLE_EQ(10, f.fontColorM);
  EXPECT_DOUBLE_EQ(30, f.fontColorY);
  EXPECT_DOUBLE_EQ(5, f.fontColorK);
  EXPECT_EQ("Gold", Text(f.fontSpotColorName));
  EXPECT_DOUBLE_EQ(12.3, f.fontTracking);
  EXPECT_DOUBLE_EQ(0, f.fontLeading);
  EXPECT_TRUE(f.fontUnderline);
  EXPECT_EQ(ns2__enumTextAlignment__bottomRight, f.fontAlignment);
  EXPECT_EQ("user", Text(f.setup_USCOREradioDataSource));
  EXPECT_NE(nullptr, f.fontName);
  EXPECT_DOUBLE_EQ(100, f.fontHorizontalScale);
  EXPECT_TRUE(AlertTexts().empty());
}

TEST_F(Extraction, ARichTextFieldGetsItsTextAsHtml) {
  Open(OnePage("", {TextFrame(10, 0, 0, 50, 20, "<b>x</b>", FieldTag("Rich", "3"))}));
  const OstrFieldInfo& f = *Extract().Fields()[0];
  EXPECT_EQ(ns2__enumControlType__richText, f.controlType);
  EXPECT_EQ("<b>x</b>", Text(f.setup_USCOREdefaultValueHTML));
  EXPECT_EQ(nullptr, f.defaultValue);
}

TEST_F(Extraction, ImageFieldsUploadTheirImageAndBorder) {
  nlohmann::json frame =
      GraphicFrame(10, 0, 0, 40, 40, FieldTag("Logo"), files_.Write("logo.png", "png"));
  frame["stroke"] = {{"weight", 2}, {"color", "Black"}};
  nlohmann::json missing =
      GraphicFrame(11, 50, 0, 40, 40, FieldTag("Gone"), files_.Write("gone.png", "png"));
  refused_ = {"gone.png"};
  Open(OnePage("", {frame, missing}));
  FieldExtraction& fields = Extract();
  ASSERT_EQ(2u, fields.Fields().size());
  const OstrFieldInfo& logo = *fields.Fields()[0];
  EXPECT_EQ("logo.png", Text(logo.defaultValue));
  EXPECT_TRUE(logo.imageBorder);
  EXPECT_DOUBLE_EQ(2, logo.imageBorderWidth);
  EXPECT_EQ("0 0 0 100", Text(logo.imageBorderCMYK));
  EXPECT_EQ("image", Text(logo.setup_USCOREradioFieldType));
  EXPECT_EQ(nullptr, fields.Fields()[1]->defaultValue);
  EXPECT_EQ("0 0 0 0", Text(fields.Fields()[1]->imageBorderCMYK));
  EXPECT_EQ((std::vector<std::string>{"2 logo.png"}), AssetNames());
  EXPECT_TRUE(AlertTexts().empty());
}

// The border's colour is the stroke's process colour, each component times
// 100 and cut to a whole number, in the order C M Y K; without a stroke
// weight there is no border and the colour is "0 0 0 0".
TEST_F(Extraction, TheImageBorderCarriesTheStrokeColourComponentByComponent) {
  nlohmann::json framed = GraphicFrame(10, 0, 0, 40, 40, FieldTag("Framed"));
  framed["stroke"] = {{"weight", 1.5}, {"color", "Mix"}};
  nlohmann::json weightless = GraphicFrame(11, 50, 0, 40, 40, FieldTag("Weightless"));
  weightless["stroke"] = {{"weight", 0}, {"color", "Mix"}};
  nlohmann::json doc = OnePage("", {framed, weightless});
  doc["swatches"].push_back(
      {{"name", "Mix"}, {"model", "process"}, {"cmyk", {10.9, 20.5, 33.99, 47}}});
  Open(doc);
  FieldExtraction& fields = Extract();
  ASSERT_EQ(2u, fields.Fields().size());
  EXPECT_TRUE(fields.Fields()[0]->imageBorder);
  EXPECT_DOUBLE_EQ(1.5, fields.Fields()[0]->imageBorderWidth);
  EXPECT_EQ("10 20 33 47", Text(fields.Fields()[0]->imageBorderCMYK));
  EXPECT_FALSE(fields.Fields()[1]->imageBorder);
  EXPECT_EQ("0 0 0 0", Text(fields.Fields()[1]->imageBorderCMYK));
}

// A placed file that cannot be read is an error the designer sees (the
// template would lack its image); the field is still sent and the run goes
// on. Nothing is uploaded for it, and a FIFO does not hang the run.
TEST_F(Extraction, APlacedFileThatCannotBeReadIsAnErrorAndTheFieldIsStillSent) {
  const std::string folder = files_.path() + "/folder.png";
  const std::string fifo = files_.path() + "/fifo.png";
  ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  Open(OnePage("", {GraphicFrame(10, 0, 0, 40, 40, FieldTag("Gone"), "/nowhere/gone.png"),
                    GraphicFrame(11, 50, 0, 40, 40, FieldTag("Folder"), folder),
                    GraphicFrame(12, 100, 0, 40, 40, FieldTag("Fifo"), fifo),
                    GraphicFrame(13, 150, 0, 40, 40, FieldTag("Logo"),
                                 files_.Write("logo.png", "png"))}));
  FieldExtraction& fields = Extract();
  ASSERT_EQ(4u, fields.Fields().size());
  EXPECT_EQ((std::vector<std::string>{"error: ERROR UploadFile::fopen /nowhere/gone.png",
                                      "error: ERROR UploadFile::fopen " + folder,
                                      "error: ERROR UploadFile::fopen " + fifo}),
            AlertTexts());
  EXPECT_EQ((std::vector<std::string>{"logo.png"}), Uploaded());
  EXPECT_EQ(nullptr, fields.Fields()[0]->defaultValue);
  EXPECT_EQ("logo.png", Text(fields.Fields()[3]->defaultValue));
}

TEST_F(Extraction, ClientTypeOneRewritesBarcodeTagsToTextBoxes) {
  Open(OnePage("", {TextFrame(10, 0, 0, 50, 20, "123", FieldTag("Code", "4")),
                    GraphicFrame(11, 60, 0, 40, 40, FieldTag("Pic", "4"))}));
  FieldExtractionInput input;
  input.clientType = PMString("1");
  FieldExtraction& fields = Extract(input);
  EXPECT_EQ("text", Text(fields.Fields()[0]->setup_USCOREradioFieldType));
  EXPECT_EQ(ns2__barcodeType__none, fields.Fields()[0]->barCode);
  EXPECT_EQ("image", Text(fields.Fields()[1]->setup_USCOREradioFieldType));
  standin::Document* doc = host_.GetSession().FrontDocument();
  EXPECT_EQ(FieldTag("Code", "0"), doc->FindItem(10)->label.GetUTF8String());
  EXPECT_EQ(FieldTag("Pic", "4"), doc->FindItem(11)->label.GetUTF8String());
}

TEST_F(Extraction, ServiceRecordsAreReusedByNameWhateverTheLetterCaseAndEachOnlyOnce) {
  // The service holds "Name"; the item of exactly that name takes it even
  // though an item of another letter case comes first.
  Open(OnePage("", {TextFrame(10, 0, 0, 50, 20, "a", FieldTag("NAME", "1", "promptText:::p|||")),
                    TextFrame(11, 0, 30, 50, 20, "b", FieldTag("Name")),
                    TextFrame(12, 0, 60, 50, 20, "c", FieldTag("name"))}));
  OstrFieldInfo stored;
  std::string storedName = "Name", prompt = "from the service", source = "graphic";
  stored.fieldName = &storedName;
  stored.promptText = &prompt;
  stored.setup_USCOREradioDataSource = &source;
  stored.maxLength = 42;
  ArrayOfOstrFieldInfo existing;
  existing.OstrFieldInfo = {nullptr, &stored};
  FieldExtractionInput input;
  input.existing = &existing;
  FieldExtraction& fields = Extract(input);
  ASSERT_EQ(3u, fields.Fields().size());
  // It keeps the service's name, prompt, length and data source and gets
  // the new place and type.
  EXPECT_EQ(&stored, fields.Fields()[1]);
  EXPECT_EQ("Name", *stored.fieldName);
  EXPECT_EQ("from the service", *stored.promptText);
  EXPECT_EQ(42, stored.maxLength);
  EXPECT_EQ("graphic", *stored.setup_USCOREradioDataSource);
  EXPECT_EQ(ns2__enumControlType__textBox, stored.controlType);
  EXPECT_EQ("0.000 150.000 50.000 170.000", Text(stored.pdfRect));
  // The others are new records, never the same one twice.
  EXPECT_NE(&stored, fields.Fields()[0]);
  EXPECT_NE(&stored, fields.Fields()[2]);
  EXPECT_NE(fields.Fields()[0], fields.Fields()[2]);
  EXPECT_EQ("NAME", Text(fields.Fields()[0]->fieldName));
  EXPECT_EQ(5000, fields.Fields()[0]->maxLength);

  // Without an exact match the name is matched without regard to case.
  storedName = "nAmE";
  FieldExtraction& again = Extract(input);
  EXPECT_EQ(&stored, again.Fields()[0]);
}

// Two fields whose names differ only in letter case keep their own records
// whichever comes first on the page.
TEST_F(Extraction, FieldsDifferingInLetterCaseKeepTheirOwnRecordsWhenReordered) {
  OstrFieldInfo upper, lower;
  std::string upperName = "Name", lowerName = "name";
  upper.fieldName = &upperName;
  lower.fieldName = &lowerName;
  ArrayOfOstrFieldInfo existing;
  existing.OstrFieldInfo = {&lower, &upper};
  FieldExtractionInput input;
  input.existing = &existing;
  for (bool upperFirst : {true, false}) {
    nlohmann::json a = TextFrame(10, 0, 0, 50, 20, "a", FieldTag(upperFirst ? "Name" : "name"));
    nlohmann::json b = TextFrame(11, 0, 30, 50, 20, "b", FieldTag(upperFirst ? "name" : "Name"));
    Open(OnePage("", {a, b}));
    FieldExtraction& fields = Extract(input);
    ASSERT_EQ(2u, fields.Fields().size());
    EXPECT_EQ(upperFirst ? &upper : &lower, fields.Fields()[0]) << upperFirst;
    EXPECT_EQ(upperFirst ? &lower : &upper, fields.Fields()[1]) << upperFirst;
    host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());
  }
}

TEST_F(Extraction, RefreshUpdatesPromptGroupAndTextOfReusedRecords) {
  Open(OnePage(
      "StackingGroups:::Address:::1---|||",
      {TextFrame(10, 0, 0, 50, 20, "new\u0003te\u0007xt",
                 FieldTag("Name", "0",
                          "Dependson:::Other|||MemberofGroup:::Address|||promptText:::p|||"))}));
  OstrFieldInfo stored;
  std::string name = "Name", prompt = "old", text = "old text";
  stored.fieldName = &name;
  stored.promptText = &prompt;
  stored.defaultValue = &text;
  stored.controlType = ns2__enumControlType__richText;
  ArrayOfOstrFieldInfo existing;
  existing.OstrFieldInfo = {&stored};
  logicGroup address;
  std::string addressName = "Address";
  address.logicGroupName = &addressName;
  address.logicGroupID = 7;
  ArrayOfLogicGroup groups;
  groups.logicGroup = {&address};
  FieldExtractionInput input;
  input.existing = &existing;
  input.groups = &groups;
  input.refresh = false;
  Extract(input);
  EXPECT_EQ("old", *stored.promptText);
  EXPECT_EQ("old text", *stored.defaultValue);
  EXPECT_EQ(0, stored.logicGroupID);

  input.refresh = true;
  stored.controlType = ns2__enumControlType__richText;  // as the service holds it
  Extract(input);
  EXPECT_EQ("p", Text(stored.promptText));
  EXPECT_EQ(7, stored.logicGroupID);
  EXPECT_EQ("Other", Text(stored.logicDependsOn));
  // The service called it rich text: the refreshed text goes to the HTML
  // value, without the control characters.
  EXPECT_EQ("newtext", Text(stored.setup_USCOREdefaultValueHTML));
  EXPECT_EQ(ns2__enumControlType__textBox, stored.controlType);
  EXPECT_TRUE(AlertTexts().empty());
}

TEST_F(Extraction, AGroupTheServiceDoesNotKnowIsWarnedAboutOncePerField) {
  Open(OnePage(
      "", {TextFrame(10, 0, 0, 50, 20, "a",
                     FieldTag("A", "0", "Dependson:::B|||MemberofGroup:::Address|||")),
           TextFrame(11, 0, 30, 50, 20, "b", FieldTag("B", "0", "MemberofGroup:::Phones|||"))}));
  logicGroup first, last;
  std::string phones = "Phones";
  first.logicGroupName = &phones;
  first.logicGroupID = 3;
  last.logicGroupName = &phones;
  last.logicGroupID = 4;
  ArrayOfLogicGroup groups;
  groups.logicGroup = {&first, nullptr, &last};
  FieldExtractionInput input;
  input.groups = &groups;
  FieldExtraction& fields = Extract(input);
  EXPECT_EQ((std::vector<std::string>{"warning: 0x199e00kMissingStackingGroupKeyBeginAddress"
                                      "0x199e00kMissingStackingGroupKeyEnd"}),
            AlertTexts());
  EXPECT_EQ(0, fields.Fields()[0]->logicGroupID);
  EXPECT_EQ(nullptr, fields.Fields()[0]->logicDependsOn);
  EXPECT_EQ(4, fields.Fields()[1]->logicGroupID);  // the last match

  // Without any group list every member is warned about.
  Extract();
  EXPECT_EQ(2u, AlertTexts().size());
}

TEST_F(Extraction, StackingOrderCountsFromTheFrontOfEachPageUpToAHundred) {
  nlohmann::json first = nlohmann::json::array(), second = nlohmann::json::array();
  for (unsigned i = 0; i < 103; ++i) {
    first.push_back(TextFrame(100 + i, 0, 0, 10, 10, "x", FieldTag("F" + std::to_string(i))));
  }
  second.push_back(TextFrame(300, 0, 0, 10, 10, "y", FieldTag("Back")));
  second.push_back(TextFrame(301, 0, 0, 10, 10, "z", FieldTag("Front")));
  Open(TwoPages(first, second));
  FieldExtraction& fields = Extract();
  ASSERT_EQ(105u, fields.Fields().size());
  EXPECT_TRUE(fields.OverLimit());
  EXPECT_EQ(100, fields.Fields()[0]->zOrder);
  EXPECT_EQ(100, fields.Fields()[3]->zOrder);
  EXPECT_EQ(99, fields.Fields()[4]->zOrder);
  EXPECT_EQ(1, fields.Fields()[102]->zOrder);
  EXPECT_EQ(2, fields.Fields()[103]->zOrder);
  EXPECT_EQ(1, fields.Fields()[104]->zOrder);
}

// Exactly at the limit nothing is capped; one more field is.
TEST_F(Extraction, AHundredFieldsOnAPageAreNotOverTheLimitAndAHundredAndOneAre) {
  for (unsigned count : {100u, 101u}) {
    SCOPED_TRACE(count);
    nlohmann::json items = nlohmann::json::array();
    for (unsigned i = 0; i < count; ++i) {
      items.push_back(TextFrame(100 + i, 0, 0, 10, 10, "x", FieldTag("F" + std::to_string(i))));
    }
    Open(TwoPages(items, nlohmann::json::array()));
    FieldExtraction& fields = Extract();
    ASSERT_EQ(count, fields.Fields().size());
    EXPECT_EQ(count > 100, fields.OverLimit());
    EXPECT_EQ(100, fields.Fields()[0]->zOrder);
    EXPECT_EQ(count > 100 ? 100 : 99, fields.Fields()[1]->zOrder);
  }
}

TEST_F(Extraction, ATextFieldWhoseColourCannotBeReadIsSentInBlackAndTheRestFollow) {
  nlohmann::json broken = TextFrame(10, 0, 0, 50, 20, "a", FieldTag("Broken"));
  broken["story"]["runs"][0].erase("color");
  Open(OnePage("", {broken, TextFrame(11, 0, 30, 50, 20, "b", FieldTag("After"))}));
  FieldExtraction& fields = Extract();
  ASSERT_EQ(2u, fields.Fields().size());
  EXPECT_EQ((std::vector<std::string>{"warning: 0x199e00kTextColorMissingKeyBeginBroken"
                                      "0x199e00kTextColorMissingKeyEnd"}),
            AlertTexts());
  const OstrFieldInfo& f = *fields.Fields()[0];
  EXPECT_DOUBLE_EQ(0, f.fontColorC);
  EXPECT_DOUBLE_EQ(0, f.fontColorM);
  EXPECT_DOUBLE_EQ(0, f.fontColorY);
  EXPECT_DOUBLE_EQ(100, f.fontColorK);
  EXPECT_DOUBLE_EQ(10, f.fontSize);
  EXPECT_DOUBLE_EQ(100, fields.Fields()[1]->fontColorK);
}

TEST_F(Extraction, RotatedAndSkewedItemsAreMeasuredUprightAndGetTheirShapeBack) {
  // Turned 90 degrees counter-clockwise as seen: x' = y + 90, y' = 160 - x,
  // covering x 90..110, y 60..160 around the centre (100, 110).
  nlohmann::json turned = TextFrame(10, 0, 0, 100, 20, "Turned", FieldTag("Turned"));
  turned["matrix"] = {0, -1, 1, 0, 90, 160};
  // Skewed by atan(0.5) about nothing in particular: centre (230, 40).
  nlohmann::json skewed = GraphicFrame(11, 0, 0, 40, 40, FieldTag("Skewed"));
  skewed["matrix"] = {1, 0, 0.5, 1, 200, 20};
  // Turned by 30 degrees the other way, at a place whose numbers a turn
  // there and back would not give again exactly.
  const double r = 30 * M_PI / 180;
  nlohmann::json back = GraphicFrame(12, 0, 0, 40, 20, FieldTag("Back"));
  back["matrix"] = {std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 650, 20.1};
  Open(OnePage("", {turned, skewed, back}, 300, 200));
  standin::Document* doc = host_.GetSession().FrontDocument();
  std::vector<PMMatrix> before;
  for (UID uid : {10u, 11u, 12u}) before.push_back(doc->FindItem(uid)->matrix);

  FieldExtraction& fields = Extract();
  ASSERT_EQ(3u, fields.Fields().size());
  const OstrFieldInfo& t = *fields.Fields()[0];
  EXPECT_NEAR(270, t.rotation, 1e-9);
  EXPECT_EQ("50.000 80.000 150.000 100.000", Text(t.pdfRect));
  const OstrFieldInfo& k = *fields.Fields()[1];
  EXPECT_EQ(0, k.rotation);
  EXPECT_EQ("210.000 140.000 250.000 180.000", Text(k.pdfRect));
  const OstrFieldInfo& b = *fields.Fields()[2];
  EXPECT_NEAR(390, b.rotation, 1e-9);  // -30, not reduced

  // Every item has exactly the matrix it had: measuring leaves no trace.
  for (size_t i = 0; i < before.size(); ++i) {
    const PMMatrix& after = doc->FindItem(static_cast<UID>(10 + i))->matrix;
    EXPECT_EQ(before[i].A(), after.A()) << i;
    EXPECT_EQ(before[i].B(), after.B()) << i;
    EXPECT_EQ(before[i].C(), after.C()) << i;
    EXPECT_EQ(before[i].D(), after.D()) << i;
    EXPECT_EQ(before[i].Tx(), after.Tx()) << i;
    EXPECT_EQ(before[i].Ty(), after.Ty()) << i;
  }
}

TEST_F(Extraction, BoundsAreRelativeToTheItemsOwnPage) {
  // A spread of two pages side by side; the second page starts at x = 200.
  nlohmann::json doc = OnePage("", nlohmann::json::array(), 200, 100);
  nlohmann::json second = {{"uid", 4u},
                           {"bounds", {0, 0, 200, 100}},
                           {"matrix", {1, 0, 0, 1, 200, 0}},
                           {"items", ItemList(TextFrame(10, 230, 10, 50, 20, "x", FieldTag("X")))}};
  doc["spreads"][0]["pages"].push_back(second);
  Open(doc);
  FieldExtraction& fields = Extract();
  ASSERT_EQ(1u, fields.Fields().size());
  EXPECT_EQ(2, fields.Fields()[0]->pageNumber);
  EXPECT_EQ("30.000 70.000 80.000 90.000", Text(fields.Fields()[0]->pdfRect));
}

TEST_F(Extraction, AFontIsUploadedOncePerPublishAndNamedByItsFirstField) {
  nlohmann::json items = nlohmann::json::array();
  for (unsigned i = 0; i < 10; ++i) {
    items.push_back(TextFrame(10 + i, 0, 10 * i, 50, 10, "x", FieldTag("F" + std::to_string(i))));
  }
  Open(OnePage("", items));
  FieldExtraction& fields = Extract();
  ASSERT_EQ(10u, fields.Fields().size());
  ASSERT_EQ(1u, Uploaded().size());
  EXPECT_EQ(Uploaded()[0], Text(fields.Fields()[0]->fontFileName));
  for (size_t i = 1; i < 10; ++i) EXPECT_EQ(nullptr, fields.Fields()[i]->fontFileName) << i;
  for (const OstrFieldInfo* field : fields.Fields()) {
    EXPECT_NE(std::string::npos, Text(field->fontName).find("DejaVu Sans"));
  }
  EXPECT_EQ((std::vector<std::string>{"1 " + Uploaded()[0]}), AssetNames());
  EXPECT_TRUE(AlertTexts().empty());
}

TEST_F(Extraction, AFontThatDidNotUploadIsTriedAgainByTheNextField) {
  Open(OnePage("", {TextFrame(10, 0, 0, 50, 10, "x", FieldTag("A")),
                    TextFrame(11, 0, 20, 50, 10, "y", FieldTag("B"))}));
  refused_ = {"DejaVuSans.ttf"};
  FieldExtraction& fields = Extract();
  EXPECT_EQ((std::vector<std::string>{"DejaVuSans.ttf", "DejaVuSans.ttf"}), Uploaded());
  EXPECT_EQ(nullptr, fields.Fields()[0]->fontFileName);
  EXPECT_TRUE(AssetNames().empty());
}

TEST_F(Extraction, CollectionAndProtectedFontsAreAlertedPerFieldAndNotUploaded) {
  nlohmann::json doc =
      OnePage("", {TextFrame(10, 0, 0, 50, 10, "x", FieldTag("A")),
                   TextFrame(11, 0, 20, 50, 10, "y", FieldTag("B")),
                   TextFrame(12, 0, 40, 50, 10, "z", FieldTag("C"), "DejaVu Serif", "Book")});
  doc["fonts"] = nlohmann::json::array(
      {{{"family", "DejaVu Sans"}, {"style", "Book"}, {"files", {"/fonts/Family.TTC"}}},
       {{"family", "DejaVu Serif"}, {"style", "Book"}, {"files", nlohmann::json::array()}}});
  Open(doc);
  FieldExtraction& fields = Extract();
  EXPECT_EQ((std::vector<std::string>{"info: 0x199e00kTTCFilesKey", "info: 0x199e00kTTCFilesKey",
                                      "info: 0x199e00kProtectedFilesKey"}),
            AlertTexts());
  EXPECT_TRUE(Uploaded().empty());
  for (const OstrFieldInfo* field : fields.Fields()) {
    EXPECT_EQ(nullptr, field->fontFileName);
    EXPECT_NE(nullptr, field->fontName);
  }
}

TEST_F(Extraction, AFontFileThatIsNoFontIsWarnedOnceAndNotUploaded) {
  TempDir dir;
  const std::string garbage = dir.Write("Corporate.ttf", "not a font");
  nlohmann::json doc =
      OnePage("", {TextFrame(10, 0, 0, 50, 10, "x", FieldTag("A"), "Corporate Sans", "Regular"),
                   TextFrame(11, 0, 20, 50, 10, "y", FieldTag("B"), "Corporate Sans", "Regular"),
                   TextFrame(12, 0, 40, 50, 10, "z", FieldTag("C"))});
  doc["fonts"] = nlohmann::json::array(
      {{{"family", "Corporate Sans"}, {"style", "Regular"}, {"files", {garbage}}}});
  Open(doc);
  FieldExtraction& fields = Extract();
  const auto alerts = AlertTexts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0], "warning: 0x199e00kNotAFontFileKeyBegin" + garbage +
                           "0x199e00kNotAFontFileKeyEnd");
  // Only the real font of the third field goes to the service.
  EXPECT_EQ(Uploaded(), std::vector<std::string>{"DejaVuSans.ttf"});
  ASSERT_EQ(fields.Fields().size(), 3u);
  EXPECT_EQ(nullptr, fields.Fields()[0]->fontFileName);
  EXPECT_EQ(nullptr, fields.Fields()[1]->fontFileName);
  EXPECT_EQ("Corporate Sans Regular", Text(fields.Fields()[0]->fontName));
}

// Fields inside a group that is not a field itself are not collected: one
// warning names each of them with its page, however deep it lies below
// untagged groups. A tagged group is a field; its members are not named.
TEST_F(Extraction, FieldsInsideUntaggedGroupsAreNamedInOneWarning) {
  auto group = [](unsigned uid, const std::string& label, const nlohmann::json& children) {
    nlohmann::json item = {
        {"uid", uid}, {"kind", "group"}, {"bounds", {0, 0, 50, 50}}, {"children", ItemList(children)}};
    if (!label.empty()) item["label"] = label;
    return item;
  };
  nlohmann::json contact = group(
      20, "",
      {TextFrame(21, 0, 0, 50, 10, "555", FieldTag("Phone")),
       group(22, "", {TextFrame(23, 0, 0, 50, 10, "x", FieldTag("Deep"))}),
       TextFrame(24, 0, 20, 50, 10, "mail", FieldTag("Email")),
       group(25, FieldTag("Inner"), {TextFrame(26, 0, 0, 50, 10, "y", FieldTag("Hidden"))})});
  nlohmann::json tagged =
      group(30, FieldTag("Address"), {TextFrame(31, 0, 0, 50, 10, "z", FieldTag("Street"))});
  nlohmann::json plain = group(40, "", {TextFrame(41, 0, 0, 50, 10, "plain")});
  Open(TwoPages({TextFrame(10, 0, 0, 50, 20, "a", FieldTag("Name")), contact, plain},
                {tagged, group(50, "", {GraphicFrame(51, 0, 0, 10, 10, FieldTag("Badge"))})}));
  FieldExtraction& fields = Extract();
  std::vector<std::string> names;
  for (const OstrFieldInfo* field : fields.Fields()) names.push_back(Text(field->fieldName));
  EXPECT_EQ((std::vector<std::string>{"Name", "Address"}), names);
  EXPECT_EQ((std::vector<std::string>{
                "warning: 0x199e00kGroupedFieldsBeginKey"
                "\n   \"Phone\" (0x199e00kGroupedFieldsPageKey1)"
                "\n   \"Deep\" (0x199e00kGroupedFieldsPageKey1)"
                "\n   \"Email\" (0x199e00kGroupedFieldsPageKey1)"
                "\n   \"Inner\" (0x199e00kGroupedFieldsPageKey1)"
                "\n   \"Badge\" (0x199e00kGroupedFieldsPageKey2)"
                "\n0x199e00kGroupedFieldsEndKey"}),
            AlertTexts());

  // Without such fields there is no warning.
  Open(OnePage("", {plain, tagged}));
  Extract();
  EXPECT_TRUE(AlertTexts().empty());
}

// A run that carries no horizontal or vertical scale is drawn at 100 %,
// and so is the field.
TEST_F(Extraction, ARunWithoutScalesIsSentAtAHundredPercent) {
  nlohmann::json unscaled = TextFrame(10, 0, 0, 50, 20, "a", FieldTag("Unscaled"));
  unscaled["story"]["runs"][0].erase("hscale");
  unscaled["story"]["runs"][0].erase("vscale");
  nlohmann::json narrow = TextFrame(11, 0, 30, 50, 20, "b", FieldTag("Narrow"));
  narrow["story"]["runs"][0]["hscale"] = 80;
  narrow["story"]["runs"][0]["vscale"] = 120;
  Open(OnePage("", {unscaled, narrow}));
  FieldExtraction& fields = Extract();
  ASSERT_EQ(2u, fields.Fields().size());
  EXPECT_DOUBLE_EQ(100, fields.Fields()[0]->fontHorizontalScale);
  EXPECT_DOUBLE_EQ(100, fields.Fields()[0]->fontVerticalScale);
  EXPECT_DOUBLE_EQ(80, fields.Fields()[1]->fontHorizontalScale);
  EXPECT_DOUBLE_EQ(120, fields.Fields()[1]->fontVerticalScale);
}

// The image of a field the service already holds is sent again only when
// the designer asked for a refresh.
TEST_F(Extraction, ImagesOfReusedRecordsAreUploadedAgainOnlyOnRefresh) {
  Open(OnePage("", {GraphicFrame(10, 0, 0, 40, 40, FieldTag("Logo"),
                                 files_.Write("logo.png", "png"))}));
  OstrFieldInfo stored;
  std::string name = "Logo", old = "old.png";
  stored.fieldName = &name;
  stored.defaultValue = &old;
  ArrayOfOstrFieldInfo existing;
  existing.OstrFieldInfo = {&stored};
  FieldExtractionInput input;
  input.existing = &existing;
  Extract(input);
  EXPECT_TRUE(Uploaded().empty());
  EXPECT_TRUE(AssetNames().empty());
  EXPECT_EQ("old.png", Text(stored.defaultValue));

  input.refresh = true;
  Extract(input);
  EXPECT_EQ((std::vector<std::string>{"logo.png"}), Uploaded());
  EXPECT_EQ((std::vector<std::string>{"2 logo.png"}), AssetNames());
  EXPECT_EQ("logo.png", Text(stored.defaultValue));
}

}  // namespace
}  // namespace osltest
