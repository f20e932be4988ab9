// Script access to the plug-in: one method that shows the text a script
// passes, and one read-only property with a fixed greeting. Every other
// request goes to the host's default handling.
#pragma once

#include "host/Scripting.h"

class OslScriptProvider : public CScriptProvider {
 public:
  explicit OslScriptProvider(IPMUnknown* boss);
  ErrorCode HandleMethod(ScriptID method, IScriptRequestData* data, IScript* script) override;
  ErrorCode AccessProperty(ScriptID property, IScriptRequestData* data, IScript* script) override;

  // The method: shows the string parameter in an information alert (an
  // empty one when the parameter is not a string) and returns the read's
  // code; returns the extraction error, showing nothing, when the
  // parameter is missing.
  virtual ErrorCode Speak(IScriptRequestData* data);
  // The property: answers "Hello back to you" to a read and 1 to a write.
  virtual ErrorCode Respond(ScriptID property, IScriptRequestData* data, IScript* script);
  ~OslScriptProvider() override;
};
