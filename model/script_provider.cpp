#include "model/script_provider.h"

#include "host/CAlert.h"
#include "plugin_base/entry_guard.h"
#include "plugin_base/impl_registry.h"
#include "plugin_base/osl_id.h"

static osl::RegisterImplementation<OslScriptProvider> gRegisterOslScriptProvider(
    kOslScriptProviderImpl);

OslScriptProvider::OslScriptProvider(IPMUnknown* boss) : CScriptProvider(boss) {}
OslScriptProvider::~OslScriptProvider() = default;

ErrorCode OslScriptProvider::HandleMethod(ScriptID method, IScriptRequestData* data,
                                          IScript* script) {
  if (method != kOslSpeakMethodScriptID) return CScriptProvider::HandleMethod(method, data, script);
  return osl::GuardedEntry("the script method", kFailure, [&] { return Speak(data); });
}

ErrorCode OslScriptProvider::AccessProperty(ScriptID property, IScriptRequestData* data,
                                            IScript* script) {
  if (property != kOslResponsePropScriptID)
    return CScriptProvider::AccessProperty(property, data, script);
  return osl::GuardedEntry("the script property", kFailure,
                           [&] { return Respond(property, data, script); });
}

ErrorCode OslScriptProvider::Speak(IScriptRequestData* data) {
  ScriptData parameter;
  const ErrorCode extracted = data->ExtractRequestData(kOslSpeakTextParamScriptID, parameter);
  if (extracted != kSuccess) return extracted;
  PMString text;
  const ErrorCode read = parameter.GetPMString(text);
  text.SetTranslatable(false);
  CAlert::InformationAlert(text);
  return read;
}

ErrorCode OslScriptProvider::Respond(ScriptID property, IScriptRequestData* data, IScript* script) {
  if (!data->IsPropertyGet()) return kFailure;
  ScriptData answer;
  answer.SetPMString(PMString("Hello back to you", PMString::kDontTranslateDuringCall));
  data->AppendReturnData(script, property, answer);
  return kSuccess;
}
