// The publishing menu actions: what each one runs, what the about action
// always shows, and when publishing as new is offered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/publish/publish_fixture.h"
#include "tests/service_client/test_support.h"

namespace osltest {
namespace {

class PublishActions : public PublishTest {
 protected:
  PublishActions() { ResetPlugInData(); }  // no settings: publishing stops at once
  ~PublishActions() override { ResetPlugInData(); }
};

const char kNotConfigured[] = "error: 0x199e00knotConfiguredKey";
const char kAbout[] = "info: 0x199e00kOslAboutBoxStringKey";  // one button

nlohmann::json TwoFieldsNamed(const std::string& a, const std::string& b) {
  return nlohmann::json::array({{{"uid", 10u},
                                 {"kind", "text"},
                                 {"bounds", {0, 0, 50, 20}},
                                 {"story", {{"text", "A"}}},
                                 {"label", "controlType:::0|||fieldName:::" + a + "|||"}},
                                {{"uid", 11u},
                                 {"kind", "text"},
                                 {"bounds", {0, 0, 50, 20}},
                                 {"story", {{"text", "B"}}},
                                 {"label", "controlType:::0|||fieldName:::" + b + "|||"}}});
}

TEST_F(PublishActions, TheTwoReservedActionsDoNothing) {
  Open(OnePageDocument("docName:::Card|||", TwoFieldsNamed("Same", "Same")));
  RunAction(0x199E01);
  RunAction(0x199E02);
  EXPECT_TRUE(AlertTexts().empty());
  EXPECT_TRUE(DialogLog().empty());
  EXPECT_EQ("docName:::Card|||", DocumentLabel());
}

TEST_F(PublishActions, PublishChecksTheNamesThenStopsWhenNoServerIsConfigured) {
  Open(OnePageDocument("docName:::Card|||", TwoFieldsNamed("A", "B")));
  for (ActionID action : {kOslPublishActionID, kOslPublishAgainActionID}) {
    RunAction(action);
    EXPECT_EQ(std::vector<std::string>{kNotConfigured}, AlertTexts());
    EXPECT_TRUE(DialogLog().empty());
  }
}

TEST_F(PublishActions, RepeatedNamesAreAskedAboutAndNoEndsThePublish) {
  Open(OnePageDocument("docName:::Card|||", TwoFieldsNamed("Same", "Same")));
  host_.AlertLog().SetAnswers({"no", "yes"});
  RunAction(kOslPublishActionID);
  EXPECT_EQ(std::vector<std::string>{"ask: 0x199e00kduplicatesbeginKey\n   \"Same\"\n"
                                     "0x199e00kduplicatesendKey"},
            AlertTexts());
  RunAction(kOslPublishActionID);
  const std::vector<std::string> alerts = AlertTexts();
  ASSERT_EQ(2u, alerts.size());
  EXPECT_EQ(kNotConfigured, alerts[1]);
}

TEST_F(PublishActions, AboutAlwaysEndsWithTheAboutAlert) {
  Open(OnePageDocument("docName:::Card|||", TwoFieldsNamed("Same", "Same")));
  host_.AlertLog().SetAnswers({"no"});
  RunAction(kOslAboutActionID);
  std::vector<std::string> alerts = AlertTexts();
  ASSERT_EQ(2u, alerts.size());
  EXPECT_EQ(kAbout, alerts[1]);

  host_.AlertLog().SetAnswers({"yes"});
  RunAction(kOslAboutActionID);
  alerts = AlertTexts();
  ASSERT_EQ(3u, alerts.size());
  EXPECT_EQ(kNotConfigured, alerts[1]);
  EXPECT_EQ(kAbout, alerts[2]);
}

TEST_F(PublishActions, PublishAsNewIsOfferedForPublishedDocumentsOnly) {
  EXPECT_EQ(kDisabled_Unselected, ActionState(kOslPublishAsNewActionID));
  Open(OnePageDocument("docName:::Card|||docID:::|||", nlohmann::json::array()));
  EXPECT_EQ(kDisabled_Unselected, ActionState(kOslPublishAsNewActionID));
  host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());
  Open(OnePageDocument("docID:::11111111-2222-4333-8444-555555555555|||docName:::Card|||",
                       nlohmann::json::array()));
  EXPECT_EQ(kEnabledAction, ActionState(kOslPublishAsNewActionID));
  // Entries of other actions are left as the host gave them.
  EXPECT_EQ(kDisabled_Unselected, ActionState(kOslPublishActionID));
}

TEST_F(PublishActions, PublishAsNewWithoutADocumentDoesNothing) {
  RunAction(kOslPublishAsNewActionID);
  EXPECT_TRUE(AlertTexts().empty());
}

// Publishing as new runs only after the check passed; a run that then
// stops before the service gave a new template (here: no server) leaves
// the document bound to its template, as it was.
TEST_F(PublishActions, PublishAsNewRunsAfterTheCheckAndAStoppedRunKeepsTheTemplate) {
  const std::string published =
      "StackingGroups:::G:::0---|||clientType:::1|||docID:::11111111-2222-4333-8444-"
      "555555555555|||docName:::Card|||docPassword:::66666666-7777-4888-9999-000000000000|||";
  Open(OnePageDocument(published, TwoFieldsNamed("Same", "Same")));
  host_.AlertLog().SetAnswers({"no", "yes"});
  RunAction(kOslPublishAsNewActionID);
  EXPECT_EQ(published, DocumentLabel());
  EXPECT_EQ(1u, AlertTexts().size());

  RunAction(kOslPublishAsNewActionID);
  EXPECT_EQ(published, DocumentLabel());
  const std::vector<std::string> alerts = AlertTexts();
  ASSERT_EQ(2u, alerts.size());
  EXPECT_EQ(kNotConfigured, alerts[1]);

  // Entries the document never had are not added.
  host_.GetSession().CloseDocument(host_.GetSession().FrontDocument());
  Open(OnePageDocument("docID:::11111111-2222-4333-8444-555555555555|||",
                       TwoFieldsNamed("A", "B")));
  RunAction(kOslPublishAsNewActionID);
  EXPECT_EQ("docID:::11111111-2222-4333-8444-555555555555|||", DocumentLabel());
}

}  // namespace
}  // namespace osltest
