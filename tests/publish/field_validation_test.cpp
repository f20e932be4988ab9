// The field-name check: which names count as repeated, how the report reads,
// and what the user's answer decides.
#include "publish/field_validation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Utils.h"
#include "publish/page_items.h"
#include "tests/e2e/documents.h"
#include "tests/publish/publish_fixture.h"

namespace osltest {
namespace {

class FieldNames : public PublishTest {
 protected:
  std::string Report() {
    Utils<ILayoutUIUtils> layout;
    IDocument* document = layout->GetFrontDocument();
    UIDList items(document->GetDocDataBase());
    CollectPageItems(document, &items);
    return DuplicateFieldNames(items).GetUTF8String();
  }
};

nlohmann::json Named(unsigned uid, const std::string& name) {
  return TextFrame(uid, 0, 0, 10, 10, "x", name.empty() ? "promptText:::p|||" : FieldTag(name));
}

TEST_F(FieldNames, CaseAndTrailingSpacesMakeDifferentNames) {
  Open(OnePage("", {Named(10, "Name"), Named(11, "name"), Named(12, "Name "), Named(13, "NAME")}));
  EXPECT_EQ("", Report());
  EXPECT_TRUE(CheckFieldNames());
  EXPECT_TRUE(AlertTexts().empty());
}

TEST_F(FieldNames, EachLaterOccurrenceIsOneEntryAndUnnamedItemsNone) {
  nlohmann::json group = {{"uid", 20u},
                          {"kind", "group"},
                          {"bounds", {0, 0, 10, 10}},
                          {"children", ItemList(Named(21, "A"))}};
  Open(OnePage("", {Named(10, "A"), Named(11, ""), Named(12, "B"), Named(13, "A"), Named(14, ""),
                    Named(15, "B"), Named(16, "A"), group}));
  EXPECT_EQ("\n   \"A\"\n   \"B\"\n   \"A\"", Report());
}

TEST_F(FieldNames, TheUserDecidesAboutRepeatedNames) {
  Open(OnePage("", {Named(10, "Same"), Named(11, "Same")}));
  host_.AlertLog().SetAnswers({"no", "yes"});
  EXPECT_FALSE(CheckFieldNames());
  EXPECT_TRUE(CheckFieldNames());
  const std::vector<standin::AlertRecord> alerts = Alerts();
  ASSERT_EQ(2u, alerts.size());
  EXPECT_EQ(standin::AlertKind::kAsk, alerts[0].kind);
  EXPECT_EQ("0x199e00kduplicatesbeginKey\n   \"Same\"\n0x199e00kduplicatesendKey", alerts[0].text);
}

TEST_F(FieldNames, WithoutADocumentTheCheckFailsSilently) {
  EXPECT_FALSE(CheckFieldNames());
  EXPECT_TRUE(AlertTexts().empty());
}

// A name typed into the field panel and not yet committed (the box still
// has the focus) is written into the tag before the check reads the tags.
TEST_F(FieldNames, ThePanelsPendingEditCountsForTheCheck) {
  standin::Document* doc = Open(OnePage("", {Named(10, "First"), Named(11, "Second")}));
  std::string error;
  ASSERT_TRUE(host_.Panels().Show(kOslPluginID, kOslFieldPanelRsrcID, &error)) << error;
  standin::WidgetNode* panel = host_.Panels().GetPanel(kOslPluginID, kOslFieldPanelRsrcID, &error);
  ASSERT_TRUE(panel) << error;
  Selection().SelectItems(doc, {11});
  standin::WidgetNode* name = panel->Find(kOslFieldNameWidgetID, 9999);
  ASSERT_TRUE(name);
  ASSERT_EQ("Second", name->text.GetUTF8String());
  name->text = PMString("First");  // typed, not committed
  ASSERT_EQ(FieldTag("Second"), doc->FindItem(11)->label.GetUTF8String());

  host_.AlertLog().SetAnswers({"no"});
  EXPECT_FALSE(CheckFieldNames());
  EXPECT_EQ(std::vector<std::string>{"ask: 0x199e00kduplicatesbeginKey\n   \"First\"\n"
                                     "0x199e00kduplicatesendKey"},
            AlertTexts());
  EXPECT_NE(std::string::npos, doc->FindItem(11)->label.GetUTF8String().find("fieldName:::First|||"));
}

// Names with control characters cannot reach the service intact (a NUL ends
// the name there, so these two would both be stored as "Full"); the check
// refuses them, naming each, before the duplicate question.
TEST_F(FieldNames, NamesWithControlCharactersStopThePublishNamingTheField) {
  Open(OnePage("", {Named(10, std::string("Full\0A", 6)), Named(11, std::string("Full\0B", 6)),
                    Named(12, "Start\x01"), Named(13, "Fine"), Named(14, "Tab\tbed"),
                    Named(15, "C1\xc2\x85")}));
  host_.AlertLog().SetAnswers({"yes"});  // no question may be asked
  EXPECT_FALSE(CheckFieldNames());
  EXPECT_EQ(std::vector<std::string>{"error: 0x199e00kcontrolcharsbeginKey"
                                     "\n   \"Full\\x00A\""
                                     "\n   \"Full\\x00B\""
                                     "\n   \"Start\\x01\""
                                     "\n   \"Tab\\x09bed\""
                                     "\n   \"C1\\u0085\""
                                     "\n0x199e00kcontrolcharsendKey"},
            AlertTexts());
}

// Where names are typed (the field panel) only ASCII letters are kept, so a
// control character typed or pasted never reaches the tag.
TEST_F(FieldNames, ControlCharactersTypedIntoThePanelAreNotStored) {
  standin::Document* doc = Open(OnePage("", {Named(10, "First"), Named(11, "Second")}));
  std::string error;
  ASSERT_TRUE(host_.Panels().Show(kOslPluginID, kOslFieldPanelRsrcID, &error)) << error;
  standin::WidgetNode* panel = host_.Panels().GetPanel(kOslPluginID, kOslFieldPanelRsrcID, &error);
  ASSERT_TRUE(panel) << error;
  Selection().SelectItems(doc, {11});
  standin::WidgetNode* name = panel->Find(kOslFieldNameWidgetID, 9999);
  ASSERT_TRUE(name);
  name->text = PMString(std::u16string(u"Full\0A\x01\x85", 8));  // typed, not committed
  EXPECT_TRUE(CheckFieldNames());
  EXPECT_TRUE(AlertTexts().empty());
  EXPECT_NE(std::string::npos, doc->FindItem(11)->label.GetUTF8String().find("fieldName:::FullA|||"));
}

}  // namespace
}  // namespace osltest
