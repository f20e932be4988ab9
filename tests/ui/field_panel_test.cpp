// The field panel and its selection observer, driven through the stand-in's
// widgets with the plug-in's observer bound to the panel by its resources.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/ITextControlData.h"
#include "plugin_base/osl_id.h"
#include "tests/ui/ui_test_support.h"
#include "ui/field_panel_observer.h"

namespace osltest {
namespace {

constexpr WidgetID kSixFieldWidgets[] = {kOslFieldNameLabelWidgetID,   kOslFieldNameWidgetID,
                                         kOslPromptTextLabelWidgetID,  kOslPromptTextWidgetID,
                                         kOslControlTypeLabelWidgetID, kOslControlTypeWidgetID};

class FieldPanel : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    doc_ = Open(SampleDocument());
  }

  // Selects `uids` and shows the panel (a shown panel follows the selection).
  standin::WidgetNode* Select(const std::vector<UID>& uids) {
    Selection().SelectItems(doc_, uids);
    return panel_ = ShowFieldPanel();
  }

  std::string Text(WidgetID id) { return Node(panel_, id)->text.GetUTF8String(); }
  int32 Selected() { return Node(panel_, kOslControlTypeWidgetID)->selected; }
  std::vector<std::string> ListTexts() { return Entries(Node(panel_, kOslControlTypeWidgetID)); }
  std::vector<std::string> Translated(const std::vector<const char*>& keys) {
    std::vector<std::string> texts;
    for (const char* key : keys) texts.push_back(host_.Strings().Lookup(key));
    return texts;
  }
  std::vector<std::string> TextList() {
    return Translated({"0x199e00kOslTypeKeyBox", "0x199e00kOslTypeKeyArea",
                       "0x199e00kOslTypeKeyRich", "0x199e00kOslTypeKeyBarcode"});
  }
  std::vector<std::string> GraphicList() {
    return Translated({"0x199e00kOslTypeKeyStandardimageupload",
                       "0x199e00kOslTypeKeyAdvancedimageupload",
                       "0x199e00kOslTypeKeyNonprintable"});
  }
  void ExpectFieldWidgetsEnabled(bool enabled) {
    for (WidgetID id : kSixFieldWidgets) EXPECT_EQ(enabled, Node(panel_, id)->enabled) << id;
  }
  // Acts on the panel as the designer does.
  void Edit(const std::string& steps) {
    standin::DialogScript script;
    std::string error;
    ASSERT_TRUE(standin::ParseDialogScript(steps, &script, &error)) << error;
    ASSERT_TRUE(standin::ViewDriver(*panel_).Run(script, &error)) << error;
  }

  standin::Document* doc_ = nullptr;
  standin::WidgetNode* panel_ = nullptr;
};

TEST_F(FieldPanel, NothingOrSeveralSelectedDisablesAndEmptiesTheFieldControls) {
  SetLabel(doc_, 11, "controlType:::1|||fieldName:::Photo|||promptText:::Your photo|||");
  for (const std::vector<UID>& uids :
       {std::vector<UID>{}, std::vector<UID>{10, 11}, std::vector<UID>{12}}) {
    Select(uids);
    ExpectFieldWidgetsEnabled(false);
    EXPECT_EQ("", Text(kOslFieldNameWidgetID));
    EXPECT_EQ("", Text(kOslPromptTextWidgetID));
    EXPECT_EQ(GraphicList(), ListTexts());
    EXPECT_EQ(-1, Selected());
    EXPECT_EQ(host_.Strings().Lookup("0x199e00kVoidTemplateKey"), Text(kOslTemplateNameWidgetID));
  }
  // Refreshing wrote nothing.
  EXPECT_EQ("controlType:::0|||fieldName:::Name|||", LabelOf(doc_, 10));
}

TEST_F(FieldPanel, ATextFrameOrTextSelectionShowsItsTagWithTheTextList) {
  SetLabel(doc_, 10, "controlType:::3|||fieldName:::City|||promptText:::Your city|||");
  Select({10});
  ExpectFieldWidgetsEnabled(true);
  EXPECT_EQ("City", Text(kOslFieldNameWidgetID));
  EXPECT_EQ("Your city", Text(kOslPromptTextWidgetID));
  EXPECT_EQ(TextList(), ListTexts());
  EXPECT_EQ(2, Selected());  // code 3: rich text

  Selection().SelectText(doc_, 10);
  ExpectFieldWidgetsEnabled(true);
  EXPECT_EQ("City", Text(kOslFieldNameWidgetID));
  EXPECT_EQ(TextList(), ListTexts());
  EXPECT_EQ(2, Selected());

  // The never-offered code 2 shows as the third entry as well.
  SetLabel(doc_, 14, "controlType:::2|||fieldName:::Pick|||");
  Selection().SelectItems(doc_, {14});
  EXPECT_EQ(2, Selected());
  EXPECT_EQ("Pick", Text(kOslFieldNameWidgetID));
}

