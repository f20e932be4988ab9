// `osl publish` end to end: the stand-in host with the built plug-in against a
// freshly started osl-service; every test checks what the service stored
// (templates, fields, groups, assets, commits, the uploaded proof PDF) and
// what the document holds afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/documents.h"
#include "tests/e2e/e2e_support.h"

namespace osltest {
namespace {

using osl_soap::OstrFieldInfo;

constexpr char kZeroGuid[] = "00000000-0000-0000-0000-000000000000";

class PublishE2e : public ::testing::Test {
 protected:
  void Start(const std::vector<std::string>& serviceArgs = {}) {
    std::string error;
    ASSERT_TRUE(world_.Start(serviceArgs, &error)) << error;
    query_ = std::make_unique<ServiceQuery>(world_.service().baseUrl());
  }

  // `osl publish` with `args` after the document.
  RunResult Publish(const std::string& doc, std::vector<std::string> args = {},
                    std::vector<std::string> before = {"--yes"}) {
    std::vector<std::string> all = before;
    all.push_back("publish");
    all.push_back(doc);
    all.insert(all.end(), args.begin(), args.end());
    return world_.Osl(all);
  }

  std::vector<const OstrFieldInfo*> FieldsOf(const std::string& doc) {
    const auto data = DocumentData(doc);
    std::string error;
    auto fields = query_->Fields(data.at("docID"), data.at("docPassword"), &error);
    EXPECT_EQ("", error);
    return fields;
  }

  static std::set<std::string> Names(const std::vector<const OstrFieldInfo*>& fields) {
    std::set<std::string> names;
    for (const auto* field : fields) names.insert(field->fieldName ? *field->fieldName : "<nil>");
    return names;
  }

  PublishWorld world_;
  std::unique_ptr<ServiceQuery> query_;
};

#define EXPECT_RAN_OK(result) \
  EXPECT_EQ(0, (result).status) << "stderr:\n" << (result).err << "\nstdout:\n" << (result).out

TEST_F(PublishE2e, ANewTemplateIsRegisteredWithFieldsGroupsAssetsAndAProofWithoutTheFields) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult run = Publish(doc);
  EXPECT_RAN_OK(run);
  EXPECT_EQ(1, CountLines(run.err, "[info] 0x199e00ksaveTemplateOKKey"));
  EXPECT_EQ(0, CountLines(run.err, "[dialog]")) << "dialog lines are for --verbose";
  EXPECT_EQ(0, CountLines(run.err, "[warning]")) << run.err;
  EXPECT_EQ(0u, run.out.find("published 'Business Card' as ")) << run.out;

  // The document holds the identifier and password the service gave.
  const auto data = DocumentData(doc);
  const auto* stored = query_->Template("Business Card");
  ASSERT_NE(nullptr, stored);
  EXPECT_EQ(stored->docID, data.at("docID"));
  EXPECT_EQ(stored->docPassword, data.at("docPassword"));
  EXPECT_NE(kZeroGuid, data.at("docID"));
  EXPECT_EQ("Business Card", data.at("docName"));
  EXPECT_TRUE(stored->isActive);
  EXPECT_EQ(1, stored->docPageCount);
  EXPECT_EQ("252", stored->docWidth);
  EXPECT_EQ("144", stored->docHeight);
  ASSERT_NE(nullptr, stored->docCategory);
  EXPECT_EQ("Miscellaneous", *stored->docCategory);

