// What host/ promises, checked against the stand-in that implements it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/CAlert.h"
#include "host/CmdUtils.h"
#include "host/ILabel.h"
#include "host/IPageItemData.h"
#include "host/IPlugInList.h"
#include "host/IPublishReport.h"
#include "host/ISession.h"
#include "host/InterfacePtr.h"
#include "host/PMGeometry.h"
#include "host/PersistUtils.h"
#include "host/RangeProgressBar.h"
#include "host/Scripting.h"
#include "host/Utils.h"
#include "standin/core/stderr_line.h"
#include "tests/support/host_fixture.h"

namespace osltest {
namespace {

// Every group checks one host service against what host/ promises; each
// test has a host of its own.
class HostPMString : public HostTest {};
class HostAlerts : public HostTest {};
class HostCommands : public HostTest {};
class HostProgress : public HostTest {};
class HostScriptData : public HostTest {};
class HostGeometry : public HostTest {};
class HostPublishes : public HostTest {};

TEST_F(HostPMString, TextConversionAndSearch) {
  const PMString text("Grüße, 世界 😀");
  EXPECT_EQ(text.GetUTF8String(), "Grüße, 世界 😀");
  EXPECT_EQ(text.CharCount(), 12);  // the emoji takes two UTF-16 units
  EXPECT_EQ(PMString("\xff\xfe ok").GetUTF8String(), "\xEF\xBF\xBD\xEF\xBF\xBD ok");
  EXPECT_EQ(PMString("\xE2\x82").GetUTF8String(), "\xEF\xBF\xBD");  // truncated sequence

  PMString path("/Plug-Ins/Osl.SDK/Publisher.PLN");
  PMString lower = path;
  lower.ToLower();
  EXPECT_EQ(lower.GetUTF8String(), "/plug-ins/osl.sdk/publisher.pln");
  EXPECT_EQ(lower.IndexOfString(PMString(".pln")), 27);
  EXPECT_EQ(lower.IndexOfString(PMString(".tolvanplugin")), PMString::kNotFound);
  EXPECT_EQ(lower.IndexOfString(PMString("/"), 1), 9);
  EXPECT_EQ(lower.IndexOfString(PMString("x"), 1000), PMString::kNotFound);
  path.Remove(27, 4);
  EXPECT_EQ(path.GetUTF8String(), "/Plug-Ins/Osl.SDK/Publisher");
  path.Remove(100, 4);
  path.Remove(-1, 4);
  EXPECT_EQ(path.Substring(10, 3).GetUTF8String(), "Osl");
  EXPECT_EQ(path.Substring(500).GetUTF8String(), "");
  path.Insert(PMString(">"), 0);
  EXPECT_EQ(path[0], u'>');
  EXPECT_TRUE(PMString("Apple") < PMString("apple"));
  EXPECT_TRUE(PMString("a") < PMString("b"));
}

TEST_F(HostPMString, NumbersAndTranslation) {
  ErrorCode error = kSuccess;
  EXPECT_EQ(PMString("42").GetAsNumber(&error), 42);
  EXPECT_EQ(error, kSuccess);
  EXPECT_EQ(PMString(" -7").GetAsNumber(), -7);
  EXPECT_EQ(PMString("").GetAsNumber(&error), 0);
  EXPECT_EQ(error, kFailure);
  EXPECT_EQ(PMString("12abc").GetAsNumber(&error), 0);
  EXPECT_EQ(error, kFailure);
  EXPECT_EQ(PMString("99999999999").GetAsNumber(&error), 0);
  EXPECT_EQ(error, kFailure);

  host_.Strings().Add("0x199e00kHostTestKey", "Translated");
  PMString key("0x199e00kHostTestKey");
  key.Translate();
  EXPECT_EQ(key.GetUTF8String(), "Translated");
  key.Translate();  // already translated: unchanged
  EXPECT_EQ(key.GetUTF8String(), "Translated");
  PMString literal("0x199e00kHostTestKey", PMString::kDontTranslateDuringCall);
  literal.Translate();
  EXPECT_EQ(literal.GetUTF8String(), "0x199e00kHostTestKey");
  PMString unknown("no such key");
  unknown.Translate();
  EXPECT_EQ(unknown.GetUTF8String(), "no such key");
  setenv("OSL_LOCALE", "keys", 1);
  PMString shown("0x199e00kHostTestKey");
  shown.Translate();
  unsetenv("OSL_LOCALE");
  EXPECT_EQ(shown.GetUTF8String(), "0x199e00kHostTestKey");
}

TEST_F(HostAlerts, LoggedAnsweredAndCounted) {
  auto& center = host_.AlertLog();
  CAlert::ErrorAlert(PMString("bad"));
  CAlert::WarningAlert(PMString("careful"));
  CAlert::InformationAlert(PMString("note"));
  EXPECT_EQ(center.ErrorCount(), 1);
  // Scripted answers in order, then the default button.
  center.SetAnswers({"no", "yes", "3"});
  const PMString yes("Yes"), no("No"), later("Later"), none;
  EXPECT_EQ(CAlert::ModalAlert(PMString("q1"), yes, no, none, 1, 4), 2);
  EXPECT_EQ(CAlert::ModalAlert(PMString("q2"), yes, no, none, 2, 4), 1);
  EXPECT_EQ(CAlert::ModalAlert(PMString("q3"), yes, no, later, 1, 4), 3);
  EXPECT_EQ(CAlert::ModalAlert(PMString("q4"), yes, no, none, 2, 4), 2);
  // A one-button modal alert is information and answers 1.
  EXPECT_EQ(CAlert::ModalAlert(PMString("about"), PMString("OK"), none, none, 1, 1), 1);
  const auto log = center.TakeLog();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0].kind, standin::AlertKind::kError);
  EXPECT_EQ(log[1].kind, standin::AlertKind::kWarning);
  EXPECT_EQ(log[2].kind, standin::AlertKind::kInfo);
  EXPECT_EQ(log[3].kind, standin::AlertKind::kAsk);
  EXPECT_EQ(log[7].kind, standin::AlertKind::kInfo);
  EXPECT_EQ(log[7].text, "about");
  EXPECT_TRUE(center.Log().empty());
}

