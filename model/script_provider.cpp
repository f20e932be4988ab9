#include "model/script_provider.h"

#include "host/CAlert.h"
#include "host/IPageItemData.h"
#include "host/InterfacePtr.h"
#include "host/PersistUtils.h"
#include "model/control_types.h"
#include "model/tag_map.h"
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
  if (property == kOslResponsePropScriptID) {
    return osl::GuardedEntry("the script property", kFailure,
                             [&] { return Respond(property, data, script); });
  }
  if (property == kOslFieldNamePropScriptID || property == kOslControlTypePropScriptID ||
      property == kOslControlTypeNamePropScriptID) {
    return osl::GuardedEntry("the script property", kFailure,
                             [&] { return ReadField(property, data, script); });
  }
  return CScriptProvider::AccessProperty(property, data, script);
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

namespace {

// The display text of control-type code `code` on `item`: a frame whose
// content shows a story offers the text list, a guide none, any other item
// the graphic list. Empty when the code means nothing there.
PMString ControlTypeName(const UIDRef& item, const PMString& code) {
  if (InterfacePtr<IGuideData>(item, IID_IGUIDEDATA)) return PMString();
  controltypes::FrameKind kind = controltypes::FrameKind::kGraphic;
  InterfacePtr<IGraphicFrameData> frame(item, IID_IGRAPHICFRAMEDATA);
  if (frame && frame->GetTextContentUID() != kInvalidUID) {
    InterfacePtr<IMultiColumnItemData> columns(
        UIDRef(item.GetDataBase(), frame->GetTextContentUID()), IID_IMULTICOLUMNITEMDATA);
    if (columns && columns->GetTextModelUID() != kInvalidUID) kind = controltypes::FrameKind::kText;
  }
  const char* key = controltypes::DisplayKeyOfCodeText(kind, code.GetUTF8String());
  if (!key) return PMString();
  PMString text(key);
  text.Translate();
  return text;
}

}  // namespace

ErrorCode OslScriptProvider::ReadField(ScriptID property, IScriptRequestData* data,
                                       IScript* script) {
  if (!data->IsPropertyGet()) return kScriptPropertyReadOnlyError;
  const UIDRef item = ::GetUIDRef(script);
  TagMap tag = ReadStringMap(item);
  PMString value;
  if (property == kOslFieldNamePropScriptID) {
    value = tag[PMString(tagkeys::kFieldName)];
  } else if (property == kOslControlTypePropScriptID) {
    value = tag[PMString(tagkeys::kControlType)];
  } else {
    value = ControlTypeName(item, tag[PMString(tagkeys::kControlType)]);
  }
  value.SetTranslatable(false);
  ScriptData answer;
  answer.SetPMString(value);
  data->AppendReturnData(script, property, answer);
  return kSuccess;
}