  // One record per tagged item on the pages.
  const auto fields = FieldsOf(doc);
  EXPECT_EQ((std::set<std::string>{"Email", "FullName", "JobTitle", "Logo", "Phone"}),
            Names(fields));
  const OstrFieldInfo* name = FieldNamed(fields, "FullName");
  ASSERT_NE(nullptr, name);
  ASSERT_NE(nullptr, name->pdfRect);
  EXPECT_EQ("14.000 108.000 174.000 128.000", *name->pdfRect);
  EXPECT_EQ(1, name->pageNumber);
  EXPECT_EQ(osl_soap::ns2__enumControlType__textBox, name->controlType);
  ASSERT_NE(nullptr, name->promptText);
  EXPECT_EQ("Your name", *name->promptText);
  ASSERT_NE(nullptr, name->defaultValue);
  EXPECT_EQ("Jane Doe", *name->defaultValue);
  EXPECT_DOUBLE_EQ(14, name->fontSize);
  ASSERT_NE(nullptr, name->fontName);
  EXPECT_NE(std::string::npos, name->fontName->find("DejaVu Sans"));
  EXPECT_DOUBLE_EQ(100, name->fontColorC);
  EXPECT_DOUBLE_EQ(60, name->fontColorM);
  EXPECT_DOUBLE_EQ(10, name->fontColorK);
  const OstrFieldInfo* logo = FieldNamed(fields, "Logo");
  ASSERT_NE(nullptr, logo);
  EXPECT_EQ(osl_soap::ns2__enumControlType__stdImageUpload, logo->controlType);
  ASSERT_NE(nullptr, logo->defaultValue);
  EXPECT_EQ("logo.png", *logo->defaultValue);
  EXPECT_TRUE(logo->imageBorder);
  EXPECT_DOUBLE_EQ(0.5, logo->imageBorderWidth);
  ASSERT_NE(nullptr, logo->imageBorderCMYK);
  EXPECT_EQ("100 60 0 10", *logo->imageBorderCMYK);

  const auto groups = query_->Groups(data.at("docID"), data.at("docPassword"));
  ASSERT_EQ(1u, groups.size());
  ASSERT_NE(nullptr, groups[0]->logicGroupName);
  EXPECT_EQ("Contact", *groups[0]->logicGroupName);
  EXPECT_EQ(osl_soap::ns2__eMoveDirection__moveDown, groups[0]->moveDirection);
  // Phone and Email stack in the Contact group; Phone shows only with a name.
  const OstrFieldInfo* phone = FieldNamed(fields, "Phone");
  const OstrFieldInfo* email = FieldNamed(fields, "Email");
  ASSERT_TRUE(phone && email);
  EXPECT_EQ(groups[0]->logicGroupID, phone->logicGroupID);
  EXPECT_EQ(groups[0]->logicGroupID, email->logicGroupID);
  ASSERT_NE(nullptr, phone->logicDependsOn);
  EXPECT_EQ("FullName", *phone->logicDependsOn);
  EXPECT_EQ(nullptr, email->logicDependsOn);

  // Assets: the document copy first, then the image and the fonts, the
  // proof last; committed once.
  const auto assets = StoredAssets(world_.dataDir(), data.at("docID"));
  ASSERT_GE(assets.size(), 4u);
  EXPECT_EQ(4, assets.front().type);
  EXPECT_EQ("BusinessCard.tlvd", assets.front().name);
  EXPECT_EQ(2, assets[1].type);
  EXPECT_EQ("logo.png", assets[1].name);
  for (size_t i = 2; i + 1 < assets.size(); ++i) EXPECT_EQ(1, assets[i].type) << assets[i].name;
  EXPECT_EQ(0, assets.back().type);
  EXPECT_EQ("BusinessCard.pdf", assets.back().name);
  EXPECT_EQ(1, CommitCount(world_.dataDir(), data.at("docID")));

  // The work folder keeps the copy and the proof; the proof the service
  // got shows the layout without the tagged items, fonts embedded.
  const std::string work = world_.WorkFolder();
  ASSERT_NE("", work);
  EXPECT_NE("", ReadFile(work + "BusinessCard.tlvd"));
  std::string pdf, error;
  ASSERT_TRUE(HttpGet(assets.back().url, &pdf, &error)) << error;
  EXPECT_EQ(ReadFile(work + "BusinessCard.pdf"), pdf);
  const std::string proof = world_.dataDir() + "/proof.pdf";
  {
    std::ofstream out(proof, std::ios::binary);
    out << pdf;
  }
  const std::string text = PdfText(proof);
  EXPECT_EQ(std::string::npos, text.find("Jane Doe")) << text;
  EXPECT_EQ(std::string::npos, text.find("Head of Printing")) << text;
  EXPECT_NE(std::string::npos, text.find("PRINTED")) << text;
  EXPECT_EQ(std::string::npos, text.find("555 0100")) << text;
  EXPECT_EQ(std::string::npos, text.find("jane.doe")) << text;
  const std::string fonts = PdfFonts(proof);
  EXPECT_NE(std::string::npos, fonts.find("DejaVu")) << fonts;
  EXPECT_EQ(0, CountLines(fonts, " no  ")) << fonts;  // the "emb" column