TEST_F(HostCommands, SequencesNestAndResetTheGlobalError) {
  ErrorUtils::PMSetGlobalErrorCode(5);
  {
    CmdUtils::SequenceContext outer;
    EXPECT_EQ(outer.GetState(), kSuccess);
    ErrorUtils::PMSetGlobalErrorCode(kFailure);
    {
      CmdUtils::SequenceContext inner;
      EXPECT_EQ(host_.Commands().Depth(), 2);
      EXPECT_EQ(inner.GetState(), kFailure);
    }
    EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kFailure);
  }
  EXPECT_EQ(host_.Commands().Depth(), 0);
  EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kSuccess);
}

TEST_F(HostProgress, PlainLinesWhenNotATerminal) {
  testing::internal::CaptureStderr();
  {
    RangeProgressBar bar(PMString("Publishing ", PMString::kDontTranslateDuringCall), 0, 9);
    bar.SetTaskText(PMString("step", PMString::kDontTranslateDuringCall));
    bar.SetPosition(4);
    bar.SetPosition(50);
  }
  const std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("[progress] Publishing  4/9 step"), std::string::npos) << out;
  EXPECT_NE(out.find("[progress] Publishing  9/9 step"), std::string::npos) << out;
}

// Off a terminal a step (a position and its task text, set one after the
// other) is one line: never once for the position and again for the text.
TEST_F(HostProgress, EachStepIsOneLineWhenNotATerminal) {
  testing::internal::CaptureStderr();
  {
    RangeProgressBar bar(PMString("P", PMString::kDontTranslateDuringCall), 0, 9);
    for (int32 step = 0; step < 3; ++step) {
      bar.SetPosition(step);
      bar.SetTaskText(PMString("task " + std::to_string(step), PMString::kDontTranslateDuringCall));
    }
    bar.SetPosition(5);  // a position no text followed is shown at the end
  }
  EXPECT_EQ(
      "[progress] P 0/9 task 0\n[progress] P 1/9 task 1\n[progress] P 2/9 task 2\n"
      "[progress] P 5/9 task 2\n",
      testing::internal::GetCapturedStderr());
}