TEST_F(FieldPanel, AGraphicFrameShowsTheGraphicList) {
  SetLabel(doc_, 11, "controlType:::3|||fieldName:::Logo|||");
  Select({11});
  ExpectFieldWidgetsEnabled(true);
  EXPECT_EQ(GraphicList(), ListTexts());
  EXPECT_EQ(2, Selected());  // code 3: non-printable area
  EXPECT_EQ("Logo", Text(kOslFieldNameWidgetID));
  // Any other single item (a group) gets the graphic list too.
  Selection().SelectItems(doc_, {13});
  ExpectFieldWidgetsEnabled(true);
  EXPECT_EQ(GraphicList(), ListTexts());
  EXPECT_EQ(0, Selected());
  EXPECT_EQ("", Text(kOslFieldNameWidgetID));
}

TEST_F(FieldPanel, ListPositionsAreStoredAsCodes) {
  Select({10});
  Edit("select 0x199E03 3");
  EXPECT_EQ("controlType:::4|||fieldName:::Name|||promptText:::|||", LabelOf(doc_, 10));
  Edit("select 0x199E03 2");
  EXPECT_EQ("controlType:::3|||fieldName:::Name|||promptText:::|||", LabelOf(doc_, 10));
  Edit("select 0x199E03 1");
  EXPECT_EQ("controlType:::1|||fieldName:::Name|||promptText:::|||", LabelOf(doc_, 10));

  Select({11});
  Edit("select 0x199E03 2");
  EXPECT_EQ("controlType:::3|||fieldName:::|||promptText:::|||", LabelOf(doc_, 11));
  // Reading back: the stored code shows at its position again.
  Selection().SelectItems(doc_, {10});
  EXPECT_EQ(1, Selected());
  Selection().SelectItems(doc_, {11});
  EXPECT_EQ(2, Selected());
}

TEST_F(FieldPanel, TheFieldNameKeepsOnlyAsciiLettersAndTheBoxFollows) {
  Select({10});
  Edit("text 0x199E05 First name 2");
  EXPECT_EQ("controlType:::0|||fieldName:::Firstname|||promptText:::|||", LabelOf(doc_, 10));
  EXPECT_EQ("Firstname", Text(kOslFieldNameWidgetID));
  Edit(
      "text 0x199E05 Stra\xc3\x9f"
      "e_\xc3\xa9t\xf0\x9f\x98\x80Z");
  EXPECT_EQ("StraetZ", Text(kOslFieldNameWidgetID));
  // An empty name is stored as an empty value: the item is no field then.
  Edit("text 0x199E05 ");
  EXPECT_EQ("controlType:::0|||fieldName:::|||promptText:::|||", LabelOf(doc_, 10));
  EXPECT_EQ("", KeepAsciiLetters(PMString("123 _-")).GetUTF8String());
}

TEST_F(FieldPanel, WritingBackKeepsOtherKeysInAscendingOrder) {
  SetLabel(doc_, 10,
           "zeta:::z|||promptText:::Old|||MemberofGroup:::Address|||fieldName:::City|||"
           "Dependson:::Zip|||controlType:::1|||");
  Select({10});
  Edit("text 0x199E17 New prompt");
  EXPECT_EQ(
      "Dependson:::Zip|||MemberofGroup:::Address|||controlType:::1|||fieldName:::City|||"
      "promptText:::New prompt|||zeta:::z|||",
      LabelOf(doc_, 10));
  EXPECT_TRUE(doc_->IsDirty());
}

TEST_F(FieldPanel, TheObserversOwnWritesIntoThePanelWriteNothingBack) {
  // Refreshing sets every widget with change notifications; none of them
  // may come back as an edit, not even for codes the lists cannot show.
  const char* labels[] = {"fieldName:::City|||", "controlType:::5|||fieldName:::Q|||",
                          "controlType:::x|||fieldName:::R|||"};
  for (const char* label : labels) {
    SetLabel(doc_, 10, label);
    SetLabel(doc_, 11, "controlType:::4|||fieldName:::Img|||");
    Select({10});
    Selection().SelectItems(doc_, {11});
    Selection().SelectText(doc_, 10);
    Selection().SelectItems(doc_, {});
    EXPECT_EQ(label, LabelOf(doc_, 10));
    EXPECT_EQ("controlType:::4|||fieldName:::Img|||", LabelOf(doc_, 11));
  }
  // Stripping the typed name rewrites the box once; the echo is ignored and
  // the tag is written once with the letters.
  Select({10});
  Edit("text 0x199E05 A1b");
  EXPECT_EQ("Ab", Text(kOslFieldNameWidgetID));
  EXPECT_EQ("controlType:::0|||fieldName:::Ab|||promptText:::|||", LabelOf(doc_, 10));
}