  // The tagged items are visible again in the saved document.
  EXPECT_EQ(0, CountLines(ReadFile(doc), "\"visible\": false"));
}

TEST_F(PublishE2e, ASecondPublishUpdatesTheSameTemplateAndReusesItsFields) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  EXPECT_RAN_OK(Publish(doc));
  const auto first = DocumentData(doc);
  const RunResult again = Publish(doc);
  EXPECT_RAN_OK(again);
  EXPECT_EQ(1, CountLines(again.err, "[info] 0x199e00kupdateTemplateOKKey"));
  EXPECT_EQ(0, CountLines(again.err, "[ask]"));
  const auto second = DocumentData(doc);
  EXPECT_EQ(first.at("docID"), second.at("docID"));
  EXPECT_EQ(first.at("docPassword"), second.at("docPassword"));
  EXPECT_EQ(1u, query_->Templates().size());
  EXPECT_EQ((std::set<std::string>{"Email", "FullName", "JobTitle", "Logo", "Phone"}),
            Names(FieldsOf(doc)));
  EXPECT_EQ(2, CommitCount(world_.dataDir(), second.at("docID")));
}

TEST_F(PublishE2e, ATemplateOfTheSameNameIsReplacedOnlyWhenTheUserSaysYes) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string first = world_.CopyExample("business-card.tlvd");
  EXPECT_RAN_OK(Publish(first));
  const std::string id = DocumentData(first).at("docID");

  // A document never published, under the same name.
  const std::string second = world_.WriteDocument("other.tlvd", ReadDocument(first));
  nlohmann::json fresh = ReadDocument(second);
  fresh["label"] = "clientType:::0|||docName:::Business Card|||";
  world_.WriteDocument("other.tlvd", fresh);

  const RunResult declined = Publish(second, {}, {"--no"});
  EXPECT_EQ(0, declined.status) << declined.err;
  EXPECT_EQ(1, CountLines(declined.err, "[ask] Business Card0x199e00koverrideTemplateKey"));
  EXPECT_EQ(0, CountLines(declined.err, "0x199e00ksaveTemplateOKKey"));
  const auto cleared = DocumentData(second);
  EXPECT_EQ("", cleared.at("docID"));
  EXPECT_EQ("", cleared.at("docPassword"));
  EXPECT_EQ("", cleared.at("docName"));
  EXPECT_EQ(1u, query_->Templates().size());
  EXPECT_EQ(1, CommitCount(world_.dataDir(), id));

  world_.WriteDocument("other.tlvd", fresh);
  const RunResult accepted = Publish(second);
  EXPECT_RAN_OK(accepted);
  EXPECT_EQ(1, CountLines(accepted.err, "[ask] Business Card0x199e00koverrideTemplateKey"));
  EXPECT_EQ(1, CountLines(accepted.err, "[info] 0x199e00kupdateTemplateOKKey"));
  EXPECT_EQ(id, DocumentData(second).at("docID"));
  EXPECT_EQ(1u, query_->Templates().size());
  EXPECT_EQ(2, CommitCount(world_.dataDir(), id));
}