// An alert after a line left open (a progress bar drawn in place) starts on
// a line of its own.
TEST_F(HostAlerts, AnAlertAfterAnOpenLineStartsOnANewLine) {
  host_.AlertLog().SetEcho(true);
  testing::internal::CaptureStderr();
  standin::MarkStderrLineOpen();
  CAlert::WarningAlert(PMString("careful", PMString::kDontTranslateDuringCall));
  CAlert::InformationAlert(PMString("note", PMString::kDontTranslateDuringCall));
  EXPECT_EQ("\n[warning] careful\n[info] note\n", testing::internal::GetCapturedStderr());
  EXPECT_FALSE(standin::StderrLineOpen());
}

// A question nobody can answer goes to the handler before any button is
// chosen; scripted answers still come first.
TEST_F(HostAlerts, AnUnansweredQuestionReachesTheHandlerFirst) {
  auto& center = host_.AlertLog();
  std::vector<std::string> asked;
  center.SetUnansweredQuestionHandler(
      [&asked](const std::string& text, const std::vector<std::string>& buttons) {
        asked.push_back(text + " / " + buttons[0] + " / " + buttons[1]);
      });
  center.SetAnswers({"no"});
  const PMString yes("Yes"), no("No"), none;
  EXPECT_EQ(CAlert::ModalAlert(PMString("first?"), yes, no, none, 1, 4), 2);
  EXPECT_TRUE(asked.empty());
  // The handler returned (it did not end the process): the default answers.
  EXPECT_EQ(CAlert::ModalAlert(PMString("second?"), yes, no, none, 1, 4), 1);
  EXPECT_EQ(std::vector<std::string>{"second? / Yes / No"}, asked);
  // One-button alerts are no questions.
  CAlert::ModalAlert(PMString("about"), PMString("OK"), none, none, 1, 1);
  EXPECT_EQ(1u, asked.size());
}

// The publish record a plug-in reports reaches the host whole, each time.
TEST_F(HostPublishes, APublishRecordReachesTheHost) {
  InterfacePtr<IPublishReport> report(GetExecutionContextSession(), IID_IPUBLISHREPORT);
  ASSERT_TRUE(report);
  EXPECT_FALSE(host_.Publishes().Last());
  std::vector<PublishRecord::Status> seen;
  host_.Publishes().SetListener([&seen](const PublishRecord& r) { seen.push_back(r.status); });
  PublishRecord record;
  record.name = "Card";
  record.server = "http://s.test";
  report->Update(record);
  record.status = PublishRecord::Status::kNotPublished;
  record.fault = PublishRecord::Fault::kHttpStatus;
  record.httpStatus = 503;
  record.reason = "the service answered HTTP 503";
  record.serviceMayHoldUncommitted = true;
  report->Update(record);
  ASSERT_TRUE(host_.Publishes().Last());
  const PublishRecord& last = *host_.Publishes().Last();
  EXPECT_EQ(PublishRecord::Status::kNotPublished, last.status);
  EXPECT_EQ(503, last.httpStatus);
  EXPECT_EQ("Card", last.name);
  EXPECT_EQ("the service answered HTTP 503", last.reason);
  EXPECT_TRUE(last.serviceMayHoldUncommitted);
  EXPECT_EQ((std::vector<PublishRecord::Status>{PublishRecord::Status::kRunning,
                                                PublishRecord::Status::kNotPublished}),
            seen);
  host_.Publishes().Clear();
  EXPECT_FALSE(host_.Publishes().Last());
}

