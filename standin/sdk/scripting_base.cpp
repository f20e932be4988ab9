// The code of the host's scripting base types: ScriptData and the default
// answers of CScriptProvider.
#include "host/Scripting.h"

void ScriptData::SetPMString(const PMString& text) {
  type_ = Type::kString;
  text_ = text;
}

ErrorCode ScriptData::GetPMString(PMString& text) const {
  if (type_ != Type::kString) return kScriptWrongTypeError;
  text = text_;
  return kSuccess;
}

void ScriptData::SetInt32(int32 value) {
  type_ = Type::kInt32;
  number_ = value;
}

ErrorCode ScriptData::GetInt32(int32& value) const {
  if (type_ != Type::kInt32) return kScriptWrongTypeError;
  value = number_;
  return kSuccess;
}

void ScriptData::SetBoolean(bool16 value) {
  type_ = Type::kBoolean;
  number_ = value ? 1 : 0;
}

ErrorCode ScriptData::GetBoolean(bool16& value) const {
  if (type_ != Type::kBoolean) return kScriptWrongTypeError;
  value = static_cast<bool16>(number_);
  return kSuccess;
}

ErrorCode CScriptProvider::HandleMethod(ScriptID, IScriptRequestData*, IScript*) {
  return kScriptUnknownElementError;
}
ErrorCode CScriptProvider::AccessProperty(ScriptID, IScriptRequestData*, IScript*) {
  return kScriptUnknownElementError;
}
ErrorCode CScriptProvider::GetObject(IScriptRequestData*, IScript*) {
  return kScriptUnknownElementError;
}
IScript* CScriptProvider::QueryParent(IScript*) const { return nullptr; }
ErrorCode CScriptProvider::PreAccessProperty(ScriptID, IScriptRequestData*, IScript*) {
  return kSuccess;
}
ErrorCode CScriptProvider::PostAccessProperty(ScriptID, IScriptRequestData*, IScript*) {
  return kSuccess;
}

