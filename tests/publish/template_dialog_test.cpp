// The template properties dialog: what it shows for a document, which names
// it refuses, and what OK writes into the document and the dialog result.
#include <gtest/gtest.h>

#include <string>

#include "host/IApplication.h"
#include "host/IDialogMgr.h"
#include "host/ISession.h"
#include "host/ITriStateControlData.h"
#include "standin/ui/dialog_script.h"
#include "standin/ui/widgets.h"
#include "tests/publish/publish_fixture.h"

namespace osltest {
namespace {

class TemplateDialog : public PublishTest {
 protected:
  // Opens the dialog as publishing does (front document and selection as
  // its context).
  IDialog* OpenDialog() {
    InterfacePtr<IApplication> app(GetExecutionContextSession(), IID_IAPPLICATION);
    InterfacePtr<IDialogMgr> dialogs(app ? app->QueryDialogMgr() : nullptr);
    if (!dialogs) return nullptr;
    IDialog* dialog = dialogs->CreateNewDialog(
        RsrcSpec(LocaleSetting::GetLocale(), kOslPluginID, kViewRsrcType, 250, true));
    if (dialog) dialog->Open();
    return dialog;
  }
  standin::WidgetNode* Find(IDialog* dialog, WidgetID id) {
    return standin::WidgetNode::Of(dialog->GetDialogPanel())->Find(id, 9999);
  }
  std::string NameShown(IDialog* dialog) {
    return Find(dialog, kOslDocNameWidgetID)->text.GetUTF8String();
  }
  int32 ClientTypeShown(IDialog* dialog) { return Find(dialog, kOslClientTypeWidgetID)->selected; }
  ITriStateControlData::TriState RefreshState(IDialog* dialog) {
    return Find(dialog, kOslRefreshBoxWidgetID)->state;
  }
  bool RefreshEnabled(IDialog* dialog) { return Find(dialog, kOslRefreshBoxWidgetID)->enabled; }
  // Runs `steps` on the open dialog; false with the driver's message when a
  // step cannot be done.
  bool Play(IDialog* dialog, const std::string& steps, std::string* error) {
    standin::DialogScript script;
    if (!standin::ParseDialogScript(steps, &script, error)) return false;
    standin::ViewDriver driver(*standin::WidgetNode::Of(dialog->GetDialogPanel()));
    return driver.Run(script, error);
  }
};

const char kPublished[] =
    "StackingGroups:::Address:::1---|||clientType:::1|||docID:::11111111-2222-4333-8444-"
    "555555555555|||docName:::Card|||docPassword:::66666666-7777-4888-9999-000000000000|||";

TEST_F(TemplateDialog, ANeverPublishedDocumentOffersNoRefreshAndConfirmsWithResultOne) {
  Open(OnePageDocument("clientType:::0|||docName:::Flyer|||", nlohmann::json::array()));
  IDialog* dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ("Flyer", NameShown(dialog));
  EXPECT_EQ(0, ClientTypeShown(dialog));
  EXPECT_FALSE(RefreshEnabled(dialog));
  EXPECT_EQ(ITriStateControlData::kUnknown, RefreshState(dialog));
  EXPECT_TRUE(AlertTexts().empty());

  std::string error;
  EXPECT_FALSE(Play(dialog, "check 0x199E21 on", &error)) << "a disabled box cannot be set";
  ASSERT_TRUE(Play(dialog, "ok", &error)) << error;
  EXPECT_EQ(IDialog::kOK, dialog->GetResult());
  EXPECT_EQ(1, GetOslPlugInData().dialogResult);
  EXPECT_EQ("clientType:::0|||docName:::Flyer|||", DocumentLabel());
}

TEST_F(TemplateDialog, APublishedDocumentOffersAClearRefreshBoxThatGivesResultTwo) {
  Open(OnePageDocument(kPublished, nlohmann::json::array()));
  IDialog* dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ("Card", NameShown(dialog));
  EXPECT_EQ(1, ClientTypeShown(dialog));
  EXPECT_TRUE(RefreshEnabled(dialog));
  EXPECT_EQ(ITriStateControlData::kUnselected, RefreshState(dialog));
  std::string error;
  ASSERT_TRUE(Play(dialog, "check 0x199E21 on; ok", &error)) << error;
  EXPECT_EQ(2, GetOslPlugInData().dialogResult);

  GetOslPlugInData().dialogResult = 0;
  dialog = OpenDialog();
  ASSERT_TRUE(Play(dialog, "ok", &error)) << error;
  EXPECT_EQ(1, GetOslPlugInData().dialogResult);
}

TEST_F(TemplateDialog, OkWritesNameAndClientTypeAndKeepsEveryOtherKey) {
  Open(OnePageDocument(kPublished, nlohmann::json::array()));
  IDialog* dialog = OpenDialog();
  std::string error;
  ASSERT_TRUE(Play(dialog, "text 0x199E07 \\s New card \\s; select 0x199E09 2; ok", &error))
      << error;
  EXPECT_EQ(
      "StackingGroups:::Address:::1---|||clientType:::2|||docID:::11111111-2222-4333-8444-"
      "555555555555|||docName:::  New card  |||docPassword:::66666666-7777-4888-9999-"
      "000000000000|||",
      DocumentLabel());
}

TEST_F(TemplateDialog, ANameOfSpacesOnlyKeepsTheDialogOpenAndSaysWhy) {
  Open(OnePageDocument("docName:::Card|||", nlohmann::json::array()));
  for (const std::string blank : {"", "\\s\\s\\s"}) {
    IDialog* dialog = OpenDialog();
    std::string error;
    ASSERT_TRUE(Play(dialog, "text 0x199E07 " + blank + "; ok", &error)) << error;
    EXPECT_TRUE(dialog->IsOpen()) << "'" << blank << "'";
    EXPECT_EQ(Find(dialog, kOslDocNameWidgetID),
              standin::WidgetNode::Of(dialog->GetDialogPanel())->focus);
    EXPECT_EQ(0, GetOslPlugInData().dialogResult);
    ASSERT_TRUE(Play(dialog, "cancel", &error)) << error;
  }
  EXPECT_EQ(std::vector<std::string>(2, "warning: 0x199e00kTemplateNameRequiredKey"), AlertTexts());
  EXPECT_EQ("docName:::Card|||", DocumentLabel());

  // Only the space counts as blank.
  IDialog* dialog = OpenDialog();
  std::string error;
  ASSERT_TRUE(Play(dialog, "text 0x199E07 \\t; ok", &error)) << error;
  EXPECT_FALSE(dialog->IsOpen());
  EXPECT_EQ(1, GetOslPlugInData().dialogResult);
}

// The name is checked as it will be stored: separator characters the
// template data cannot hold would leave nothing of it.
TEST_F(TemplateDialog, ANameOfSeparatorCharactersOnlyIsRefused) {
  Open(OnePageDocument("docName:::Card|||", nlohmann::json::array()));
  for (const std::string name : {"||", "|||", "\\s|||\\s||", "|"}) {
    IDialog* dialog = OpenDialog();
    std::string error;
    ASSERT_TRUE(Play(dialog, "text 0x199E07 " + name + "; ok", &error)) << error;
    EXPECT_TRUE(dialog->IsOpen()) << "'" << name << "'";
    EXPECT_EQ(std::vector<std::string>{"warning: 0x199e00kTemplateNameRequiredKey"}, AlertTexts())
        << name;
    AlertTexts();
    ASSERT_TRUE(Play(dialog, "cancel", &error)) << error;
  }
  EXPECT_EQ("docName:::Card|||", DocumentLabel());
  EXPECT_EQ(0, GetOslPlugInData().dialogResult);
}

TEST_F(TemplateDialog, ANameThatLosesSeparatorsIsStoredWithAWarning) {
  Open(OnePageDocument("docName:::Card|||", nlohmann::json::array()));
  IDialog* dialog = OpenDialog();
  std::string error;
  ASSERT_TRUE(Play(dialog, "text 0x199E07 Spring|||Sale|; ok", &error)) << error;
  EXPECT_FALSE(dialog->IsOpen());
  EXPECT_EQ(std::vector<std::string>{"warning: 0x199e00kSeparatorRemovedKey"}, AlertTexts());
  EXPECT_EQ("clientType:::0|||docName:::SpringSale|||", DocumentLabel());
  EXPECT_EQ(1, GetOslPlugInData().dialogResult);

  // A name that needs no change is stored without a word.
  AlertTexts();
  dialog = OpenDialog();
  ASSERT_TRUE(Play(dialog, "text 0x199E07 a|b||c; ok", &error)) << error;
  EXPECT_TRUE(AlertTexts().empty());
  EXPECT_EQ("clientType:::0|||docName:::a|b||c|||", DocumentLabel());
}

TEST_F(TemplateDialog, AClientTypeTheListDoesNotOfferOpensOnTheFirstEntry) {
  for (const char* stored : {"3", "7", "-1", "99999"}) {
    Open(OnePageDocument(std::string("clientType:::") + stored + "|||docName:::Card|||",
                         nlohmann::json::array()));
    IDialog* dialog = OpenDialog();
    EXPECT_EQ(0, ClientTypeShown(dialog)) << stored;
    std::string error;
    ASSERT_TRUE(Play(dialog, "ok", &error)) << error;
    EXPECT_EQ("clientType:::0|||docName:::Card|||", DocumentLabel()) << stored;
  }
  // The last entry is still offered as itself.
  Open(OnePageDocument("clientType:::2|||docName:::Card|||", nlohmann::json::array()));
  EXPECT_EQ(2, ClientTypeShown(OpenDialog()));
}

TEST_F(TemplateDialog, CancelLeavesDocumentAndResultAlone) {
  Open(OnePageDocument(kPublished, nlohmann::json::array()));
  IDialog* dialog = OpenDialog();
  std::string error;
  ASSERT_TRUE(Play(dialog, "text 0x199E07 Other; check 0x199E21 on; cancel", &error)) << error;
  EXPECT_EQ(IDialog::kCancelled, dialog->GetResult());
  EXPECT_EQ(0, GetOslPlugInData().dialogResult);
  EXPECT_EQ(kPublished, DocumentLabel());
}

TEST_F(TemplateDialog, WithoutADocumentItSaysSoShowsDefaultsAndAppliesNothing) {
  IDialog* dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(std::vector<std::string>{"info: dlgContext->GetContextDocument() == NULL"},
            AlertTexts());
  EXPECT_EQ("", NameShown(dialog));
  EXPECT_EQ(0, ClientTypeShown(dialog));
  EXPECT_FALSE(RefreshEnabled(dialog));
  std::string error;
  ASSERT_TRUE(Play(dialog, "text 0x199E07 Name; ok", &error)) << error;
  EXPECT_EQ(0, GetOslPlugInData().dialogResult);
}

}  // namespace
}  // namespace osltest