TEST_F(HostScriptData, TypedValues) {
  ScriptData data;
  PMString text("unchanged");
  EXPECT_EQ(data.GetType(), ScriptData::Type::kEmpty);
  EXPECT_EQ(data.GetPMString(text), kScriptWrongTypeError);
  EXPECT_EQ(text.GetUTF8String(), "unchanged");
  data.SetInt32(3);
  int32 n = 0;
  EXPECT_EQ(data.GetInt32(n), kSuccess);
  EXPECT_EQ(n, 3);
  data.SetPMString(PMString("x"));
  EXPECT_EQ(data.GetPMString(text), kSuccess);
  EXPECT_EQ(data.GetInt32(n), kScriptWrongTypeError);
}

TEST_F(HostGeometry, MatricesInvertAndReportAngles) {
  const PMMatrix rotate = PMMatrix::Rotation(90, PMPoint(10, 10));
  EXPECT_NEAR(rotate.RotationAngle(), 90, 1e-9);
  EXPECT_NEAR(rotate.SkewAngle(), 0, 1e-9);
  PMMatrix inverse = rotate;
  ASSERT_TRUE(inverse.Invert());
  const PMPoint back = inverse.Transform(rotate.Transform(PMPoint(3, 4)));
  EXPECT_NEAR(back.x, 3, 1e-9);
  EXPECT_NEAR(back.y, 4, 1e-9);
  EXPECT_NEAR(rotate.Transform(PMPoint(10, 10)).x, 10, 1e-9);
  PMMatrix singular(0, 0, 0, 0, 1, 1);
  EXPECT_FALSE(singular.Invert());
  EXPECT_NEAR(PMMatrix(1, 0, 0.5, 1, 0, 0).SkewAngle(), std::atan(0.5) * 180 / M_PI, 1e-9);
}

class HostObjects : public HostTest {};

// An implementation a test registers as a plug-in would.
class ITestService : public IPMUnknown {
 public:
  virtual ~ITestService() = default;
};
class TestImplementation : public CPMUnknown<ITestService> {
 public:
  using CPMUnknown::CPMUnknown;
};

TEST_F(HostObjects, UtilitiesLabelsAndPageItemKinds) {
  EXPECT_EQ(Utils<ILayoutUIUtils>()->GetFrontDocument(), nullptr);
  auto* doc = Open(SampleDocument());
  IDocument* front = Utils<ILayoutUIUtils>()->GetFrontDocument();
  ASSERT_NE(front, nullptr);
  EXPECT_EQ(front->GetDocDataBase(), doc);
  EXPECT_EQ(::GetUIDRef(front), doc->Ref(standin::Document::kDocumentUID));
  EXPECT_EQ(Utils<ISelectionUtils>()->GetActiveSelection(), Selection().Interface());

  InterfacePtr<ILabel> label(doc->Ref(10), IID_ILABEL);
  ASSERT_TRUE(label);
  label->SetLabel(WideString("a:::b|||"));
  EXPECT_EQ(doc->FindItem(10)->label.GetUTF8String(), "a:::b|||");
  InterfacePtr<ILabel> docLabel(doc->Ref(standin::Document::kDocumentUID), IID_ILABEL);
  docLabel->SetLabel(WideString("docID:::x|||"));
  EXPECT_EQ(doc->Label().GetUTF8String(), "docID:::x|||");

  // Label suite: one label per selected item; set gives all of them one.
  Selection().SelectItems(doc, {10, 11});
  InterfacePtr<ILabelSuite> suite(Selection().Interface(), IID_ILABELSUITE);
  K2Vector<WideString> labels;
  suite->GetLabels(labels);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].GetUTF8String(), "a:::b|||");
  suite->SetLabel(WideString("same|||"));
  EXPECT_EQ(doc->FindItem(11)->label.GetUTF8String(), "same|||");
  Selection().SelectText(doc, 10);
  labels.clear();
  suite->GetLabels(labels);
  ASSERT_EQ(labels.size(), 1u);

  // Item kinds as the interfaces tell them.
  EXPECT_TRUE(InterfacePtr<IGuideData>(doc->Ref(12), IID_IGUIDEDATA));
  EXPECT_FALSE(InterfacePtr<IGuideData>(doc->Ref(11), IID_IGUIDEDATA));
  InterfacePtr<IGraphicFrameData> text(doc->Ref(10), IID_IGRAPHICFRAMEDATA);
  ASSERT_TRUE(text);
  InterfacePtr<IMultiColumnItemData> columns(doc->Ref(text->GetTextContentUID()),
                                             IID_IMULTICOLUMNITEMDATA);
  ASSERT_TRUE(columns);
  EXPECT_NE(columns->GetTextModelUID(), kInvalidUID);
  InterfacePtr<IGraphicFrameData> graphic(doc->Ref(11), IID_IGRAPHICFRAMEDATA);
  ASSERT_TRUE(graphic);
  EXPECT_EQ(graphic->GetTextContentUID(), kInvalidUID);
  EXPECT_FALSE(InterfacePtr<IGraphicFrameData>(doc->Ref(13), IID_IGRAPHICFRAMEDATA));
}