TEST_F(PublishE2e, PublishAsNewMakesASecondTemplate) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult refused = Publish(doc, {"--as-new"});
  EXPECT_EQ(2, refused.status) << refused.err;  // never published: the item is disabled
  EXPECT_RAN_OK(Publish(doc));
  const std::string oldID = DocumentData(doc).at("docID");

  const RunResult copy = Publish(doc, {"--as-new", "--name", "Card Copy"});
  EXPECT_RAN_OK(copy);
  EXPECT_EQ(1, CountLines(copy.err, "[info] 0x199e00ksaveTemplateOKKey"));
  const auto data = DocumentData(doc);
  EXPECT_NE(oldID, data.at("docID"));
  EXPECT_EQ("Card Copy", data.at("docName"));
  EXPECT_EQ(2u, query_->Templates().size());
  ASSERT_NE(nullptr, query_->Template("Card Copy"));
  EXPECT_EQ(data.at("docID"), query_->Template("Card Copy")->docID);
  EXPECT_EQ(5u, FieldsOf(doc).size());
}

TEST_F(PublishE2e, ANewTemplateWithoutFieldsMakesNoSetFieldsCall) {
  // Any setFields call would fail the first run.
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:soap-fault:1"}));
  const std::string doc =
      world_.WriteDocument("plain.tlvd", OnePage("", {TextFrame(10, 10, 10, 100, 20, "Hello")}));
  const RunResult run = Publish(doc, {"--name", "Plain"});
  EXPECT_RAN_OK(run);
  EXPECT_EQ(1, CountLines(run.err, "[info] 0x199e00ksaveTemplateOKKey"));
  EXPECT_TRUE(FieldsOf(doc).empty());
}

// A template with fields whose document lost its tags: the service's fields go.
TEST_F(PublishE2e, ATemplateWhoseDocumentLostItsTagsLosesItsFields) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string tagged = world_.WriteDocument(
      "tagged.tlvd", OnePage("", {TextFrame(10, 10, 10, 100, 20, "Hello", FieldTag("Greeting"))}));
  EXPECT_RAN_OK(Publish(tagged, {"--name", "Tagged"}));
  EXPECT_EQ(1u, FieldsOf(tagged).size());
  nlohmann::json untagged = ReadDocument(tagged);
  untagged["spreads"][0]["pages"][0]["items"][0].erase("label");
  world_.WriteDocument("tagged.tlvd", untagged);
  const RunResult emptied = Publish(tagged);
  EXPECT_RAN_OK(emptied);
  EXPECT_EQ(1, CountLines(emptied.err, "[info] 0x199e00kupdateTemplateOKKey"));
  EXPECT_TRUE(FieldsOf(tagged).empty());
}

TEST_F(PublishE2e, WithoutStackingGroupsNoGroupCallIsMade) {
  ASSERT_NO_FATAL_FAILURE(
      Start({"--fault", "getLogicGroups:soap-fault", "--fault", "setLogicGroups:soap-fault"}));
  const std::string doc = world_.WriteDocument(
      "nogroups.tlvd",
      OnePage("", {TextFrame(10, 10, 10, 100, 20, "Hello", FieldTag("Greeting"))}));
  EXPECT_RAN_OK(Publish(doc, {"--name", "No Groups"}));
  EXPECT_EQ(1u, FieldsOf(doc).size());
}