// The panel's values belong to the one item it showed: an edit box that
// commits its text after the selection changed must not write the panel's
// cleared values into other items.
TEST_F(FieldPanel, AnEditArrivingWhenNotExactlyOneItemIsSelectedWritesNothing) {
  const std::string first = "controlType:::1|||fieldName:::First|||promptText:::P|||";
  const std::string second = "fieldName:::Second|||";
  const std::string guide = "fieldName:::Rule|||";
  SetLabel(doc_, 10, first.c_str());
  SetLabel(doc_, 11, second.c_str());
  SetLabel(doc_, 12, guide.c_str());
  for (const std::vector<UID>& uids :
       {std::vector<UID>{10, 11}, std::vector<UID>{}, std::vector<UID>{12}}) {
    Select(uids);
    for (WidgetID id : {kOslPromptTextWidgetID, kOslFieldNameWidgetID}) {
      Node(panel_, id)->Notify(kTextChangeStateMessage, IID_ITEXTCONTROLDATA);
    }
    Node(panel_, kOslControlTypeWidgetID)
        ->Notify(kPopupChangeStateMessage, IID_ISTRINGLISTCONTROLDATA);
    EXPECT_EQ(first, LabelOf(doc_, 10)) << uids.size();
    EXPECT_EQ(second, LabelOf(doc_, 11)) << uids.size();
    EXPECT_EQ(guide, LabelOf(doc_, 12)) << uids.size();
  }
  // With one item selected again the edit is written to it.
  Select({11});
  Edit("text 0x199E17 Yours");
  EXPECT_EQ("controlType:::0|||fieldName:::Second|||promptText:::Yours|||", LabelOf(doc_, 11));
  EXPECT_EQ(first, LabelOf(doc_, 10));
}

TEST_F(FieldPanel, APromptThatLosesSeparatorsIsStoredAndShownWithAWarning) {
  Select({10});
  Edit("text 0x199E17 Name|||or title||");
  EXPECT_EQ("controlType:::0|||fieldName:::Name|||promptText:::Nameor title|||", LabelOf(doc_, 10));
  EXPECT_EQ("Nameor title", Text(kOslPromptTextWidgetID));
  const auto alerts = host_.AlertLog().TakeLog();
  ASSERT_EQ(1u, alerts.size());
  EXPECT_EQ(standin::AlertKind::kWarning, alerts[0].kind);
  EXPECT_EQ(
      "The prompt text \"Name|||or title||\" is stored as \"Nameor title\": \"|||\" separates "
      "the stored entries, so a value cannot hold it or end in \"|\", and these characters were "
      "removed: \"|||\", \"||\".",
      alerts[0].text);
  // A prompt that keeps its text changes nothing and says nothing.
  Edit("text 0x199E17 a|b||c");
  EXPECT_EQ("a|b||c", Text(kOslPromptTextWidgetID));
  EXPECT_TRUE(host_.AlertLog().TakeLog().empty());
}

TEST_F(FieldPanel, ACodeTheListCannotShowSurvivesAnEditOfTheName) {
  // Code 4 has no entry on a graphic frame, code 5 on any: the list shows
  // none of its entries, and editing another widget keeps the code.
  SetLabel(doc_, 11, "controlType:::4|||fieldName:::Img|||");
  Select({11});
  EXPECT_EQ(-1, Selected());
  Edit("text 0x199E17 Upload a logo");
  EXPECT_EQ("controlType:::4|||fieldName:::Img|||promptText:::Upload a logo|||", LabelOf(doc_, 11));
  SetLabel(doc_, 10, "controlType:::5|||fieldName:::T|||");
  Selection().SelectItems(doc_, {10});
  Edit("text 0x199E05 Title");
  EXPECT_EQ("controlType:::5|||fieldName:::Title|||promptText:::|||", LabelOf(doc_, 10));
  // Choosing an entry replaces it.
  Edit("select 0x199E03 3");
  EXPECT_EQ("controlType:::4|||fieldName:::Title|||promptText:::|||", LabelOf(doc_, 10));
}

TEST_F(FieldPanel, TheTemplateNameIsTheFrontDocumentsName) {
  SetLabel(doc_, standin::Document::kDocumentUID, "docID:::|||docName:::Flyer 2024|||");
  Select({});
  EXPECT_EQ("Flyer 2024", Text(kOslTemplateNameWidgetID));
  SetLabel(doc_, standin::Document::kDocumentUID, "docName:::|||");
  Selection().SelectItems(doc_, {10});
  EXPECT_EQ(host_.Strings().Lookup("0x199e00kVoidTemplateKey"), Text(kOslTemplateNameWidgetID));
}

TEST_F(FieldPanel, AHiddenPanelNoLongerFollowsTheSelection) {
  Select({10});
  host_.Panels().Hide(kOslPluginID, kOslFieldPanelRsrcID);
  Selection().SelectItems(doc_, {11});
  EXPECT_EQ("Name", Text(kOslFieldNameWidgetID));
  Node(panel_, kOslFieldNameWidgetID)->Notify(kTextChangeStateMessage, IID_ITEXTCONTROLDATA);
  EXPECT_EQ("", LabelOf(doc_, 11));
}

}  // namespace
}  // namespace osltest