TEST_F(HostObjects, RegistrationAndPlugInList) {
  InterfacePtr<IRegistration> registration(GetExecutionContextSession(), IID_IREGISTRATION);
  ASSERT_TRUE(registration);
  AddIn<TestImplementation>("kTestBoss", 0x7E5000, 0x7E0501);
  const auto* existing = host_.Objects().Find(0x7E0501);
  ASSERT_NE(existing, nullptr);
  // A second registration of the same identifier, or one without functions, is refused.
  EXPECT_EQ(registration->RegisterImplementation(1, 0x7E0501, existing->create, existing->destroy,
                                                 existing->size, nullptr, nullptr, nullptr),
            kFailure);
  EXPECT_EQ(registration->RegisterImplementation(1, 0x7777, nullptr, nullptr, nullptr, nullptr,
                                                 nullptr, nullptr),
            kFailure);
  InterfacePtr<IPlugInList> list(GetExecutionContextSession(), IID_IPLUGINLIST);
  ASSERT_TRUE(list);
  IDFile file("untouched");
  EXPECT_FALSE(list->GetPathName(0x199E00, &file));
  EXPECT_EQ(file.GetPath(), "untouched");
  host_.GetSession().SetPlugInPath(0x199E00, "/opt/osl/Osl.pln");
  EXPECT_TRUE(list->GetPathName(0x199E00, &file));
  EXPECT_EQ(file.GetPath(), "/opt/osl/Osl.pln");
  EXPECT_EQ(file.GetFileName(), "Osl.pln");
}

TEST_F(HostObjects, BossesCountReferencesAndAnswerThemselves) {
  standin::Boss boss("kTestBoss");
  EXPECT_EQ(boss.QueryInterface(IID_ILABEL), nullptr);
  EXPECT_EQ(boss.RefCount(), 0);
  {
    InterfacePtr<IPMUnknown> self(&boss, IID_IUNKNOWN_BOSS);
    EXPECT_EQ(self.get(), &boss);
    EXPECT_EQ(boss.RefCount(), 1);
    InterfacePtr<IPMUnknown> copy = self;
    EXPECT_EQ(boss.RefCount(), 2);
  }
  EXPECT_EQ(boss.RefCount(), 0);
  EXPECT_EQ(standin::Boss::Of(&boss), &boss);
  EXPECT_EQ(standin::Boss::Of(nullptr), nullptr);
  EXPECT_EQ(::GetUIDRef(&boss), UIDRef());
}

}  // namespace
}  // namespace osltest