TEST_F(PublishE2e, AFieldInAGroupTheServiceDoesNotKnowIsWarnedAboutAndPublished) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string groupsLabel = "StackingGroups:::Address:::1---Phones:::0---|||";
  const std::string doc = world_.WriteDocument(
      "groups.tlvd",
      OnePage(groupsLabel,
              {TextFrame(10, 10, 10, 100, 20, "Street",
                         FieldTag("Street", "0", "Dependson:::Name|||MemberofGroup:::Address|||")),
               TextFrame(11, 10, 40, 100, 20, "Fax",
                         FieldTag("Fax", "0", "Dependson:::Name|||MemberofGroup:::Faxes|||")),
               TextFrame(12, 10, 70, 100, 20, "Jane", FieldTag("Name"))}));
  const RunResult run = Publish(doc, {"--name", "Groups"});
  EXPECT_RAN_OK(run);
  EXPECT_EQ(1, CountLines(run.err,
                          "[warning] 0x199e00kMissingStackingGroupKeyBeginFaxes"
                          "0x199e00kMissingStackingGroupKeyEnd"));
  EXPECT_EQ(1, CountLines(run.err, "[warning]"));
  const auto data = DocumentData(doc);
  const auto groups = query_->Groups(data.at("docID"), data.at("docPassword"));
  ASSERT_EQ(2u, groups.size());
  int addressID = 0;
  for (const auto* group : groups) {
    if (*group->logicGroupName == "Address") addressID = group->logicGroupID;
    EXPECT_EQ(*group->logicGroupName == "Address" ? osl_soap::ns2__eMoveDirection__moveDown
                                                  : osl_soap::ns2__eMoveDirection__moveUp,
              group->moveDirection);
  }
  ASSERT_NE(0, addressID);
  const auto fields = FieldsOf(doc);
  const OstrFieldInfo* street = FieldNamed(fields, "Street");
  const OstrFieldInfo* fax = FieldNamed(fields, "Fax");
  ASSERT_TRUE(street && fax);
  EXPECT_EQ(addressID, street->logicGroupID);
  ASSERT_NE(nullptr, street->logicDependsOn);
  EXPECT_EQ("Name", *street->logicDependsOn);
  EXPECT_EQ(0, fax->logicGroupID);
  EXPECT_EQ(nullptr, fax->logicDependsOn);

  // A document without any stacking group: the same warning.
  const std::string none = world_.WriteDocument(
      "none.tlvd", OnePage("", {TextFrame(10, 10, 10, 100, 20, "Street",
                                          FieldTag("Street", "0", "MemberofGroup:::Address|||"))}));
  const RunResult lonely = Publish(none, {"--name", "Lonely"});
  EXPECT_RAN_OK(lonely);
  EXPECT_EQ(1, CountLines(lonely.err, "[warning] 0x199e00kMissingStackingGroupKeyBeginAddress"));
}

TEST_F(PublishE2e, ClientTypeOnePublishesBarcodesAsTextBoxesAndRewritesTheirTags) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.WriteDocument(
      "barcode.tlvd", OnePage("", {TextFrame(10, 10, 10, 100, 20, "12345", FieldTag("Code", "4")),
                                   GraphicFrame(11, 150, 10, 50, 50, FieldTag("Area", "3"))}));
  EXPECT_RAN_OK(Publish(doc, {"--name", "Codes", "--client-type", "0"}));
  auto fields = FieldsOf(doc);
  const OstrFieldInfo* code = FieldNamed(fields, "Code");
  ASSERT_NE(nullptr, code);
  EXPECT_EQ(osl_soap::ns2__barcodeType__qrCode, code->barCode);
  EXPECT_EQ("barcode", *code->setup_USCOREradioFieldType);
  const OstrFieldInfo* area = FieldNamed(fields, "Area");
  ASSERT_NE(nullptr, area);
  EXPECT_EQ(osl_soap::ns2__enumControlType__stdImageUpload, area->controlType);
  EXPECT_EQ("nonprint", *area->setup_USCOREradioFieldType);
  EXPECT_EQ("graphic", *area->setup_USCOREradioDataSource);
  EXPECT_EQ(FieldTag("Code", "4"),
            ReadDocument(doc)["spreads"][0]["pages"][0]["items"][0]["label"].get<std::string>());

  EXPECT_RAN_OK(Publish(doc, {"--client-type", "1", "--refresh"}));
  EXPECT_EQ("1", DocumentData(doc).at("clientType"));
  EXPECT_EQ(FieldTag("Code", "0"),
            ReadDocument(doc)["spreads"][0]["pages"][0]["items"][0]["label"].get<std::string>());
  fields = FieldsOf(doc);
  code = FieldNamed(fields, "Code");
  ASSERT_NE(nullptr, code);
  EXPECT_EQ(osl_soap::ns2__enumControlType__textBox, code->controlType);
  EXPECT_EQ("text", *code->setup_USCOREradioFieldType);
  EXPECT_EQ("textBox", *code->setup_USCOREcontrolTypeDDValue);
}

