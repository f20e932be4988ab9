// Commands, command sequences and the global error code. A sequence groups
// what runs inside it into one undoable step; while it is open, the global
// error code says whether a step failed.
#pragma once

#include "BaseTypes.h"
#include "HostInterfaceIDs.h"
#include "IPMUnknown.h"
#include "PMString.h"

namespace ErrorUtils {
void PMSetGlobalErrorCode(ErrorCode code);
ErrorCode PMGetGlobalErrorCode();
}  // namespace ErrorUtils

// A command: a boss whose data interfaces the caller fills before it is
// processed. The caller owns the reference CreateCommand hands out.
class ICommand : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_ICOMMAND };
  virtual ~ICommand() = default;
};

namespace CmdUtils {

// A new command of class `commandClass` with a reference added, or null
// when the host has no such command.
ICommand* CreateCommand(ClassID commandClass);
// Runs `command` as one undoable step. kSuccess, or the command's error
// code (also set as the global error code).
ErrorCode ProcessCommand(ICommand* command);


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
