// Script access to the plug-in: one method that shows the text a script
// passes, one read-only property with a fixed greeting, and read-only
// properties of page items that give the item's field as its tag holds it
// (so a host shows fields through the plug-in's own reading of its tags).
// Every other request goes to the host's default handling.
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
  // The field properties of the page item `script` belongs to: its field
  // name, its stored control-type code, and the display text of that code
  // on its kind of frame; each empty when the tag has none (a guide's code
  // has no display text). kScriptPropertyReadOnlyError for a write.
  virtual ErrorCode ReadField(ScriptID property, IScriptRequestData* data, IScript* script);
  ~OslScriptProvider() override;
};