TEST_F(PublishE2e, AHundredAndTwentyFieldsOnOnePageCapTheStackingOrderAtAHundred) {
  ASSERT_NO_FATAL_FAILURE(Start());
  nlohmann::json items = nlohmann::json::array();
  for (unsigned i = 0; i < 120; ++i) {
    items.push_back(TextFrame(100 + i, 10 + (i % 10) * 40, 10 + (i / 10) * 30, 35, 20,
                              "F" + std::to_string(i), FieldTag("Field" + std::to_string(i))));
  }
  const std::string doc = world_.WriteDocument("many.tlvd", OnePage("", items, 500, 400));
  const RunResult run = Publish(doc, {"--name", "Many"});
  EXPECT_RAN_OK(run);
  EXPECT_EQ(1, CountLines(run.err, "[info] 0x199e00koverfieldsKey"));
  const auto fields = FieldsOf(doc);
  ASSERT_EQ(120u, fields.size());
  int capped = 0;
  for (const auto* field : fields) {
    const int index = std::stoi(field->fieldName->substr(5));
    // The last item on the page is in front: order 1.
    EXPECT_EQ(std::min(120 - index, 100), field->zOrder) << *field->fieldName;
    if (field->zOrder == 100) ++capped;
  }
  EXPECT_EQ(21, capped);  // the 100th and the 20 behind it
  // One font for all of them: uploaded once, named by the first field only.
  const auto assets = StoredAssets(world_.dataDir(), DocumentData(doc).at("docID"));
  int fontAssets = 0;
  for (const auto& asset : assets) fontAssets += asset.type == 1;
  EXPECT_EQ(1, fontAssets);
  int withFile = 0;
  for (const auto* field : fields) withFile += field->fontFileName != nullptr;
  EXPECT_EQ(1, withFile);
  EXPECT_NE(nullptr, FieldNamed(fields, "Field0")->fontFileName);
}

TEST_F(PublishE2e, CollectionAndProtectedFontsAreAlertedAndNotUploaded) {
  ASSERT_NO_FATAL_FAILURE(Start());
  // A collection file (by its upper-case extension) and a font the document
  // says has no files to hand out.
  const std::string collection = world_.dataDir() + "/Family.TTC";
  {
    std::ofstream out(collection, std::ios::binary);
    out << ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  }
  nlohmann::json doc = OnePage(
      "", {TextFrame(10, 10, 10, 100, 20, "One", FieldTag("One"), "DejaVu Sans", "Book"),
           TextFrame(11, 10, 40, 100, 20, "Two", FieldTag("Two"), "DejaVu Sans", "Book"),
           TextFrame(12, 10, 70, 100, 20, "Three", FieldTag("Three"), "DejaVu Serif", "Book")});
  doc["fonts"] = nlohmann::json::array(
      {{{"family", "DejaVu Sans"}, {"style", "Book"}, {"files", {collection}}},
       {{"family", "DejaVu Serif"}, {"style", "Book"}, {"files", nlohmann::json::array()}}});
  const std::string path = world_.WriteDocument("fonts.tlvd", doc);
  const RunResult run = Publish(path, {"--name", "Fonts"});
  EXPECT_RAN_OK(run);
  EXPECT_EQ(2, CountLines(run.err, "[info] 0x199e00kTTCFilesKey")) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[info] 0x199e00kProtectedFilesKey")) << run.err;
  for (const auto& asset : StoredAssets(world_.dataDir(), DocumentData(path).at("docID"))) {
    EXPECT_NE(1, asset.type) << asset.name;
  }
  const auto fields = FieldsOf(path);
  ASSERT_EQ(3u, fields.size());
  for (const auto* field : fields) {
    EXPECT_EQ(nullptr, field->fontFileName) << *field->fieldName;
    EXPECT_NE(nullptr, field->fontName) << *field->fieldName;
  }
}

