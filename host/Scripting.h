// Scripting: scripts call methods and read or write properties of
// scripting objects; plug-ins answer them through a script provider.
// Element identifiers are four characters packed big-endian.
// Called on the host's user-interface thread only; no exception may escape (host/README.md).
#pragma once

#include "BaseTypes.h"
#include "CPMUnknown.h"
#include "HostInterfaceIDs.h"
#include "PMString.h"

// Errors the scripting layer returns to scripts.
constexpr ErrorCode kScriptParameterMissingError = 0x2E01;
constexpr ErrorCode kScriptWrongTypeError = 0x2E02;
constexpr ErrorCode kScriptUnknownElementError = 0x2E03;
constexpr ErrorCode kScriptPropertyReadOnlyError = 0x2E04;

// One value passed between a script and the host.
class ScriptData {
 public:
  enum class Type { kEmpty, kString, kInt32, kBoolean };

  Type GetType() const { return type_; }
  void SetPMString(const PMString& text);
  // kSuccess with the string, or kScriptWrongTypeError (text untouched).
  ErrorCode GetPMString(PMString& text) const;
  void SetInt32(int32 value);
  ErrorCode GetInt32(int32& value) const;
  void SetBoolean(bool16 value);
  ErrorCode GetBoolean(bool16& value) const;

 private:
  Type type_ = Type::kEmpty;
  PMString text_;
  int32 number_ = 0;
};

// A scripting object (the target of a request): a document's, or a page
// item's when the host asks a plug-in's page-item properties (host/README.md);
// GetUIDRef of it names the object it stands for.
class IScript : public IPMUnknown {
 public:
  virtual ~IScript() = default;
};

// What a script asked for: method parameters in, return values out.
class IScriptRequestData {
 public:
  // Copies the parameter `param` into `data`; kScriptParameterMissingError
  // when the script did not pass it.
  virtual ErrorCode ExtractRequestData(ScriptID param, ScriptData& data) = 0;
  virtual bool16 IsPropertyGet() const = 0;
  virtual bool16 IsPropertyPut() const = 0;
  // Records `data` as the value of `element` for `script`.
  virtual ErrorCode AppendReturnData(IScript* script, ScriptID element, const ScriptData& data) = 0;

 protected:
  ~IScriptRequestData() = default;
};

class IScriptProvider : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ISCRIPTPROVIDER };
  virtual ErrorCode HandleMethod(ScriptID method, IScriptRequestData* data, IScript* script) = 0;
  virtual ErrorCode AccessProperty(ScriptID property, IScriptRequestData* data,
                                   IScript* script) = 0;
  virtual ErrorCode GetObject(IScriptRequestData* data, IScript* parent) = 0;
  virtual IScript* QueryParent(IScript* script) const = 0;
  virtual ErrorCode PreAccessProperty(ScriptID property, IScriptRequestData* data,
                                      IScript* script) = 0;
  virtual ErrorCode PostAccessProperty(ScriptID property, IScriptRequestData* data,
                                       IScript* script) = 0;
  virtual ~IScriptProvider() = default;
};

// The host's default provider. Every request it does not know is answered
// with kScriptUnknownElementError.
class CScriptProvider : public CPMUnknown<IScriptProvider> {
 public:
  explicit CScriptProvider(IPMUnknown* boss) : CPMUnknown(boss) {}
  ErrorCode HandleMethod(ScriptID method, IScriptRequestData* data, IScript* script) override;
  ErrorCode AccessProperty(ScriptID property, IScriptRequestData* data, IScript* script) override;
  ErrorCode GetObject(IScriptRequestData* data, IScript* parent) override;
  IScript* QueryParent(IScript* script) const override;
  ErrorCode PreAccessProperty(ScriptID property, IScriptRequestData* data,
                              IScript* script) override;
  ErrorCode PostAccessProperty(ScriptID property, IScriptRequestData* data,
                               IScript* script) override;
};
