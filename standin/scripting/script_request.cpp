#include "standin/scripting/script_request.h"

#include "standin/core/boss.h"

namespace standin {

ErrorCode ScriptRequest::ExtractRequestData(ScriptID param, ScriptData& data) {
  auto it = params_.find(param);
  if (it == params_.end()) return kScriptParameterMissingError;
  data = it->second;
  return kSuccess;
}

ErrorCode ScriptRequest::AppendReturnData(IScript*, ScriptID element, const ScriptData& data) {
  returned_.push_back(Returned{element, data});
  return kSuccess;
}

namespace {
class ScriptObject : public CPMUnknown<IScript> {
 public:
  using CPMUnknown::CPMUnknown;
};
constexpr PMIID kScriptObjectIID = 0x5A050;
}  // namespace

IScript* ScriptObjectOf(Boss& boss) {
  if (!boss.Has(kScriptObjectIID)) boss.AddNew<ScriptObject>(kScriptObjectIID);
  IPMUnknown* impl = boss.QueryInterface(kScriptObjectIID);
  impl->Release();
  return static_cast<IScript*>(impl);
}

}  // namespace standin
