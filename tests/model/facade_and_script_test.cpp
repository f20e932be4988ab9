#include <gtest/gtest.h>

#include "host/InterfacePtr.h"
#include "model/facade.h"
#include "model/script_provider.h"
#include "standin/core/string_tables.h"
#include "standin/scripting/script_request.h"
#include "tests/support/plugin_host.h"

namespace osltest {
namespace {

class Facade : public PluginHostTest {
 protected:
  InterfacePtr<IOslFacade> Get() {
    auto& boss = host_.GetSession().PlugInBoss("kOslFacadeBoss");
    return InterfacePtr<IOslFacade>(&boss, IID_IOSLFACADE);
  }
};

TEST_F(Facade, AnnouncesItselfAndChangesNothing) {
  auto facade = Get();
  ASSERT_TRUE(facade);
  WideString data("as it was");
  EXPECT_EQ(facade->GetDocData(data), 0);
  EXPECT_EQ(data.GetUTF8String(), "as it was");
  EXPECT_EQ(facade->SetDocData(data), 0);
  EXPECT_EQ(facade->IsDoc(), 0);
  EXPECT_EQ(facade->IsDoc(), 0);
  std::vector<std::string> texts;
  for (const auto& a : Alerts()) {
    EXPECT_EQ(a.kind, standin::AlertKind::kInfo);
    texts.push_back(a.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"OslFacade::GetDocData", "OslFacade::SetDocData",
                                             "int\t\t\tOslFacade::IsDoc(void)",
                                             "int\t\t\tOslFacade::IsDoc(void)"}));
  WideString name("overwrite me");
  EXPECT_EQ(facade->GetFacadeName(name), 0);
  EXPECT_EQ(name.GetUTF8String(), "OslFacade");
  K2Vector<int32> values{5};
  facade->CollectValues(99, values);
  EXPECT_EQ(values, (K2Vector<int32>{5, 1}));
  EXPECT_TRUE(facade->IsAvailable() && facade->IsEnabled() && facade->IsVisible() &&
              facade->IsReady());
}

TEST_F(Facade, AnswersItsBossAndForwardsReferenceCounting) {
  auto& boss = host_.GetSession().PlugInBoss("kOslFacadeBoss");
  auto facade = Get();
  const int32 refs = boss.RefCount();
  IPMUnknown* answered = facade->QueryInterface(IID_IUNKNOWN_BOSS);
  EXPECT_EQ(answered, static_cast<IPMUnknown*>(&boss));
  EXPECT_EQ(boss.RefCount(), refs + 1);
  answered->Release();
  facade->AddRef();
  EXPECT_EQ(boss.RefCount(), refs + 1);
  facade->Release();
  EXPECT_EQ(boss.RefCount(), refs);
}

class ScriptProvider : public PluginHostTest {
 protected:
  InterfacePtr<IScriptProvider> Get() {
    auto& boss = host_.GetSession().PlugInBoss("kOslScriptProviderBoss");
    return InterfacePtr<IScriptProvider>(&boss, IID_ISCRIPTPROVIDER);
  }
};

TEST_F(ScriptProvider, MethodShowsTheTextItIsGiven) {
  auto provider = Get();
  ASSERT_TRUE(provider);
  standin::ScriptRequest call(standin::ScriptRequest::Kind::kMethod);
  ScriptData text;
  // Even text that is a string-table key is shown as it is.
  host_.Strings().Add("0x199e00kNoneKey", "(none)");
  text.SetPMString(PMString("0x199e00kNoneKey"));
  call.SetParameter(kOslSpeakTextParamScriptID, text);
  EXPECT_EQ(provider->HandleMethod(kOslSpeakMethodScriptID, &call, nullptr), kSuccess);
  auto alerts = Alerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].kind, standin::AlertKind::kInfo);
  // Shown exactly as passed, never translated.
  EXPECT_EQ(alerts[0].text, "0x199e00kNoneKey");
}

TEST_F(ScriptProvider, MethodWithoutOrWithWrongParameter) {
  auto provider = Get();
  standin::ScriptRequest missing(standin::ScriptRequest::Kind::kMethod);
  EXPECT_EQ(provider->HandleMethod(kOslSpeakMethodScriptID, &missing, nullptr),
            kScriptParameterMissingError);
  EXPECT_TRUE(Alerts().empty());

  standin::ScriptRequest number(standin::ScriptRequest::Kind::kMethod);
  ScriptData value;
  value.SetInt32(5);
  number.SetParameter(kOslSpeakTextParamScriptID, value);
  EXPECT_EQ(provider->HandleMethod(kOslSpeakMethodScriptID, &number, nullptr),
            kScriptWrongTypeError);
  auto alerts = Alerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0].text, "");
}