TEST_F(PublishE2e, RotatedAndSkewedItemsAreMeasuredUprightAndKeepTheirShape) {
  ASSERT_NO_FATAL_FAILURE(Start());
  nlohmann::json turned = TextFrame(10, 0, 0, 100, 20, "Turned", FieldTag("Turned"));
  // Turned 90 degrees counter-clockwise as seen: x' = y + 90,
  // y' = 160 - x, so it covers x 90..110, y 60..160, centre (100, 110).
  turned["matrix"] = {0, -1, 1, 0, 90, 160};
  nlohmann::json skewed = GraphicFrame(11, 0, 0, 40, 40, FieldTag("Skewed"));
  skewed["matrix"] = {1, 0, 0.5, 1, 200, 20};  // 26.57 degrees of horizontal skew
  const std::string doc =
      world_.WriteDocument("turned.tlvd", OnePage("", {turned, skewed}, 300, 200));
  const std::string before = ReadDocument(doc)["spreads"].dump();
  EXPECT_RAN_OK(Publish(doc, {"--name", "Turned"}));
  const auto fields = FieldsOf(doc);
  const OstrFieldInfo* t = FieldNamed(fields, "Turned");
  ASSERT_NE(nullptr, t);
  EXPECT_NEAR(270, t->rotation, 1e-6);
  // Upright about its centre: x 50..150, y 100..120 on a page 200 high.
  EXPECT_EQ("50.000 80.000 150.000 100.000", *t->pdfRect);
  EXPECT_EQ(osl_soap::ns2__rotatationPointEnum__center, t->rotationPoint);
  const OstrFieldInfo* s = FieldNamed(fields, "Skewed");
  ASSERT_NE(nullptr, s);
  EXPECT_NEAR(0, s->rotation, 1e-6);
  // Unskewed about its centre (230, 40): the 40 x 40 box around it.
  EXPECT_EQ("210.000 140.000 250.000 180.000", *s->pdfRect);

  // The items are back exactly as they were, not merely to rounding.
  const nlohmann::json after = ReadDocument(doc)["spreads"][0]["pages"][0]["items"];
  const nlohmann::json original = nlohmann::json::parse(before)[0]["pages"][0]["items"];
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(original[i]["matrix"], after[i]["matrix"]) << i;
}

TEST_F(PublishE2e, ANameWithoutLettersOrDigitsGivesFilesAFallbackName) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.WriteDocument(
      "dots.tlvd", OnePage("", {TextFrame(10, 10, 10, 100, 20, "Hi", FieldTag("Hi"))}));
  EXPECT_RAN_OK(Publish(doc, {"--name", "--- ..."}));
  const std::string work = world_.WorkFolder();
  EXPECT_NE("", ReadFile(work + "template.tlvd"));
  EXPECT_NE("", ReadFile(work + "template.pdf"));
  EXPECT_EQ("", ReadFile(work + ".pdf"));
  const auto assets = StoredAssets(world_.dataDir(), DocumentData(doc).at("docID"));
  ASSERT_GE(assets.size(), 2u);
  EXPECT_EQ("template.tlvd", assets.front().name);
  EXPECT_EQ("template.pdf", assets.back().name);
}

// Failures a script must not take for success: a placed image that cannot
// be read and a proof that cannot be exported are error alerts, and `osl`
// exits 1.
TEST_F(PublishE2e, AnUnreadableImageOrAFailedProofMakesTheRunFail) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string missing = world_.WriteDocument(
      "missing.tlvd",
      OnePage("", {GraphicFrame(10, 10, 10, 50, 50, FieldTag("Photo"), "gone/photo.png")}));
  const RunResult run = Publish(missing, {"--name", "Missing"});
  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[error] ERROR UploadFile::fopen ")) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[info] 0x199e00ksaveTemplateOKKey")) << run.err;

  nlohmann::json pageless = OnePage("", nlohmann::json::array());
  pageless["spreads"] = nlohmann::json::array();
  const std::string empty = world_.WriteDocument("empty.tlvd", pageless);
  const RunResult proof = Publish(empty, {"--name", "Empty"});
  EXPECT_EQ(1, proof.status) << proof.err;
  EXPECT_EQ(1, CountLines(proof.err, "[error] ********")) << proof.err;
  EXPECT_EQ(0, CountLines(proof.err, "TemplateOKKey")) << proof.err;
}

