// Script requests of the stand-in: what `osl script` sends to a provider.
#pragma once

#include <map>
#include <vector>

#include "host/Scripting.h"

namespace standin {

class Boss;

class ScriptRequest : public IScriptRequestData {
 public:
  enum class Kind { kMethod, kPropertyGet, kPropertyPut };
  explicit ScriptRequest(Kind kind) : kind_(kind) {}

  void SetParameter(ScriptID param, const ScriptData& data) { params_[param] = data; }

  ErrorCode ExtractRequestData(ScriptID param, ScriptData& data) override;
  bool16 IsPropertyGet() const override { return kind_ == Kind::kPropertyGet; }
  bool16 IsPropertyPut() const override { return kind_ == Kind::kPropertyPut; }
  ErrorCode AppendReturnData(IScript* script, ScriptID element, const ScriptData& data) override;

  struct Returned {
    ScriptID element;
    ScriptData data;
  };
  const std::vector<Returned>& ReturnData() const { return returned_; }

 private:
  Kind kind_;
  std::map<ScriptID, ScriptData> params_;
  std::vector<Returned> returned_;
};

// The scripting object of a boss (a document's, for instance). Adds it to
// `boss` when missing and returns it (no reference added).
IScript* ScriptObjectOf(Boss& boss);

}  // namespace standin