TEST_F(ScriptProvider, PropertyIsReadOnlyGreeting) {
  auto provider = Get();
  standin::ScriptRequest get(standin::ScriptRequest::Kind::kPropertyGet);
  EXPECT_EQ(provider->AccessProperty(kOslResponsePropScriptID, &get, nullptr), kSuccess);
  ASSERT_EQ(get.ReturnData().size(), 1u);
  PMString value;
  ASSERT_EQ(get.ReturnData()[0].data.GetPMString(value), kSuccess);
  EXPECT_EQ(value.GetUTF8String(), "Hello back to you");
  EXPECT_EQ(get.ReturnData()[0].element, kOslResponsePropScriptID);

  standin::ScriptRequest put(standin::ScriptRequest::Kind::kPropertyPut);
  EXPECT_EQ(provider->AccessProperty(kOslResponsePropScriptID, &put, nullptr), kFailure);
  EXPECT_TRUE(put.ReturnData().empty());
}

TEST_F(ScriptProvider, OtherElementsGoToTheDefaultProvider) {
  auto provider = Get();
  standin::ScriptRequest call(standin::ScriptRequest::Kind::kMethod);
  EXPECT_EQ(provider->HandleMethod(0x61626364, &call, nullptr), kScriptUnknownElementError);
  standin::ScriptRequest get(standin::ScriptRequest::Kind::kPropertyGet);
  EXPECT_EQ(provider->AccessProperty(kOslSpeakMethodScriptID, &get, nullptr),
            kScriptUnknownElementError);
  EXPECT_TRUE(Alerts().empty());
}

// The page-item properties give each item's field as its tag holds it (the
// last entry of a key wins; text after the last separator is no entry), and
// the control type's text as the item's kind of frame means it.
TEST_F(ScriptProvider, PageItemPropertiesReadTheFieldInTheItemsTag) {
  nlohmann::json json = SampleDocument();
  auto& items = json["spreads"][0]["pages"][0]["items"];
  items[1]["label"] = "controlType:::3|||fieldName:::Logo|||";
  items[2]["label"] = "controlType:::0|||fieldName:::Line|||";
  items[3]["label"] = "fieldName:::A|||controlType:::4|||fieldName:::B|||";
  items[3]["children"][0]["label"] = "controlType:::12|||fieldName:::T|||";
  items[4]["label"] = "fieldName:::C";
  standin::Document* doc = Open(json);
  ASSERT_TRUE(doc);
  struct Case {
    UID uid;
    const char *name, *code, *text;
  };
  // (This host has no string table: a display text reads as its key.)
  const Case cases[] = {{10, "Name", "0", "0x199e00kOslTypeKeyBox"},
                        {11, "Logo", "3", "0x199e00kOslTypeKeyNonprintable"},
                        {12, "Line", "0", ""},
                        {13, "B", "4", ""},
                        {14, "T", "12", ""},
                        {15, "", "", ""}};
  auto provider = Get();
  for (const Case& c : cases) {
    IScript* item = standin::ScriptObjectOf(*doc->FindBoss(c.uid));
    std::vector<std::string> values;
    for (ScriptID id : {kOslFieldNamePropScriptID, kOslControlTypePropScriptID,
                        kOslControlTypeNamePropScriptID}) {
      standin::ScriptRequest get(standin::ScriptRequest::Kind::kPropertyGet);
      ASSERT_EQ(provider->AccessProperty(id, &get, item), kSuccess) << c.uid;
      ASSERT_EQ(get.ReturnData().size(), 1u);
      PMString value;
      ASSERT_EQ(get.ReturnData()[0].data.GetPMString(value), kSuccess);
      values.push_back(value.GetUTF8String());
    }
    EXPECT_EQ(values, (std::vector<std::string>{c.name, c.code, c.text})) << c.uid;
  }
  standin::ScriptRequest put(standin::ScriptRequest::Kind::kPropertyPut);
  EXPECT_EQ(provider->AccessProperty(kOslFieldNamePropScriptID, &put,
                                     standin::ScriptObjectOf(*doc->FindBoss(10))),
            kScriptPropertyReadOnlyError);
  EXPECT_TRUE(put.ReturnData().empty());
}

}  // namespace
}  // namespace osltest
