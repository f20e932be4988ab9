#include <gtest/gtest.h>

#include "host/InterfacePtr.h"
#include "model/facade.h"
#include "model/script_provider.h"
#include "standin/scripting/script_request.h"
#include "standin/core/string_tables.h"
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

}  // namespace
}  // namespace osltest