TEST_F(PublishE2e, ASlowServiceWithinTheTimeLimitsIsWaitedFor) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "setFields:delay", "--delay-ms", "300"}));
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult run = Publish(doc);
  EXPECT_RAN_OK(run);
  EXPECT_EQ(5u, FieldsOf(doc).size());
}

TEST_F(PublishE2e, AFailedUploadOfTheDocumentCopyStopsBeforeAnythingIsCommitted) {
  ASSERT_NO_FATAL_FAILURE(Start({"--fault", "upload:http-503:1"}));
  const std::string doc = world_.CopyExample("business-card.tlvd");
  const RunResult run = Publish(doc);
  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[error] 0x199e00kuploadFailedKeyBusinessCard.tlvd")) << run.err;
  const std::string id = DocumentData(doc).at("docID");
  EXPECT_EQ(0, CommitCount(world_.dataDir(), id));
  EXPECT_TRUE(StoredAssets(world_.dataDir(), id).empty());
}

// Field names that differ only after a NUL would reach the service as one
// name, and U+0001 would fail at setFields with a fault that names no field:
// the publish stops before anything is sent, naming the fields.
TEST_F(PublishE2e, FieldNamesWithControlCharactersArePublishedNowhere) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.WriteDocument(
      "nul.tlvd",
      OnePage("", {TextFrame(10, 10, 10, 100, 20, "A", FieldTag(std::string("Full\0A", 6))),
                   TextFrame(11, 10, 40, 100, 20, "B", FieldTag(std::string("Full\0B", 6))),
                   TextFrame(12, 10, 70, 100, 20, "C", FieldTag("Start\x01"))}));
  const RunResult run = Publish(doc);
  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_EQ(1, CountLines(run.err, "[error] 0x199e00kcontrolcharsbeginKey")) << run.err;
  for (const char* shown : {"   \"Full\\x00A\"", "   \"Full\\x00B\"", "   \"Start\\x01\""}) {
    EXPECT_NE(std::string::npos, run.err.find(shown)) << shown << "\n" << run.err;
  }
  EXPECT_EQ(0, CountLines(run.err, "[ask]")) << run.err;
  EXPECT_TRUE(query_->Templates().empty());
}

TEST_F(PublishE2e, CheckListsRepeatedNamesWithoutAskingAndPublishesNothing) {
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::string doc = world_.WriteDocument(
      "twice.tlvd", OnePage("docName:::Twice|||",
                            {TextFrame(10, 10, 10, 100, 20, "A", FieldTag("Same")),
                             TextFrame(11, 10, 40, 100, 20, "B", FieldTag("Same")),
                             TextFrame(12, 10, 70, 100, 20, "C", FieldTag("same"))}));
  RunResult run = world_.Osl({"check", doc});
  EXPECT_EQ(1, run.status) << run.err;
  EXPECT_EQ(0, CountLines(run.err, "[ask]"));
  EXPECT_EQ(1, CountLines(run.out, "error OSL001 uid 11 page 1 field \"Same\""));
  EXPECT_EQ(1, CountLines(run.out, "warning OSL002 uid 12 page 1 field \"same\""));
  EXPECT_EQ(1, CountLines(run.out, "1 error, 1 warning"));
  const std::string clean = world_.CopyExample("business-card.tlvd");
  run = world_.Osl({"check", clean});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(0, CountLines(run.err, "[ask]"));
  EXPECT_NE(std::string::npos, run.out.find("no findings")) << run.out;
  EXPECT_TRUE(query_->Templates().empty());
}

}  // namespace
}  // namespace osltest
