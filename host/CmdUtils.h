// Commands, command sequences and the global error code. A sequence groups
// what runs inside it into one undoable step; while it is open, the global
// error code says whether a step failed.
#pragma once

#include "BaseTypes.h"
#include "PMString.h"

namespace ErrorUtils {
void PMSetGlobalErrorCode(ErrorCode code);
ErrorCode PMGetGlobalErrorCode();
}  // namespace ErrorUtils

namespace CmdUtils {

// Opens a command sequence on construction and closes it on destruction.
// Sequences nest; the outermost one resets the global error code when it
// opens and when it closes.
class SequenceContext {
 public:
  explicit SequenceContext(const PMString* name = nullptr);
  ~SequenceContext();
  SequenceContext(const SequenceContext&) = delete;
  SequenceContext& operator=(const SequenceContext&) = delete;
  // The state of the sequence: the global error code at this moment.
  ErrorCode GetState() const { return ErrorUtils::PMGetGlobalErrorCode(); }
};

}  // namespace CmdUtils
